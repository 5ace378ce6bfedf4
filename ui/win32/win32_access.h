#pragma once
// The Win32 windows behind the kit's dialogs, for the Win32 backend's own files
// and for tests of what only Win32 shows.

#include "ui/win32/windows_lean.h"

#include <vector>

#include "ui/dialog.h"

namespace ui {

HWND DialogWindow(const CDialog& dialog);
// Whether window is, or is inside, one of the kit's dialogs (not a message box or file dialog).
bool IsKitWindow(HWND window);
// nullptr for an unknown id.
HWND ItemWindow(const CDialog& dialog, int id);

// The window that a modal run without an owner of its own belongs to: the
// innermost modal run's (but except's), else the program's main window while it
// is shown; nullptr when there is none.
HWND ModalOwnerWindow(HWND except = nullptr);

// While it lives, no shown window of the program takes input but modal and
// owner: the system disables only the owner of a modal run (which it enables
// again), and a window of the program's own beside it, the trend window, would
// go on taking clicks whose handlers then run inside the modal run. Those it
// disabled are enabled again at its end.
class OtherWindowsDisabled {
public:
    OtherWindowsDisabled(HWND modal, HWND owner);
    ~OtherWindowsDisabled();
    OtherWindowsDisabled(const OtherWindowsDisabled&) = delete;
    OtherWindowsDisabled& operator=(const OtherWindowsDisabled&) = delete;

private:
    std::vector<HWND> m_disabled;
};

// Hands one message on as the kit's message loops do: a key a dialog watches to
// that dialog, the dialog manager's keys to IsDialogMessage, the rest to its window.
void DispatchKitMessage(MSG& msg);

} // namespace ui
