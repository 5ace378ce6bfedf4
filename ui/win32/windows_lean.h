#pragma once
// <windows.h> for the Win32 backend, without the macros that would rename the
// kit's own names (IDOK, MB_OK, MessageBox, GetWindowText ...). The kit's
// button and box values are the system's, so the kit's names serve both; the
// backend calls the wide functions by their full names (MessageBoxW).

#include <windows.h>

#include <commctrl.h>
#include <commdlg.h>

#undef IDOK
#undef IDCANCEL
#undef MB_OK
#undef MB_OKCANCEL
#undef MB_ICONSTOP
#undef MB_ICONQUESTION
#undef MB_ICONEXCLAMATION
#undef MB_ICONINFORMATION
#undef MessageBox
#undef GetWindowText
#undef SetWindowText
#undef LoadIcon
#undef LoadBitmap
