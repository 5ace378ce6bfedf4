// Moving the parameter set between the main window and the relay: "GPAR:" reads
// it, "SPAR:..." writes it and is answered by a single ACK.

#include "app/main_dlg.h"
#include "link/exchange.h"
#include "link/serial_port.h"
#include "params/preview_dlg.h"

using namespace ui;

namespace {

constexpr const char* kReadRequest = "GPAR:";
constexpr const char* kPcColumnTitle = "  PC  ";
constexpr const char* kNotConnected = "Keine Verbindung zum Gerät!";
constexpr const char* kTransferFailed = "Die Daten konnten nicht übertragen werden!";
constexpr const char* kTransferOk = "Übertragung der Daten ok.";

// Sends a set without draining: its single read must hold only the ACK.
bool WriteSetToDevice(const ParameterSet& set)
{
    return RunExchange(*g_pPort, BuildSparText(set), false, kPause, ReplyForm::Acknowledgement).ok();
}

} // namespace

void CMainDlg::RefuseUnconnected()
{
    MessageBox(kNotConnected, "Fehler", MB_OK | MB_ICONEXCLAMATION);
}

void CMainDlg::ParseParameterText(const std::string& text, ScanMode mode, ParameterSet* target)
{
    if (mode == ScanMode::Full)
        ::ParseParameterText(text, ScanMode::Full, shownSet, &m_deviceInfo);
    else
        ::ParseParameterText(text, ScanMode::SetOnly, *target, nullptr);
}

// Reads the relay's set into the shown set and the device texts; a bad reply is
// reported and leaves everything as it was.
bool CMainDlg::ReadParametersFromDevice()
{
    const ExchangeResult result = RunExchange(*g_pPort, kReadRequest, true, kPause, ReplyForm::Framed);
    if (!result.ok()) {
        MessageBox(kTransferFailed, "Fehler", MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    ParseParameterText(result.reply, ScanMode::Full, nullptr);
    NormalizeTexts(shownSet);
    return true;
}

void CMainDlg::OnParamsDeviceToPc()
{
    if (m_bConnected != 1) {
        RefuseUnconnected();
        return;
    }
    if (!ReadParametersFromDevice())
        return;
    UpdateData(false);
    MessageBox(kTransferOk, "Meldung", MB_OK);
}

void CMainDlg::RefreshFromDevice()
{
    ReadParametersFromDevice();
    UpdateData(false);
}

void CMainDlg::OnParamsPcToDevice()
{
    if (m_bConnected != 1) {
        RefuseUnconnected();
        return;
    }
    if (CheckBeforeTransfer() == 0)
        return;

    // The relay's values for the left column; whatever the reply holds is taken.
    const ExchangeResult current = RunExchange(*g_pPort, kReadRequest, true, kPause, ReplyForm::Ignored);
    ParseParameterText(current.reply, ScanMode::SetOnly, &compareSet);
    NormalizeTexts(compareSet);

    CPreviewDlg preview(this);
    preview.columnTitle = kPcColumnTitle;
    preview.newSet = shownSet;
    preview.deviceSet = compareSet;
    if (preview.DoModal() != IDOK)
        return;

    // The set the operator confirmed is the one sent, even if a live reading
    // refreshed the fields while the preview was open; once the relay holds it,
    // the fields show it again.
    if (WriteSetToDevice(preview.newSet)) {
        shownSet = preview.newSet;
        UpdateData(false);
        MessageBox(kTransferOk, "Meldung", MB_OK);
    } else {
        MessageBox(kTransferFailed, "Fehler", MB_OK | MB_ICONEXCLAMATION);
    }
}

int CMainDlg::SendShownSet()
{
    if (CheckBeforeTransfer() == 0)
        return 0;
    if (WriteSetToDevice(shownSet)) {
        MessageBox(kTransferOk, "Meldung", MB_OK);
        return 0;
    }
    MessageBox(kTransferFailed, "Fehler", MB_OK | MB_ICONEXCLAMATION);
    return -1;
}
