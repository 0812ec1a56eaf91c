#include "archive/CompressionWorkflow.h"

#include <sys/stat.h>

#include <cctype>

#include "archive/SevenZipCom.h"
#include "archive/ZipExtract.h"
#include "platform/files/files.h"

namespace archive {

namespace files = platform::files;

std::uint64_t VideoFileSize(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return 0;
    return static_cast<std::uint64_t>(info.st_size);
}

std::string ArchiveNameFilter(const std::string& catalogueFilter) {
    const std::size_t bar = catalogueFilter.find('|');
    const std::string description = catalogueFilter.substr(0, bar);
    const std::string patterns = bar == std::string::npos ? "" : catalogueFilter.substr(bar + 1);
    std::string blind;
    std::size_t start = 0;
    while (start <= patterns.size()) {
        std::size_t end = patterns.find(';', start);
        if (end == std::string::npos) end = patterns.size();
        if (end > start && !blind.empty()) blind += ' ';
        for (std::size_t i = start; i < end; ++i) {
            const auto c = static_cast<unsigned char>(patterns[i]);
            if (std::isalpha(c)) {
                blind += '[';
                blind += static_cast<char>(std::tolower(c));
                blind += static_cast<char>(std::toupper(c));
                blind += ']';
            } else if (c != ' ') {
                blind += static_cast<char>(c);
            }
        }
        start = end + 1;
    }
    return description + " (" + blind + ")";
}

CompressionWorkflow::CompressionWorkflow(TKAZip& zip, TSevenZip& sevenZip, WorkflowHost host)
    : zip_(zip), sevenZip_(sevenZip), host_(std::move(host)) {}

std::optional<std::string> CompressionWorkflow::PackRecording(const PackTarget& target, bool use7z,
                                                              std::uint16_t sevenZipThresholdMB) {
    // With 7z chosen the file's size is not needed at all.
    const std::uint64_t size = use7z ? 0 : VideoFileSize(target.video);
    if (ChooseArchiveFormat(size, use7z, sevenZipThresholdMB) == ArchiveFormat::Zip) {
        if (!PackIntoZip(target.zip, target.video)) return std::nullopt;
        return target.zip;
    }
    if (!PackInto7z(target.sevenZip, target.video)) {
        host_.Alert(WorkflowAlert::PackingFailed, target.sevenZip);
        return std::nullopt;
    }
    return target.sevenZip;
}

bool CompressionWorkflow::PackIntoZip(const std::string& archivePath,
                                      const std::string& videoPath) {
    return PackIntoZipArchive(zip_, archivePath, videoPath) && files::FileExists(archivePath);
}

bool CompressionWorkflow::PackInto7z(const std::string& archivePath, const std::string& videoPath) {
    sevenZip_.SZFileName = Widen(archivePath);
    sevenZip_.FileList.clear();
    sevenZip_.FileList.push_back(Widen(videoPath));
    // A failed packing has removed what it wrote; the archive counts only when it is there.
    return sevenZip_.AddFiles() == 0 && files::FileExists(archivePath);
}

void CompressionWorkflow::PlayFromArchive(const std::string& videoFolder,
                                          const std::string& archivePath) {
    const std::string ext =
        files::AsciiLower(std::filesystem::path(archivePath).extension().string());
    // A FIFO or device by an archive's name would make a reader wait or read for ever.
    if ((ext == ".7z" || ext == ".zip") && !files::FileExists(archivePath)) {
        host_.Alert(WorkflowAlert::NotAValidFile, archivePath);
    } else if (ext == ".7z") {
        PlayFrom7z(videoFolder, archivePath);
    } else if (ext == ".zip") {
        PlayFromZip(videoFolder, archivePath);
    } else {
        host_.Alert(WorkflowAlert::NotAValidFile, archivePath);
    }
}

void CompressionWorkflow::PlayFrom7z(const std::string& videoFolder,
                                     const std::string& archivePath) {
    std::vector<std::wstring> ArchiveVideoIndices;
    std::vector<std::wstring> ArchiveVideoNames;
    std::vector<std::uint64_t> sizes;
    auto SevenZipListfile = [&](TSevenZip&, const std::wstring& Filename, std::int64_t Fileindex,
                                std::uint64_t FileSizeU, std::uint64_t, std::uint64_t,
                                std::uint64_t, const std::wstring&,
                                std::chrono::system_clock::time_point) {
        if (!IsTopLevelRecording(Filename)) return;
        ArchiveVideoIndices.push_back(std::to_wstring(Fileindex));
        ArchiveVideoNames.push_back(Filename);
        sizes.push_back(FileSizeU);
    };
    sevenZip_.OnListfile = SevenZipListfile;
    sevenZip_.ExtrBaseDir = Widen(videoFolder);
    sevenZip_.SZFileName = Widen(archivePath);
    sevenZip_.ListItems();
    // The lists die with this call; the event must not outlive them.
    sevenZip_.OnListfile = nullptr;
    sevenZip_.FileList.clear();
    if (ArchiveVideoIndices.empty()) {
        host_.Alert(WorkflowAlert::NoVideoFound, archivePath);
        return;
    }
    // The recordings that fit, together, into the free space; the others are not unpacked.
    std::vector<bool> fits;
    std::uint64_t needed = 0;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        fits.push_back(RoomFor(videoFolder, needed + sizes[i]));
        if (fits.back()) {
            needed += sizes[i];
            sevenZip_.FileList.push_back(ArchiveVideoIndices[i]);
        }
    }
    if (!sevenZip_.FileList.empty()) sevenZip_.ExtractItems(false);
    std::vector<ExtractedVideo> videos;
    for (std::size_t i = 0; i < ArchiveVideoNames.size(); ++i) {
        const std::string path = videoFolder + "/" + Narrow(ArchiveVideoNames[i]);
        videos.push_back({path, fits[i] && files::FileExists(path), !fits[i]});
    }
    OpenRecordings(videos);
}

void CompressionWorkflow::PlayFromZip(const std::string& videoFolder,
                                      const std::string& archivePath) {
    const std::vector<ExtractedVideo> videos = ExtractTopLevelVideos(archivePath, videoFolder);
    if (videos.empty()) {
        host_.Alert(WorkflowAlert::NoVideoFound, archivePath);
        return;
    }
    OpenRecordings(videos);
}

void CompressionWorkflow::OpenRecordings(const std::vector<ExtractedVideo>& videos) {
    for (const ExtractedVideo& video : videos) {
        if (video.extracted) {
            host_.Open(video.path.string());
        } else if (video.noRoom) {
            host_.Alert(WorkflowAlert::NoRoomToExtract, video.path.string());
        } else {
            host_.Alert(WorkflowAlert::CannotExtract, video.path.string());
        }
    }
}

}  // namespace archive
