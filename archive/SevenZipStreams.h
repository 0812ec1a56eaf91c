// The engine's input and output streams over single files. Every Read and Write goes straight
// to the file at the stream's position, with no buffer of our own, so memory does not grow with
// the file. The program never splits archives, so neither stream knows volumes.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>

#include "archive/SevenZipCom.h"

namespace archive {

// Seek origins.
constexpr std::uint32_t kSeekSet = 0;
constexpr std::uint32_t kSeekCurrent = 1;
constexpr std::uint32_t kSeekEnd = 2;

class TMyStreamReader final : public com::ComObject<com::IInStream, com::IStreamGetSize> {
public:
    // Reads fileName from startOffset on; its total (for GetSize and seeks from the end) is the
    // file's length, 0 when it cannot be opened, and then GetSize and seeks from the end answer
    // S_FALSE. In archive mode (the archive being listed or extracted) a read that would pass the
    // end reads nothing and answers S_FALSE: no further volume follows. Only a regular file is
    // opened; anything else, or a file that cannot be opened, still makes a reader whose reads
    // fail with E_FAIL, as does a read the system refuses. The last system error reaches
    // *errorTarget at destruction.
    TMyStreamReader(int* errorTarget, std::uint64_t startOffset, bool archiveMode,
                    const std::filesystem::path& fileName);

    com::HRESULT Read(void* data, std::uint32_t size, std::uint32_t* done) override;
    com::HRESULT Seek(std::int64_t offset, std::uint32_t origin, std::uint64_t* position) override;
    com::HRESULT GetSize(std::uint64_t* size) override;

private:
    ~TMyStreamReader() override;
    void* Find(const com::GUID& iid) override;

    int fd_ = -1;
    std::uint64_t length_ = 0;  // 0: no total
    std::uint64_t position_ = 0;
    bool archiveMode_;
    int lastError_ = 0;
    int* errorTarget_;
};

class TMyStreamWriter final : public com::ComObject<com::IOutStream> {
public:
    // Creates fileName anew for reading and writing, replacing a file that is there (a link is
    // replaced, never followed), with read-only permissions when attribute bit 0x01 is set, and
    // stamps it with dateTime at two-second precision. Null when the file cannot be created or
    // stamped; the system's error is then written to *errorTarget. The stamp is set again when
    // the writer goes, as writing moves it.
    static com::ComPtr<TMyStreamWriter> Create(int* errorTarget, std::uint32_t attributes,
                                               std::chrono::system_clock::time_point dateTime,
                                               const std::filesystem::path& fileName);

    // S_FALSE once any write has failed; a failed write counts 0 bytes.
    com::HRESULT Write(const void* data, std::uint32_t size, std::uint32_t* done) override;
    // From the end means from the highest position written so far, not the file's length.
    com::HRESULT Seek(std::int64_t offset, std::uint32_t origin, std::uint64_t* position) override;
    // Does nothing: S_FALSE.
    com::HRESULT SetSize(std::uint64_t size) override;

    TMyStreamWriter(int fd, int* errorTarget, std::chrono::system_clock::time_point stamp);

private:
    ~TMyStreamWriter() override;
    void* Find(const com::GUID& iid) override;

    int fd_;
    int* errorTarget_;
    std::chrono::system_clock::time_point stamp_;
    std::uint64_t position_ = 0;
    std::uint64_t highest_ = 0;
    int lastError_ = 0;
};

}  // namespace archive
