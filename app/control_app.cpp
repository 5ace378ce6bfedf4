#include "app/control_app.h"

#include "app/main_dlg.h"

CControlApp theApp;

bool CControlApp::InitInstance()
{
    CMainDlg dlg;
    dlg.DoModal();
    return false;
}
