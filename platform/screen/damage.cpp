#include "platform/screen/damage.h"

#include <xcb/damage.h>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include "platform/xcb/xcb_handles.h"

namespace platform::screen {

using xcb::XcbConnection;
using xcb::XcbReply;

struct RootDamageWatcher::Impl {
    XcbConnection connection;
    xcb_damage_damage_t damage = 0;
    xcb_xfixes_region_t parts = 0;  // receives the damage each Take subtracts
};

namespace {

bool Present(xcb_connection_t* c, xcb_extension_t* extension) {
    const xcb_query_extension_reply_t* data = xcb_get_extension_data(c, extension);
    return data != nullptr && data->present;
}

// Both extensions want their versions negotiated before any other request; regions need
// XFixes 2.
bool Negotiate(xcb_connection_t* c) {
    if (!Present(c, &xcb_xfixes_id) || !Present(c, &xcb_damage_id)) return false;
    XcbReply<xcb_xfixes_query_version_reply_t> xfixes(
        xcb_xfixes_query_version_reply(c, xcb_xfixes_query_version(c, 2, 0), nullptr));
    XcbReply<xcb_damage_query_version_reply_t> damage(
        xcb_damage_query_version_reply(c, xcb_damage_query_version(c, 1, 1), nullptr));
    return xfixes && xfixes->major_version >= 2 && damage && damage->major_version >= 1;
}

}  // namespace

std::unique_ptr<RootDamageWatcher> RootDamageWatcher::Open() {
    int screenNumber = 0;
    XcbConnection connection(xcb_connect(nullptr, &screenNumber));
    xcb_connection_t* c = connection.get();
    if (xcb_connection_has_error(c)) return nullptr;
    auto roots = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (; roots.rem > 0 && screenNumber > 0; --screenNumber) xcb_screen_next(&roots);
    if (roots.rem == 0) return nullptr;
    xcb_prefetch_extension_data(c, &xcb_xfixes_id);
    xcb_prefetch_extension_data(c, &xcb_damage_id);
    if (!Negotiate(c)) return nullptr;

    auto impl = std::make_unique<Impl>();
    impl->damage = xcb_generate_id(c);
    impl->parts = xcb_generate_id(c);
    // Non-empty: one event when damage starts to gather, none for each drawing.
    const xcb_void_cookie_t created = xcb_damage_create_checked(c, impl->damage, roots.data->root,
                                                                XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY);
    const xcb_void_cookie_t region = xcb_xfixes_create_region_checked(c, impl->parts, 0, nullptr);
    XcbReply<xcb_generic_error_t> createError(xcb_request_check(c, created));
    XcbReply<xcb_generic_error_t> regionError(xcb_request_check(c, region));
    if (createError || regionError) return nullptr;
    impl->connection = std::move(connection);
    return std::make_unique<RootDamageWatcher>(Key{}, std::move(impl));
}

RootDamageWatcher::RootDamageWatcher(Key, std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

RootDamageWatcher::~RootDamageWatcher() {
    xcb_connection_t* c = impl_->connection.get();
    if (!xcb_connection_has_error(c)) {
        xcb_damage_destroy(c, impl_->damage);
        xcb_xfixes_destroy_region(c, impl_->parts);
        xcb_flush(c);
    }
}

std::optional<std::vector<DamageRect>> RootDamageWatcher::Take() {
    xcb_connection_t* c = impl_->connection.get();
    // The notifications only say that damage gathered; the region says where.
    while (XcbReply<xcb_generic_event_t> event{xcb_poll_for_event(c)}) {
    }
    xcb_damage_subtract(c, impl_->damage, XCB_NONE, impl_->parts);
    XcbReply<xcb_xfixes_fetch_region_reply_t> fetched(
        xcb_xfixes_fetch_region_reply(c, xcb_xfixes_fetch_region(c, impl_->parts), nullptr));
    if (!fetched) return std::nullopt;
    const xcb_rectangle_t* rects = xcb_xfixes_fetch_region_rectangles(fetched.get());
    const int count = xcb_xfixes_fetch_region_rectangles_length(fetched.get());
    std::vector<DamageRect> taken;
    taken.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        taken.push_back({rects[i].x, rects[i].y, rects[i].width, rects[i].height});
    }
    return taken;
}

}  // namespace platform::screen
