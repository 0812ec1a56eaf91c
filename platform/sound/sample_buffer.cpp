#include "platform/sound/sample_buffer.h"

#include <algorithm>

namespace platform::sound {

SampleBuffer::SampleBuffer(std::size_t capacity, std::size_t sampleSize)
    : ring_(capacity / sampleSize * sampleSize), sampleSize_(sampleSize) {}

void SampleBuffer::Put(const std::byte* bytes, std::size_t size) {
    const std::lock_guard lock(mutex_);
    // Stored after a loss, they would close the gap and pull later sound forward in time.
    if (lost_ > 0 || size > ring_.size() - used_) {
        lost_ += size;
        return;
    }
    std::size_t tail = (head_ + used_) % ring_.size();
    const std::size_t first = std::min(size, ring_.size() - tail);
    std::copy_n(bytes, first, ring_.begin() + static_cast<std::ptrdiff_t>(tail));
    std::copy_n(bytes + first, size - first, ring_.begin());
    used_ += size;
}

void SampleBuffer::PutSilence(std::size_t size) {
    const std::vector<std::byte> zeros(size);
    Put(zeros.data(), zeros.size());
}

std::size_t SampleBuffer::Take(std::vector<std::byte>& out, std::size_t maxBytes) {
    const std::lock_guard lock(mutex_);
    maxBytes = maxBytes / sampleSize_ * sampleSize_;
    const std::size_t stored = std::min(used_, maxBytes);
    for (std::size_t done = 0; done < stored;) {
        const std::size_t run = std::min(stored - done, ring_.size() - head_);
        out.insert(out.end(), ring_.begin() + static_cast<std::ptrdiff_t>(head_),
                   ring_.begin() + static_cast<std::ptrdiff_t>(head_ + run));
        head_ = (head_ + run) % ring_.size();
        done += run;
    }
    used_ -= stored;
    std::size_t silent = 0;
    if (used_ == 0) {
        silent = std::min(lost_ / sampleSize_ * sampleSize_, maxBytes - stored);
        out.insert(out.end(), silent, std::byte{0});
        lost_ -= silent;
    }
    return stored + silent;
}

std::size_t SampleBuffer::Available() const {
    const std::lock_guard lock(mutex_);
    return used_ + lost_ / sampleSize_ * sampleSize_;
}

}  // namespace platform::sound
