// The resources compiled into the program: artwork with the sizes, alpha and looks the recorder
// and the toolbar rely on, and the two libraries carried as data.
#include "resources/Resources.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <QColor>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <utility>

namespace {

constexpr int kFirstCursor = 201;
constexpr int kLastCursor = 215;
constexpr int kFirstBitmap = 101;
constexpr int kLastBitmap = 113;

// The tests walk the ids as numbers.
QImage CursorImage(int id) {
    return resources::CursorImage(resources::Cursor{id});
}
QImage ToolbarBitmap(int id) {
    return resources::ToolbarBitmap(resources::Bitmap{id});
}
QByteArray DataResource(int id) {
    return resources::DataResource(resources::Data{id});
}

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Standard output of a shell command; the tools we did not write are asked this way.
std::string CommandOutput(const std::string& command) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    std::string output;
    if (!pipe) {
        return output;
    }
    char buffer[256];
    while (fgets(buffer, sizeof buffer, pipe.get()) != nullptr) {
        output += buffer;
    }
    return output;
}

struct AlphaCounts {
    int transparent = 0;
    int partial = 0;
    int opaque = 0;
};

AlphaCounts CountAlpha(const QImage& image) {
    AlphaCounts counts;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const int alpha = qAlpha(image.pixel(x, y));
            (alpha == 0 ? counts.transparent : alpha == 255 ? counts.opaque : counts.partial)++;
        }
    }
    return counts;
}

// Mean colour of the opaque pixels inside rect that are neither outline nor white symbol.
QColor BodyColour(const QImage& image, QRect rect = QRect(0, 0, 32, 32)) {
    long r = 0, g = 0, b = 0, n = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x <= rect.right(); ++x) {
            const QColor colour = QColor::fromRgba(image.pixel(x, y));
            if (colour.alpha() == 255 && colour.value() > 110 && colour.hsvSaturation() > 0 &&
                !(colour.red() > 240 && colour.green() > 240 && colour.blue() > 240)) {
                r += colour.red(), g += colour.green(), b += colour.blue(), ++n;
            }
        }
    }
    return n == 0 ? QColor() : QColor(int(r / n), int(g / n), int(b / n));
}

bool IsRed(const QColor& c) {
    return c.isValid() && (c.hsvHue() <= 12 || c.hsvHue() >= 348) && c.hsvSaturation() > 140;
}
bool HueBetween(const QColor& c, int low, int high) {
    return c.isValid() && c.hsvHue() >= low && c.hsvHue() <= high && c.hsvSaturation() > 140;
}

bool HasWhite(const QImage& image) {
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = QColor::fromRgba(image.pixel(x, y));
            if (c.alpha() == 255 && c.red() > 245 && c.green() > 245 && c.blue() > 245) {
                return true;
            }
        }
    }
    return false;
}

double MeanLuminance(const QImage& image) {
    double sum = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            sum += qGray(image.pixel(x, y));
        }
    }
    return sum / (image.width() * image.height());
}

TEST(CursorImages, AreThirtyTwoSquareWithSoftAlpha) {
    for (int id = kFirstCursor; id <= kLastCursor; ++id) {
        SCOPED_TRACE(id);
        const QImage image = CursorImage(id);
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.size(), QSize(32, 32));
        EXPECT_EQ(image.format(), QImage::Format_ARGB32_Premultiplied);
        const AlphaCounts counts = CountAlpha(image);
        EXPECT_GT(counts.transparent, 0);
        EXPECT_GT(counts.opaque, 0);
        EXPECT_GT(counts.partial, 0) << "edges are antialiased";
    }
}

TEST(CursorImages, ArrowTipsSitOnTheHotSpot) {
    for (int id = 201; id <= 209; ++id) {
        SCOPED_TRACE(id);
        EXPECT_EQ(qAlpha(CursorImage(id).pixel(0, 0)), 255);
    }
}

TEST(CursorImages, AllFifteenDiffer) {
    for (int a = kFirstCursor; a <= kLastCursor; ++a) {
        for (int b = a + 1; b <= kLastCursor; ++b) {
            EXPECT_NE(CursorImage(a), CursorImage(b)) << a << " vs " << b;
        }
    }
}

// A click image is its arrow with a mark added at the lower right, and nothing else changed.
TEST(CursorImages, ClickMarksOnlyAddToTheLowerRight) {
    const QRect upperLeft(0, 0, 16, 16);
    const QRect lowerRight(16, 16, 16, 16);
    for (const auto& [arrow, marked] :
         {std::pair{201, 202}, {201, 203}, {204, 205}, {204, 206}, {207, 208}, {207, 209}}) {
        SCOPED_TRACE(marked);
        const QImage plain = CursorImage(arrow);
        const QImage mark = CursorImage(marked);
        EXPECT_EQ(plain.copy(upperLeft), mark.copy(upperLeft));
        EXPECT_NE(plain.copy(lowerRight), mark.copy(lowerRight));
    }
}

TEST(CursorImages, ColoursFollowTheirRoles) {
    const QRect arrowArea(0, 0, 16, 24);
    const QRect markArea(18, 17, 14, 15);
    for (int id : {201, 202, 203}) {
        EXPECT_TRUE(HueBetween(BodyColour(CursorImage(id), arrowArea), 28, 50))
            << id << " is amber";
    }
    for (int id : {202, 203}) {
        EXPECT_TRUE(HueBetween(BodyColour(CursorImage(id), markArea), 28, 50))
            << id << " has an amber mark";
    }
    for (int id : {204, 205, 206}) {
        EXPECT_TRUE(IsRed(BodyColour(CursorImage(id), arrowArea))) << id;
    }
    for (int id : {205, 206, 208, 209}) {
        EXPECT_TRUE(IsRed(BodyColour(CursorImage(id), markArea))) << id;
    }
    for (int id : {207, 208, 209}) {
        const QColor grey = QColor::fromRgba(CursorImage(id).pixel(3, 9));
        EXPECT_EQ(grey.alpha(), 255) << id;
        EXPECT_LT(grey.hsvSaturation(), 10) << id << " is grey";
        EXPECT_GT(grey.value(), 110) << id << " is grey, not outline";
    }
    for (int id : {210, 211, 212, 213}) {
        const QImage badge = CursorImage(id);
        EXPECT_TRUE(IsRed(BodyColour(badge))) << id << " is a red badge";
        EXPECT_TRUE(HasWhite(badge)) << id << " carries a white symbol";
    }
    for (int id : {214, 215}) {
        EXPECT_TRUE(HueBetween(BodyColour(CursorImage(id)), 40, 62)) << id << " is yellow";
    }
}

TEST(CursorImages, BadgesAndFacesFillMostOfTheSquare) {
    for (int id = 210; id <= 213; ++id) {
        EXPECT_GT(CountAlpha(CursorImage(id)).opaque, 32 * 32 * 3 / 4) << id;
    }
    for (int id : {214, 215}) {
        EXPECT_GT(CountAlpha(CursorImage(id)).opaque, 32 * 32 / 2) << id;
    }
}

TEST(ToolbarBitmaps, AreThirtySixSquareTwentyFourBitFiles) {
    for (int id = kFirstBitmap; id <= kLastBitmap; ++id) {
        SCOPED_TRACE(id);
        const QImage image = ToolbarBitmap(id);
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.size(), QSize(36, 36));
        EXPECT_FALSE(image.hasAlphaChannel());

        const QByteArray file = ReadFile(QStringLiteral(":/bitmaps/%1.bmp").arg(id));
        ASSERT_GE(file.size(), 54);
        EXPECT_EQ(file.left(2), "BM");
        const auto* bytes = reinterpret_cast<const uchar*>(file.constData());
        EXPECT_EQ(qFromLittleEndian<qint32>(bytes + 18), 36) << "biWidth";
        EXPECT_EQ(qFromLittleEndian<qint32>(bytes + 22), 36) << "biHeight, rows bottom-up";
        EXPECT_EQ(qFromLittleEndian<quint16>(bytes + 28), 24) << "biBitCount";
    }
}

TEST(ToolbarBitmaps, StandOnToolbarSilver) {
    for (int id = kFirstBitmap; id <= kLastBitmap; ++id) {
        const QImage image = ToolbarBitmap(id);
        for (const QPoint corner : {QPoint(3, 3), QPoint(32, 3), QPoint(3, 32), QPoint(32, 32)}) {
            EXPECT_EQ(image.pixel(corner), qRgb(0xC0, 0xC0, 0xC0)) << id;
        }
    }
}

TEST(ToolbarBitmaps, PressedLooksAreLighter) {
    for (const auto& [released, pressed] :
         {std::pair{101, 102}, {103, 104}, {105, 106}, {107, 108}, {109, 110}, {112, 113}}) {
        const QImage up = ToolbarBitmap(released);
        const QImage down = ToolbarBitmap(pressed);
        EXPECT_NE(up, down) << released;
        EXPECT_GT(MeanLuminance(down), MeanLuminance(up) + 8) << pressed;
    }
}

TEST(ToolbarBitmaps, BlinkLookIsRed) {
    const QImage red = ToolbarBitmap(111);
    EXPECT_TRUE(IsRed(QColor::fromRgb(red.pixel(18, 18))));
    EXPECT_NE(red, ToolbarBitmap(109));
    EXPECT_NE(red, ToolbarBitmap(110));
}

TEST(Resources, OtherIdsGiveNothing) {
    for (int id : {-1, 0, 101, 200, 216, 901}) {
        EXPECT_TRUE(CursorImage(id).isNull()) << id;
    }
    for (int id : {-1, 0, 100, 114, 201, 901}) {
        EXPECT_TRUE(ToolbarBitmap(id).isNull()) << id;
    }
    for (int id : {-1, 0, 101, 201, 900, 903}) {
        EXPECT_TRUE(DataResource(id).isEmpty()) << id;
    }
}

TEST(DataResources, SevenZipEngineIsTheSystemFileByteForByte) {
    const QByteArray engine = ReadFile(KORVEX_7Z_ENGINE);
    ASSERT_GT(engine.size(), 1'000'000);
    EXPECT_TRUE(DataResource(902) == engine);
}

TEST(DataResources, HookLibraryIsTheBuiltOneAndExportsOnlyItsFourEntries) {
    const QByteArray library = DataResource(901);
    ASSERT_FALSE(library.isEmpty());
    EXPECT_TRUE(library == ReadFile(KORVEX_HOOKLIB_FILE)) << "a rebuilt library must reach 901";

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("Korvex.dll");
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(library), library.size());
    }
    std::unique_ptr<void, int (*)(void*)> handle(dlopen(qPrintable(path), RTLD_NOW | RTLD_LOCAL),
                                                 dlclose);
    ASSERT_NE(handle, nullptr) << dlerror();
    for (const char* name : {"HookMouse", "UnhookMouse", "HookKeyboard", "UnHookKeyboard"}) {
        EXPECT_NE(dlsym(handle.get(), name), nullptr) << name;
    }

    // binutils lists what the file defines for others to see.
    const std::string listing =
        CommandOutput("nm -D --defined-only --format=posix '" + path.toStdString() + "' 2>&1");
    std::set<std::string> defined;
    std::istringstream lines(listing);
    for (std::string line; std::getline(lines, line);) {
        defined.insert(line.substr(0, line.find(' ')));
    }
    EXPECT_EQ(defined,
              (std::set<std::string>{"HookKeyboard", "HookMouse", "UnHookKeyboard", "UnhookMouse"}))
        << listing;
}

// The committed files, as a reader we did not write sees them.
TEST(ArtworkFiles, FfprobeReadsSizesAndPixelFormats) {
    const char* source = std::getenv("KORVEX_SOURCE_DIR");
    ASSERT_NE(source, nullptr);
    const std::string root = std::string(source) + "/resources/";
    auto probe = [](const std::string& file) {
        return CommandOutput(
            "ffprobe -v error -show_entries stream=width,height,pix_fmt -of csv=p=0 '" + file +
            "' 2>&1");
    };
    for (int id = kFirstCursor; id <= kLastCursor; ++id) {
        EXPECT_EQ(probe(root + "cursors/" + std::to_string(id) + ".png"), "32,32,rgba\n") << id;
    }
    for (int id = kFirstBitmap; id <= kLastBitmap; ++id) {
        EXPECT_EQ(probe(root + "bitmaps/" + std::to_string(id) + ".bmp"), "36,36,bgr24\n") << id;
    }
}

// The committed pictures are what the generator draws today: each one decoded pixel by pixel
// equals the generator's, so a change to either without the other shows here.
TEST(ArtworkFiles, AreWhatMakeArtworkDraws) {
    const char* source = std::getenv("KORVEX_SOURCE_DIR");
    const char* build = std::getenv("KORVEX_BUILD_DIR");
    ASSERT_NE(source, nullptr);
    ASSERT_NE(build, nullptr);
    QTemporaryDir drawn;
    ASSERT_TRUE(drawn.isValid());
    const std::string folder = drawn.path().toStdString();
    const std::string log = CommandOutput("QT_QPA_PLATFORM=offscreen '" + std::string(build) +
                                          "/tools/make-artwork' '" + folder + "' 2>&1 && echo ok");
    ASSERT_NE(log.find("ok\n"), std::string::npos) << log;
    const auto same = [&](const std::string& file) {
        const QImage committed(QString::fromStdString(std::string(source) + "/resources/" + file));
        const QImage fresh(QString::fromStdString(folder + "/" + file));
        return !committed.isNull() &&
               committed.convertToFormat(QImage::Format_ARGB32) ==
                   fresh.convertToFormat(QImage::Format_ARGB32);
    };
    for (int id = kFirstCursor; id <= kLastCursor; ++id) {
        EXPECT_TRUE(same("cursors/" + std::to_string(id) + ".png")) << id;
    }
    for (int id = kFirstBitmap; id <= kLastBitmap; ++id) {
        EXPECT_TRUE(same("bitmaps/" + std::to_string(id) + ".bmp")) << id;
    }
}

}  // namespace
