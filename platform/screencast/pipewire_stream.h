// One ScreenCast stream read through libpipewire: a connection on the portal's PipeWire
// descriptor, a video stream on the node the portal names that asks for 32-bit RGB pixels in
// shared memory, and the newest frame held until a newer one comes. The stream runs on a
// PipeWire thread of its own; everything here may be called from any thread.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/screencast/stream_damage.h"
#include "platform/screencast/stream_image.h"

namespace platform::screencast {

// The cursor as the stream's metadata last told it, in stream pixels.
struct StreamCursor {
    Point position;
    Point hotSpot;
};

// What changed between the frames, in stream pixels of frames of one size.
struct FrameDamage {
    Size frame;
    std::vector<StreamRect> rects;
};

struct StreamEvents {
    // The first frame has arrived. PipeWire thread.
    std::function<void()> FirstFrame;
    // The stream or the PipeWire connection ended; called once. PipeWire thread.
    std::function<void()> Ended;
};

class PipeWireStream {
    struct Impl;

public:
    // Connects on remoteFd (taken over, closed by the stream) to node; null when PipeWire
    // refuses the connection or the stream cannot be made. Events come only after this returns.
    static std::unique_ptr<PipeWireStream> Open(int remoteFd, std::uint32_t node,
                                                StreamEvents events);
    ~PipeWireStream();  // stops the thread, then frees everything
    PipeWireStream(const PipeWireStream&) = delete;
    PipeWireStream& operator=(const PipeWireStream&) = delete;

    // Calls read with the newest frame and the cursor (none when the stream tells no position
    // or the cursor is off the monitor), while the frame is held; false, without calling, when
    // no frame has come yet. The newest frame stays readable after the stream ended. Keep read
    // short: the stream waits meanwhile.
    bool WithNewestFrame(
        const std::function<void(const StreamFrame&, const std::optional<StreamCursor>&)>& read);

    // Whether the newest frame came with damage metadata: desktops that offer it send it with
    // every frame.
    bool SendsDamage();
    // What changed since the previous call (the first: everything), gathered over every frame
    // since, and forgets it; none when everything changed or the stream could not tell. Frames
    // read after this returns show at least what it names.
    std::optional<FrameDamage> TakeDamage();

private:
    explicit PipeWireStream(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace platform::screencast
