#include "dialogs/JpegPicture.h"

#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <memory>

// After <cstdio> and <cstddef>: jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>

namespace dialogs {

namespace {

// libjpeg reports a fatal error by calling error_exit, which must not return: it jumps back to
// the setjmp in DecodeJpeg; the frames it leaves hold nothing with a destructor.
struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf back;
};

[[noreturn]] void ErrorExit(j_common_ptr info) {
    std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->back, 1);
}

// Warnings (a corrupt but decodable stream) count as failures too: a picture shown half grey
// would be passed off as good.
void EmitMessage(j_common_ptr info, int level) {
    if (level < 0) ErrorExit(info);
}

// Owns the decompress struct from creation on.
class Decompressor {
public:
    explicit Decompressor(ErrorManager& errors) {
        info_.err = jpeg_std_error(&errors.base);
        errors.base.error_exit = ErrorExit;
        errors.base.emit_message = EmitMessage;
        jpeg_create_decompress(&info_);
    }
    ~Decompressor() { jpeg_destroy_decompress(&info_); }
    Decompressor(const Decompressor&) = delete;
    Decompressor& operator=(const Decompressor&) = delete;

    jpeg_decompress_struct* get() { return &info_; }

private:
    jpeg_decompress_struct info_{};
};

// Reads header and scan lines into picture; every libjpeg call that may fail is in here.
bool Decode(jpeg_decompress_struct* info, std::span<const std::uint8_t> data, RgbPicture& picture) {
    jpeg_mem_src(info, data.data(), static_cast<unsigned long>(data.size()));
    if (jpeg_read_header(info, TRUE) != JPEG_HEADER_OK) return false;
    // The picture is a window's; a header that claims gigapixels is refused before libjpeg or
    // we allocate for it.
    constexpr std::uint64_t kMostPixels = std::uint64_t{4096} * 4096;
    if (std::uint64_t{info->image_width} * info->image_height > kMostPixels) return false;
    info->out_color_space = JCS_RGB;
    jpeg_start_decompress(info);
    picture.width = static_cast<int>(info->output_width);
    picture.height = static_cast<int>(info->output_height);
    const std::size_t stride = static_cast<std::size_t>(picture.width) * 3;
    picture.rgb.resize(stride * static_cast<std::size_t>(picture.height));
    while (info->output_scanline < info->output_height) {
        JSAMPROW row = picture.rgb.data() + stride * info->output_scanline;
        jpeg_read_scanlines(info, &row, 1);
    }
    jpeg_finish_decompress(info);
    return true;
}

}  // namespace

std::optional<RgbPicture> DecodeJpeg(std::span<const std::uint8_t> data) {
    if (data.empty()) return std::nullopt;
    ErrorManager errors{};
    Decompressor decompressor(errors);
    // On the heap: what Decode changes before a jump must not be a local of this frame.
    const auto picture = std::make_unique<RgbPicture>();
    if (setjmp(errors.back) != 0) return std::nullopt;
    if (!Decode(decompressor.get(), data, *picture)) return std::nullopt;
    return std::move(*picture);
}

}  // namespace dialogs
