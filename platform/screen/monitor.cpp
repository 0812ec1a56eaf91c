#include "platform/screen/monitor.h"

#include <xcb/randr.h>

#include "platform/xcb/xcb_handles.h"

namespace platform::screen {

using xcb::XcbReply;

namespace {

bool AtLeast(const RandrInfo& randr, std::uint32_t major, std::uint32_t minor) {
    return randr.major > major || (randr.major == major && randr.minor >= minor);
}

// Monitors (RandR 1.5) also cover the virtual monitors that `xrandr --setmonitor` defines.
std::optional<Size> PrimaryMonitor(xcb_connection_t* c, xcb_window_t root) {
    XcbReply<xcb_randr_get_monitors_reply_t> monitors(
        xcb_randr_get_monitors_reply(c, xcb_randr_get_monitors(c, root, 1), nullptr));
    if (!monitors) return std::nullopt;
    for (auto it = xcb_randr_get_monitors_monitors_iterator(monitors.get()); it.rem > 0;
         xcb_randr_monitor_info_next(&it)) {
        if (it.data->primary && it.data->width > 0 && it.data->height > 0)
            return Size{it.data->width, it.data->height};
    }
    return std::nullopt;
}

std::optional<Size> CrtcSize(xcb_connection_t* c, xcb_randr_crtc_t crtc,
                             xcb_timestamp_t configTime) {
    if (crtc == XCB_NONE) return std::nullopt;
    XcbReply<xcb_randr_get_crtc_info_reply_t> info(
        xcb_randr_get_crtc_info_reply(c, xcb_randr_get_crtc_info(c, crtc, configTime), nullptr));
    if (!info || info->status != XCB_RANDR_SET_CONFIG_SUCCESS || info->mode == XCB_NONE ||
        info->width == 0 || info->height == 0)
        return std::nullopt;
    return Size{info->width, info->height};
}

std::optional<Size> PrimaryOutput(xcb_connection_t* c, xcb_window_t root,
                                  xcb_timestamp_t configTime) {
    XcbReply<xcb_randr_get_output_primary_reply_t> primary(
        xcb_randr_get_output_primary_reply(c, xcb_randr_get_output_primary(c, root), nullptr));
    if (!primary || primary->output == XCB_NONE) return std::nullopt;
    XcbReply<xcb_randr_get_output_info_reply_t> output(xcb_randr_get_output_info_reply(
        c, xcb_randr_get_output_info(c, primary->output, configTime), nullptr));
    if (!output || output->status != XCB_RANDR_SET_CONFIG_SUCCESS) return std::nullopt;
    return CrtcSize(c, output->crtc, configTime);
}

}  // namespace

RandrInfo QueryRandr(xcb_connection_t* c) {
    RandrInfo randr;
    const xcb_query_extension_reply_t* extension = xcb_get_extension_data(c, &xcb_randr_id);
    if (extension == nullptr || !extension->present) return randr;
    XcbReply<xcb_randr_query_version_reply_t> version(xcb_randr_query_version_reply(
        c, xcb_randr_query_version(c, XCB_RANDR_MAJOR_VERSION, XCB_RANDR_MINOR_VERSION), nullptr));
    if (!version) return randr;
    randr.present = true;
    randr.major = version->major_version;
    randr.minor = version->minor_version;
    randr.firstEvent = extension->first_event;
    return randr;
}

void SelectRandrChanges(xcb_connection_t* c, xcb_window_t root, const RandrInfo& randr) {
    if (!randr.present) return;
    std::uint16_t mask = XCB_RANDR_NOTIFY_MASK_SCREEN_CHANGE;
    if (AtLeast(randr, 1, 2))
        mask |= XCB_RANDR_NOTIFY_MASK_CRTC_CHANGE | XCB_RANDR_NOTIFY_MASK_OUTPUT_CHANGE;
    xcb_randr_select_input(c, root, mask);
}

bool IsRandrChange(const RandrInfo& randr, std::uint8_t responseType) {
    const int type = responseType & 0x7f;
    return randr.present && (type == randr.firstEvent + XCB_RANDR_SCREEN_CHANGE_NOTIFY ||
                             type == randr.firstEvent + XCB_RANDR_NOTIFY);
}

std::optional<Size> MonitorSize(xcb_connection_t* c, xcb_window_t root, const RandrInfo& randr) {
    // The CRTC queries below need GetScreenResourcesCurrent, which came with 1.3.
    if (!randr.present || !AtLeast(randr, 1, 3)) return std::nullopt;
    if (AtLeast(randr, 1, 5)) {
        if (auto size = PrimaryMonitor(c, root)) return size;
    }
    XcbReply<xcb_randr_get_screen_resources_current_reply_t> resources(
        xcb_randr_get_screen_resources_current_reply(
            c, xcb_randr_get_screen_resources_current(c, root), nullptr));
    if (!resources) return std::nullopt;
    const xcb_timestamp_t configTime = resources->config_timestamp;
    // From 1.5 on the primary output's monitor is the primary monitor, already asked above.
    if (!AtLeast(randr, 1, 5)) {
        if (auto size = PrimaryOutput(c, root, configTime)) return size;
    }
    const xcb_randr_crtc_t* crtcs = xcb_randr_get_screen_resources_current_crtcs(resources.get());
    const int count = xcb_randr_get_screen_resources_current_crtcs_length(resources.get());
    for (int i = 0; i < count; ++i) {
        if (auto size = CrtcSize(c, crtcs[i], configTime)) return size;
    }
    return std::nullopt;
}

}  // namespace platform::screen
