// The engine's file streams at their edges: totals, reads at and past the end, the writer's
// view of its end, links and files that cannot be made.
#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>

#include "archive/SevenZipStreams.h"
#include "sevenzip_test_support.h"

using namespace sevenzip_test;
using namespace archive;
using namespace archive::com;

namespace {

ComPtr<TMyStreamReader> Reader(int* error, bool archiveMode, const fs::path& path) {
    return MakeCom<TMyStreamReader>(error, 0, archiveMode, path);
}

std::uint64_t SeekTo(IInStream& stream, std::int64_t offset, std::uint32_t origin,
                     HRESULT expected) {
    std::uint64_t position = 12345;
    EXPECT_EQ(stream.Seek(offset, origin, &position), expected);
    return position;
}

}  // namespace

TEST(SevenZipStreams, ReaderTotalsAndTheEnd) {
    Sandbox box;
    WriteBytes(box / "f", std::string(100, 'x'));
    for (const bool archiveMode : {false, true}) {
        SCOPED_TRACE(archiveMode ? "archive" : "file to pack");
        int error = 0;
        auto reader = Reader(&error, archiveMode, box / "f");
        std::uint64_t size = 0;
        EXPECT_EQ(reader->GetSize(&size), kOk);
        EXPECT_EQ(size, 100u);
        EXPECT_EQ(SeekTo(*reader, -10, kSeekEnd, kOk), 90u);
        char buffer[64];
        std::uint32_t done = 99;
        EXPECT_EQ(reader->Read(buffer, 10, &done), kOk);  // ends exactly at the end
        EXPECT_EQ(done, 10u);
        EXPECT_EQ(SeekTo(*reader, -15, kSeekCurrent, kOk), 85u);
        // Past the end: a file being packed gives what is there; an archive, nothing.
        EXPECT_EQ(reader->Read(buffer, 30, &done), archiveMode ? kFalse : kOk);
        EXPECT_EQ(done, archiveMode ? 0u : 15u);
        EXPECT_EQ(SeekTo(*reader, 0, 7, kOk), archiveMode ? 85u : 100u);  // unknown origin
        reader = {};
        EXPECT_EQ(error, 0);
    }
}

TEST(SevenZipStreams, ReaderOverWhatCannotBeReadFailsItsReads) {
    Sandbox box;
    ASSERT_EQ(mkfifo((box / "pipe").c_str(), 0600), 0);
    const struct {
        fs::path path;
        bool archiveMode;
        int error;
    } cases[] = {
        {box / "missing", false, ENOENT},
        {box / "missing", true, ENOENT},
        {box / "pipe", false, EINVAL},  // refused at once, not waited on
        {box / "pipe", true, EINVAL},
        {"/proc/self/mem", false, EIO},  // opens, but offset 0 cannot be read
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.string() + (c.archiveMode ? " archive" : " file to pack"));
        int error = 0;
        // A stale EINTR must not keep a reader without a file reading for ever.
        errno = EINTR;
        auto reader = Reader(&error, c.archiveMode, c.path);
        std::uint64_t size = 0;
        EXPECT_EQ(reader->GetSize(&size), kFalse);
        EXPECT_EQ(SeekTo(*reader, 0, kSeekEnd, kFalse), 0u);
        char buffer[4];
        std::uint32_t done = 9;
        EXPECT_EQ(reader->Read(buffer, 4, &done), kFail);
        EXPECT_EQ(done, 0u);
        reader = {};
        EXPECT_EQ(error, c.error);
    }
}

TEST(SevenZipStreams, WriterEndIsTheHighestPositionWritten) {
    Sandbox box;
    int error = 0;
    const auto stamp = std::chrono::system_clock::from_time_t(1614834369);  // an odd second
    auto writer = TMyStreamWriter::Create(&error, 0x20, stamp, box / "out");
    ASSERT_TRUE(writer);
    std::uint32_t done = 0;
    EXPECT_EQ(writer->Write(std::string(50, 'a').data(), 50, &done), kOk);
    std::uint64_t position = 0;
    writer->Seek(10, kSeekSet, &position);
    writer->Write("bbbbb", 5, &done);
    EXPECT_EQ(writer->Seek(-1, kSeekEnd, &position), kOk);
    EXPECT_EQ(position, 49u);
    EXPECT_EQ(writer->SetSize(5), kFalse);
    writer = {};
    EXPECT_EQ(ReadBytes(box / "out"), std::string(10, 'a') + "bbbbb" + std::string(35, 'a'));
    struct stat info {};
    stat((box / "out").c_str(), &info);
    EXPECT_EQ(info.st_mtim.tv_sec, 1614834368);  // two-second precision, kept after writing
    EXPECT_EQ(error, 0);
}

TEST(SevenZipStreams, WriterReplacesLinksAndReportsWhatItCannotCreate) {
    Sandbox box;
    WriteBytes(box / "outside", "keep me");
    fs::create_directory(box / "folder");
    fs::create_symlink(box / "outside", box / "folder" / "Demo.avi");
    int error = 0;
    auto writer = TMyStreamWriter::Create(&error, 0x21, std::chrono::system_clock::now(),
                                          box / "folder" / "Demo.avi");
    ASSERT_TRUE(writer);
    std::uint32_t done = 0;
    writer->Write("new", 3, &done);
    writer = {};
    EXPECT_EQ(ReadBytes(box / "outside"), "keep me");
    EXPECT_FALSE(fs::is_symlink(box / "folder" / "Demo.avi"));
    EXPECT_EQ(ReadBytes(box / "folder" / "Demo.avi"), "new");
    EXPECT_EQ(fs::status(box / "folder" / "Demo.avi").permissions() & fs::perms::owner_write,
              fs::perms::none);  // attribute bit 0x01: read-only

    EXPECT_FALSE(TMyStreamWriter::Create(&error, 0x20, std::chrono::system_clock::now(),
                                         box / "none" / "x"));
    EXPECT_EQ(error, ENOENT);
}
