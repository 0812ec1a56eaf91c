#include "archive/SevenZipCallbacks.h"

#include <cwctype>
#include <system_error>

#include "archive/SevenZipStreams.h"

namespace archive {

using namespace com;

std::wstring StoredItemName(TSevenZip& owner, std::uint32_t index, std::wstring name,
                            const std::wstring& root) {
    if (!root.empty() && UpperCase(name).starts_with(UpperCase(root))) name.erase(0, root.size());
    if (owner.OnSetAddName) owner.OnSetAddName(owner, index, name);
    if (name.size() >= 2 && std::iswalpha(static_cast<wint_t>(name[0])) && name[1] == L':') {
        if (owner.AddOptions.Has(AddOptsEnum::AddIncludeDriveLetter)) {
            name.erase(1, 1);
        } else {
            name.erase(0, 3);
        }
    }
    if (owner.AddOptions.Has(AddOptsEnum::AddStoreOnlyFilename)) {
        name.erase(0, name.find_last_of(L'/') + 1);
    }
    return name;
}

std::optional<std::wstring> SafeExtractName(const std::wstring& path, bool noPath) {
    const std::wstring parts = noPath ? path.substr(path.find_last_of(L"/\\:") + 1) : path;
    std::wstring safe;
    std::size_t start = 0;
    while (start <= parts.size()) {
        std::size_t end = parts.find_first_of(L"/\\", start);
        if (end == std::wstring::npos) end = parts.size();
        const std::wstring part = parts.substr(start, end - start);
        if (part == L"..") return std::nullopt;
        if (!part.empty() && part != L".") safe += (safe.empty() ? L"" : L"/") + part;
        start = end + 1;
    }
    if (safe.empty()) return std::nullopt;
    return safe;
}

// ---- progress ----

void ItemProgress::Start(std::wstring itemName, std::uint64_t itemSize) {
    name = std::move(itemName);
    size = itemSize;
    bytesDone = 0;
}

HRESULT ItemProgress::Report(TSevenZip& owner, const T7zAddFileEvent& started, std::uint64_t done) {
    if (bytesDone == 0 && started) started(owner, name, size);
    bytesDone += done - lastDone;
    lastDone = done;
    if (owner.OnProgress) owner.OnProgress(owner, name, bytesDone, done);
    if (!owner.Cancel) return kOk;
    owner.ReportError(SevenZipError::UserCanceled, name);
    return kFalse;
}

// ---- update ----

TMyArchiveUpdateCallback::TMyArchiveUpdateCallback(TSevenZip& owner, std::vector<AddItem> items,
                                                   std::wstring root)
    : owner_(owner), items_(std::move(items)), root_(std::move(root)), password_(owner.Password) {}

void* TMyArchiveUpdateCallback::Find(const GUID& iid) {
    if (iid == IID_IProgress || iid == IID_IArchiveUpdateCallback) {
        return static_cast<IArchiveUpdateCallback*>(this);
    }
    if (iid == IID_ICryptoGetTextPassword2) return static_cast<ICryptoGetTextPassword2*>(this);
    return nullptr;
}

HRESULT TMyArchiveUpdateCallback::SetTotal(std::uint64_t) {
    return kOk;
}

HRESULT TMyArchiveUpdateCallback::SetCompleted(const std::uint64_t* done) {
    return current_.Report(owner_, owner_.OnAddfile, done != nullptr ? *done : 0);
}

HRESULT TMyArchiveUpdateCallback::GetUpdateItemInfo(std::uint32_t, std::int32_t* newData,
                                                    std::int32_t* newProperties,
                                                    std::uint32_t* indexInArchive) {
    if (newData != nullptr) *newData = 1;
    if (newProperties != nullptr) *newProperties = 1;
    if (indexInArchive != nullptr) *indexInArchive = 0xFFFFFFFF;
    return kOk;
}

HRESULT TMyArchiveUpdateCallback::GetProperty(std::uint32_t index, PROPID id, PROPVARIANT* value) {
    if (value == nullptr || index >= items_.size()) return kFail;
    const AddItem& item = items_[index];
    switch (id) {
        case kpidPath:
            *value = TextProp(StoredItemName(owner_, index, item.name, root_));
            return kOk;
        case kpidIsDir:
            *value = BoolProp((item.attributes & kAttributeFolder) != 0);
            return kOk;
        case kpidSize:
            *value = UInt64Prop(item.size);
            return kOk;
        case kpidAttrib:
            *value = UInt32Prop(item.attributes);
            return kOk;
        case kpidCTime:
        case kpidATime:
            *value = FileTimeProp(0);
            return kOk;
        case kpidMTime:
            *value = FileTimeProp(item.fileTime);
            return kOk;
        case kpidIsAnti:
            *value = BoolProp(false);
            return kOk;
        default:
            return kFalse;
    }
}

HRESULT TMyArchiveUpdateCallback::GetStream(std::uint32_t index, ISequentialInStream** stream) {
    if (stream == nullptr || index >= items_.size()) return kFail;
    const AddItem& item = items_[index];
    current_.Start(item.name, item.size);
    auto reader = MakeCom<TMyStreamReader>(&owner_.LastSystemError, 0, false, Narrow(item.name));
    *stream = static_cast<IInStream*>(reader.Detach());
    return kOk;
}

HRESULT TMyArchiveUpdateCallback::SetOperationResult(std::int32_t) {
    return kOk;
}

HRESULT TMyArchiveUpdateCallback::CryptoGetTextPassword2(std::int32_t* defined, BSTR* password) {
    if (defined == nullptr || password == nullptr) return kFail;
    *password = nullptr;
    *defined = password_.empty() ? 0 : VARIANT_TRUE;
    return password_.empty() ? kOk : CopyToBstr(password_, password);
}

// ---- open ----

TMyArchiveOpenCallback::TMyArchiveOpenCallback(std::wstring password)
    : password_(std::move(password)) {}

void* TMyArchiveOpenCallback::Find(const GUID& iid) {
    if (iid == IID_IArchiveOpenCallback) return static_cast<IArchiveOpenCallback*>(this);
    if (iid == IID_ICryptoGetTextPassword) return static_cast<ICryptoGetTextPassword*>(this);
    return nullptr;
}

HRESULT TMyArchiveOpenCallback::SetTotal(const std::uint64_t*, const std::uint64_t*) {
    return kOk;
}

HRESULT TMyArchiveOpenCallback::SetCompleted(const std::uint64_t*, const std::uint64_t*) {
    return kOk;
}

HRESULT TMyArchiveOpenCallback::CryptoGetTextPassword(BSTR* password) {
    if (password_.empty()) return kFalse;
    return CopyToBstr(password_, password);
}

}  // namespace archive
