// The program driven as a user drives it: its windows found by title, clicks and keys through
// xdotool, and the recording cycle of the toolbar. Shared by the end-to-end tests.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "tests/support/program.h"

namespace korvex::test {

inline constexpr char kRegionTitle[] = "^Aufnahmebereich einstellen und Aufnahme starten\\.\\.\\.$";

bool operator==(const Geometry& a, const Geometry& b);
std::ostream& operator<<(std::ostream& out, const Geometry& g);

// Keys pressed with xdotool, held modifiers cleared.
void Key(const std::string& keys);

class Session : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts the program (with the environment changes and arguments given) and waits for its
    // toolbar.
    void Start(const Environment& environment = {}, const std::vector<std::string>& arguments = {});
    bool WaitGone(const std::string& title);
    void PressRecord() { ClickAt(main, 20, 20); }
    void PressRecordIn(const std::string& window) { ClickAt(window, 20, 20); }
    // Idle -> Ready: the region window shown.
    void ShowRegion();
    // Idle -> Ready, with the name typed into the field.
    void ShowRegionAndName(const std::string& name);
    // Ready -> Starting -> Recording, up to the caption of the given second.
    void StartAndWaitForSecond(int second);
    void Stop();
    // Answers the message box of that title with a key.
    void Answer(const std::string& title, const std::string& key);

    std::filesystem::path home;
    std::unique_ptr<Program> program;
    std::string main, region, recordingWindow;
};

}  // namespace korvex::test
