#include "app/about_dlg.h"

#include <QLabel>

#include "res/bitmaps.h"

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

CAboutDlg::CAboutDlg(QWidget* parent) : CDialog(AboutDialogTemplate(), parent)
{
    Item<QLabel>(IDC_ABOUT_ICON)->setPixmap(LoadIcon(IDI_PROGRAM).pixmap(32, 32));
}
