// The codec drivers' about box as a Qt message box: the one part of the codec stand-in that
// needs Qt Widgets, kept apart so that the codec layer needs neither Qt nor X11.
#pragma once

namespace platform::aboutbox {

// Makes ICM_ABOUT show its box on the GUI thread of a QApplication (anywhere else it shows
// nothing and fails). Call once before the codecs' about boxes are wanted.
void InstallAboutBox();

}  // namespace platform::aboutbox
