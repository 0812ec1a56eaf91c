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

struct Geometry {
    int x = 0, y = 0, width = 0, height = 0;
    friend bool operator==(const Geometry&, const Geometry&) = default;
};
std::ostream& operator<<(std::ostream& out, const Geometry& g);

Geometry WindowGeometry(const std::string& window);
void ClickAt(const std::string& window, int x, int y, int button = 1);
void Key(const std::string& keys);

class Session : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts the program and waits for its toolbar.
    void Start();
    std::string WaitForWindow(const std::string& title);
    bool WaitGone(const std::string& title);
    void PressRecord() { ClickAt(main, 20, 20); }
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
