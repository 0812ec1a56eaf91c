// Built with AddressSanitizer and LeakSanitizer: damaged archives and hostile item names never
// crash the component, leak, or make it write outside the extraction folder.
#include <random>

#include "sevenzip_test_support.h"

using namespace sevenzip_test;
using archive::TSevenZip;

namespace {

// Everything below root but the contents of its folder "out".
std::vector<std::string> Outside(const fs::path& root) {
    std::vector<std::string> names = Tree(root);
    std::erase_if(names, [](const std::string& name) { return name.starts_with("out/"); });
    return names;
}

}  // namespace

TEST(SevenZipDamage, TruncatedAndBitFlippedArchives) {
    Sandbox source;
    WriteBytes(source / "a.avi", RecordingBytes(40000, 1));
    WriteBytes(source / "b.avi", RecordingBytes(3000, 2));
    Component c;
    ASSERT_EQ(c.Pack(source / "good.7z", {source / "a.avi", source / "b.avi"}), 0);
    const std::string good = ReadBytes(source / "good.7z");

    std::mt19937 random(20261208);
    int listedWhole = 0;
    for (int run = 0; run < 1000; ++run) {
        std::string damaged = good;
        if (run % 2 == 0) {
            damaged.resize(std::uniform_int_distribution<std::size_t>(0, good.size() - 1)(random));
        } else {
            for (int flips = 1 + run % 4; flips > 0; --flips) {
                const auto bit =
                    std::uniform_int_distribution<std::size_t>(0, good.size() * 8 - 1)(random);
                damaged[bit / 8] = static_cast<char>(damaged[bit / 8] ^ (1 << (bit % 8)));
            }
        }
        Sandbox box;
        WriteBytes(box / "damaged.7z", damaged);
        fs::create_directory(box / "out");
        c.zip.SZFileName = W(box / "damaged.7z");
        if (c.zip.ListItems() == 2) ++listedWhole;
        c.Extract(box / "damaged.7z", box / "out", {});
        for (const auto& entry : fs::recursive_directory_iterator(box / "out")) {
            EXPECT_TRUE(entry.is_regular_file() || entry.is_directory()) << entry.path();
        }
        ASSERT_EQ(Outside(box.root()), (std::vector<std::string>{"damaged.7z", "out"}))
            << "run " << run;
    }
    EXPECT_GT(listedWhole, 0);  // some damage spares the headers, so extraction is reached
}

TEST(SevenZipDamage, HostileItemNamesExtractUnderTheirFileNames) {
    Sandbox box;
    fs::create_directories(box / "made" / "deep");
    WriteBytes(box / "made" / "up.avi", "climbs out");
    WriteBytes(box / "made" / "abs.avi", "absolute");
    WriteBytes(box / "made" / "deep" / "dots.avi", "dotted");
    // The engine itself stores the names as given: without AddStoreOnlyFilename the FileList
    // entries are the item names.
    Component maker;
    maker.zip.AddOptions = {};
    const fs::path previous = fs::current_path();
    fs::current_path(box / "made" / "deep");
    const int packed = maker.Pack(box / "hostile.7z",
                                  {"../up.avi", box / "made" / "abs.avi", "../deep/./dots.avi"});
    fs::current_path(previous);
    ASSERT_EQ(packed, 0);
    maker.zip.SZFileName = W(box / "hostile.7z");
    ASSERT_EQ(maker.zip.ListItems(), 3);
    std::vector<std::string> stored;
    for (const std::wstring& name : maker.zip.FileList) stored.push_back(archive::Narrow(name));
    EXPECT_NE(
        std::find_if(stored.begin(), stored.end(),
                     [](const std::string& name) { return name.find("..") != std::string::npos; }),
        stored.end())
        << "the engine kept no \"..\" to test with";

    Component c;
    fs::create_directory(box / "out");
    const std::vector<std::string> before = Outside(box.root());
    EXPECT_EQ(c.Extract(box / "hostile.7z", box / "out", {}), 0);
    EXPECT_EQ(Tree(box / "out"), (std::vector<std::string>{"abs.avi", "dots.avi", "up.avi"}));
    EXPECT_EQ(ReadBytes(box / "out" / "up.avi"), "climbs out");
    EXPECT_EQ(Outside(box.root()), before);
}
