#include "tests/unit/avifile_test_support.h"

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

namespace avitest {

namespace {

std::size_t ImageBytes(const vfw::BITMAPINFOHEADER& header) {
    const std::size_t stride =
        (static_cast<std::size_t>(header.biWidth) * header.biBitCount + 31) / 32 * 4;
    return stride * static_cast<std::size_t>(std::abs(header.biHeight));
}

std::size_t TableEntries(const vfw::BITMAPINFOHEADER& header) {
    if (header.biClrUsed != 0) return header.biClrUsed;
    return header.biBitCount <= 8 ? std::size_t{1} << header.biBitCount : 0;
}

class PassThroughInstance final : public vfw::CodecInstance {
public:
    PassThroughInstance(PassThroughOptions options, std::shared_ptr<CodecLog> log)
        : options_(options), log_(std::move(log)) {}

    vfw::LRESULT Message(std::uint32_t msg, std::intptr_t p1, std::intptr_t p2) override {
        log_->messages.push_back(msg);
        const auto* input = reinterpret_cast<const vfw::BITMAPINFOHEADER*>(p1);
        switch (msg) {
            case vfw::ICM_COMPRESS_QUERY:
                return Accepts(*input) ? vfw::ICERR_OK : vfw::ICERR_BADFORMAT;
            case vfw::ICM_COMPRESS_GET_FORMAT: {
                if (!Accepts(*input)) return vfw::ICERR_BADFORMAT;
                const std::size_t size = input->biSize + 4 * TableEntries(*input);
                if (p2 == 0) return static_cast<vfw::LRESULT>(size);
                std::memcpy(reinterpret_cast<void*>(p2), input, size);
                return vfw::ICERR_OK;
            }
            case vfw::ICM_COMPRESS_GET_SIZE:
                return static_cast<vfw::LRESULT>(ImageBytes(*input));
            case vfw::ICM_COMPRESS_FRAMES_INFO:
                log_->framesInfo = *reinterpret_cast<const vfw::ICCOMPRESSFRAMES*>(p1);
                return vfw::ICERR_OK;
            case vfw::ICM_COMPRESS_BEGIN:
                return Accepts(*input) ? vfw::ICERR_OK : vfw::ICERR_BADFORMAT;
            case vfw::ICM_COMPRESS:
                return Compress(*reinterpret_cast<vfw::ICCOMPRESS*>(p1));
            case vfw::ICM_COMPRESS_END:
                ++log_->ends;
                return vfw::ICERR_OK;
            default:
                return vfw::ICERR_UNSUPPORTED;
        }
    }

private:
    bool Accepts(const vfw::BITMAPINFOHEADER& header) const {
        const auto bits = header.biBitCount;
        return options_.acceptsInput && header.biCompression == vfw::BI_RGB &&
               (bits == 8 || bits == 16 || bits == 24 || bits == 32);
    }

    vfw::LRESULT Compress(vfw::ICCOMPRESS& request) {
        const bool asked = (request.dwFlags & vfw::ICCOMPRESS_KEYFRAME) != 0;
        log_->keyRequests.push_back(asked);
        log_->lastQuality = request.dwQuality;
        const std::size_t size = ImageBytes(*request.lpbiInput);
        std::memcpy(request.lpOutput, request.lpInput, size);
        request.lpbiOutput->biSizeImage = static_cast<std::uint32_t>(size);
        const bool key = options_.keyFrames == KeyFrames::always || asked;
        *request.lpdwFlags = key ? vfw::AVIIF_KEYFRAME : 0;
        return vfw::ICERR_OK;
    }

    PassThroughOptions options_;
    std::shared_ptr<CodecLog> log_;
};

class PassThroughCodec final : public vfw::CodecDriver {
public:
    PassThroughCodec(PassThroughOptions options, std::shared_ptr<CodecLog> log)
        : options_(options), log_(std::move(log)) {}

    vfw::ICINFO Info() const override {
        vfw::ICINFO info{};
        info.dwSize = sizeof info;
        info.fccType = vfw::ICTYPE_VIDEO;
        info.fccHandler = options_.handler;
        const char16_t name[] = u"Pass-through";
        std::memcpy(info.szName, name, sizeof name);
        return info;
    }

    std::unique_ptr<vfw::CodecInstance> Open(std::uint32_t) override {
        if (!options_.openable) return nullptr;
        return std::make_unique<PassThroughInstance>(options_, log_);
    }

private:
    PassThroughOptions options_;
    std::shared_ptr<CodecLog> log_;
};

std::string FourCCText(std::uint32_t code) {
    std::string text(4, ' ');
    for (int i = 0; i < 4; ++i) text[i] = static_cast<char>(code >> (8 * i));
    return text;
}

// Reads the chunks in [begin, end); false when a chunk runs past end.
bool ReadChunkRange(const FileBytes& bytes, std::uint64_t begin, std::uint64_t end,
                    std::vector<Chunk>& out) {
    std::uint64_t at = begin;
    while (at + 8 <= end) {
        Chunk chunk;
        chunk.id = bytes.FourCC(at);
        chunk.offset = at;
        chunk.size = bytes.U32(at + 4);
        const std::uint64_t dataEnd = at + 8 + chunk.size;
        if (dataEnd > end) return false;
        if (chunk.id == "RIFF" || chunk.id == "LIST") {
            if (chunk.size < 4) return false;
            chunk.type = bytes.FourCC(at + 8);
            if (!ReadChunkRange(bytes, at + 12, dataEnd, chunk.children)) return false;
        }
        const std::uint64_t pad = chunk.size % 2;
        out.push_back(std::move(chunk));
        at = dataEnd + pad;
    }
    return at == end;
}

}  // namespace

int CodecLog::Count(std::uint32_t message) const {
    int count = 0;
    for (const std::uint32_t seen : messages) count += seen == message;
    return count;
}

std::shared_ptr<vfw::CodecDriver> PassThroughDriver(PassThroughOptions options,
                                                    std::shared_ptr<CodecLog> log) {
    if (!log) log = std::make_shared<CodecLog>();
    return std::make_shared<PassThroughCodec>(options, std::move(log));
}

std::vector<std::uint8_t> Frame::Format() const {
    std::vector<std::uint8_t> format(sizeof header + 4 * colours.size());
    std::memcpy(format.data(), &header, sizeof header);
    if (!colours.empty())
        std::memcpy(format.data() + sizeof header, colours.data(), 4 * colours.size());
    return format;
}

std::size_t Frame::Stride() const {
    return (static_cast<std::size_t>(header.biWidth) * header.biBitCount + 31) / 32 * 4;
}

Frame MakeFrame(int width, int height, int bitCount, int seed) {
    Frame frame;
    frame.header = vfw::RgbDibHeader(width, height, bitCount);
    if (bitCount == 8) {
        for (std::uint32_t i = 0; i < 256; ++i) {
            frame.colours.push_back((i * 7 % 256) << 16 | (255 - i) << 8 | i);
        }
    }
    frame.header.biSizeImage = static_cast<std::uint32_t>(ImageBytes(frame.header));
    frame.pixels.resize(frame.header.biSizeImage);
    const std::size_t stride = frame.Stride();
    const std::size_t pixelBytes = static_cast<std::size_t>(bitCount) / 8;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            for (std::size_t c = 0; c < pixelBytes; ++c) {
                const auto value = static_cast<std::uint8_t>(x * 13 + y * 29 + seed * 71 + c * 97);
                frame.pixels[y * stride + x * pixelBytes + c] =
                    (bitCount == 32 && c == 3) ? 0xFF : value;
            }
        }
    }
    return frame;
}

avi::AVISTREAMINFO StreamInfo(const Frame& frame, std::uint32_t rate) {
    avi::AVISTREAMINFO info{};
    info.fccType = vfw::streamtypeVIDEO;
    info.dwScale = 1;
    info.dwRate = rate;
    info.dwSuggestedBufferSize = frame.header.biSizeImage;
    info.rcFrame = {0, 0, frame.header.biWidth, frame.header.biHeight};
    return info;
}

avi::AVICOMPRESSOPTIONS CompressOptions(vfw::FOURCC handler, std::uint32_t keyFrameEvery,
                                        std::uint32_t quality) {
    avi::AVICOMPRESSOPTIONS options{};
    options.fccType = vfw::streamtypeVIDEO;
    options.fccHandler = handler;
    options.dwKeyFrameEvery = keyFrameEvery;
    options.dwQuality = quality;
    options.dwFlags = avi::AVICOMPRESSF_KEYFRAMES | avi::AVICOMPRESSF_VALID;
    return options;
}

AviRecording::AviRecording(const std::filesystem::path& path, const Frame& format,
                           std::uint32_t rate, const avi::AVICOMPRESSOPTIONS& options,
                           std::uint64_t splitSize, std::uint16_t soundChannels)
    : options_(options), channels_(soundChannels) {
    auto step = [this](avi::HRESULT result) {
        if (setupResult == avi::AVIERR_OK) setupResult = result;
        return result == avi::AVIERR_OK;
    };
    if (!step(avi::AVIFileOpen(&file_, path.c_str(), avi::OF_CREATE | avi::OF_WRITE, nullptr))) {
        return;
    }
    if (splitSize != 0 && !step(avi::SetRiffSplitSize(file_, splitSize))) return;
    const avi::AVISTREAMINFO info = StreamInfo(format, rate);
    if (!step(avi::AVIFileCreateStream(file_, &stream_, &info))) return;
    if (!step(avi::AVIMakeCompressedStream(&compressed_, stream_, &options_, nullptr))) return;
    if (channels_ > 0) {
        const avi::PcmFormat pcm{48000, channels_, 16};
        avi::AVISTREAMINFO sound{};
        sound.fccType = avi::streamtypeAUDIO;
        sound.dwScale = pcm.BlockAlign();
        sound.dwRate = pcm.BytesPerSecond();
        sound.dwSampleSize = pcm.BlockAlign();
        if (!step(avi::AVIFileCreateStream(file_, &sound_, &sound))) return;
        const auto wave = avi::WaveFormatBytes(pcm);
        if (!step(avi::AVIStreamSetFormat(sound_, 0, wave.data(), 18))) return;
    }
    const auto bytes = format.Format();
    step(avi::AVIStreamSetFormat(compressed_, 0, bytes.data(),
                                 static_cast<std::int32_t>(bytes.size())));
}

AviRecording::~AviRecording() {
    Release();
}

avi::HRESULT AviRecording::Write(std::int32_t position, const Frame& frame) {
    return avi::AVIStreamWrite(compressed_, position, 1, frame.pixels.data(),
                               static_cast<std::int32_t>(frame.pixels.size()), 0, nullptr, nullptr);
}

avi::HRESULT AviRecording::WriteSound(const std::vector<std::int16_t>& samples) {
    const auto count = static_cast<std::int32_t>(samples.size() / channels_);
    const avi::HRESULT result =
        avi::AVIStreamWrite(sound_, soundWritten_, count, samples.data(),
                            static_cast<std::int32_t>(samples.size() * 2), 0, nullptr, nullptr);
    if (result == avi::AVIERR_OK) soundWritten_ += count;
    return result;
}

void AviRecording::Release() {
    avi::AVICOMPRESSOPTIONS* list[1] = {&options_};
    avi::AVISaveOptionsFree(1, list);
    avi::AVIFileRelease(file_);
    avi::AVIStreamRelease(stream_);
    avi::AVIStreamRelease(compressed_);
    avi::AVIStreamRelease(sound_);
    file_ = nullptr;
    stream_ = nullptr;
    compressed_ = nullptr;
    sound_ = nullptr;
}

std::int16_t SoundSample(std::int64_t n, int c) {
    return static_cast<std::int16_t>((n * 37 + c * 4099) % 65536 - 32768);
}

std::vector<std::int16_t> SoundSamples(std::int64_t first, std::int64_t count, int channels) {
    std::vector<std::int16_t> samples;
    samples.reserve(static_cast<std::size_t>(count * channels));
    for (std::int64_t n = first; n < first + count; ++n) {
        for (int c = 0; c < channels; ++c) samples.push_back(SoundSample(n, c));
    }
    return samples;
}

FileBytes::FileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    bytes_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::uint64_t FileBytes::U64(std::uint64_t offset) const {
    return U32(offset) | static_cast<std::uint64_t>(U32(offset + 4)) << 32;
}

std::uint32_t FileBytes::U32(std::uint64_t offset) const {
    return U16(offset) | static_cast<std::uint32_t>(U16(offset + 2)) << 16;
}

std::uint16_t FileBytes::U16(std::uint64_t offset) const {
    if (offset + 2 > bytes_.size()) throw std::out_of_range("read past the end of the file");
    return static_cast<std::uint16_t>(bytes_[offset] | bytes_[offset + 1] << 8);
}

std::string FileBytes::FourCC(std::uint64_t offset) const {
    return FourCCText(U32(offset));
}

const Chunk* Chunk::Find(const std::string& idOrType) const {
    for (const Chunk& child : children) {
        if (child.id == idOrType || child.type == idOrType) return &child;
    }
    return nullptr;
}

std::optional<std::vector<Chunk>> ReadChunks(const FileBytes& bytes) {
    std::vector<Chunk> chunks;
    if (!ReadChunkRange(bytes, 0, bytes.size(), chunks)) return std::nullopt;
    return chunks;
}

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        (std::filesystem::path(base != nullptr && *base != '\0' ? base : "/tmp") / "avifile-XXXXXX")
            .string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

ToolResult RunTool(const std::vector<std::string>& args) {
    int out[2];
    int err[2];
    if (::pipe(out) != 0 || ::pipe(err) != 0) throw std::runtime_error("pipe failed");
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::dup2(err[1], STDERR_FILENO);
        ::close(out[0]);
        ::close(err[0]);
        std::vector<char*> argv;
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    ToolResult result;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int open = 2;
    char buffer[65536];
    while (open > 0) {
        if (::poll(fds, 2, -1) < 0) continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(got));
            } else {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

namespace {

// ffprobe's key=value entries of one stream, its complaints under "errors".
std::map<std::string, std::string> ProbeStream(const std::filesystem::path& file,
                                               const std::string& stream,
                                               const std::string& entriesAsked) {
    const ToolResult probe = RunTool({"ffprobe", "-v", "error", "-count_frames", "-select_streams",
                                      stream, "-show_entries", "stream=" + entriesAsked, "-of",
                                      "default=noprint_wrappers=1", file.string()});
    std::map<std::string, std::string> entries;
    if (probe.exitCode != 0) return entries;
    std::istringstream lines(probe.out);
    for (std::string line; std::getline(lines, line);) {
        const auto equals = line.find('=');
        if (equals != std::string::npos) entries[line.substr(0, equals)] = line.substr(equals + 1);
    }
    if (!probe.err.empty()) entries["errors"] = probe.err;
    return entries;
}

}  // namespace

std::map<std::string, std::string> ProbeVideo(const std::filesystem::path& file) {
    return ProbeStream(
        file, "v:0",
        "codec_name,width,height,r_frame_rate,nb_frames,nb_read_frames,duration,pix_fmt");
}

std::map<std::string, std::string> ProbeSound(const std::filesystem::path& file) {
    return ProbeStream(file, "a:0", "codec_name,sample_rate,channels,nb_frames");
}

ToolResult DecodeSound(const std::filesystem::path& file) {
    return RunTool({"ffmpeg", "-v", "error", "-nostdin", "-i", file.string(), "-map", "0:a:0", "-f",
                    "s16le", "-"});
}

std::vector<std::string> PacketTimes(const std::filesystem::path& file) {
    const ToolResult probe =
        RunTool({"ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries", "packet=pts",
                 "-of", "csv=p=0", file.string()});
    std::vector<std::string> times;
    std::istringstream lines(probe.out);
    for (std::string line; std::getline(lines, line);) times.push_back(line);
    return times;
}

ToolResult DecodeRaw(const std::filesystem::path& file, const std::string& pixFmt) {
    return RunTool({"ffmpeg", "-v", "error", "-nostdin", "-i", file.string(), "-vsync",
                    "passthrough", "-f", "rawvideo", "-pix_fmt", pixFmt, "-"});
}

std::string TopDownBgr(const Frame& frame) {
    const int width = frame.header.biWidth;
    const int height = frame.header.biHeight;
    const int pixelBytes = frame.header.biBitCount / 8;
    const std::size_t stride = frame.Stride();
    std::string bgr;
    bgr.reserve(static_cast<std::size_t>(width) * height * 3);
    for (int row = height - 1; row >= 0; --row) {
        const std::uint8_t* line = frame.pixels.data() + row * stride;
        for (int x = 0; x < width; ++x) {
            std::uint32_t colour = 0;
            if (pixelBytes == 1) {
                colour = frame.colours[line[x]];
            } else {
                std::memcpy(&colour, line + x * pixelBytes, 3);
            }
            bgr.push_back(static_cast<char>(colour & 0xFF));
            bgr.push_back(static_cast<char>(colour >> 8 & 0xFF));
            bgr.push_back(static_cast<char>(colour >> 16 & 0xFF));
        }
    }
    return bgr;
}

}  // namespace avitest
