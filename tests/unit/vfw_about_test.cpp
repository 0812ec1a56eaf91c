// The codec's about box, shown through ICM_ABOUT on Qt's offscreen platform.
#include <gtest/gtest.h>
#include <zlib.h>

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>
#include <thread>

#include "platform/aboutbox/aboutbox.h"
#include "platform/vfw/vfw.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

using namespace platform::vfw;

namespace {

// As the program does at start-up.
const bool aboutBoxInstalled = (platform::aboutbox::InstallAboutBox(), true);

struct Seen {
    QString title;
    QString text;
    QWidget* owner = nullptr;
};

// Closes the about box as soon as it is up and tells what it showed.
void CloseAboutBoxWhenShown(Seen* seen) {
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, [timer, seen] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) return;
        seen->title = box->windowTitle();
        seen->text = box->text();
        seen->owner = box->parentWidget();
        box->accept();
        timer->deleteLater();
    });
    timer->start(10);
}

}  // namespace

TEST(MsvcAbout, ShowsAModalBoxNamingTheCodecAndItsLibrary) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int argc = 1;
    char name[] = "vfw_about_test";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    CodecHandle hic(ICOpen(ICTYPE_VIDEO, mmioFOURCC('M', 'S', 'V', 'C'), ICMODE_QUERY));
    ASSERT_TRUE(hic);

    QWidget parent;
    Seen seen;
    CloseAboutBoxWhenShown(&seen);
    EXPECT_EQ(ICSendMessage(hic.get(), ICM_ABOUT, reinterpret_cast<std::intptr_t>(&parent), 0),
              ICERR_OK);
    EXPECT_EQ(seen.title, "About Microsoft Video 1");
    EXPECT_TRUE(seen.text.startsWith("Microsoft Video 1")) << seen.text.toStdString();
    EXPECT_TRUE(seen.text.contains("msvc encoder of Korvex")) << seen.text.toStdString();
    EXPECT_EQ(seen.owner, &parent);

    // Without an owner window, too.
    Seen unowned;
    CloseAboutBoxWhenShown(&unowned);
    EXPECT_EQ(ICSendMessage(hic.get(), ICM_ABOUT, 0, 0), ICERR_OK);
    EXPECT_EQ(unowned.title, "About Microsoft Video 1");
    EXPECT_EQ(unowned.owner, nullptr);

    // Widgets live on the GUI thread only: another thread gets an error and no box.
    LRESULT fromWorker = ICERR_OK;
    std::thread worker([&] { fromWorker = ICSendMessage(hic.get(), ICM_ABOUT, 0, 0); });
    worker.join();
    EXPECT_EQ(fromWorker, ICERR_ERROR);
    EXPECT_EQ(QApplication::topLevelWidgets().size(), 1);  // just the parent

    // Every codec names itself and the libraries that do its work.
    const unsigned v = avcodec_version();
    const QString libavcodec = QString("libavcodec %1.%2.%3 (FFmpeg %4)")
                                   .arg(AV_VERSION_MAJOR(v))
                                   .arg(AV_VERSION_MINOR(v))
                                   .arg(AV_VERSION_MICRO(v))
                                   .arg(av_version_info());
    struct Named {
        FOURCC handler;
        QString description;
        QStringList libraries;
    };
    const Named codecs[] = {
        {mmioFOURCC('M', 'J', 'P', 'G'), "Motion JPEG", {"mjpeg encoder", "libswscale "}},
        {mmioFOURCC('Z', 'M', 'B', 'V'),
         "Zip Motion Block Video",
         {"zmbv encoder of Korvex", QString("zlib ") + zlibVersion()}},
        {mmioFOURCC('H', '2', '6', '4'),
         "H.264 (x264)",
         {"libx264 encoder", "libswscale ", "x264 - core "}},
        {mmioFOURCC('X', 'V', 'I', 'D'), "MPEG-4 Part 2 (Xvid)", {"mpeg4 encoder", "libswscale "}},
        {mmioFOURCC('H', 'F', 'Y', 'U'), "Huffyuv", {"huffyuv encoder"}},
    };
    for (const Named& codec : codecs) {
        CodecHandle other(ICOpen(ICTYPE_VIDEO, codec.handler, ICMODE_QUERY));
        ASSERT_TRUE(other) << codec.description.toStdString();
        Seen about;
        CloseAboutBoxWhenShown(&about);
        EXPECT_EQ(
            ICSendMessage(other.get(), ICM_ABOUT, reinterpret_cast<std::intptr_t>(&parent), 0),
            ICERR_OK);
        EXPECT_EQ(about.title, "About " + codec.description);
        EXPECT_EQ(about.text.contains(libavcodec), !about.text.contains("of Korvex"))
            << about.text.toStdString();
        for (const QString& name : codec.libraries) {
            EXPECT_TRUE(about.text.contains(name)) << about.text.toStdString();
        }
        EXPECT_EQ(about.text.contains("libswscale"), codec.libraries.contains("libswscale "))
            << about.text.toStdString();
    }
}
