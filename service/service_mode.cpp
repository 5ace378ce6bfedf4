// Service mode: Ctrl+K and the password prompt, and the controls it reveals.

#include "app/main_dlg.h"
#include "service/password_dlg.h"

namespace {

// The controls that service mode shows, in the order they are shown.
constexpr int kServiceControls[] = {IDC_CALIBRATE_100V, IDC_CALIBRATE_0V, IDC_FIRMWARE, IDC_TEST_COM3, IDC_KAL,
                                    IDC_KAL_LABEL,      IDC_K0V,          IDC_K0V_LABEL};

} // namespace

void CMainDlg::ShowServiceControls(bool withPortTest)
{
    for (int id : kServiceControls) {
        if (id != IDC_TEST_COM3 || withPortTest)
            ShowItem(id, true);
    }
}

// Ctrl+K from any control of the window. The prompt opens a moment later, from
// the timer, once the key has been dealt with.
void CMainDlg::OnWatchedKey(ui::Hotkey)
{
    SetTimer(kPasswordTimer, kPasswordDelayMs);
}

void CMainDlg::OnPasswordPrompt()
{
    KillTimer(kPasswordTimer);
    // While the prompt is open the window sees no Ctrl+K (the key watch skips
    // keys meant for another modal window), so no second prompt can follow.
    CPasswordDlg prompt;
    // A wrong password or a cancelled prompt goes without a word.
    if (prompt.DoModal() == kPasswordRight)
        ShowServiceControls(false);
}
