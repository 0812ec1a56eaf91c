#include "archive/SevenZipVCL.h"

#include <sys/stat.h>

#include <algorithm>
#include <stdexcept>
#include <system_error>

#include "archive/RecordingName.h"
#include "archive/SevenZipCallbacks.h"
#include "archive/SevenZipCom.h"
#include "archive/SevenZipEngine.h"
#include "archive/SevenZipStreams.h"
#include "platform/files/files.h"

namespace archive {

using namespace com;

const char* SevenZipErrorText(SevenZipError error) {
    static constexpr const char* kTexts[] = {
        "Success",
        "File not found",
        "Data Error",
        "CRC Error",
        "Unsupported Method",
        "Index out of Range",
        "User canceled operation",
        "File is not an 7z SFX archive",
        "SFXModule error ( Not found )",
        "Could not create SFX",
        "No files to add",
        "Could not create file",
    };
    const auto index = static_cast<std::size_t>(error);
    return index < std::size(kTexts) ? kTexts[index] : "";
}

bool IsTopLevelRecording(const std::wstring& Filename) {
    return IsTopLevelRecording(Narrow(Filename));
}

std::filesystem::path DefaultArchiveEnginePath() {
    return std::filesystem::path(platform::files::TempFolder()) / "7za.dll";
}

namespace {

using CreateObjectFn = HRESULT (*)(const GUID* classId, const GUID* interfaceId, void** out);
using GetModulePropFn = HRESULT (*)(PROPID id, PROPVARIANT* value);

// Interface type 0: the engine's IUnknown has the three Windows slots and no virtual destructor.
bool HasWindowsMethodTables(const platform::library::Library& library) {
    const auto getModuleProp = library.Function<GetModulePropFn>("GetModuleProp");
    if (getModuleProp == nullptr) return false;
    PropVariant type;
    return getModuleProp(0, type.Out()) == kOk && type.Type() == VT_UI4 && type.Number() == 0;
}

template <class T>
ComPtr<T> CreateHandler(CreateObjectFn createObject, const GUID& iid) {
    ComPtr<T> object;
    createObject(&CLSID_Format7z, &iid, object.OutVoid());
    return object;
}

}  // namespace

TSevenZip::TSevenZip(const std::filesystem::path& enginePath)
    : engine_(std::make_unique<Engine>()) {
    if (platform::files::FileExists(enginePath)) {
        engine_->library = platform::library::Library::Load(enginePath);
    }
    const auto createObject =
        engine_->library ? engine_->library->Function<CreateObjectFn>("CreateObject") : nullptr;
    if (createObject != nullptr && HasWindowsMethodTables(*engine_->library)) {
        engine_->in = CreateHandler<IInArchive>(createObject, IID_IInArchive);
        engine_->out = CreateHandler<IOutArchive>(createObject, IID_IOutArchive);
        engine_->properties = CreateHandler<ISetProperties>(createObject, IID_ISetProperties);
    }
    // Newer engines hand ISetProperties out only through IOutArchive, which is where packing
    // asks for it; the in and out handlers are what the component cannot do without.
    if (!engine_->in || !engine_->out) {
        throw std::runtime_error("File 7za.dll not found");
    }
}

TSevenZip::~TSevenZip() = default;

void TSevenZip::ReportError(SevenZipError error, const std::wstring& fileName) {
    LastErrCode = static_cast<int>(error);
    if (OnMessage) OnMessage(*this, LastErrCode, SevenZipErrorText(error), fileName);
}

// ---- packing ----

namespace {

// The files of FileList that exist, with their sizes, stamps and attribute bits.
std::vector<AddItem> CollectItems(const std::vector<std::wstring>& fileList, std::uint64_t& total) {
    std::vector<AddItem> items;
    total = 0;
    for (const std::wstring& entry : fileList) {
        struct stat info {};
        if (stat(Narrow(entry).c_str(), &info) != 0) continue;
        const auto modified = std::chrono::system_clock::time_point(
            std::chrono::duration_cast<std::chrono::system_clock::duration>(
                std::chrono::seconds(info.st_mtim.tv_sec) +
                std::chrono::nanoseconds(info.st_mtim.tv_nsec)));
        AddItem item{entry, static_cast<std::uint64_t>(info.st_size), ToFileTime(modified),
                     platform::files::Attributes(Narrow(entry)).value_or(0)};
        if (S_ISDIR(info.st_mode)) item.size = 0;
        total += item.size;
        items.push_back(std::move(item));
    }
    return items;
}

std::uint32_t Level(TCompressStrength strength) {
    switch (strength) {
        case TCompressStrength::SAVE:
            return 0;
        case TCompressStrength::FAST:
            return 3;
        case TCompressStrength::MAXIMUM:
            return 7;
        case TCompressStrength::ULTRA:
            return 9;
        default:
            return 5;
    }
}

}  // namespace

void TSevenZip::SetCompressionProperties() {
    const auto properties = QueryAs<ISetProperties>(engine_->out.get(), IID_ISetProperties);
    if (!properties) return;
    std::vector<const wchar_t*> names;
    std::vector<PROPVARIANT> values;
    auto add = [&](const wchar_t* name, PROPVARIANT value) {
        names.push_back(name);
        values.push_back(value);
    };
    const std::uint32_t level = Level(LZMACompressStrength);
    if (LZMACompressType == TCompressType::LZMA) {
        add(L"X", UInt32Prop(level));
        add(L"s", TextProp(AddOptions.Has(AddOptsEnum::AddSolid) ? L"on" : L"off"));
        if (LZMAStrength != 0) add(L"d", UInt32Prop(static_cast<std::uint32_t>(LZMAStrength)));
    } else {
        add(L"0", TextProp(L"PPMd"));
        add(L"X", UInt32Prop(level));
        if (LPPMDsize != 0) add(L"o", UInt32Prop(static_cast<std::uint32_t>(LPPMDsize)));
        if (LPPMDmem != 0) add(L"mem", UInt32Prop(static_cast<std::uint32_t>(LPPMDmem)));
    }
    if (!Password.empty() && AddOptions.Has(AddOptsEnum::AddEncryptFilename)) {
        add(L"he", TextProp(L"on"));
    }
    properties->SetProperties(names.data(), values.data(),
                              static_cast<std::uint32_t>(names.size()));
    for (PROPVARIANT& value : values) ClearProp(value);
}

int TSevenZip::AddFiles() {
    Cancel = false;
    LastSystemError = 0;
    AddRootDir = UpperCase(AddRootDir);
    std::wstring root = AddRootDir;
    if (!root.empty() && root.back() != L'/') root += L'/';
    std::uint64_t total = 0;
    std::vector<AddItem> items = CollectItems(FileList, total);
    if (OnPreProgress) OnPreProgress(*this, total);

    const std::filesystem::path archivePath = Narrow(SZFileName);
    int result = -1;
    {
        auto writer = TMyStreamWriter::Create(&LastSystemError, 0x20,
                                              std::chrono::system_clock::now(), archivePath);
        if (!writer) {
            ReportError(SevenZipError::CouldNotCreateFile, SZFileName);
            Cancel = false;
            return -1;
        }
        SetCompressionProperties();
        if (items.empty()) {
            ReportError(SevenZipError::NoFilesToAdd, L"");
        } else {
            const auto count = static_cast<std::uint32_t>(items.size());
            auto callback = MakeCom<TMyArchiveUpdateCallback>(*this, std::move(items), root);
            result = engine_->out->UpdateItems(static_cast<IOutStream*>(writer.get()), count,
                                               callback.get());
        }
    }
    // A file that could not be read in full fails the packing even where the engine went on.
    if (result == kOk && LastSystemError != 0) result = kFail;
    // A failed packing leaves no archive that could pass for a good one.
    if (result != kOk) {
        std::error_code ignored;
        std::filesystem::remove(archivePath, ignored);
    }
    Cancel = false;
    return result;
}

}  // namespace archive
