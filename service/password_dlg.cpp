#include "service/password_dlg.h"

using namespace ui;

namespace {

const DialogTemplate& PasswordDialogTemplate()
{
    static const DialogTemplate tpl{
        135,
        "Passwort-Eingabe",
        154,
        69,
        8,
        SystemMenu,
        {
            {IDC_STATIC, Kind::Label, "Passwort", 18, 19, 30, 8},
            {IDC_PASSWORD, Kind::Edit, "", 58, 15, 64, 14, Password},
            {IDOK, Kind::PushButton, "OK", 17, 38, 50, 14, DefaultButton},
            {IDCANCEL, Kind::PushButton, "Abbrechen", 85, 38, 50, 14},
        },
    };
    return tpl;
}

} // namespace

CPasswordDlg::CPasswordDlg(CDialog* parent) : CDialog(PasswordDialogTemplate(), parent) {}

int CPasswordDlg::DoModal()
{
    const int result = CDialog::DoModal();
    return result == kEndedWithoutResult ? IDCANCEL : result;
}

void CPasswordDlg::DoDataExchange(DataExchange& dx)
{
    DDX_Text(dx, IDC_PASSWORD, m_strPassword);
}

// Byte for byte and case-sensitive; nothing is trimmed.
void CPasswordDlg::OnOK()
{
    UpdateData(true);
    EndDialog(m_strPassword == kServicePassword ? kPasswordRight : kPasswordWrong);
}
