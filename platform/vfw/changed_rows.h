// What an encoder that keeps its current and previous pictures, and swaps them after each frame,
// needs to know for pictures loaded in part: which rows of the current picture must first be
// brought over from the previous one, and which rows can differ at all. Plain data; one thread.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/vfw/vfw.h"

namespace platform::vfw {

// Whether spans are ascending, apart and inside a picture of that height.
bool ValidRowSpans(std::span<const RowSpan> spans, std::int32_t height);

class ChangedRows {
public:
    explicit ChangedRows(std::int32_t height) : height_(height) {}

    // The whole picture was loaded.
    void LoadedWhole() {
        whole_ = true;
        loaded_.clear();
    }

    // Only `changed` is about to be loaded: first hands each span of rows that the current
    // picture must take over from the previous one to restore(span).
    template <typename RestoreFn>
    void LoadingPart(std::span<const RowSpan> changed, RestoreFn restore) {
        if (staleEverywhere_) {
            restore(RowSpan{0, height_});
        } else {
            for (const RowSpan& span : stale_) restore(span);
        }
        whole_ = false;
        loaded_.assign(changed.begin(), changed.end());
    }

    // Whether rows [top, bottom) of the loaded picture can differ from the previous one.
    bool MayDiffer(std::int32_t top, std::int32_t bottom) const;

    // The encoder swapped its pictures: the current one is now the picture before the previous.
    void Swapped() {
        staleEverywhere_ = whole_;
        stale_ = loaded_;
    }

private:
    std::int32_t height_;
    bool whole_ = true;
    std::vector<RowSpan> loaded_;  // the rows read, when not the whole picture
    bool staleEverywhere_ = true;  // the current picture holds nothing of the previous one
    std::vector<RowSpan> stale_;   // else the rows where the two differ
};

}  // namespace platform::vfw
