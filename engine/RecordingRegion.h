// The screen rectangle a recording captures: the region window's position and outer size.
#pragma once

#include <mutex>

namespace engine {

// The screen rectangle a recording grabs, in screen pixels.
struct CaptureRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;

    bool operator==(const CaptureRect&) const = default;
};

class RecordingRegion {
public:
    virtual ~RecordingRegion() = default;
    // Called from the recording worker at the start of a recording, so implementations answer
    // with one whole rectangle that is safe to read off the GUI thread.
    virtual CaptureRect Region() const = 0;
};

// A fixed rectangle, for callers that record without a region window.
class FixedRegion final : public RecordingRegion {
public:
    FixedRegion(int left, int top, int width, int height) : rect_{left, top, width, height} {}
    CaptureRect Region() const override { return rect_; }

private:
    CaptureRect rect_;
};

// A rectangle that one thread replaces while others read it: every read gives a rectangle that
// was set as a whole, never the position of one with the size of another.
class SharedRect {
public:
    explicit SharedRect(const CaptureRect& rect) : rect_(rect) {}
    void Set(const CaptureRect& rect) {
        const std::lock_guard lock(mutex_);
        rect_ = rect;
    }
    CaptureRect Get() const {
        const std::lock_guard lock(mutex_);
        return rect_;
    }

private:
    mutable std::mutex mutex_;
    CaptureRect rect_;
};

}  // namespace engine
