// The message catalogue, the language decision and the program's paths.
#include <gtest/gtest.h>

#include <set>

#include "app/ProgramPaths.h"
#include "catalogue/MessageCatalogue.h"

using namespace app;

TEST(MessageCatalogue, HoldsExactlyTheProgramsIds) {
    std::set<int> expected;
    auto range = [&](int from, int to) {
        for (int id = from; id <= to; ++id) expected.insert(id);
    };
    for (int offset : {0, 1000}) {
        range(offset + 1, offset + 4);
        range(offset + 10, offset + 32);
        range(offset + 40, offset + 46);
        range(offset + 50, offset + 52);
        range(offset + 60, offset + 61);
        range(offset + 101, offset + 118);
        range(offset + 303, offset + 305);
    }
    range(1201, 1210);
    range(1215, 1226);
    range(1301, 1301);
    const std::vector<int> ids = CatalogueIds();
    EXPECT_EQ(std::set<int>(ids.begin(), ids.end()), expected);
    EXPECT_EQ(ids.size(), expected.size());
    for (int id : ids) EXPECT_FALSE(CatalogueText(id).empty()) << id;
}

TEST(MessageCatalogue, MissingIdsAreEmpty) {
    for (int id : {0, 5, 9, 33, 47, 100, 119, 200, 201, 211, 225, 300, 301, 302, 1005, 1211, 1300, 1302,
                   2003, -1}) {
        EXPECT_TRUE(CatalogueText(id).empty()) << id;
    }
}

TEST(MessageCatalogue, TextsKeepTheirBlanksAndLetters) {
    EXPECT_EQ(CatalogueText(22), " nicht gefunden!");
    EXPECT_EQ(CatalogueText(1022), " not found!");
    EXPECT_EQ(CatalogueText(12), "Nicht genügend Speicher frei auf Laufwerk ");
    EXPECT_EQ(CatalogueText(13), " ist bereits vorhanden und wird überschrieben.");
    EXPECT_EQ(CatalogueText(16), "Alle Videos löschen?");
    EXPECT_EQ(CatalogueText(26), "7-ZIP Format verwenden wenn AVI-Datei größer ist als ");
    EXPECT_EQ(CatalogueText(116), "Kontextmenü für weitere Befehle...");
    EXPECT_EQ(CatalogueText(118), "Komprimierte Videos (*.zip; *.7z)|*.zip;*.7z");
    EXPECT_EQ(CatalogueText(1118), "Compressed videos (*.zip; *.7z)|*.zip;*.7z");
    EXPECT_EQ(CatalogueText(1205), "A&bout...");
    EXPECT_EQ(CatalogueText(1215), "Erase AVI files when quiting");
    EXPECT_EQ(CatalogueText(3), "FEHLER");
    EXPECT_EQ(CatalogueText(1003), "ERROR");
    EXPECT_EQ(CatalogueText(2), CatalogueText(1002));
}

TEST(Language, DecidedFromTheLocaleValue) {
    EXPECT_EQ(LanguageOffsetFor(std::string("00000407")), kGerman);
    EXPECT_EQ(LanguageOffsetFor(std::string("00000c07")), kGerman);
    EXPECT_EQ(LanguageOffsetFor(std::string("00000807")), kGerman);
    EXPECT_EQ(LanguageOffsetFor(std::string("00001007")), kGerman);
    EXPECT_EQ(LanguageOffsetFor(std::string("00001407")), kGerman);
    EXPECT_EQ(LanguageOffsetFor(std::string("0000040C")), kEnglish);
    EXPECT_EQ(LanguageOffsetFor(std::string("00000409")), kEnglish);
    EXPECT_EQ(LanguageOffsetFor(std::string("")), kEnglish);
    EXPECT_EQ(LanguageOffsetFor(std::nullopt), kGerman);
}

TEST(ProgramPaths, FromTheTempFolder) {
    ProgramPaths p = PathsFor("/tmp");
    EXPECT_EQ(p.HookLibraryPath, "/tmp/Korvex.dll");
    EXPECT_EQ(p.ArchiveEnginePath, "/tmp/7za.dll");
    EXPECT_EQ(p.VideoFolder, "/tmp/Video");
    p = PathsFor("/home/u/tmp/");
    EXPECT_EQ(p.HookLibraryPath, "/home/u/tmp/Korvex.dll");
    EXPECT_EQ(p.VideoFolder, "/home/u/tmp/Video");
}
