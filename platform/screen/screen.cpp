#include "platform/screen/screen.h"

#include <xcb/randr.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>
#include <stdexcept>
#include <vector>

#include "platform/screen/monitor.h"
#include "platform/screen/shm_segment.h"
#include "platform/xcb/xcb_handles.h"

namespace platform::screen {

using xcb::XcbConnection;
using xcb::XcbReply;

namespace {

// The root window's pixel format; fixed for the life of a connection.
struct PixelFormat {
    int bitsPerPixel = 0;
    int scanlinePad = 0;                                     // bits
    std::uint32_t redMask = 0, greenMask = 0, blueMask = 0;  // all zero for a colormapped visual
    bool msbFirst = false;
    int colormapEntries = 0;
    std::uint8_t blackIndex = 0;  // black's pixel value on a colormapped visual

    bool Indexed() const { return redMask == 0 && greenMask == 0 && blueMask == 0; }

    // Bytes per row of a ZPixmap image, padded as the server pads them.
    std::size_t RowBytes(int width) const {
        const std::int64_t bits = std::int64_t{width} * bitsPerPixel;
        return static_cast<std::size_t>((bits + scanlinePad - 1) / scanlinePad * scanlinePad / 8);
    }
};

xcb_screen_t* ScreenOfNumber(const xcb_setup_t* setup, int number) {
    for (auto it = xcb_setup_roots_iterator(setup); it.rem > 0; xcb_screen_next(&it), --number) {
        if (number == 0) return it.data;
    }
    return nullptr;
}

std::optional<PixelFormat> FormatOf(const xcb_setup_t* setup, const xcb_screen_t* screen) {
    PixelFormat format;
    for (auto it = xcb_setup_pixmap_formats_iterator(setup); it.rem > 0; xcb_format_next(&it)) {
        if (it.data->depth == screen->root_depth) {
            format.bitsPerPixel = it.data->bits_per_pixel;
            format.scanlinePad = it.data->scanline_pad;
        }
    }
    if (format.bitsPerPixel == 0 || format.scanlinePad == 0) return std::nullopt;
    format.msbFirst = setup->image_byte_order == XCB_IMAGE_ORDER_MSB_FIRST;

    for (auto depths = xcb_screen_allowed_depths_iterator(screen); depths.rem > 0;
         xcb_depth_next(&depths)) {
        for (auto it = xcb_depth_visuals_iterator(depths.data); it.rem > 0;
             xcb_visualtype_next(&it)) {
            const xcb_visualtype_t* visual = it.data;
            if (visual->visual_id != screen->root_visual) continue;
            // DirectColor's ramps are taken as identity, as they almost always are.
            if (visual->_class == XCB_VISUAL_CLASS_TRUE_COLOR ||
                visual->_class == XCB_VISUAL_CLASS_DIRECT_COLOR) {
                format.redMask = visual->red_mask;
                format.greenMask = visual->green_mask;
                format.blueMask = visual->blue_mask;
            }
            format.colormapEntries = visual->colormap_entries;
            format.blackIndex = static_cast<std::uint8_t>(screen->black_pixel);
            return format;
        }
    }
    return std::nullopt;
}

bool ExtensionPresent(xcb_connection_t* c, xcb_extension_t* extension) {
    const xcb_query_extension_reply_t* data = xcb_get_extension_data(c, extension);
    return data != nullptr && data->present;
}

bool QueryShm(xcb_connection_t* c) {
    if (!ExtensionPresent(c, &xcb_shm_id)) return false;
    XcbReply<xcb_shm_query_version_reply_t> version(
        xcb_shm_query_version_reply(c, xcb_shm_query_version(c), nullptr));
    return version != nullptr;
}

// XFixes wants its version negotiated before any other request of it.
bool QueryXfixes(xcb_connection_t* c) {
    if (!ExtensionPresent(c, &xcb_xfixes_id)) return false;
    XcbReply<xcb_xfixes_query_version_reply_t> version(xcb_xfixes_query_version_reply(
        c, xcb_xfixes_query_version(c, XCB_XFIXES_MAJOR_VERSION, XCB_XFIXES_MINOR_VERSION),
        nullptr));
    return version && version->major_version >= 1;
}

struct Rect {
    int x = 0, y = 0, width = 0, height = 0;
};

// The part of the rectangle that lies on a root window of the given size; empty when none does.
Rect Intersect(int left, int top, int width, int height, int rootWidth, int rootHeight) {
    const std::int64_t x0 = std::max<std::int64_t>(left, 0);
    const std::int64_t y0 = std::max<std::int64_t>(top, 0);
    const std::int64_t x1 = std::min<std::int64_t>(std::int64_t{left} + width, rootWidth);
    const std::int64_t y1 = std::min<std::int64_t>(std::int64_t{top} + height, rootHeight);
    if (x0 >= x1 || y0 >= y1) return {};
    return {static_cast<int>(x0), static_cast<int>(y0), static_cast<int>(x1 - x0),
            static_cast<int>(y1 - y0)};
}

struct Pixels {
    const std::uint8_t* data = nullptr;
    std::size_t stride = 0;
};

constexpr std::size_t kSegmentGranule = 1 << 20;

}  // namespace

struct Screen::Impl {
    Impl(XcbConnection c, xcb_window_t rootWindow, const PixelFormat& pixelFormat)
        : connection(std::move(c)), root(rootWindow), format(pixelFormat) {}
    ~Impl() { segment.Reset(); }

    void DrainEvents();
    Size MonitorOrRoot();
    std::optional<Pixels> Grab(const Rect& part);
    std::optional<Pixels> GrabShm(const Rect& part, std::size_t stride);
    std::optional<Pixels> GrabPlain(const Rect& part, std::size_t stride);
    bool Compose(const Rect& whole, const Rect& part, const Pixels& pixels, std::size_t stride);
    void ReadColors(xcb_query_colors_cookie_t cookie);

    // Declared first, so that it is closed last.
    XcbConnection connection;
    const xcb_window_t root;
    const PixelFormat format;
    xcb_colormap_t colormap = XCB_NONE;
    RandrInfo randr;
    bool xfixes = false;

    std::mutex mutex;  // guards everything below
    int rootWidth = 0, rootHeight = 0;
    std::optional<Size> monitor;
    bool monitorStale = true;
    bool shmUsable = false;
    ShmSegment segment;
    XcbReply<xcb_get_image_reply_t> plainImage;
    std::vector<std::uint8_t> composed;
    ColorTable colorTable{};
};

// Root and RandR changes arrive as events on this connection; no other events are asked for.
void Screen::Impl::DrainEvents() {
    while (XcbReply<xcb_generic_event_t> event{xcb_poll_for_event(connection.get())}) {
        if ((event->response_type & 0x7f) == XCB_CONFIGURE_NOTIFY) {
            const auto* configure = reinterpret_cast<xcb_configure_notify_event_t*>(event.get());
            if (configure->window != root) continue;
            rootWidth = configure->width;
            rootHeight = configure->height;
            monitorStale = true;
        } else if (IsRandrChange(randr, event->response_type)) {
            monitorStale = true;
        }
    }
}

Size Screen::Impl::MonitorOrRoot() {
    DrainEvents();
    if (monitorStale) {
        monitor = MonitorSize(connection.get(), root, randr);
        monitorStale = false;
    }
    return monitor.value_or(Size{rootWidth, rootHeight});
}

std::optional<Pixels> Screen::Impl::GrabShm(const Rect& part, std::size_t stride) {
    const std::size_t bytes = stride * static_cast<std::size_t>(part.height);
    // One segment, grown on demand: a segment per frame would cost two round trips each time.
    if (segment.size() < bytes) {
        const std::size_t size = (bytes + kSegmentGranule - 1) / kSegmentGranule * kSegmentGranule;
        if (!segment.Create(connection.get(), size)) {
            shmUsable = false;
            return std::nullopt;
        }
    }
    xcb_generic_error_t* error = nullptr;
    XcbReply<xcb_shm_get_image_reply_t> reply(xcb_shm_get_image_reply(
        connection.get(),
        xcb_shm_get_image(connection.get(), root, static_cast<std::int16_t>(part.x),
                          static_cast<std::int16_t>(part.y), static_cast<std::uint16_t>(part.width),
                          static_cast<std::uint16_t>(part.height), ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP,
                          segment.id(), 0),
        &error));
    XcbReply<xcb_generic_error_t> owned(error);
    if (!reply || reply->size < bytes) return std::nullopt;
    return Pixels{segment.data(), stride};
}

std::optional<Pixels> Screen::Impl::GrabPlain(const Rect& part, std::size_t stride) {
    xcb_generic_error_t* error = nullptr;
    plainImage.reset(xcb_get_image_reply(
        connection.get(),
        xcb_get_image(connection.get(), XCB_IMAGE_FORMAT_Z_PIXMAP, root,
                      static_cast<std::int16_t>(part.x), static_cast<std::int16_t>(part.y),
                      static_cast<std::uint16_t>(part.width),
                      static_cast<std::uint16_t>(part.height), ~0u),
        &error));
    XcbReply<xcb_generic_error_t> owned(error);
    if (!plainImage) return std::nullopt;
    const auto length = static_cast<std::size_t>(xcb_get_image_data_length(plainImage.get()));
    if (length < stride * static_cast<std::size_t>(part.height)) return std::nullopt;
    return Pixels{xcb_get_image_data(plainImage.get()), stride};
}

std::optional<Pixels> Screen::Impl::Grab(const Rect& part) {
    const std::size_t stride = format.RowBytes(part.width);
    if (shmUsable) {
        if (auto pixels = GrabShm(part, stride)) return pixels;
    }
    auto pixels = GrabPlain(part, stride);
    // SHM failed where plain GetImage works: the server cannot serve us through SHM at all.
    if (pixels && shmUsable) {
        shmUsable = false;
        segment.Reset();
    }
    return pixels;
}

// Places the captured part into a black image of the whole rectangle.
bool Screen::Impl::Compose(const Rect& whole, const Rect& part, const Pixels& pixels,
                           std::size_t stride) {
    const auto height = static_cast<std::size_t>(whole.height);
    if (stride > std::numeric_limits<std::size_t>::max() / height) return false;
    try {
        composed.assign(stride * height, format.Indexed() ? format.blackIndex : 0);
    } catch (const std::bad_alloc&) {
        composed = {};
        return false;
    } catch (const std::length_error&) {
        composed = {};
        return false;
    }
    if (pixels.data == nullptr) return true;
    const auto bytesPerPixel = static_cast<std::size_t>(format.bitsPerPixel / 8);
    const std::size_t column = static_cast<std::size_t>(part.x - whole.x) * bytesPerPixel;
    const std::size_t rowBytes = static_cast<std::size_t>(part.width) * bytesPerPixel;
    const auto firstRow = static_cast<std::size_t>(part.y - whole.y);
    for (std::size_t y = 0; y < static_cast<std::size_t>(part.height); ++y) {
        std::memcpy(composed.data() + (firstRow + y) * stride + column,
                    pixels.data + y * pixels.stride, rowBytes);
    }
    return true;
}

void Screen::Impl::ReadColors(xcb_query_colors_cookie_t cookie) {
    XcbReply<xcb_query_colors_reply_t> reply(
        xcb_query_colors_reply(connection.get(), cookie, nullptr));
    if (!reply) return;
    const xcb_rgb_t* colors = xcb_query_colors_colors(reply.get());
    const int count = std::min<int>(xcb_query_colors_colors_length(reply.get()),
                                    static_cast<int>(colorTable.size()));
    colorTable.fill(0);
    for (int i = 0; i < count; ++i) {
        // The colormap holds 16 bits per channel; a DIB table keeps the top 8.
        const xcb_rgb_t& rgb = colors[i];
        colorTable[static_cast<std::size_t>(i)] = (std::uint32_t{rgb.red} >> 8) << 16 |
                                                  (std::uint32_t{rgb.green} >> 8) << 8 |
                                                  std::uint32_t{rgb.blue} >> 8;
    }
}

std::unique_ptr<Screen> Screen::Open() {
    int screenNumber = 0;
    XcbConnection connection(xcb_connect(nullptr, &screenNumber));
    if (xcb_connection_has_error(connection.get())) return nullptr;
    xcb_connection_t* c = connection.get();
    const xcb_setup_t* setup = xcb_get_setup(c);
    const xcb_screen_t* screen = ScreenOfNumber(setup, screenNumber);
    if (screen == nullptr) return nullptr;
    const std::optional<PixelFormat> format = FormatOf(setup, screen);
    if (!format) return nullptr;

    xcb_prefetch_extension_data(c, &xcb_shm_id);
    xcb_prefetch_extension_data(c, &xcb_xfixes_id);
    xcb_prefetch_extension_data(c, &xcb_randr_id);
    const std::uint32_t events = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, screen->root, XCB_CW_EVENT_MASK, &events);
    // Asked after selecting ConfigureNotify, so that no resize slips between the two.
    const auto geometryCookie = xcb_get_geometry(c, screen->root);
    const auto attributesCookie = xcb_get_window_attributes(c, screen->root);

    auto impl = std::make_unique<Impl>(std::move(connection), screen->root, *format);
    impl->shmUsable = QueryShm(c);
    impl->xfixes = QueryXfixes(c);
    impl->randr = QueryRandr(c);
    SelectRandrChanges(c, screen->root, impl->randr);
    XcbReply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(c, geometryCookie, nullptr));
    XcbReply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(c, attributesCookie, nullptr));
    if (!geometry || !attributes) return nullptr;
    impl->rootWidth = geometry->width;
    impl->rootHeight = geometry->height;
    impl->colormap = attributes->colormap;
    return std::make_unique<Screen>(Key{}, std::move(impl));
}

Screen::Screen(Key, std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

Screen::~Screen() = default;

int Screen::BitsPerPixel() const {
    return impl_->format.bitsPerPixel;
}

int Screen::Width() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->MonitorOrRoot().width;
}

int Screen::Height() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->MonitorOrRoot().height;
}

int Screen::VirtualWidth() const {
    std::lock_guard lock(impl_->mutex);
    impl_->DrainEvents();
    return impl_->rootWidth;
}

int Screen::VirtualHeight() const {
    std::lock_guard lock(impl_->mutex);
    impl_->DrainEvents();
    return impl_->rootHeight;
}

bool Screen::Capture(int left, int top, int width, int height, NativeImage& image) {
    Impl& s = *impl_;
    if (width <= 0 || height <= 0) return false;
    const int bpp = s.format.bitsPerPixel;
    if (bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return false;
    std::lock_guard lock(s.mutex);
    xcb_connection_t* c = s.connection.get();
    if (xcb_connection_has_error(c)) return false;
    s.DrainEvents();

    // Asked together with the pixels, so that the table always matches the frame it came with
    // at no extra round trip.
    std::optional<xcb_query_colors_cookie_t> colors;
    if (s.format.Indexed()) {
        std::array<std::uint32_t, 256> values;
        for (std::uint32_t i = 0; i < values.size(); ++i) values[i] = i;
        const auto count = std::min<std::uint32_t>(
            static_cast<std::uint32_t>(s.format.colormapEntries), values.size());
        colors = xcb_query_colors(c, s.colormap, count, values.data());
    }

    // The server refuses GetImage beyond the root window, so only the part on it is asked for.
    const Rect whole{left, top, width, height};
    const Rect part = Intersect(left, top, width, height, s.rootWidth, s.rootHeight);
    std::optional<Pixels> pixels = Pixels{};
    if (part.width > 0) pixels = s.Grab(part);
    if (colors) s.ReadColors(*colors);
    if (!pixels) return false;

    const std::size_t stride = s.format.RowBytes(width);
    if (part.width != width || part.height != height) {
        if (!s.Compose(whole, part, *pixels, stride)) return false;
        pixels = Pixels{s.composed.data(), stride};
    }
    image = NativeImage{.width = width,
                        .height = height,
                        .bitsPerPixel = bpp,
                        .stride = pixels->stride,
                        .data = pixels->data,
                        .redMask = s.format.redMask,
                        .greenMask = s.format.greenMask,
                        .blueMask = s.format.blueMask,
                        .msbFirst = s.format.msbFirst};
    return true;
}

bool Screen::ToDib(const NativeImage& image, int bitsPerPixel, std::span<std::uint8_t> pixels,
                   std::span<std::uint32_t> colorTable) {
    if (bitsPerPixel == 8 && colorTable.size() < ColorTable{}.size()) return false;
    ColorTable table{};
    if (image.bitsPerPixel == 8) {
        if (IsIndexed(image)) {
            std::lock_guard lock(impl_->mutex);
            table = impl_->colorTable;
        } else {
            table = ColorTableFromMasks(image);
        }
    }
    if (!ConvertToDib(image, bitsPerPixel, table, pixels)) return false;
    if (bitsPerPixel == 8) std::copy(table.begin(), table.end(), colorTable.begin());
    return true;
}

std::optional<Point> Screen::PointerPosition() {
    std::lock_guard lock(impl_->mutex);
    xcb_connection_t* c = impl_->connection.get();
    XcbReply<xcb_query_pointer_reply_t> pointer(
        xcb_query_pointer_reply(c, xcb_query_pointer(c, impl_->root), nullptr));
    if (!pointer || !pointer->same_screen) return std::nullopt;
    return Point{pointer->root_x, pointer->root_y};
}

std::optional<Point> Screen::CursorHotSpot() {
    std::lock_guard lock(impl_->mutex);
    if (!impl_->xfixes) return std::nullopt;
    xcb_connection_t* c = impl_->connection.get();
    XcbReply<xcb_xfixes_get_cursor_image_reply_t> cursor(
        xcb_xfixes_get_cursor_image_reply(c, xcb_xfixes_get_cursor_image(c), nullptr));
    if (!cursor) return std::nullopt;
    return Point{cursor->xhot, cursor->yhot};
}

}  // namespace platform::screen
