// The screen rectangle a recording captures: the region window's position and outer size.
#pragma once

namespace engine {

class RecordingRegion {
public:
    virtual ~RecordingRegion() = default;
    // Screen pixels. Called once from the recording worker at the start of a recording, so
    // implementations answer from values that are safe to read off the GUI thread.
    virtual int RegionLeft() const = 0;
    virtual int RegionTop() const = 0;
    virtual int RegionWidth() const = 0;
    virtual int RegionHeight() const = 0;
};

// A fixed rectangle, for callers that record without a region window.
class FixedRegion final : public RecordingRegion {
public:
    FixedRegion(int left, int top, int width, int height)
        : left_(left), top_(top), width_(width), height_(height) {}
    int RegionLeft() const override { return left_; }
    int RegionTop() const override { return top_; }
    int RegionWidth() const override { return width_; }
    int RegionHeight() const override { return height_; }

private:
    int left_, top_, width_, height_;
};

}  // namespace engine
