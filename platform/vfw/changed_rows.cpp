#include "platform/vfw/changed_rows.h"

#include <algorithm>

namespace platform::vfw {

bool ValidRowSpans(std::span<const RowSpan> spans, std::int32_t height) {
    std::int32_t below = 0;
    for (const RowSpan& span : spans) {
        if (span.top < below || span.bottom <= span.top || span.bottom > height) return false;
        below = span.bottom;
    }
    return true;
}

bool ChangedRows::MayDiffer(std::int32_t top, std::int32_t bottom) const {
    if (whole_) return true;
    // Spans are few (a frame's damage), so a plain walk does.
    return std::any_of(loaded_.begin(), loaded_.end(),
                       [&](const RowSpan& s) { return s.top < bottom && top < s.bottom; });
}

}  // namespace platform::vfw
