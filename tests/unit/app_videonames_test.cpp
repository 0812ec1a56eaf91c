// Naming recordings: the typed-character filter, pasted names, list names, paths and captions.
#include <gtest/gtest.h>

#include "app/VideoList.h"
#include "app/VideoNames.h"

using namespace app;

TEST(VideoNames, TypedCharacters) {
    for (char32_t c : {U'a', U'Z', U'0', U'9', U' ', U'-', U'_', U'\b', U'Ä', U'Ö', U'Ü', U'ä',
                       U'ö', U'ü', U'ß'}) {
        EXPECT_TRUE(AcceptedNameChar(c)) << static_cast<unsigned>(c);
    }
    for (char32_t c :
         {U'.', U'/', U'\\', U'\r', U'\n', U'\x1b', U':', U'*', U'?', U'é', U'€', U'\t'}) {
        EXPECT_FALSE(AcceptedNameChar(c)) << static_cast<unsigned>(c);
    }
}

TEST(VideoNames, TrimmingKeepsTheInside) {
    EXPECT_EQ(TrimName("  Demo 1 \t\r\n"), "Demo 1");
    EXPECT_EQ(TrimName("\x01x\x7f"), "x");
    EXPECT_EQ(TrimName("   "), "");
}

TEST(VideoNames, PastedNamesStayInTheFolder) {
    EXPECT_EQ(RecordingName("../../etc/passwd"), "etcpasswd");
    EXPECT_EQ(RecordingName("a/b\\c"), "abc");
    EXPECT_EQ(RecordingName("a.b/c"), "a.bc");
    EXPECT_EQ(RecordingName(".hidden"), "hidden");
    EXPECT_EQ(RecordingName("..."), "");
    EXPECT_EQ(RecordingName(" . . "), "");
    EXPECT_EQ(RecordingName(". .a."), "a.");
    EXPECT_EQ(RecordingName("  ..  "), "");
    EXPECT_EQ(RecordingName("Demo.AVI"), "Demo.AVI");
    EXPECT_EQ(RecordingName("line\nbreak"), "linebreak");
    EXPECT_EQ(RecordingName("Größe"), "Größe");
}

TEST(VideoNames, ListNamesAndPaths) {
    EXPECT_EQ(ListName("Demo.AVI"), "Demo");
    EXPECT_EQ(ListName("a.avi.avi"), "a");
    EXPECT_EQ(ListName("x.Avi.zip.avi"), "x.zip");
    EXPECT_EQ(RecordingFilesFor("/t/Video", "Demo").video, "/t/Video/Demo.avi");
    EXPECT_EQ(RecordingFilesFor("/t/Video", "Demo.AvI").video, "/t/Video/Demo.AvI");
    EXPECT_EQ(RecordingFilesFor("/t/Video", "a").video, "/t/Video/a.avi");
    EXPECT_EQ(RecordingFilesFor("/t/Video", "a.b.avi").zip, "/t/Video/a.b.zip");
    EXPECT_EQ(RecordingFilesFor("/t/Vid.eo", "a").sevenZip, "/t/Vid.eo/a.7z");
    EXPECT_EQ(RecordingFilesFor("/t/Video", "Demo.AVI").sevenZip, "/t/Video/Demo.7z");
}

TEST(VideoNames, HintAndCaption) {
    EXPECT_EQ(ComboHint("", "ctx", "select"), "select");
    EXPECT_EQ(ComboHint("Demo", "ctx", "select"), "Demo\r\nctx");
    EXPECT_EQ(ElapsedCaption(0), "00:00");
    EXPECT_EQ(ElapsedCaption(61), "01:01");
    EXPECT_EQ(ElapsedCaption(3599), "59:59");
    EXPECT_EQ(ElapsedCaption(3600), "00:00");
    EXPECT_EQ(ElapsedCaption(3725), "02:05");
}

TEST(VideoNames, FreeSpace) {
    EXPECT_TRUE(EnoughSpace(201ull * 1048576, 200));
    EXPECT_FALSE(EnoughSpace(200ull * 1048576 + 1048575, 200));  // whole MiB only
    EXPECT_FALSE(EnoughSpace(0, 100));
    EXPECT_TRUE(EnoughSpace(std::nullopt, 200));
}

// Each entry keeps the file it stands for, so that Play and Delete reach exactly that file,
// and the order is the one of a file manager in the user's language. Names that are no
// recording's (a path on some system, a bare ".avi") stay out.
TEST(VideoList, EntriesKeepTheirFilesInCollationOrder) {
    const std::vector<std::string> files = {"Zebra.avi", "Äpfel.avi",   " Rand .avi", "x.avi.avi",
                                            "ab.AVI",    "a\\b.avi",    "c:d.avi",    "Apfel.avi",
                                            ".avi",      "video10.avi", "video9.avi", "apfel2.avi"};
    for (const char* locale : {"de_DE", "en_US"}) {
        const auto entries = ListedVideos(files, QLocale(locale));
        std::vector<std::pair<std::string, std::string>> got;
        for (const auto& e : entries) got.emplace_back(e.text, e.file);
        const std::vector<std::pair<std::string, std::string>> expected = {
            {" Rand ", " Rand .avi"},   {"ab", "ab.AVI"},         {"Apfel", "Apfel.avi"},
            {"Äpfel", "Äpfel.avi"},     {"apfel2", "apfel2.avi"}, {"video9", "video9.avi"},
            {"video10", "video10.avi"}, {"x", "x.avi.avi"},       {"Zebra", "Zebra.avi"}};
        EXPECT_EQ(got, expected) << locale;
    }
}
