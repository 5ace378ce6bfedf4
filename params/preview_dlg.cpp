#include "params/preview_dlg.h"

#include "params/preview_text.h"

using namespace ui;

namespace {

const DialogTemplate& PreviewDialogTemplate()
{
    static const DialogTemplate tpl{
        148,
        "Parameter Vorschau",
        198,
        149,
        8,
        SystemMenu | FixedPitchFont,
        {
            // OK comes first in the tab order, so it has the focus when the dialog opens.
            {IDOK, Kind::PushButton, "Datei-->KORVEN", 18, 121, 66, 14, DefaultButton},
            {IDC_PREVIEW_TEXT, Kind::Edit, "", 7, 7, 181, 102, MultiLine},
            {IDCANCEL, Kind::PushButton, "Abbrechen", 118, 121, 50, 14},
        },
    };
    return tpl;
}

} // namespace

CPreviewDlg::CPreviewDlg(CDialog* parent) : CDialog(PreviewDialogTemplate(), parent) {}

void CPreviewDlg::DoDataExchange(DataExchange& dx)
{
    DDX_Text(dx, IDC_PREVIEW_TEXT, previewText);
}

bool CPreviewDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    previewText = BuildPreviewText(columnTitle, deviceSet, newSet);
    SetItemText(IDOK, columnTitle + "-->KORVEN");
    UpdateData(false);
    return true;
}
