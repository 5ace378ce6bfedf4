#include "app/about_dlg.h"

#include "res/resource_ids.h"

using namespace ui;

namespace {

constexpr int IDC_ABOUT_ICON = 1040;

const DialogTemplate& AboutDialogTemplate()
{
    static const DialogTemplate tpl{
        100,
        "Info über KorvenCtrl",
        235,
        55,
        8,
        SystemMenu,
        {
            {IDC_ABOUT_ICON, Kind::Label, "", 13, 11, 21, 20, NoTabStop},
            {IDC_STATIC, Kind::Label, "KorvenCtrl Version 2.1 / 13.06.2007", 40, 10, 119, 8},
            {IDC_STATIC, Kind::Label, "Einrichtung und Service für KORVEN", 40, 25, 119, 8},
            {IDOK, Kind::PushButton, "OK", 178, 7, 50, 14, DefaultButton},
        },
    };
    return tpl;
}

} // namespace

CAboutDlg::CAboutDlg(CDialog* parent) : CDialog(AboutDialogTemplate(), parent)
{
    SetItemIcon(IDC_ABOUT_ICON, IDI_PROGRAM);
}
