// SIGTERM, SIGINT and SIGHUP (a logout, Ctrl+C in a terminal, a closed terminal) as a call on the
// GUI thread. The handler itself only writes the signal's number into a pipe; the event loop
// watches the other end, so everything that follows runs as ordinary GUI code.
#pragma once

#include <QSocketNotifier>
#include <functional>
#include <memory>

namespace platform::termination {

class TerminationSignals {
public:
    // Catches the three signals until destroyed; one object at a time. Create after the
    // QApplication.
    TerminationSignals();
    ~TerminationSignals();  // gives the signals their default actions back
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    // Called on the GUI thread with the signal's number, once for each signal that arrived.
    // Until it is set, a signal ends the event loops (QCoreApplication::quit).
    std::function<void(int)> OnSignal;

private:
    void Drain();

    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace platform::termination
