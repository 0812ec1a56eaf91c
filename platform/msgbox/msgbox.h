// Message boxes (MessageBoxA, MessageBeep) over QMessageBox. Texts are UTF-8.
#pragma once

#include <string>

namespace platform::msgbox {

constexpr unsigned MB_OK = 0x00;
constexpr unsigned MB_OKCANCEL = 0x01;
constexpr unsigned MB_YESNO = 0x04;
constexpr unsigned MB_ICONERROR = 0x10;
constexpr unsigned MB_ICONQUESTION = 0x20;
constexpr unsigned MB_ICONWARNING = 0x30;
constexpr unsigned MB_ICONINFORMATION = 0x40;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// MessageBeep: the desktop's beep.
void Beep();

enum class Owner {
    ActiveWindow,  // owned by the program's active window, modal to all its windows
    None,          // no owner: the program's other windows stay usable
};

// Shows a box with the style's buttons and icon and waits for the answer (an ID* value).
// Callable from any thread: a box asked for off the GUI thread is shown on the GUI thread while
// the caller waits. Closing the box without a button counts as Cancel/No/OK as the style has.
int Show(const std::string& caption, const std::string& text, unsigned style,
         Owner owner = Owner::ActiveWindow);

// Qt's own texts in message boxes and file dialogs (buttons, labels) in the program's language:
// German loads Qt's German translation for the application's life; English keeps Qt's own
// texts. False when the translation cannot be loaded. Call once the QApplication exists.
bool UseQtTexts(bool german);

}  // namespace platform::msgbox
