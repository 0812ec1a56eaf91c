// The desktop's ScreenCast portal (org.freedesktop.portal.ScreenCast on the session bus): the
// handshake that ends in a PipeWire descriptor and the node of the monitor the user chose.
// CreateSession, SelectSources and Start each answer through their Request's Response signal;
// the restore token of one Start is handed to the next SelectSources, so the desktop asks the
// user only once. GUI thread only.
#pragma once

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/screencast/portal_rules.h"
#include "platform/screencast/portal_screen.h"

namespace platform::screencast {

struct PortalGrant {
    QDBusUnixFileDescriptor pipeWire;  // the PipeWire remote the portal opened for us
    std::uint32_t node = 0;
    StreamPlace place;
    std::string restoreToken;  // empty when the desktop gave none
};

class ScreenCastPortal : public QObject {
    Q_OBJECT

public:
    using Granted = std::function<void(const PortalGrant&)>;
    using Failed = std::function<void(PortalFailure)>;

    explicit ScreenCastPortal(QDBusConnection bus, QObject* parent = nullptr);
    ~ScreenCastPortal() override;  // closes the session

    // Asks for one monitor, handing restoreToken (when usable) back to the desktop. Later, on
    // this thread, exactly one of granted or failed is called, unless Close comes first. A
    // session still open is closed first.
    void Start(const std::string& restoreToken, Granted granted, Failed failed);
    // Ends the session and any pending request; neither callback comes any more.
    void Close();

private slots:
    void OnResponse(uint code, const QVariantMap& results);

private:
    enum class Step { None, Properties, CreateSession, SelectSources, Start, Remote };

    // Calls method of the ScreenCast interface with a request handle added to options; the
    // answer comes to OnResponse.
    void Request(Step step, const QString& method, QVariantList arguments, QVariantMap options);
    void ListenTo(const QString& requestPath);
    void StopListening();
    void AfterProperties(const QVariantMap& properties);
    void AfterStart(const QVariantMap& results);
    void OpenRemote();
    void Fail(PortalFailure failure);
    void FailOnError(const QString& errorName);

    QDBusConnection bus_;
    Step step_ = Step::None;
    std::uint64_t tokens_ = 0;
    // Counts Start and Close, so that answers to an abandoned handshake are dropped.
    std::uint64_t attempt_ = 0;
    QString requestPath_;
    QString session_;
    std::uint32_t cursorMode_ = kCursorHidden;
    std::string restoreToken_;
    PortalGrant grant_;
    Granted granted_;
    Failed failed_;
};

}  // namespace platform::screencast
