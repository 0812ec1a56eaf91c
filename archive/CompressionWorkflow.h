// The archive commands of the main window without their widgets: a recording packed into a ZIP
// or a 7z archive beside it, and the recordings of a chosen archive unpacked into the working
// folder and opened. Main thread; everything runs synchronously. Neither Qt nor X11.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "archive/ArchiveFormat.h"
#include "archive/KAZip.h"
#include "archive/SevenZipVCL.h"
#include "archive/ZipExtract.h"

namespace archive {

// What the commands tell the user; each names one path.
enum class WorkflowAlert {
    PackingFailed,    // the 7z archive at the path could not be made
    NotAValidFile,    // the chosen file is no archive the program reads
    NoVideoFound,     // the archive at the path holds no recording at its top level
    CannotExtract,    // the recording at the path could not be unpacked
    NoRoomToExtract,  // the recording at the path would not fit on the disk and was not unpacked
};

// What the commands need of the window they run in.
struct WorkflowHost {
    std::function<void(WorkflowAlert alert, const std::string& path)> Alert;
    // Opens a file with the program registered for its type.
    std::function<void(const std::string& path)> Open;
};

// The busy cursor from Show() until the scope ends, restored on every way out.
class BusyCursor {
public:
    // setBusy(true) shows the busy cursor, setBusy(false) restores the one it replaced.
    explicit BusyCursor(std::function<void(bool busy)> setBusy) : setBusy_(std::move(setBusy)) {}
    ~BusyCursor() {
        if (shown_) setBusy_(false);
    }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

    void Show() {
        if (shown_) return;
        shown_ = true;
        setBusy_(true);
    }

private:
    std::function<void(bool)> setBusy_;
    bool shown_ = false;
};

// A recording and the two archives it may be packed into.
struct PackTarget {
    std::string video;
    std::string zip;
    std::string sevenZip;
};

// The size of the file at path in bytes, taken from its directory entry without opening it;
// 0 when nothing is there or the look-up fails.
std::uint64_t VideoFileSize(const std::string& path);

// The dialog filter "description|pattern;pattern" as a Qt name filter whose patterns match
// whatever the letter case of the extension, as on the system the patterns were written for.
// The description is kept in front for display.
std::string ArchiveNameFilter(const std::string& catalogueFilter);

class CompressionWorkflow {
public:
    // The components are the main window's; both outlive the workflow.
    CompressionWorkflow(TKAZip& zip, TSevenZip& sevenZip, WorkflowHost host);

    // Packs target.video, which exists, into its ZIP or 7z archive as the settings choose,
    // replacing an archive there. The archive's path when a file is there afterwards; none
    // when the 7z packing failed, after the PackingFailed alert, with no archive left. Errors
    // of the ZIP component (EKAZipError) pass through with no archive left.
    std::optional<std::string> PackRecording(const PackTarget& target, bool use7z,
                                             std::uint16_t sevenZipThresholdMB);
    // The two packings; true when the archive was written.
    bool PackIntoZip(const std::string& archivePath, const std::string& videoPath);
    bool PackInto7z(const std::string& archivePath, const std::string& videoPath);

    // Unpacks the recordings at the top level of the archive (".7z" or ".zip", any letter
    // case) into videoFolder under their names and opens each in entry order; one that could
    // not be unpacked gets the CannotExtract alert instead, one too large for the free space
    // of videoFolder's file system NoRoomToExtract, before anything of it is written. An archive
    // without such recordings, or one that cannot be read, gets NoVideoFound; any other file, and
    // anything but a regular file (a FIFO, a device), NotAValidFile.
    void PlayFromArchive(const std::string& videoFolder, const std::string& archivePath);

private:
    void PlayFrom7z(const std::string& videoFolder, const std::string& archivePath);
    void PlayFromZip(const std::string& videoFolder, const std::string& archivePath);
    // Opens each unpacked recording, or names the one that could not be unpacked.
    void OpenRecordings(const std::vector<ExtractedVideo>& videos);

    TKAZip& zip_;
    TSevenZip& sevenZip_;
    WorkflowHost host_;
};

}  // namespace archive
