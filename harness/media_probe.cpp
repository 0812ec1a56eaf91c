#include "harness/media_probe.h"

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>

namespace korvex::test {

std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

CommandResult RunCommand(const std::string& commandLine, bool withStderr) {
    const std::string line = withStderr ? commandLine + " 2>&1" : commandLine;
    CommandResult result;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(line.c_str(), "r"), &pclose);
    if (!pipe) return result;
    char buffer[65536];
    std::size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe.get())) > 0) result.output.append(buffer, n);
    const int status = pclose(pipe.release());
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

namespace {

// ffprobe's key=value lines.
std::map<std::string, std::string> KeyValues(const std::string& output) {
    std::map<std::string, std::string> values;
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        const auto eq = line.find('=');
        if (eq != std::string::npos) values[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return values;
}

}  // namespace

std::map<std::string, std::string> ProbeVideo(const std::string& path) {
    const CommandResult r = RunCommand(
        "ffprobe -v error -select_streams v:0 -count_frames -show_entries "
        "stream=codec_name,codec_tag_string,width,height,r_frame_rate,nb_read_frames,nb_frames,"
        "duration -of default=noprint_wrappers=1 " +
        Quote(path));
    return KeyValues(r.output);
}

std::map<std::string, std::string> ProbeSound(const std::string& path) {
    const CommandResult r = RunCommand(
        "ffprobe -v error -select_streams a:0 -show_entries "
        "stream=codec_name,codec_tag_string,sample_rate,channels,bits_per_sample,nb_frames "
        "-of default=noprint_wrappers=1 " +
        Quote(path));
    return KeyValues(r.output);
}

std::vector<std::int16_t> DecodeSound(const std::string& path) {
    const CommandResult r = RunCommand("ffmpeg -nostdin -v error -i " + Quote(path) +
                                       " -map 0:a:0 -ac 1 -ar 48000 -f s16le -");
    std::vector<std::int16_t> samples(r.output.size() / 2);
    std::memcpy(samples.data(), r.output.data(), samples.size() * 2);
    return samples;
}

std::string DecodeErrors(const std::string& path) {
    const CommandResult r =
        RunCommand("ffmpeg -nostdin -v error -i " + Quote(path) + " -f null -", true);
    if (r.exitCode != 0 && r.output.empty()) return "ffmpeg failed";
    return r.output;
}

std::vector<std::uint8_t> DecodeFrameRgb(const std::string& path, int index) {
    const CommandResult r = RunCommand("ffmpeg -nostdin -v error -i " + Quote(path) + " -vf " +
                                       Quote("select=eq(n\\," + std::to_string(index) + ")") +
                                       " -vframes 1 -f rawvideo -pix_fmt rgb24 -");
    if (r.exitCode != 0) return {};
    return {r.output.begin(), r.output.end()};
}

std::vector<std::vector<std::uint8_t>> DecodeFramesRgb(const std::string& path,
                                                       std::size_t frameBytes) {
    const CommandResult r =
        RunCommand("ffmpeg -nostdin -v error -i " + Quote(path) + " -f rawvideo -pix_fmt rgb24 -");
    std::vector<std::vector<std::uint8_t>> frames;
    for (std::size_t at = 0; frameBytes > 0 && at + frameBytes <= r.output.size();
         at += frameBytes) {
        frames.emplace_back(r.output.begin() + at, r.output.begin() + at + frameBytes);
    }
    return frames;
}

bool NearRgb(const std::uint8_t* rgb, std::uint32_t expected, int tolerance) {
    for (int i = 0; i < 3; ++i) {
        const int wanted = static_cast<int>((expected >> (16 - 8 * i)) & 0xFF);
        if (std::abs(rgb[i] - wanted) > tolerance) return false;
    }
    return true;
}

}  // namespace korvex::test
