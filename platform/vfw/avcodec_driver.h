// Codec drivers, one per encoder entry, backed by a libavcodec encoder or by one of our own. A
// driver answers the ICM_ messages of the codec interface for the frames its encoder takes.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "platform/vfw/codec_table.h"
#include "platform/vfw/vfw.h"

namespace platform::vfw {

class AvCodecDriver final : public CodecDriver {
public:
    explicit AvCodecDriver(const EncoderEntry& entry);

    ICINFO Info() const override;
    // An instance for ICMODE_COMPRESS, or for ICMODE_QUERY (which answers every question but
    // compresses nothing); null for other modes or when libavcodec lacks the encoder.
    std::unique_ptr<CodecInstance> Open(std::uint32_t mode) override;

private:
    EncoderEntry entry_;
};

// Drivers for the entries whose encoder is there (ours always, libavcodec's when the library in
// use has it), in the entries' order.
std::vector<std::shared_ptr<CodecDriver>> DriversFor(std::span<const EncoderEntry> entries);

}  // namespace platform::vfw
