#include "app/Korvex_Unit.h"

#include <QApplication>
#include <QCloseEvent>
#include <QPalette>
#include <QThread>

#include "app/VideoNames.h"
#include "catalogue/MessageCatalogue.h"
#include "platform/files/files.h"
#include "platform/msgbox/msgbox.h"

namespace app {

namespace files = platform::files;
namespace mb = platform::msgbox;

namespace {

// The toolbar's face, the grey of the button pictures' edges.
constexpr QColor kToolbarGrey(0xC0, 0xC0, 0xC0);
// The recording control's tick: the start after confirming, the blink, the elapsed seconds.
constexpr int kTickMs = 1000;

engine::EngineServices Services(std::shared_ptr<platform::screen::CaptureSource> screen) {
    engine::EngineServices services;
    services.Screen = std::move(screen);
    services.Alert = [](const std::string& caption, const std::string& text, unsigned style) {
        return mb::Show(caption, text, style, mb::Owner::None);
    };
    services.PostToMain = [](std::function<void()> fn) {
        QMetaObject::invokeMethod(qApp, std::move(fn), Qt::QueuedConnection);
    };
    return services;
}

}  // namespace

TMainForm::TMainForm(const ProgramPaths& paths, int languageOffset, const WindowPosition& position)
    : QWidget(nullptr), paths_(paths), LanguageOffset(languageOffset) {
    Settings.WindowLeft = position.left;
    Settings.WindowTop = position.top;
    setWindowTitle(kProgramTitle);
    // The application title: what task bars show for the program.
    setWindowIconText(kProgramTitle);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, kToolbarGrey);
    setPalette(palette);
    setAutoFillBackground(true);

    Record_Image = new PictureButton(this, 0, Bitmap::RegionReleased);
    Play_Image = new PictureButton(this, 1, Bitmap::PlayReleased);
    Mail_Image = new PictureButton(this, 2, Bitmap::MailReleased);
    Tools_Image = new PictureButton(this, 3, Bitmap::ToolsReleased);
    Video_ComboBox = new VideoComboBox(this);
    Video_ComboBox->setGeometry(kListGeometry);
    Video_ComboBox->setContextMenuPolicy(Qt::CustomContextMenu);

    // The menu items carry their German captions until the language is applied.
    Context_PopupMenu = new QMenu(this);
    DeleteVideo = Context_PopupMenu->addAction(QString::fromUtf8("Video löschen"));
    CompressVideo = Context_PopupMenu->addAction(QString::fromUtf8("Video komprimieren"));
    ShowCompressedVideo =
        Context_PopupMenu->addAction(QString::fromUtf8("Komprimiertes Video anzeigen"));
    OpenExplorer = Context_PopupMenu->addAction(QString::fromUtf8("Windows Explorer öffnen"));
    connect(Video_ComboBox, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        Context_PopupMenu->popup(Video_ComboBox->mapToGlobal(at));
    });
    RecordingsList::Host listHost;
    listHost.Text = [this](Msg id) { return Text(id); };
    listHost.Alert = [this](const std::string& caption, const std::string& text, unsigned flags) {
        ShowAlert(caption, text, flags);
    };
    recordings_ =
        std::make_unique<RecordingsList>(*Video_ComboBox, paths_.VideoFolder, std::move(listHost));
    Video_ComboBox->OnDropDown = [this] { recordings_->Refresh(std::nullopt); };
    Video_ComboBox->OnCloseUp = [this] { recordings_->UpdateHint(); };
    Video_ComboBox->OnChange = [this] { recordings_->UpdateHint(); };
    connect(DeleteVideo, &QAction::triggered, this, [this] { recordings_->Delete(); });
    connect(OpenExplorer, &QAction::triggered, this, [this] { recordings_->ShowInFileManager(); });
    CreateArchiveCommands();

    Timer = new QTimer(this);
    Timer->setInterval(kTickMs);
    connect(Timer, &QTimer::timeout, this, &TMainForm::TimerTick);
    WireButtons();
    hotKeys_.OnHotKey = [this](std::uint32_t id) { OnHotKey(id); };
    hookEvents_.OnHookEvent = [this](const platform::hookevents::HookEvent& e) { HookMessage(e); };

    created_ = archives_->Create() && FormCreate();
}

TMainForm::~TMainForm() {
    FormDestroy();
}

void TMainForm::SetRegionWindow(region::TViewPort_Form* viewPort) {
    ViewPort_Form = viewPort;
}

void TMainForm::SetOptionsDialog(dialogs::TOptions_Form* options) {
    Options_Form = options;
}

std::string TMainForm::Text(Msg id) const {
    return app::Text(id, LanguageOffset);
}

void TMainForm::CreateArchiveCommands() {
    ArchiveCommands::Host host;
    host.Text = [this](Msg id) { return Text(id); };
    host.Alert = [this](const std::string& caption, const std::string& text, unsigned flags) {
        ShowAlert(caption, text, flags);
    };
    host.SelectedRecording = [this] { return recordings_->SelectedExisting(); };
    archives_ = std::make_unique<ArchiveCommands>(this, paths_, Settings, std::move(host));
    connect(CompressVideo, &QAction::triggered, this, [this] { archives_->Compress(); });
    connect(ShowCompressedVideo, &QAction::triggered, this,
            [this] { archives_->ShowCompressed(); });
}

void TMainForm::EnableVideoCommands(bool enabled) {
    DeleteVideo->setEnabled(enabled);
    CompressVideo->setEnabled(enabled);
}

void TMainForm::ShowAlert(const std::string& caption, const std::string& text, unsigned flags) {
    mb::Beep();
    mb::Show(caption, text, flags);
}

void TMainForm::ShowSoundTrouble(engine::SoundTrouble trouble) {
    const Msg text = trouble == engine::SoundTrouble::noServer  ? Msg::NoSoundServer
                     : trouble == engine::SoundTrouble::noInput ? Msg::NoSoundInput
                                                                : Msg::SoundInputLost;
    ShowAlert(Text(Msg::Warning), Text(text), mb::MB_ICONWARNING);
}

bool TMainForm::FormCreate() {
    SetFullSize();

    HotKeyId = platform::hotkey::GlobalAddAtom("Hotkey1");
    // Another program may hold Win+S; then only the buttons start and stop recording.
    hotKeys_.Register(HotKeyId, platform::hotkey::MOD_WIN, 'S');

    hookLibrary_.emplace(paths_.HookLibraryPath);
    ApplyLanguage();

    BlinkPhase = false;
    screenCast_ = ScreenCastCapture::ForSession();
    if (screenCast_) screenCast_->OnEnded = [this] { ScreenCastEnded(); };
    engine::EngineServices services = Services(screenCast_ ? screenCast_->Screen() : nullptr);
    services.TellSoundTrouble = [this](engine::SoundTrouble trouble) {
        QMetaObject::invokeMethod(
            this, [this, trouble] { ShowSoundTrouble(trouble); }, Qt::QueuedConnection);
    };
    Cam_ = std::make_unique<engine::TScreenCam>(std::move(services));

    LoadSettings();
    Cam_->EnumerateCodecs();

    if (!files::FolderExists(paths_.VideoFolder)) files::CreateFolders(paths_.VideoFolder);
    if (!files::FolderExists(paths_.VideoFolder)) {
        ShowAlert(Text(Msg::Error), paths_.VideoFolder + Text(Msg::NotFound), mb::MB_ICONERROR);
        return false;
    }
    CurrentVideoPath.clear();
    CurrentVideoName.clear();
    Timer->start();
    return true;
}

void TMainForm::LoadSettings() {
    move(Settings.WindowLeft, Settings.WindowTop);
    app::LoadSettings(Settings);
    AdoptEngineSettings();
}

void TMainForm::AdoptEngineSettings() {
    Cam_->AdoptSettings(Settings.Engine);
}

void TMainForm::ApplyLanguage() {
    auto q = [this](Msg id) { return QString::fromStdString(Text(id)); };
    Tools_Image->setToolTip(q(Msg::ToolsHint));
    Record_Image->setToolTip(q(Msg::SetRegionHint));
    Play_Image->setToolTip(q(Msg::PlayHint));
    Mail_Image->setToolTip(q(Msg::MailHint));
    Video_ComboBox->setToolTip(q(Msg::SelectVideoHint));
    DeleteVideo->setText(q(Msg::DeleteVideoItem));
    CompressVideo->setText(q(Msg::CompressVideoItem));
    OpenExplorer->setText(q(Msg::OpenExplorerItem));
    ShowCompressedVideo->setText(q(Msg::ShowCompressedVideoItem));
}

bool TMainForm::FormCloseQuery() const {
    return control_.State() != RecordState::Recording;
}

void TMainForm::closeEvent(QCloseEvent* event) {
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
    // The region window and dialogs are top-level windows too; the program ends with this one.
    QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

void TMainForm::FormClose() {
    Settings.WindowLeft = x();
    Settings.WindowTop = y();
    WritePosition(Settings);
    DeleteRecordingsOnClose();
    hotKeys_.Unregister(HotKeyId);
    platform::hotkey::GlobalDeleteAtom(HotKeyId);
}

void TMainForm::EndWithoutQuestions() {
    if (endWithoutQuestions_) return;
    endWithoutQuestions_ = true;
    if (control_.State() == RecordState::Recording) StopBranch();
    close();
    // Also ends the loop of a question that is open, such as that of a close under way.
    QCoreApplication::quit();
}

void TMainForm::DeleteRecordingsOnClose() {
    if (endWithoutQuestions_) return;
    const std::vector<std::string> videos = files::FindFiles(paths_.VideoFolder, ".avi");
    if (videos.empty() || !Settings.DeleteFilesOnClose) return;
    if (Settings.WarnBeforeDelete) {
        mb::Beep();
        const int answer = mb::Show(Text(Msg::Question), Text(Msg::DeleteAllVideos),
                                    mb::MB_YESNO | mb::MB_ICONQUESTION);
        // A signal that came while the question was open ends the program all the same.
        if (answer == mb::IDNO || endWithoutQuestions_) return;
    }
    for (const std::string& name : videos) {
        const RecordingFiles recording = RecordingFilesFor(paths_.VideoFolder, name);
        files::DeleteFile(recording.video);
        files::DeleteFile(recording.zip);
        files::DeleteFile(recording.sevenZip);
    }
}

void TMainForm::FormDestroy() {
    if (destroyed_) return;
    destroyed_ = true;
    Timer->stop();
    hookLibrary_.reset();
    if (Cam_) {
        // A worker may still be finishing its file or waiting for the answer to a message
        // box, which needs this thread's events.
        Cam_->StopRecording();
        while (!Cam_->WorkersFinished()) {
            QApplication::processEvents(QEventLoop::AllEvents, 50);
            QThread::msleep(5);
        }
        Cam_.reset();
    }
    archives_->Release();
    if (files::FileExists(paths_.HookLibraryPath)) files::DeleteFile(paths_.HookLibraryPath);
    if (files::FileExists(paths_.ArchiveEnginePath)) files::DeleteFile(paths_.ArchiveEnginePath);
}

}  // namespace app
