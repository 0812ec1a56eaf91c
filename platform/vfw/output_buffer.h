// A byte buffer whose contents start undefined. Codec output and work areas are sized for the
// worst frame but mostly filled with little; zeroing them would touch every page of megabytes
// that are never used. Movable, not copyable.
#pragma once

#include <cstddef>
#include <memory>
#include <span>

namespace platform::vfw {

template <typename Byte>
class OutputBuffer {
public:
    OutputBuffer() = default;
    explicit OutputBuffer(std::size_t size)
        : bytes_(std::make_unique_for_overwrite<Byte[]>(size)), size_(size) {}

    Byte* data() { return bytes_.get(); }
    const Byte* data() const { return bytes_.get(); }
    std::size_t size() const { return size_; }
    Byte* begin() { return data(); }
    Byte* end() { return data() + size_; }
    std::span<Byte> span() { return {data(), size_}; }

private:
    std::unique_ptr<Byte[]> bytes_;
    std::size_t size_ = 0;
};

}  // namespace platform::vfw
