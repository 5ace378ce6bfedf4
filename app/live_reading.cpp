// The live reading once a second, the connection state it decides, and the
// choice of another COM port.

#include "app/live_reply.h"
#include "app/main_dlg.h"
#include "link/exchange.h"
#include "port/port_list.h"
#include "port/serial_port.h"
#include "trend/trend_dlg.h"

namespace {

constexpr const char* kNoReading = "     --------";

} // namespace

void CMainDlg::OnTimer(int id)
{
    if (id == kLiveReadingTimer)
        OnLiveReading();
    else if (id == kPasswordTimer)
        OnPasswordPrompt();
}

void CMainDlg::OnLiveReading()
{
    // Edits the user has typed must survive the push at the end.
    UpdateData(true);
    // A port whose device went away, or never opened, is tried again, silently:
    // plugging the adapter back in is enough.
    if (g_pPort->Reopen() && g_pPort->ComNumber() != m_nComPort) {
        // The adapter came back as another COMn: chosen as in the list, its
        // parameters read at its first answer.
        m_nComPort = g_pPort->ComNumber();
        SelectPortEntry(m_nComPort);
        WriteSettings();
        ClearFields();
    }
    DrainPort(*g_pPort);
    KillTimer(kLiveReadingTimer);

    const ExchangeResult result = RunExchange(*g_pPort, kLiveRequest, false, kPause, ReplyForm::Framed);
    const std::optional<double> reading = LiveReading(result);
    m_history.Add(WallClock::now(), reading);
    // Some drivers' reads of a removed device just come back empty: ask the device.
    if (!reading)
        g_pPort->CheckDevice();

    if (reading) {
        const double value = *reading;
        m_strMeasured = m_nTestValue == kServiceTestValue ? FormatFixed(value, 5, 2) : FormatFixed(value, 4, 1);
        // First answer after a time without one: the relay may have new parameters.
        if (m_bConnected == 0)
            RefreshFromDevice();
        ShowItem(IDC_LAMP_GREEN, true);
        ShowItem(IDC_LAMP_RED, false);
        m_bConnected = 1;
    } else {
        m_strMeasured = kNoReading;
        ShowItem(IDC_LAMP_GREEN, false);
        ShowItem(IDC_LAMP_RED, true);
        m_bConnected = 0;
    }
    UpdateData(false);
    // Only the texts change now; the window system draws the picture when it is free.
    if (m_trend != nullptr)
        m_trend->Refresh();
    SetTimer(kLiveReadingTimer, kLiveReadingPeriodMs);
}

void CMainDlg::OnSelchangePort()
{
    UpdateData(true);
    if (g_pPort != nullptr) {
        g_pPort->Close();
        delete g_pPort;
    }
    g_pPort = new CSerialPort;
    // The entry names the port: the list may hold ports above COM16 too.
    m_nComPort = ComNumberOf(GetItemText(IDC_PORT));
    const int opened = g_pPort->Open(m_nComPort, 19200);
    // The choice is kept even when the port failed to open.
    WriteSettings();
    ClearFields();
    if (opened == 0)
        RefreshFromDevice();
}
