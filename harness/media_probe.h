// Running the independent tools (ffprobe, ffmpeg) on files the program wrote.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace korvex::test {

struct CommandResult {
    int exitCode = -1;
    std::string output;  // standard output, and standard error too when asked for
};

// Runs a shell command line; quote paths with Quote.
CommandResult RunCommand(const std::string& commandLine, bool withStderr = false);
std::string Quote(const std::string& text);

// ffprobe's view of the first video stream, with frames counted by decoding: keys such as
// codec_name, width, height, r_frame_rate, nb_read_frames, duration.
std::map<std::string, std::string> ProbeVideo(const std::string& path);

// ffprobe's view of the first audio stream: codec_name, sample_rate, channels, nb_frames (its
// length in samples), ...; empty when there is none.
std::map<std::string, std::string> ProbeSound(const std::string& path);

// The file's first audio stream decoded by ffmpeg, mixed down to mono 16-bit samples at 48,000 Hz.
std::vector<std::int16_t> DecodeSound(const std::string& path);

// What ffmpeg prints at level "error" while decoding the whole file; empty when clean.
std::string DecodeErrors(const std::string& path);

// Frame number index of the file decoded to packed RGB24, top row first; empty on failure.
std::vector<std::uint8_t> DecodeFrameRgb(const std::string& path, int index);

// Every frame of the file decoded to packed RGB24 pictures of frameBytes each.
std::vector<std::vector<std::uint8_t>> DecodeFramesRgb(const std::string& path,
                                                       std::size_t frameBytes);

// Whether a decoded RGB24 pixel is within tolerance of 0xRRGGBB in every channel.
bool NearRgb(const std::uint8_t* rgb, std::uint32_t expected, int tolerance);

}  // namespace korvex::test
