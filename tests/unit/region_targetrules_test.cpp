// The target window picker's rules: which windows are listed, the name a title proposes, and
// what the region does with a chosen window's geometry.
#include <gtest/gtest.h>

#include <string>

#include "region/TargetRules.h"

using namespace region;

namespace {

constexpr char kOwnTitle[] = "Set the recording region";

Candidate Window(std::string title, ScreenRect normal = {10, 20, 810, 620}, bool visible = true) {
    return {std::move(title), visible, normal};
}

TEST(TargetRules, ListsOnlyOtherProgramsVisibleWindowsOfTheMinimumSize) {
    const struct {
        Candidate window;
        bool listed;
    } cases[] = {
        {Window("C:\\Data\\report.txt - Editor"), true},
        {Window("Korvex!"), false},
        {Window("about KORVEX! today"), false},
        {Window("SET THE RECORDING REGION and start recording..."), false},
        {Window("program manager"), false},
        {Window(" \t\r\n"), false},
        {Window(""), false},
        {Window("Hidden", {10, 20, 810, 620}, false), false},
        {Window("Narrow", {0, 0, 199, 600}), false},
        {Window("Low", {0, 0, 800, 149}), false},
        {Window("Smallest", {-50, -50, 150, 100}), true},
        // The case folding reaches the Latin-1 letters too.
        {Window("ÄRGER"), true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsListed(c.window, kOwnTitle), c.listed) << c.window.title;
    }
    EXPECT_FALSE(IsListed(Window("Bereich ÄNDERN"), "bereich ändern"));
}

TEST(TargetRules, ProposedNameIsTheCutTitleWithOnlyAllowedCharacters) {
    const std::string hundredAs(100, 'a');
    const struct {
        std::string title, name;
    } cases[] = {
        {"C:\\Data\\report.txt - Editor", "C_Data_report_txt - Editor"},
        {"Größe: 50% (neu)", "Größe 50 neu"},
        {"ÄÖÜ äöü ß/é€", "ÄÖÜ äöü ß_"},
        {"%&()!?", ""},
        {"", ""},
        // Cut to 100 characters (not bytes) before anything is replaced or removed.
        {std::string(99, 'a') + "üb", std::string(99, 'a') + "ü"},
        {std::string(50, '!') + std::string(100, 'b'), std::string(50, 'b')},
        {hundredAs + "xyz", hundredAs},
        // Broken and overlong UTF-8 never passes through as the letter it spells.
        {"a\xC3", "a"},
        {"a\xE0\x81\x81z", "az"},
        {"a\xC1\x81z", "az"},
    };
    for (const auto& c : cases) EXPECT_EQ(ProposedVideoName(c.title), c.name) << c.title;
}

TEST(TargetRules, GeometryIsAdoptedOnlyWhollyOnThePrimaryScreen) {
    const ScreenRect screen{0, 0, 1366, 768};
    const struct {
        bool maximised;
        ScreenRect normal;
        Adoption adoption;
    } cases[] = {
        {false, {10, 20, 810, 620}, Adoption::Rectangle},
        {false, {0, 0, 1366, 768}, Adoption::Rectangle},
        {false, {-1, 20, 800, 600}, Adoption::Keep},
        {false, {10, -1, 800, 600}, Adoption::Keep},
        {false, {10, 20, 1367, 600}, Adoption::Keep},
        {false, {10, 20, 800, 769}, Adoption::Keep},
        {true, {-100, -100, 5000, 5000}, Adoption::Maximise},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AdoptGeometry(c.maximised, c.normal, screen), c.adoption)
            << c.normal.left << "," << c.normal.top << " " << c.normal.right << ","
            << c.normal.bottom;
    }
}

TEST(TargetRules, HandleTextMustBeAPositiveSigned32BitNumber) {
    EXPECT_EQ(HandleFromText("4194311"), 4194311u);
    EXPECT_EQ(HandleFromText("2147483647"), 2147483647u);
    for (const char* bad : {"0", "-5", "2147483648", "", "12a", " 12", "Choose target window..."}) {
        EXPECT_EQ(HandleFromText(bad), std::nullopt) << bad;
    }
}

}  // namespace
