// The frame formats an encoder entry takes and gives, as checks of bitmap headers. Headers are
// read, never kept. Safe on any thread.
#pragma once

#include <cstdint>
#include <span>

#include "platform/vfw/codec_table.h"
#include "platform/vfw/dib_convert.h"
#include "platform/vfw/vfw.h"

namespace platform::vfw {

// ICERR_OK when the entry's encoder can compress frames described by `in` (a header followed by
// its colour table at 8 bits): BI_RGB, bottom-up, 8/16/24/32 bits, a size the encoder takes.
// Otherwise ICERR_BADFORMAT, ICERR_BADBITDEPTH or ICERR_BADIMAGESIZE; a null header is refused.
LRESULT QueryInput(const EncoderEntry& entry, const BITMAPINFOHEADER* in);

// ICERR_OK when `out` describes what the entry makes of the accepted input `in`, else
// ICERR_BADFORMAT.
LRESULT QueryOutput(const EncoderEntry& entry, const BITMAPINFOHEADER& in,
                    const BITMAPINFOHEADER& out);

// The header of the compressed frames for the accepted input `in`; biSizeImage is the largest
// compressed frame. Codec data the entry puts behind the header is not counted in biSize.
BITMAPINFOHEADER CompressedFormat(const EncoderEntry& entry, const BITMAPINFOHEADER& in);

// biBitCount of the compressed frames made from input of that depth.
std::uint16_t OutputBitCount(const EncoderEntry& entry, std::int32_t inputBitCount);

// The largest compressed frame for the accepted input `in`, in bytes (at most 2 GiB).
std::uint64_t MaxFrameBytes(const EncoderEntry& entry, const BITMAPINFOHEADER& in);

// The picture that the accepted input header `in` and its pixel rows describe; the colour table
// is read from behind the header. Both stay owned by the caller.
DibImage InputImage(const BITMAPINFOHEADER& in, const void* pixels);

}  // namespace platform::vfw
