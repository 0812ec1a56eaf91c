// TSevenZip: packs, lists and extracts 7z archives through the 7-Zip engine library, loaded at
// construction and kept for the component's life. Operations run synchronously on the calling
// thread; failures are reported through LastErrCode, OnMessage and the operations' results,
// never by exceptions (construction excepted).
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace archive {

enum class AddOptsEnum : unsigned {
    AddRecurseDirs = 1,
    AddSolid = 2,
    AddStoreOnlyFilename = 4,
    AddIncludeDriveLetter = 8,
    AddEncryptFilename = 16,
};
enum class ExtractOptsEnum : unsigned { ExtractNoPath = 1, ExtractOverwrite = 2 };

// A small set of option flags.
template <class E>
class OptionSet {
public:
    OptionSet() = default;
    OptionSet(std::initializer_list<E> members) {
        for (E member : members) bits_ |= static_cast<unsigned>(member);
    }
    bool Has(E member) const { return (bits_ & static_cast<unsigned>(member)) != 0; }

private:
    unsigned bits_ = 0;
};
using AddOpts = OptionSet<AddOptsEnum>;
using ExtractOpts = OptionSet<ExtractOptsEnum>;

enum class TCompressType { LZMA, PPMD };
enum class TCompressStrength { SAVE, FAST, NORMAL, MAXIMUM, ULTRA };

// Error numbers kept in LastErrCode; SevenZipErrorText gives their texts.
enum class SevenZipError {
    Success = 0,
    FileNotFound = 1,
    DataError = 2,
    CrcError = 3,
    UnsupportedMethod = 4,
    IndexOutOfRange = 5,
    UserCanceled = 6,
    NotSfxArchive = 7,
    SfxModuleNotFound = 8,
    CouldNotCreateSfx = 9,
    NoFilesToAdd = 10,
    CouldNotCreateFile = 11,
};
const char* SevenZipErrorText(SevenZipError error);

class TSevenZip;

using T7zListfileEvent = std::function<void(
    TSevenZip& Sender, const std::wstring& Filename, std::int64_t Fileindex,
    std::uint64_t FileSizeU, std::uint64_t FileSizeP, std::uint64_t Fileattr, std::uint64_t Filecrc,
    const std::wstring& Filemethod, std::chrono::system_clock::time_point FileTime)>;
using T7zAddFileEvent =
    std::function<void(TSevenZip& Sender, const std::wstring& Filename, std::uint64_t Filesize)>;
using T7zExtractfileEvent = T7zAddFileEvent;
using T7zPreProgressEvent = std::function<void(TSevenZip& Sender, std::uint64_t MaxProgress)>;
using T7zProgressEvent = std::function<void(TSevenZip& Sender, const std::wstring& Filename,
                                            std::uint64_t FilePosArc, std::uint64_t FilePosFile)>;
using T7zMessageEvent = std::function<void(
    TSevenZip& Sender, int ErrCode, const std::string& Message, const std::wstring& Filename)>;
using T7zSetNewNameEvent =
    std::function<void(TSevenZip& Sender, std::uint32_t FileIndex, std::wstring& OldFileName)>;
using T7zExtractOverwrite =
    std::function<void(TSevenZip& Sender, const std::wstring& FileName, bool& DoOverwrite)>;

// Whether an archive item, by its stored path, is a recording at the archive's top level, so
// that extracting it without paths writes it under exactly that name.
bool IsTopLevelRecording(const std::wstring& Filename);

// The engine file start-up writes: TEMP + "/7za.dll".
std::filesystem::path DefaultArchiveEnginePath();

class TSevenZip {
public:
    // Loads the engine at enginePath (local symbols only) and asks it for the 7z handler's
    // reading, writing and property interfaces. Throws std::runtime_error("File 7za.dll not
    // found") when the file is missing, does not load, has no CreateObject, is not an engine with
    // Windows method tables, or gives no handler.
    explicit TSevenZip(const std::filesystem::path& enginePath = DefaultArchiveEnginePath());
    ~TSevenZip();
    TSevenZip(const TSevenZip&) = delete;
    TSevenZip& operator=(const TSevenZip&) = delete;

    // Packs the files named in FileList into a new archive SZFileName. 0 on success; otherwise
    // the engine's result or -1, and no file is left at SZFileName. A file that cannot be
    // opened or read in full fails the packing (LastSystemError tells why).
    int AddFiles();
    // Lists SZFileName: FileList receives every item's path (folders with a trailing "/"),
    // OnListfile is raised per item. The number of items, or -1 (LastErrCode 1 or 7).
    int ListItems();
    // Writes the items FileList names (decimal indices or stored paths; all when empty) into
    // ExtrBaseDir, or only checks them when test is true. Nothing is ever written outside
    // ExtrBaseDir; an item whose name is empty, "." or ".." there is skipped, and an item whose
    // data proves damaged is removed again. The engine's result (S_FALSE, 1, when it was stopped
    // after the last requested item), or -1 (LastErrCode 1, 5 or 7).
    int ExtractItems(bool test);

    std::wstring SZFileName;
    std::wstring ExtrBaseDir;
    std::wstring AddRootDir;
    AddOpts AddOptions;
    ExtractOpts ExtractOptions;
    TCompressType LZMACompressType = TCompressType::LZMA;
    TCompressStrength LZMACompressStrength = TCompressStrength::SAVE;
    int LZMAStrength = 0;  // 0..27, 0: not given
    int LPPMDmem = 30;     // 1..31
    int LPPMDsize = 10;    // 2..32
    std::int64_t NumberOfFiles = -1;
    std::wstring Password;
    std::vector<std::wstring> FileList;
    int LastErrCode = 0;
    int LastSystemError = 0;  // errno of the last failed stream operation

    T7zListfileEvent OnListfile;
    T7zAddFileEvent OnAddfile;
    T7zExtractfileEvent OnExtractfile;
    T7zPreProgressEvent OnPreProgress;
    T7zProgressEvent OnProgress;
    T7zMessageEvent OnMessage;
    T7zSetNewNameEvent OnSetAddName;
    T7zSetNewNameEvent OnSetExtractName;
    T7zExtractOverwrite OnExtractOverwrite;

    // Set by anyone (an event handler) to stop the running operation at its next progress
    // report; cleared at the start and end of every operation.
    bool Cancel = false;

    // Records error in LastErrCode and raises OnMessage with its text and fileName.
    void ReportError(SevenZipError error, const std::wstring& fileName);

private:
    struct Engine;
    class OpenSession;
    void SetCompressionProperties();
    bool OpenArchive(std::uint64_t startOffset);
    bool FindStartOffset(std::uint64_t& startOffset);
    bool ResolveIndices(std::vector<std::uint32_t>& indices, std::uint64_t& total);

    std::unique_ptr<Engine> engine_;
};

}  // namespace archive
