#include "files/wide.h"
#include "tests/support/window_system.h"
#include "ui/win32/win32_access.h"

void PrepareWindowSystem() {}

void PressCloseBox(const ui::CDialog& dialog)
{
    SendMessageW(ui::DialogWindow(dialog), WM_SYSCOMMAND, SC_CLOSE, 0);
}

void PostWindowSystemQuit()
{
    PostQuitMessage(0);
}

void ClearQuitRequest()
{
    // The quit that ended the modal runs was posted again for the loop outside
    // them; there is none in a test.
    MSG msg;
    while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
}

bool TakesInput(const ui::CDialog& dialog)
{
    return IsWindowEnabled(ui::DialogWindow(dialog)) != FALSE;
}

void CloseMessageBox(const char* caption)
{
    // A message box is a window of the dialog class; 1 is its OK button.
    SendMessageW(FindWindowW(L"#32770", Widen(caption).c_str()), WM_COMMAND, 1, 0);
}

void PressMinimizeBox(const ui::CDialog& dialog)
{
    SendMessageW(ui::DialogWindow(dialog), WM_SYSCOMMAND, SC_MINIMIZE, 0);
}

bool IsMinimized(const ui::CDialog& dialog)
{
    return IsIconic(ui::DialogWindow(dialog)) != FALSE;
}
