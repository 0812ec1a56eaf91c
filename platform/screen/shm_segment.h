// A System V shared-memory segment attached both here and in the X server, for MIT-SHM image
// transfers: the server writes a captured rectangle into it, we read it without a copy.
#pragma once

#include <xcb/shm.h>

#include <cstddef>
#include <cstdint>

namespace platform::screen {

class ShmSegment {
  public:
    ShmSegment() = default;
    ~ShmSegment();
    ShmSegment(const ShmSegment&) = delete;
    ShmSegment& operator=(const ShmSegment&) = delete;

    // Replaces the segment with a new one of at least size bytes, attached on c (which must
    // outlive it). False, and empty, when the system or the server refuse.
    bool Create(xcb_connection_t* c, std::size_t size);
    // Detaches from the server and from this process; does nothing when empty.
    void Reset();

    const std::uint8_t* data() const { return data_; }
    std::size_t size() const { return size_; }
    xcb_shm_seg_t id() const { return id_; }

  private:
    xcb_connection_t* connection_ = nullptr;
    xcb_shm_seg_t id_ = 0;
    const std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
};

}  // namespace platform::screen
