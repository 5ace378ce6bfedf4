// The service buttons: calibration at 0 V and at 100 V, and the test of the
// relay's third serial port.

#include "app/main_dlg.h"
#include "port/serial_port.h"

using namespace ui;

void CMainDlg::OnCalibrate0V()
{
    RunServiceCommandOf(ServiceCommand::Calibrate0V);
}

void CMainDlg::OnCalibrate100V()
{
    RunServiceCommandOf(ServiceCommand::Calibrate100V);
}

void CMainDlg::OnTestCom3()
{
    // The controls are refreshed from the members afterwards, so what the
    // operator typed since the last live reading goes into the members first.
    UpdateData(true);
    if (RunServiceCommandOf(ServiceCommand::TestCom3))
        UpdateData(false);
}

bool CMainDlg::RunServiceCommandOf(ServiceCommand command)
{
    if (m_bConnected != 1) {
        RefuseUnconnected();
        return false;
    }
    if (!RecordStart(ServiceRecordEntry(command)))
        return false;
    const ServiceResult result = RunServiceCommand(*g_pPort, command);
    Record(ServiceRecordEntry(command, result));
    if (result.message != nullptr)
        AfxMessageBox(result.message, result.exclamation ? MB_OK | MB_ICONEXCLAMATION : MB_OK);
    return true;
}
