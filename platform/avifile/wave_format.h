// The PCM sound format as an AVI sound stream's 'strf' holds it: a WAVEFORMATEX.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace platform::avifile {

constexpr std::uint16_t WAVE_FORMAT_PCM = 1;

struct PcmFormat {
    std::uint32_t samplesPerSec = 0;
    std::uint16_t channels = 0;
    std::uint16_t bitsPerSample = 0;

    // Bytes of one sample of every channel.
    constexpr std::uint32_t BlockAlign() const { return channels * ((bitsPerSample + 7u) / 8u); }
    constexpr std::uint32_t BytesPerSecond() const { return samplesPerSec * BlockAlign(); }
};

// The 18 bytes of a WAVEFORMATEX for format, with no extra bytes.
std::array<std::byte, 18> WaveFormatBytes(const PcmFormat& format);

// The format a WAVEFORMATEX (or the 16-byte PCMWAVEFORMAT) describes, when it is PCM of 8 or 16
// bits, 1 to 8 channels and a rate above 0, with its block size and byte rate consistent.
std::optional<PcmFormat> PcmHeader(std::span<const std::byte> format);

}  // namespace platform::avifile
