#include "dialogs/Korvex_Info_Unit.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QTimer>
#include <QUrl>

#include "catalogue/Language.h"
#include "dialogs/DialogWidgets.h"
#include "dialogs/JpegPicture.h"
#include "platform/files/files.h"
#include "resources/Resources.h"

namespace dialogs {

namespace files = platform::files;

namespace {

const QColor kNavy(0x00, 0x00, 0x80);
const QColor kBlue(0x00, 0x00, 0xFF);

// The splash picture, or a null image when it cannot be decoded (the white ground shows).
QImage SplashPicture() {
    const QByteArray jpeg = resources::PictureData(resources::Picture::Splash);
    const auto picture =
        DecodeJpeg(std::span(reinterpret_cast<const std::uint8_t*>(jpeg.constData()),
                             static_cast<std::size_t>(jpeg.size())));
    if (!picture) return {};
    return QImage(picture->rgb.data(), picture->width, picture->height, picture->width * 3,
                  QImage::Format_RGB888)
        .copy();
}

app::ScreenGeometry PrimaryScreen() {
    app::ScreenGeometry screen;
    if (const QScreen* primary = QGuiApplication::primaryScreen()) {
        screen.primaryWidth = primary->geometry().width();
        screen.virtualWidth = primary->virtualGeometry().width();
        screen.virtualHeight = primary->virtualGeometry().height();
    }
    return screen;
}

}  // namespace

TInfo_Form::TInfo_Form(const std::string& archiveEnginePath) : QDialog(nullptr) {
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    // Never shown, since the window has no caption; it lets the window be told apart.
    setWindowTitle("Korvex! Info");
    setFixedSize(kSplashWidth, kSplashHeight);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);
    CreateControls();

    LanguageOffset = app::DecideLanguage();
    fade_ = SplashFade{};
    created_ = WriteArchiveEngine(archiveEnginePath);
    ShowFade();
}

bool TInfo_Form::WriteArchiveEngine(const std::string& path) {
    if (files::FileExists(path)) files::DeleteFile(path);
    const QByteArray engine = resources::DataResource(resources::Data::ArchiveEngine);
    files::WriteWholeFile(path, engine.constData(), static_cast<std::size_t>(engine.size()));
    return files::FileExists(path);
}

void TInfo_Form::CreateControls() {
    auto* image = new QLabel(this);
    image->setObjectName("Main_Image");
    image->setGeometry(0, 0, kSplashWidth, kSplashHeight);
    image->setPixmap(QPixmap::fromImage(SplashPicture()));

    WWW_Label = new EventLabel(QString::fromStdString(WebHostName()), this);
    WWW_Label->setObjectName("WWW_Label");
    WWW_Label->setGeometry(80, 112, 135, 20);
    WWW_Label->setCursor(Qt::PointingHandCursor);
    ShowLinkLook(false);
    WWW_Label->OnClick = [this] { WWW_LabelClick(); };
    WWW_Label->OnMouseEnter = [this] { ShowLinkLook(true); };
    WWW_Label->OnMouseLeave = [this] { ShowLinkLook(false); };

    Fade_In = new QTimer(this);
    Fade_Out = new QTimer(this);
    for (QTimer* timer : {Fade_In, Fade_Out}) {
        timer->setTimerType(Qt::PreciseTimer);
        timer->setInterval(kFadeTickMs);
    }
    connect(Fade_In, &QTimer::timeout, this, &TInfo_Form::Fade_InTimer);
    connect(Fade_Out, &QTimer::timeout, this, &TInfo_Form::Fade_OutTimer);
}

void TInfo_Form::ShowLinkLook(bool hovered) {
    QFont font("MS Sans Serif");
    font.setPixelSize(16);
    font.setBold(true);
    font.setUnderline(hovered);
    WWW_Label->setFont(font);
    QPalette look = WWW_Label->palette();
    look.setColor(QPalette::WindowText, hovered ? kBlue : kNavy);
    WWW_Label->setPalette(look);
    // The label grows to its text where the font is wider than the one designed for.
    WWW_Label->adjustSize();
}

// The first showing stands for the first activation: a window manager need not activate a
// window without a frame, and without one nothing is activated at all; the splash would wait
// for ever. Later activations change nothing.
void TInfo_Form::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (activated_) return;
    activated_ = true;
    FormActivate();
}

void TInfo_Form::FormActivate() {
    app::SettingsRecord settings;
    app::ReadPosition(settings, PrimaryScreen());
    mainWindow_ = {settings.WindowLeft, settings.WindowTop};
    const app::WindowPosition corner = SplashPlacement(mainWindow_);
    move(corner.left, corner.top);
    StartFadeIn(fade_);
    ShowFade();
}

void TInfo_Form::Fade_InTimer() {
    const FadeStep step = FadeInTick(fade_);
    ShowFade();
    if (step == FadeStep::RequestClose) close();
}

void TInfo_Form::Fade_OutTimer() {
    const FadeStep step = FadeOutTick(fade_);
    ShowFade();
    if (step == FadeStep::RequestClose) close();
}

bool TInfo_Form::FormCloseQuery() {
    const bool allowed = CloseQuery(fade_);
    ShowFade();
    return allowed;
}

void TInfo_Form::closeEvent(QCloseEvent* event) {
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    event->accept();
    done(QDialog::Accepted);
}

void TInfo_Form::reject() {
    close();
}

void TInfo_Form::keyPressEvent(QKeyEvent* event) {
    if (event->text().isEmpty()) {
        QDialog::keyPressEvent(event);
        return;
    }
    close();
}

void TInfo_Form::WWW_LabelClick() {
    // A page that cannot be opened is not reported.
    QDesktopServices::openUrl(QUrl(QString::fromStdString(WebPageAddress(LanguageOffset))));
}

void TInfo_Form::ShowFade() {
    setWindowOpacity(fade_.blending ? fade_.opacity / static_cast<double>(kFullOpacity) : 1.0);
    if (Fade_In->interval() != fade_.fadeInIntervalMs) Fade_In->setInterval(fade_.fadeInIntervalMs);
    for (auto [timer, running] :
         {std::pair{Fade_In, fade_.fadeInRunning}, std::pair{Fade_Out, fade_.fadeOutRunning}}) {
        if (running && !timer->isActive()) timer->start();
        if (!running && timer->isActive()) timer->stop();
    }
}

}  // namespace dialogs
