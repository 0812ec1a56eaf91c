// The objects the engine calls back while TSevenZip packs, opens and extracts an archive.
// Each holds a reference to its component, which outlives every operation.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "archive/SevenZipCom.h"
#include "archive/SevenZipVCL.h"

namespace archive {

// Engine property ids the component uses.
enum PropId : com::PROPID {
    kpidPath = 3,
    kpidIsDir = 6,
    kpidSize = 7,
    kpidPackSize = 8,
    kpidAttrib = 9,
    kpidCTime = 10,
    kpidATime = 11,
    kpidMTime = 12,
    kpidCRC = 19,
    kpidIsAnti = 21,
    kpidMethod = 22,
};

constexpr std::uint32_t kAttributeFolder = 0x10;

// One file to pack.
struct AddItem {
    std::wstring name;  // the FileList entry, unchanged
    std::uint64_t size = 0;
    std::uint64_t fileTime = 0;  // last write, UTC
    std::uint32_t attributes = 0;
};

// The name an item to pack is stored under: root removed (compared in upper case), OnSetAddName,
// a drive letter's ":" or the drive removed, and with AddStoreOnlyFilename the part after the
// last "/".
std::wstring StoredItemName(TSevenZip& owner, std::uint32_t index, std::wstring name,
                            const std::wstring& root);

// The path below the target folder that an extracted item is written to, or nothing when the
// item must be skipped. With noPath only the part after the last "/", "\" or ":"; otherwise
// the path with empty and "." parts dropped. Empty, ".", ".." and any path with a ".." part
// give nothing, so no item ever lands outside the folder.
std::optional<std::wstring> SafeExtractName(const std::wstring& path, bool noPath);

// The progress of the item being packed or extracted, as the engine reports it.
struct ItemProgress {
    std::wstring name;
    std::uint64_t size = 0;
    std::uint64_t bytesDone = 0;
    std::uint64_t lastDone = 0;

    void Start(std::wstring itemName, std::uint64_t itemSize);
    // Raises started (while no byte is done yet) and OnProgress for the engine's done value,
    // then answers the cancel flag: error 6 and S_FALSE, else S_OK.
    com::HRESULT Report(TSevenZip& owner, const T7zAddFileEvent& started, std::uint64_t done);
};

class TMyArchiveUpdateCallback final
    : public com::ComObject<com::IArchiveUpdateCallback, com::ICryptoGetTextPassword2> {
public:
    TMyArchiveUpdateCallback(TSevenZip& owner, std::vector<AddItem> items, std::wstring root);

    com::HRESULT SetTotal(std::uint64_t total) override;
    com::HRESULT SetCompleted(const std::uint64_t* done) override;
    com::HRESULT GetUpdateItemInfo(std::uint32_t index, std::int32_t* newData,
                                   std::int32_t* newProperties,
                                   std::uint32_t* indexInArchive) override;
    com::HRESULT GetProperty(std::uint32_t index, com::PROPID id, com::PROPVARIANT* value) override;
    com::HRESULT GetStream(std::uint32_t index, com::ISequentialInStream** stream) override;
    com::HRESULT SetOperationResult(std::int32_t result) override;
    com::HRESULT CryptoGetTextPassword2(std::int32_t* defined, com::BSTR* password) override;

private:
    void* Find(const com::GUID& iid) override;

    TSevenZip& owner_;
    std::vector<AddItem> items_;
    std::wstring root_;
    std::wstring password_;
    ItemProgress current_;
};

class TMyArchiveExtractCallback final
    : public com::ComObject<com::IArchiveExtractCallback, com::ICryptoGetTextPassword> {
public:
    // itemsToCome: how many items were asked for, 0 for all of them.
    TMyArchiveExtractCallback(TSevenZip& owner, com::IInArchive& archive,
                              std::filesystem::path targetFolder, std::int64_t itemsToCome);

    com::HRESULT SetTotal(std::uint64_t total) override;
    com::HRESULT SetCompleted(const std::uint64_t* done) override;
    com::HRESULT GetStream(std::uint32_t index, com::ISequentialOutStream** stream,
                           std::int32_t mode) override;
    com::HRESULT PrepareOperation(std::int32_t mode) override;
    com::HRESULT SetOperationResult(std::int32_t result) override;
    com::HRESULT CryptoGetTextPassword(com::BSTR* password) override;

private:
    void* Find(const com::GUID& iid) override;
    com::HRESULT ExtractStream(std::uint32_t index, com::ISequentialOutStream** stream);
    bool MayWrite(const std::filesystem::path& target);

    TSevenZip& owner_;
    com::IInArchive& archive_;
    std::filesystem::path targetFolder_;
    std::wstring password_;
    std::int64_t itemsToCome_;
    bool countHeld_;
    bool lastItem_ = false;
    bool stop_ = false;
    ItemProgress current_;
    std::filesystem::path currentFile_;  // the file made for the current item, removed on failure
};

class TMyArchiveOpenCallback final
    : public com::ComObject<com::IArchiveOpenCallback, com::ICryptoGetTextPassword> {
public:
    explicit TMyArchiveOpenCallback(std::wstring password);

    com::HRESULT SetTotal(const std::uint64_t* files, const std::uint64_t* bytes) override;
    com::HRESULT SetCompleted(const std::uint64_t* files, const std::uint64_t* bytes) override;
    com::HRESULT CryptoGetTextPassword(com::BSTR* password) override;

private:
    void* Find(const com::GUID& iid) override;

    std::wstring password_;
};

}  // namespace archive
