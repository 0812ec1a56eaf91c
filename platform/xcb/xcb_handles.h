// Owners for XCB objects, shared by every stand-in that speaks to the X server. Replies, events
// and errors are malloc'ed by XCB and go with free.
#pragma once

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

namespace platform::xcb {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <class T>
using XcbReply = std::unique_ptr<T, FreeDeleter>;

struct DisconnectDeleter {
    void operator()(xcb_connection_t* c) const { xcb_disconnect(c); }
};
using XcbConnection = std::unique_ptr<xcb_connection_t, DisconnectDeleter>;

}  // namespace platform::xcb
