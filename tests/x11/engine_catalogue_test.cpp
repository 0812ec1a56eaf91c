// The codec catalogue: only codecs that take a real test frame of this screen, in the order
// they are installed; the about and configure queries by catalogue position.
#include <gtest/gtest.h>

#include <cstring>

#include "engine/Korvex_ScrCam_Unit.h"
#include "engine/Korvex_VFW_Unit.h"
#include "platform/vfw/vfw.h"

using namespace engine;
namespace vfw = platform::vfw;

namespace {

// A codec that takes frames of some depths only, and counts its about boxes.
class DepthCodec final : public vfw::CodecDriver {
public:
    DepthCodec(vfw::FOURCC handler, std::vector<int> depths, bool about)
        : handler_(handler), depths_(std::move(depths)), about_(about) {}
    vfw::ICINFO Info() const override {
        vfw::ICINFO info{};
        info.dwSize = sizeof info;
        info.fccType = vfw::ICTYPE_VIDEO;
        info.fccHandler = handler_;
        const char16_t name[] = u"Test codec";
        std::memcpy(info.szDescription, name, sizeof name);
        return info;
    }
    std::unique_ptr<vfw::CodecInstance> Open(std::uint32_t) override {
        struct Instance final : vfw::CodecInstance {
            DepthCodec* codec;
            explicit Instance(DepthCodec* c) : codec(c) {}
            vfw::LRESULT Message(std::uint32_t msg, std::intptr_t p1, std::intptr_t p2) override {
                switch (msg) {
                    case vfw::ICM_GETINFO: {
                        const vfw::ICINFO info = codec->Info();
                        const auto n =
                            std::min<std::size_t>(static_cast<std::size_t>(p2), sizeof info);
                        std::memcpy(reinterpret_cast<void*>(p1), &info, n);
                        return static_cast<vfw::LRESULT>(n);
                    }
                    case vfw::ICM_COMPRESS_QUERY: {
                        const auto* in = reinterpret_cast<const vfw::BITMAPINFOHEADER*>(p1);
                        for (int d : codec->depths_) {
                            if (in->biBitCount == d) return vfw::ICERR_OK;
                        }
                        return vfw::ICERR_BADFORMAT;
                    }
                    case vfw::ICM_ABOUT:
                        if (!codec->about_) return vfw::ICERR_UNSUPPORTED;
                        if (p1 != -1) ++codec->aboutBoxes;
                        return vfw::ICERR_OK;
                    default:
                        return vfw::ICERR_UNSUPPORTED;
                }
            }
        };
        return std::make_unique<Instance>(this);
    }
    int aboutBoxes = 0;

private:
    vfw::FOURCC handler_;
    std::vector<int> depths_;
    bool about_;
};

// A codec that is installed but cannot be opened (its library went missing).
class UnopenableCodec final : public vfw::CodecDriver {
public:
    vfw::ICINFO Info() const override {
        vfw::ICINFO info{};
        info.fccType = vfw::ICTYPE_VIDEO;
        info.fccHandler = vfw::mmioFOURCC('G', 'O', 'N', 'E');
        return info;
    }
    std::unique_ptr<vfw::CodecInstance> Open(std::uint32_t) override { return nullptr; }
};

EngineServices QuietServices() {
    EngineServices s;
    s.Alert = [](const std::string&, const std::string&, unsigned) { return 1; };
    s.PostToMain = [](std::function<void()> fn) { fn(); };
    return s;
}

class Catalogue : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs a display";
    }
};

}  // namespace

TEST_F(Catalogue, KeepsTheInstalledOrderAndLeavesOutRefusingCodecs) {
    TScreenCam cam(QuietServices());
    ASSERT_EQ(cam.BitsPerPixel, 32);
    auto first =
        std::make_shared<DepthCodec>(vfw::mmioFOURCC('A', 'A', 'A', 'A'), std::vector{32}, true);
    auto refuses32 = std::make_shared<DepthCodec>(vfw::mmioFOURCC('B', 'B', 'B', 'B'),
                                                  std::vector{16, 24}, true);
    auto third = std::make_shared<DepthCodec>(vfw::mmioFOURCC('C', 'C', 'C', 'C'),
                                              std::vector{8, 32}, false);
    vfw::ScopedDrivers drivers({first, refuses32, std::make_shared<UnopenableCodec>(), third});

    for (int round = 0; round < 2; ++round) {
        cam.EnumerateCodecs();
        ASSERT_EQ(cam.CodecCount, 2) << round;
        EXPECT_EQ(cam.Codecs[0].fccHandler, vfw::mmioFOURCC('A', 'A', 'A', 'A'));
        EXPECT_EQ(cam.Codecs[1].fccHandler, vfw::mmioFOURCC('C', 'C', 'C', 'C'));
        EXPECT_EQ(std::u16string(cam.Codecs[0].szDescription), u"Test codec");
    }
}

TEST_F(Catalogue, DialogsByPosition) {
    TScreenCam cam(QuietServices());
    auto withAbout =
        std::make_shared<DepthCodec>(vfw::mmioFOURCC('A', 'B', 'O', 'U'), std::vector{32}, true);
    auto without =
        std::make_shared<DepthCodec>(vfw::mmioFOURCC('N', 'O', 'A', 'B'), std::vector{32}, false);
    vfw::ScopedDrivers drivers({withAbout, without});
    cam.EnumerateCodecs();
    ASSERT_EQ(cam.CodecCount, 2);

    EXPECT_TRUE(cam.QueryCodecDialogs(0).about);
    EXPECT_FALSE(cam.QueryCodecDialogs(0).configure);
    EXPECT_FALSE(cam.QueryCodecDialogs(1).about);
    for (int index : {-1, 2, 5, 255}) {
        const auto dialogs = cam.QueryCodecDialogs(index);
        EXPECT_FALSE(dialogs.about) << index;
        EXPECT_FALSE(dialogs.configure) << index;
        cam.ShowCodecAbout(index, 0);
    }
    EXPECT_EQ(withAbout->aboutBoxes, 0);
    cam.ShowCodecAbout(0, 0);
    EXPECT_EQ(withAbout->aboutBoxes, 1);
    // Positions are taken as 8-bit values: 256 is position 0.
    cam.ShowCodecAbout(256, 0);
    EXPECT_EQ(withAbout->aboutBoxes, 2);
}

TEST_F(Catalogue, ChosenCodecBecomesTheCompressor) {
    TScreenCam cam(QuietServices());
    auto codec =
        std::make_shared<DepthCodec>(vfw::mmioFOURCC('C', 'H', 'O', 'S'), std::vector{32}, false);
    vfw::ScopedDrivers drivers({codec});
    cam.Settings.CompressorIndex = 0;
    cam.EnumerateCodecs();
    EXPECT_EQ(cam.CompressorFourCC, vfw::mmioFOURCC('C', 'H', 'O', 'S'));
    // A stored position past the end, or a negative one, is no catalogue entry.
    for (int index : {1, 5, -2, -1}) {
        cam.Settings.CompressorIndex = index;
        cam.SelectCompressor();
        EXPECT_EQ(cam.CompressorFourCC, kDefaultCompressor) << index;
    }
}

TEST_F(Catalogue, TheRealCodecsTakeThisScreensFrames) {
    TScreenCam cam(QuietServices());
    cam.EnumerateCodecs();
    ASSERT_GE(cam.CodecCount, 1);
    EXPECT_EQ(cam.Codecs[0].fccHandler, kDefaultCompressor);
    EXPECT_EQ(std::u16string(cam.Codecs[0].szDescription), u"Microsoft Video 1");
}

TEST(FourCC, LowestByteFirst) {
    EXPECT_EQ(vfw::mmioFOURCC('M', 'S', 'V', 'C'), 0x4356534Du);
    EXPECT_EQ(vfw::mmioFOURCC('v', 'i', 'd', 's'), 0x73646976u);
}
