#include "platform/avifile/wave_format.h"

#include "platform/avifile/riff_writer.h"

namespace platform::avifile {

namespace {

std::uint32_t Field(std::span<const std::byte> bytes, std::size_t offset, std::size_t size) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < size; ++i) {
        value |= std::to_integer<std::uint32_t>(bytes[offset + i]) << (8 * i);
    }
    return value;
}

}  // namespace

std::array<std::byte, 18> WaveFormatBytes(const PcmFormat& format) {
    std::array<std::byte, 18> bytes{};
    FieldWriter(bytes)
        .U16(WAVE_FORMAT_PCM)
        .U16(format.channels)
        .U32(format.samplesPerSec)
        .U32(format.BytesPerSecond())
        .U16(static_cast<std::uint16_t>(format.BlockAlign()))
        .U16(format.bitsPerSample)
        .U16(0);
    return bytes;
}

std::optional<PcmFormat> PcmHeader(std::span<const std::byte> format) {
    if (format.size() < 16 || Field(format, 0, 2) != WAVE_FORMAT_PCM) return std::nullopt;
    PcmFormat pcm;
    pcm.channels = static_cast<std::uint16_t>(Field(format, 2, 2));
    pcm.samplesPerSec = Field(format, 4, 4);
    pcm.bitsPerSample = static_cast<std::uint16_t>(Field(format, 14, 2));
    const bool shape = pcm.channels >= 1 && pcm.channels <= 8 && pcm.samplesPerSec > 0 &&
                       pcm.samplesPerSec <= 384000 &&
                       (pcm.bitsPerSample == 8 || pcm.bitsPerSample == 16);
    if (!shape || Field(format, 12, 2) != pcm.BlockAlign() ||
        Field(format, 8, 4) != pcm.BytesPerSecond()) {
        return std::nullopt;
    }
    return pcm;
}

}  // namespace platform::avifile
