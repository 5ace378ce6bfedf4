// Moving the parameter set between the main window and the relay: "GPAR:" reads
// it, "SPAR:..." writes it and is answered by a single ACK.

#include "app/main_dlg.h"
#include "link/exchange.h"
#include "port/serial_port.h"
#include "params/preview_dlg.h"
#include "params/relay_transfer.h"

using namespace ui;

namespace {

constexpr const char* kPcColumnTitle = "  PC  ";
constexpr const char* kNotConnected = "Keine Verbindung zum Gerät!";

bool WriteSetToDevice(const ParameterSet& set)
{
    return WriteRelayParameters(*g_pPort, set).ok();
}

} // namespace

void CMainDlg::RefuseUnconnected()
{
    MessageBox(kNotConnected, "Fehler", MB_OK | MB_ICONEXCLAMATION);
}

void CMainDlg::ParseParameterText(const std::string& text, ScanMode mode, ParameterSet* target)
{
    ::ParseParameterText(text, mode, *target, mode == ScanMode::Full ? &m_deviceInfo : nullptr);
}

// Reads the relay's set into the shown set and the device texts; a bad reply is
// reported and leaves everything as it was.
bool CMainDlg::ReadParametersFromDevice()
{
    if (!ReadRelayParameters(*g_pPort, shownSet, m_deviceInfo).ok()) {
        MessageBox(kTransferFailedText, "Fehler", MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    ShownSetSettled();
    RecordFoundSet();
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
    MessageBox(kTransferOkText, "Meldung", MB_OK);
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
    if (!RecordAllowsChange() || CheckBeforeTransfer() == 0)
        return;

    // The relay's values for the left column; whatever the reply holds is taken.
    const ExchangeResult current = RunExchange(*g_pPort, kReadParametersRequest, true, kPause, ReplyForm::Ignored);
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
    // the fields show it again. The record is written first: the preview may
    // have been open for long.
    RecordEntry change;
    change.action = record::kParametersWritten;
    change.before = preview.deviceSet;
    change.set = preview.newSet;
    if (!RecordStart(change))
        return;
    const bool written = WriteSetToDevice(preview.newSet);
    change.outcome = written ? kTransferOkText : kTransferFailedText;
    Record(change);
    if (written) {
        shownSet = preview.newSet;
        UpdateData(false);
        ShownSetSettled();
        MessageBox(kTransferOkText, "Meldung", MB_OK);
    } else {
        MessageBox(kTransferFailedText, "Fehler", MB_OK | MB_ICONEXCLAMATION);
    }
}

int CMainDlg::SendShownSet(RecordEntry change)
{
    change.action = record::kParametersFromFile;
    const int sent = SendShownChange(change);
    return sent == 1 ? 0 : sent;
}

int CMainDlg::SendShownChange(RecordEntry change)
{
    // Refused by the record, nothing is sent and the fields keep the file's
    // values, as after a failed check.
    change.set = shownSet;
    if (CheckBeforeTransfer() == 0 || !RecordStart(change))
        return 0;
    const bool written = WriteSetToDevice(shownSet);
    change.outcome = written ? kTransferOkText : kTransferFailedText;
    Record(change);
    if (written) {
        ShownSetSettled();
        MessageBox(kTransferOkText, "Meldung", MB_OK);
        return 1;
    }
    MessageBox(kTransferFailedText, "Fehler", MB_OK | MB_ICONEXCLAMATION);
    return -1;
}

bool CMainDlg::ReadRelaySet(ParameterSet& set, std::string& version)
{
    DeviceInfo info;
    if (!ReadRelayParameters(*g_pPort, set, info).ok()) {
        MessageBox(kTransferFailedText, "Fehler", MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    version = info.VER;
    return true;
}

bool CMainDlg::RestoreSet(const ParameterSet& relaySet, const SetReference& reference, CDialog* owner)
{
    if (m_bConnected != 1) {
        RefuseUnconnected();
        return false;
    }
    if (!RecordAllowsChange(owner))
        return false;
    // As for a file load: the relay's set left, the reference right, and once
    // confirmed the reference in the fields, sent after the checks.
    CPreviewDlg preview(owner);
    preview.columnTitle = reference.time.empty() ? "Datei" : "Protokoll";
    preview.newSet = reference.set;
    preview.deviceSet = relaySet;
    if (preview.DoModal() != IDOK)
        return false;
    shownSet = preview.newSet;
    UpdateData(false);
    RecordEntry change;
    change.action = record::kParametersRestored;
    change.before = relaySet;
    change.file = reference.source;
    const int sent = SendShownChange(change);
    // A set the relay did not take leaves the fields showing what it holds.
    if (sent == -1 && m_bConnected == 1) {
        shownSet = relaySet;
        UpdateData(false);
    }
    return sent == 1;
}
