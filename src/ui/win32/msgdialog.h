// The message dialog as a window of our own (not the system's MessageBox,
// whose button captions follow the system language): the kind's caption and
// icon, the text, and the buttons with the captions of the description,
// centred on the screen, modal to every window of the program.
// Control ids, stable for automation: each button's id is its result
// (1 OK, 2 Cancel, 3 Abort, 6 Yes, 7 No); the text is id 20, the icon id 21.
#pragma once

#include "ui/dialogs.h"

namespace mora::ui::win32 {

constexpr int MessageTextId = 20;
constexpr int MessageIconId = 21;

// Shows the dialog and returns the result of the button pressed (Escape and
// the close box give CancelResult). Throws EPlatformError when the window
// cannot be created.
int ShowMessageDialog(const TMessageDialog& dialog);

}  // namespace mora::ui::win32
