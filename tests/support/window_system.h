#pragma once
// What the window tests ask of the window system itself, beyond the kit: one
// implementation per backend.

namespace ui {
class CDialog;
}

// Runs before the application is made (the Qt backend picks its platform here).
void PrepareWindowSystem();
// Presses the close box of dialog's window.
void PressCloseBox(const ui::CDialog& dialog);
// Posts the window system's request to quit the program, as logging off does.
void PostWindowSystemQuit();
// Lets a quit that was asked for run out, so that the next modal run does not
// end at once: the program would have ended.
void ClearQuitRequest();
// Whether clicks and keys reach dialog's window: it is enabled, and no modal run blocks it.
bool TakesInput(const ui::CDialog& dialog);
// Presses OK in the message box of that caption.
void CloseMessageBox(const char* caption);
// Presses the minimize box of dialog's window; whether the window is minimized.
void PressMinimizeBox(const ui::CDialog& dialog);
bool IsMinimized(const ui::CDialog& dialog);
