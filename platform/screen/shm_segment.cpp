#include "platform/screen/shm_segment.h"

#include <sys/ipc.h>
#include <sys/shm.h>

#include "platform/xcb/xcb_handles.h"

namespace platform::screen {

using xcb::XcbReply;

ShmSegment::~ShmSegment() {
    Reset();
}

bool ShmSegment::Create(xcb_connection_t* c, std::size_t size) {
    Reset();
    const int shmId = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
    if (shmId < 0) return false;
    void* address = shmat(shmId, nullptr, SHM_RDONLY);
    if (address == reinterpret_cast<void*>(-1)) {
        shmctl(shmId, IPC_RMID, nullptr);
        return false;
    }
    const xcb_shm_seg_t id = xcb_generate_id(c);
    // The server writes into the segment, so it attaches it read-write.
    XcbReply<xcb_generic_error_t> error(
        xcb_request_check(c, xcb_shm_attach_checked(c, id, static_cast<std::uint32_t>(shmId), 0)));
    // Once both sides are attached the id is no longer needed; marked for removal now, the
    // segment goes with the last detach, even if this process crashes.
    shmctl(shmId, IPC_RMID, nullptr);
    if (error || xcb_connection_has_error(c)) {
        shmdt(address);
        return false;
    }
    connection_ = c;
    id_ = id;
    data_ = static_cast<const std::uint8_t*>(address);
    size_ = size;
    return true;
}

void ShmSegment::Reset() {
    if (data_ == nullptr) return;
    xcb_shm_detach(connection_, id_);
    xcb_flush(connection_);
    shmdt(data_);
    connection_ = nullptr;
    id_ = 0;
    data_ = nullptr;
    size_ = 0;
}

}  // namespace platform::screen
