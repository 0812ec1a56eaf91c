// The extract callback: where each item the engine unpacks is written.
#include <system_error>

#include "archive/SevenZipCallbacks.h"
#include "archive/SevenZipStreams.h"

namespace archive {

using namespace com;

namespace {

enum AskMode : std::int32_t { kExtract = 0, kTest = 1, kSkip = 2 };

// The engine's operation results beyond "unsupported method" (unexpected end, headers error,
// data after the end, ...) all mean damaged data.
SevenZipError ErrorForResult(std::int32_t result) {
    switch (result) {
        case 0:
            return SevenZipError::Success;
        case 1:
            return SevenZipError::UnsupportedMethod;
        case 3:
            return SevenZipError::CrcError;
        default:
            return SevenZipError::DataError;
    }
}

}  // namespace

TMyArchiveExtractCallback::TMyArchiveExtractCallback(TSevenZip& owner, IInArchive& archive,
                                                     std::filesystem::path targetFolder,
                                                     std::int64_t itemsToCome)
    : owner_(owner),
      archive_(archive),
      targetFolder_(std::move(targetFolder)),
      password_(owner.Password),
      itemsToCome_(itemsToCome),
      countHeld_(itemsToCome != 0) {}

void* TMyArchiveExtractCallback::Find(const GUID& iid) {
    if (iid == IID_IProgress || iid == IID_IArchiveExtractCallback) {
        return static_cast<IArchiveExtractCallback*>(this);
    }
    if (iid == IID_ICryptoGetTextPassword) return static_cast<ICryptoGetTextPassword*>(this);
    return nullptr;
}

HRESULT TMyArchiveExtractCallback::SetTotal(std::uint64_t total) {
    if (!countHeld_ && owner_.OnPreProgress) owner_.OnPreProgress(owner_, total);
    return kOk;
}

HRESULT TMyArchiveExtractCallback::SetCompleted(const std::uint64_t* done) {
    const HRESULT result =
        current_.Report(owner_, owner_.OnExtractfile, done != nullptr ? *done : 0);
    if (result != kOk) return result;
    return stop_ ? kFalse : kOk;
}

HRESULT TMyArchiveExtractCallback::GetStream(std::uint32_t index, ISequentialOutStream** stream,
                                             std::int32_t mode) {
    if (stream == nullptr) return kFail;
    *stream = nullptr;
    currentFile_.clear();
    if (owner_.Cancel) return kFalse;
    if (mode == kTest) {
        PropVariant path, size;
        archive_.GetProperty(index, kpidPath, path.Out());
        archive_.GetProperty(index, kpidSize, size.Out());
        current_.Start(path.Text(), size.Number());
        return kOk;
    }
    if (mode != kExtract) return kOk;
    return ExtractStream(index, stream);
}

bool TMyArchiveExtractCallback::MayWrite(const std::filesystem::path& target) {
    std::error_code error;
    if (!std::filesystem::exists(std::filesystem::symlink_status(target, error))) return true;
    if (owner_.ExtractOptions.Has(ExtractOptsEnum::ExtractOverwrite)) return true;
    bool overwrite = false;
    if (owner_.OnExtractOverwrite)
        owner_.OnExtractOverwrite(owner_, Widen(target.string()), overwrite);
    return overwrite;
}

HRESULT TMyArchiveExtractCallback::ExtractStream(std::uint32_t index,
                                                 ISequentialOutStream** stream) {
    PropVariant path, size, attributes, modified;
    archive_.GetProperty(index, kpidPath, path.Out());
    archive_.GetProperty(index, kpidSize, size.Out());
    archive_.GetProperty(index, kpidAttrib, attributes.Out());
    archive_.GetProperty(index, kpidMTime, modified.Out());

    const bool noPath = owner_.ExtractOptions.Has(ExtractOptsEnum::ExtractNoPath);
    std::wstring name = path.Text();
    if (noPath) name.erase(0, name.find_last_of(L"/\\:") + 1);
    if (owner_.OnSetExtractName) owner_.OnSetExtractName(owner_, index, name);
    const std::optional<std::wstring> safe = SafeExtractName(name, noPath);
    if (!safe) return kOk;
    const std::filesystem::path target = targetFolder_ / Narrow(*safe);
    if (!MayWrite(target)) return kOk;

    current_.Start(Widen(target.string()), size.Number());
    const auto bits = static_cast<std::uint32_t>(attributes.Number());
    std::error_code error;
    if ((bits & kAttributeFolder) != 0) {
        std::filesystem::create_directories(target, error);
        return kOk;
    }
    if (countHeld_ && --itemsToCome_ == 0) lastItem_ = true;
    std::filesystem::create_directories(target.parent_path(), error);
    auto writer = TMyStreamWriter::Create(&owner_.LastSystemError, bits,
                                          FromFileTime(modified.FileTime()), target);
    if (!writer) {
        owner_.ReportError(SevenZipError::CouldNotCreateFile, current_.name);
        return kFalse;
    }
    currentFile_ = target;
    *stream = static_cast<IOutStream*>(writer.Detach());
    return kOk;
}

HRESULT TMyArchiveExtractCallback::PrepareOperation(std::int32_t) {
    return kOk;
}

HRESULT TMyArchiveExtractCallback::SetOperationResult(std::int32_t result) {
    const SevenZipError error = ErrorForResult(result);
    if (error == SevenZipError::Success) {
        owner_.LastErrCode = 0;
    } else {
        // A damaged item is not left on disk as if it were good.
        std::error_code ignored;
        if (!currentFile_.empty()) std::filesystem::remove(currentFile_, ignored);
        owner_.ReportError(error, current_.name);
    }
    currentFile_.clear();
    if (lastItem_) stop_ = true;
    return kOk;
}

HRESULT TMyArchiveExtractCallback::CryptoGetTextPassword(BSTR* password) {
    if (password_.empty()) return kFalse;
    return CopyToBstr(password_, password);
}

}  // namespace archive
