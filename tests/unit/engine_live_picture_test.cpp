// The recording's live picture over a screen whose damage misses a change, as a compositing
// manager's drawing can: the band of rows healed each pass finds it within the healing round and
// marks only the rows that differ; and a first picture handed over is gone on from with the
// damage alone, without a whole grab.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engine/LivePicture.h"

using namespace engine;
namespace screen = platform::screen;

namespace {

constexpr int kWidth = 64, kHeight = 40, kHealPasses = 5;  // bands of 8 rows
constexpr CaptureRect kRect{0, 0, kWidth, kHeight};

// A 32-bit screen held in memory, counting the rows read from it.
class MemoryScreen final : public screen::CaptureSource {
public:
    MemoryScreen() : pixels_(std::size_t{4} * kWidth * kHeight, 0x40) {}
    void Set(int x, int y, std::uint8_t value) {
        pixels_[(std::size_t{4} * (y * kWidth + x))] = value;
    }
    int rowsRead = 0;

    int BitsPerPixel() const override { return 32; }
    int Width() const override { return kWidth; }
    int Height() const override { return kHeight; }
    bool Capture(int left, int top, int width, int height, screen::NativeImage& image) override {
        rowsRead += height;
        image = {width,
                 height,
                 32,
                 std::size_t{4} * kWidth,
                 pixels_.data() + std::size_t{4} * (top * kWidth + left),
                 0xFF0000,
                 0xFF00,
                 0xFF};
        return true;
    }
    bool ToDib(const screen::NativeImage& image, int bitsPerPixel, std::span<std::uint8_t> pixels,
               std::span<std::uint32_t> colorTable) override {
        return screen::ConvertToDib(image, bitsPerPixel, colorTable, pixels);
    }
    std::optional<screen::Point> PointerPosition() override { return std::nullopt; }
    std::optional<screen::Point> CursorHotSpot() override { return std::nullopt; }

private:
    std::vector<std::uint8_t> pixels_;
};

// Damage that tells only what it is given.
class GivenDamage final : public screen::DamageWatcher {
public:
    explicit GivenDamage(std::vector<screen::DamageRect>* given) : given_(given) {}
    std::optional<std::vector<screen::DamageRect>> Take() override {
        return std::exchange(*given_, {});
    }

private:
    std::vector<screen::DamageRect>* given_;
};

// The blue byte of the picture's pixel (x, y); DIB rows run bottom-up.
std::uint8_t PictureAt(const LivePicture& picture, int x, int y) {
    const FrameBlock& frame = picture.Picture();
    return frame.Pixels()[frame.Stride() * (kHeight - 1 - y) + 4 * x];
}

}  // namespace

TEST(LivePicture, AChangeTheDamageMissedIsHealedWithinTheRoundAndAloneMarked) {
    MemoryScreen memory;
    std::vector<screen::DamageRect> damage;
    LivePicture picture(memory, std::make_unique<GivenDamage>(&damage), kRect, 32, kHealPasses,
                        nullptr, [] { FAIL() << "unreadable"; });
    picture.Update();
    EXPECT_EQ(picture.TakeChanged(), (std::vector<RowSpan>{{0, kHeight}}));

    memory.Set(5, 37, 0x99);  // drawn without damage
    for (int pass = 1; pass <= kHealPasses; ++pass) {
        memory.rowsRead = 0;
        picture.Update();
        EXPECT_EQ(memory.rowsRead, kHeight / kHealPasses) << "pass " << pass;
        const std::vector<RowSpan> changed = picture.TakeChanged();
        if (pass < kHealPasses) {
            EXPECT_TRUE(changed.empty()) << "pass " << pass;
        } else {
            EXPECT_EQ(changed, (std::vector<RowSpan>{{37, 38}}));
        }
    }
    EXPECT_EQ(PictureAt(picture, 5, 37), 0x99);
}

TEST(LivePicture, AHandedOverFirstPictureIsKeptAndOnlyDamageIsGrabbed) {
    MemoryScreen memory;
    auto first = FrameBlock::Allocate(kWidth, kHeight, 32);
    screen::NativeImage whole;
    ASSERT_TRUE(memory.Capture(0, 0, kWidth, kHeight, whole));
    ASSERT_TRUE(memory.ToDib(whole, 32, first->Pixels(), first->ColorTable()));
    memory.rowsRead = 0;

    memory.Set(9, 3, 0x77);  // drawn after the first grab, with damage
    std::vector<screen::DamageRect> damage{{9, 3, 1, 1}};
    LivePicture picture(memory, std::make_unique<GivenDamage>(&damage), kRect, 32, kHealPasses,
                        std::move(first), [] { FAIL() << "unreadable"; });
    picture.Update();
    EXPECT_EQ(memory.rowsRead, 1 + kHeight / kHealPasses);  // the damaged row and one band
    EXPECT_EQ(picture.TakeChanged(), (std::vector<RowSpan>{{0, kHeight}}));
    EXPECT_EQ(PictureAt(picture, 9, 3), 0x77);
}
