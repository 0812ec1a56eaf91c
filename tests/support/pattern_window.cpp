#include "tests/support/pattern_window.h"

#include <bit>
#include <cstdlib>
#include <map>
#include <memory>
#include <stdexcept>

namespace korvex::test {

namespace {

struct Free {
    void operator()(void* p) const { std::free(p); }
};
template <class T>
using Reply = std::unique_ptr<T, Free>;

const xcb_visualtype_t* RootVisual(const xcb_screen_t* screen) {
    for (auto depths = xcb_screen_allowed_depths_iterator(screen); depths.rem > 0;
         xcb_depth_next(&depths)) {
        for (auto it = xcb_depth_visuals_iterator(depths.data); it.rem > 0;
             xcb_visualtype_next(&it)) {
            if (it.data->visual_id == screen->root_visual) return it.data;
        }
    }
    throw std::runtime_error("root visual not found");
}

const xcb_format_t& PixmapFormat(const xcb_setup_t* setup, int depth) {
    for (auto it = xcb_setup_pixmap_formats_iterator(setup); it.rem > 0; xcb_format_next(&it)) {
        if (it.data->depth == depth) return *it.data;
    }
    throw std::runtime_error("no pixmap format for the root depth");
}

// An 8-bit channel value placed under a mask, widened or narrowed to the mask's width.
std::uint32_t Place(std::uint8_t value, std::uint32_t mask) {
    const int shift = std::countr_zero(mask);
    const int width = std::popcount(mask);
    std::uint32_t v = value;
    if (width <= 8)
        v >>= 8 - width;
    else
        v = v << (width - 8) | v >> (16 - width);
    return (v << shift) & mask;
}

// Pixel values for a colormapped visual: one read-only cell per distinct colour.
class ColorCells {
  public:
    ColorCells(xcb_connection_t* c, xcb_colormap_t colormap) : c_(c), colormap_(colormap) {}

    std::uint32_t Pixel(Rgb colour, Rgb& shown) {
        const std::uint32_t key = std::uint32_t{colour.r} << 16 | colour.g << 8 | colour.b;
        auto it = cells_.find(key);
        if (it == cells_.end()) {
            Reply<xcb_alloc_color_reply_t> cell(xcb_alloc_color_reply(
                c_,
                xcb_alloc_color(c_, colormap_, static_cast<std::uint16_t>(colour.r * 257),
                                static_cast<std::uint16_t>(colour.g * 257),
                                static_cast<std::uint16_t>(colour.b * 257)),
                nullptr));
            if (!cell) throw std::runtime_error("cannot allocate a colour cell");
            const Rgb got{static_cast<std::uint8_t>(cell->red >> 8),
                          static_cast<std::uint8_t>(cell->green >> 8),
                          static_cast<std::uint8_t>(cell->blue >> 8)};
            it = cells_.emplace(key, std::make_pair(cell->pixel, got)).first;
        }
        shown = it->second.second;
        return it->second.first;
    }

  private:
    xcb_connection_t* c_;
    xcb_colormap_t colormap_;
    std::map<std::uint32_t, std::pair<std::uint32_t, Rgb>> cells_;
};

void StorePixel(std::uint8_t* d, std::uint32_t value, int bytes, bool msbFirst) {
    for (int i = 0; i < bytes; ++i) {
        const int shift = msbFirst ? 8 * (bytes - 1 - i) : 8 * i;
        d[i] = static_cast<std::uint8_t>(value >> shift);
    }
}

}  // namespace

PatternWindow::PatternWindow(const std::string& display, int x, int y, int width, int height,
                             const Picture& picture)
    : connection_(ConnectTo(display)), width_(width) {
    xcb_connection_t* c = connection_.get();
    const xcb_setup_t* setup = xcb_get_setup(c);
    const xcb_screen_t* screen = DefaultScreen(c);
    const xcb_visualtype_t* visual = RootVisual(screen);
    const xcb_format_t& format = PixmapFormat(setup, screen->root_depth);
    const bool trueColor = visual->_class == XCB_VISUAL_CLASS_TRUE_COLOR ||
                           visual->_class == XCB_VISUAL_CLASS_DIRECT_COLOR;
    const bool msbFirst = setup->image_byte_order == XCB_IMAGE_ORDER_MSB_FIRST;
    const int bytes = format.bits_per_pixel / 8;
    const std::size_t stride =
        (static_cast<std::size_t>(width) * format.bits_per_pixel + format.scanline_pad - 1) /
        format.scanline_pad * format.scanline_pad / 8;

    ColorCells cells(c, screen->default_colormap);
    std::vector<std::uint8_t> data(stride * static_cast<std::size_t>(height));
    shown_.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (int py = 0; py < height; ++py) {
        for (int px = 0; px < width; ++px) {
            const Rgb colour = picture(px, py);
            Rgb& shown = shown_[static_cast<std::size_t>(py) * width + px];
            std::uint32_t value;
            if (trueColor) {
                value = Place(colour.r, visual->red_mask) | Place(colour.g, visual->green_mask) |
                        Place(colour.b, visual->blue_mask);
                shown = colour;
            } else {
                value = cells.Pixel(colour, shown);
            }
            StorePixel(data.data() + static_cast<std::size_t>(py) * stride +
                           static_cast<std::size_t>(px) * bytes,
                       value, bytes, msbFirst);
        }
    }

    window_ = xcb_generate_id(c);
    // No background, so that nothing paints over the picture once it is drawn.
    const std::uint32_t values[] = {XCB_BACK_PIXMAP_NONE, 1};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window_, screen->root, static_cast<std::int16_t>(x),
                      static_cast<std::int16_t>(y), static_cast<std::uint16_t>(width),
                      static_cast<std::uint16_t>(height), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      screen->root_visual, XCB_CW_BACK_PIXMAP | XCB_CW_OVERRIDE_REDIRECT, values);
    xcb_map_window(c, window_);
    const xcb_gcontext_t gc = xcb_generate_id(c);
    xcb_create_gc(c, gc, window_, 0, nullptr);

    // Drawn after mapping: a window without backing store keeps no pixels while unmapped.
    // Strips keep each PutImage under the maximum request length.
    const std::size_t maxBytes = std::size_t{xcb_get_maximum_request_length(c)} * 4 - 64;
    const int rowsPerStrip = static_cast<int>(std::max<std::size_t>(1, maxBytes / stride));
    for (int top = 0; top < height; top += rowsPerStrip) {
        const int rows = std::min(rowsPerStrip, height - top);
        xcb_put_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, window_, gc, static_cast<std::uint16_t>(width),
                      static_cast<std::uint16_t>(rows), 0, static_cast<std::int16_t>(top), 0,
                      screen->root_depth,
                      static_cast<std::uint32_t>(stride * static_cast<std::size_t>(rows)),
                      data.data() + static_cast<std::size_t>(top) * stride);
    }
    xcb_free_gc(c, gc);
    Sync(c);
    while (Reply<xcb_generic_event_t> event{xcb_poll_for_event(c)}) {
        if (event->response_type == 0) throw std::runtime_error("the server refused the window");
    }
    if (xcb_connection_has_error(c)) throw std::runtime_error("connection to the display lost");
}

Rgb PatternWindow::Shown(int x, int y) const {
    return shown_.at(static_cast<std::size_t>(y) * width_ + x);
}

}  // namespace korvex::test
