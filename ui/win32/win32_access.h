#pragma once
// The Win32 windows behind the kit's dialogs, for the Win32 backend's own files
// and for tests of what only Win32 shows.

#include "ui/win32/windows_lean.h"

#include "ui/dialog.h"

namespace ui {

HWND DialogWindow(const CDialog& dialog);
// nullptr for an unknown id.
HWND ItemWindow(const CDialog& dialog, int id);

// Hands one message on as the kit's message loops do: a key a dialog watches to
// that dialog, the dialog manager's keys to IsDialogMessage, the rest to its window.
void DispatchKitMessage(MSG& msg);

} // namespace ui
