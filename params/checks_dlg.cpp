// The plausibility checks as the main window runs them: pull the fields, test
// the rows, tell the user about the first failing one.

#include "app/main_dlg.h"

using namespace ui;

int CMainDlg::RunChecks(CheckFamily family)
{
    UpdateData(true);
    const int row = FirstFailingRow(shownSet);
    if (row != 0) {
        AfxMessageBox(CheckMessage(row, family), MB_OK | MB_ICONEXCLAMATION);
        // The raw texts stay in the fields for correction.
        SetFocusTo(FocusControlForRow(row));
        return 0;
    }
    NormalizeTexts(shownSet);
    UpdateData(false);
    return 1;
}

int CMainDlg::CheckBeforeTransfer()
{
    return RunChecks(CheckFamily::Transfer);
}

int CMainDlg::CheckBeforeSave()
{
    return RunChecks(CheckFamily::Save);
}
