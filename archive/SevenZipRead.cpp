// TSevenZip's listing and extraction.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <charconv>

#include "archive/SevenZipCallbacks.h"
#include "archive/SevenZipCom.h"
#include "archive/SevenZipEngine.h"
#include "archive/SevenZipStreams.h"
#include "archive/SevenZipVCL.h"

namespace archive {

using namespace com;

namespace {

constexpr std::array<unsigned char, 6> kSignature = {0x37, 0x7A, 0xBC, 0xAF, 0x27, 0x1C};
constexpr std::uint64_t kSfxSearchStart = 65536;
constexpr std::size_t kSfxSearchLength = 81920;

bool IsExeName(const std::wstring& name) {
    if (name.size() < 4) return false;
    return UpperCase(name.substr(name.size() - 4)) == L".EXE";
}

// Where the archive begins inside a self-extracting program, if it carries one.
std::optional<std::uint64_t> SfxArchiveOffset(const std::filesystem::path& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::vector<unsigned char> window(kSfxSearchLength);
    const ssize_t got = pread(fd, window.data(), window.size(), kSfxSearchStart);
    close(fd);
    if (got <= 0) return std::nullopt;
    const auto end = window.begin() + got;
    const auto found = std::search(window.begin(), end, kSignature.begin(), kSignature.end());
    if (found == end) return std::nullopt;
    return kSfxSearchStart + static_cast<std::uint64_t>(found - window.begin());
}

// A decimal integer entry of FileList; nothing for a name.
std::optional<std::int64_t> DecimalIndex(const std::wstring& entry) {
    const std::string text = Narrow(entry);
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || end != text.data() + text.size()) return std::nullopt;
    if (error == std::errc::result_out_of_range) return -1;
    return value;
}

}  // namespace

// Keeps the archive closed before it is opened and after the operation, whatever its end.
class TSevenZip::OpenSession {
public:
    explicit OpenSession(IInArchive& in) : in_(in) { in_.Close(); }
    ~OpenSession() { in_.Close(); }
    OpenSession(const OpenSession&) = delete;
    OpenSession& operator=(const OpenSession&) = delete;

private:
    IInArchive& in_;
};

bool TSevenZip::FindStartOffset(std::uint64_t& startOffset) {
    startOffset = 0;
    if (!IsExeName(SZFileName)) return true;
    const auto offset = SfxArchiveOffset(Narrow(SZFileName));
    if (!offset) {
        ReportError(SevenZipError::NotSfxArchive, SZFileName);
        return false;
    }
    startOffset = *offset;
    return true;
}

bool TSevenZip::OpenArchive(std::uint64_t startOffset) {
    auto reader = MakeCom<TMyStreamReader>(&LastSystemError, startOffset, true, Narrow(SZFileName));
    auto callback = MakeCom<TMyArchiveOpenCallback>(Password);
    if (engine_->in->Open(reader.get(), nullptr, callback.get()) == kOk) return true;
    ReportError(SevenZipError::FileNotFound, SZFileName);
    return false;
}

int TSevenZip::ListItems() {
    Cancel = false;
    FileList.clear();
    NumberOfFiles = -1;
    std::uint64_t startOffset = 0;
    if (!FindStartOffset(startOffset)) return -1;
    IInArchive& in = *engine_->in;
    const OpenSession session(in);
    if (!OpenArchive(startOffset)) return -1;
    std::uint32_t count = 0;
    in.GetNumberOfItems(&count);
    NumberOfFiles = count;
    for (std::uint32_t i = 0; i < count; ++i) {
        PropVariant path, size, packed, attributes, crc, method, modified;
        in.GetProperty(i, kpidPath, path.Out());
        in.GetProperty(i, kpidSize, size.Out());
        in.GetProperty(i, kpidPackSize, packed.Out());
        in.GetProperty(i, kpidAttrib, attributes.Out());
        in.GetProperty(i, kpidCRC, crc.Out());
        in.GetProperty(i, kpidMethod, method.Out());
        in.GetProperty(i, kpidMTime, modified.Out());
        const bool folder = (attributes.Number() & kAttributeFolder) != 0;
        const std::wstring methodText =
            !folder && size.Number() != 0 ? method.Text() : std::wstring(L"None");
        FileList.push_back(path.Text() + (folder ? L"/" : L""));
        if (OnListfile) {
            OnListfile(*this, path.Text(), i, size.Number(), packed.Number(),
                       attributes.Number() & ~std::uint64_t{0x2000}, crc.Number(), methodText,
                       FromFileTime(modified.FileTime()));
        }
    }
    Cancel = false;
    return static_cast<int>(NumberOfFiles);
}

bool TSevenZip::ResolveIndices(std::vector<std::uint32_t>& indices, std::uint64_t& total) {
    IInArchive& in = *engine_->in;
    std::uint32_t count = 0;
    in.GetNumberOfItems(&count);
    std::vector<std::wstring> upperPaths;
    for (const std::wstring& entry : FileList) {
        std::optional<std::int64_t> index = DecimalIndex(entry);
        if (!index) {
            if (upperPaths.empty()) {
                for (std::uint32_t i = 0; i < count; ++i) {
                    PropVariant path;
                    in.GetProperty(i, kpidPath, path.Out());
                    upperPaths.push_back(UpperCase(path.Text()));
                }
            }
            const auto found = std::find(upperPaths.begin(), upperPaths.end(), UpperCase(entry));
            index = found == upperPaths.end() ? -1 : found - upperPaths.begin();
        }
        if (*index < 0 || *index >= count) {
            ReportError(SevenZipError::IndexOutOfRange, L"");
            return false;
        }
        PropVariant size;
        in.GetProperty(static_cast<std::uint32_t>(*index), kpidSize, size.Out());
        total += size.Number();
        indices.push_back(static_cast<std::uint32_t>(*index));
    }
    return true;
}

int TSevenZip::ExtractItems(bool test) {
    Cancel = false;
    std::uint64_t startOffset = 0;
    if (!FindStartOffset(startOffset)) return -1;
    IInArchive& in = *engine_->in;
    const OpenSession session(in);
    if (!OpenArchive(startOffset)) return -1;
    std::vector<std::uint32_t> indices;
    std::uint64_t total = 0;
    if (!ResolveIndices(indices, total)) return -1;
    if (total > 0 && OnPreProgress) OnPreProgress(*this, total);
    std::sort(indices.begin(), indices.end());

    auto callback = MakeCom<TMyArchiveExtractCallback>(*this, in, Narrow(ExtrBaseDir),
                                                       static_cast<std::int64_t>(FileList.size()));
    const HRESULT result =
        in.Extract(indices.empty() ? nullptr : indices.data(),
                   FileList.empty() ? 0xFFFFFFFF : static_cast<std::uint32_t>(indices.size()),
                   test ? 1 : 0, callback.get());
    Cancel = false;
    return result;
}

}  // namespace archive
