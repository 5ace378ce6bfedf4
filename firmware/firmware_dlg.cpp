#include "firmware/firmware_dlg.h"

#include "app/main_dlg.h"
#include "files/utf8_path.h"
#include "firmware/update_passes.h"
#include "port/serial_port.h"
#include "ui/app.h"

using namespace ui;

namespace {

constexpr const char* kCaption = "Firmware Update";
constexpr const char* kCaptionWithFile = "Firmware Update --> ";
constexpr const char* kOpenTitle = "HEX-File öffnen";
#ifdef _WIN32
constexpr const char* kHexFilter = "Intel-HEX-File(*.HEX)";
constexpr const char* kHexPattern = "*.HEX";
#else
// File names are case-sensitive here: files ending in .hex are HEX files too.
constexpr const char* kHexFilter = "Intel-HEX-File(*.HEX *.hex)";
constexpr const char* kHexPattern = "*.HEX *.hex";
#endif

} // namespace

const DialogTemplate& FirmwareDialogTemplate()
{
    static const DialogTemplate tpl{
        136,
        kCaption,
        186,
        74,
        8,
        NoCloseBox,
        {
            {IDOK, Kind::PushButton, "Schließen", 127, 9, 50, 14, DefaultButton},
            {IDCANCEL, Kind::PushButton, "Abbrechen", 7, 9, 50, 14, Hidden},
            {IDC_RESTART, Kind::PushButton, "Restart", 69, 9, 50, 14, Hidden},
            {IDC_OPEN_HEX, Kind::PushButton, "Open HEx-File", 7, 34, 50, 14},
            {IDC_UPLOAD, Kind::PushButton, "Upload", 70, 34, 50, 14, Hidden},
            {IDC_VERIFY, Kind::PushButton, "Verify", 128, 34, 50, 14, Hidden},
            {IDC_PROGRESS, Kind::Progress, "", 7, 55, 172, 6, Hidden},
            {IDC_FIRMWARE_STATUS, Kind::Label, "", 7, 61, 172, 11, Sunken},
        },
    };
    return tpl;
}

CFirmwareDlg::CFirmwareDlg(CSerialPort* port, std::string startFolder, CDialog* parent)
    : CDialog(FirmwareDialogTemplate(), parent), m_pPort(port), m_szPath(std::move(startFolder))
{
    m_image.fill(0xFF);
    OnClicked(IDC_OPEN_HEX, [this] { OnOpenHexFile(); });
    OnClicked(IDC_VERIFY, [this] { OnVerify(); });
    OnClicked(IDC_UPLOAD, [this] { OnUpload(); });
    OnClicked(IDC_RESTART, [this] { OnRestart(); });
}

CFirmwareDlg::~CFirmwareDlg() = default;

void CFirmwareDlg::DoDataExchange(DataExchange& dx)
{
    DDX_Text(dx, IDC_FIRMWARE_STATUS, m_strStatus);
}

bool CFirmwareDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    SetTimer(kOpenFileTimer, kOpenFileDelayMs);
    return true;
}

void CFirmwareDlg::OnTimer(int id)
{
    if (id != kOpenFileTimer)
        return;
    KillTimer(kOpenFileTimer);
    OnOpenHexFile();
}

void CFirmwareDlg::OnOpenHexFile()
{
    const std::optional<std::string> chosen =
        Ui().ChooseFile({this, false, kOpenTitle, kHexFilter, kHexPattern, m_szPath, true, true, {}});
    if (!chosen)
        return;
    m_strPathName = *chosen;
    m_szPath = *chosen;
    // The caption names the file even if it then cannot be read.
    SetWindowText(kCaptionWithFile + PathToUtf8(PathFromUtf8(m_strPathName).filename()));

    // A failed load keeps the image of the last clean file; the status line and
    // "Upload" go on describing that file.
    const HexLoadResult result = LoadHexFile(m_strPathName, m_image);
    if (result.Clean()) {
        m_strStatus = m_strPathName;
        m_bImageHasData = result.stored > 0;
    }
    if (const auto message = HexLoadMessage(result, m_strPathName))
        AfxMessageBox(*message, MB_OK | MB_ICONEXCLAMATION);
    if (result.Clean())
        ShowItem(IDC_UPLOAD, true);
    UpdateData(false);
}

void CFirmwareDlg::OnUpload()
{
    // A file that put nothing into the image would erase the relay's firmware.
    if (!m_bImageHasData) {
        AfxMessageBox(kHexNoData, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    if (mayStartUpdate && !mayStartUpdate(FirmwareRecordEntry(m_strPathName, m_image)))
        return;
    ShowPassControls(true);
    PassResult result;
    const bool going = RunPass([](FirmwareUpdate& update) { return update.Run(); }, &result);
    if (recordUpdate)
        recordUpdate(FirmwareRecordEntry(m_strPathName, m_image, result));
    if (!going)
        return; // the program is ending: everything stays as it is
    EndVerifyControls();
    ShowItem(IDC_PROGRESS, false);
    for (int id : {int{IDOK}, int{IDC_UPLOAD}, int{IDC_OPEN_HEX}})
        ShowItem(id, true);
    UpdateData(false);
}

void CFirmwareDlg::OnVerify()
{
    ShowPassControls(false);
    if (!RunPass([](FirmwareUpdate& update) { return update.Verify(); }))
        return;
    EndVerifyControls();
}

void CFirmwareDlg::OnRestart()
{
    if (m_pPort != nullptr)
        FirmwareUpdate(*m_pPort, m_image, {}).Restart();
}

// The progress bar shows; the buttons that could end the dialog or start
// another pass hide (a programming pass hides the file and upload buttons too).
void CFirmwareDlg::ShowPassControls(bool programming)
{
    SetProgressRange(IDC_PROGRESS, 0, static_cast<int>(kBlockCount));
    ShowItem(IDC_PROGRESS, true);
    for (int id : {IDCANCEL, IDOK})
        ShowItem(id, false);
    if (programming) {
        for (int id : {int{IDC_RESTART}, int{IDC_UPLOAD}, int{IDC_OPEN_HEX}})
            ShowItem(id, false);
    }
}

void CFirmwareDlg::EndVerifyControls()
{
    ShowItem(IDC_PROGRESS, false);
    for (int id : {IDCANCEL, IDOK})
        ShowItem(id, true);
    UpdateData(false);
}

bool CFirmwareDlg::RunPass(const std::function<PassResult(FirmwareUpdate&)>& pass, PassResult* passResult)
{
    if (m_pPort == nullptr)
        return true;
    QuitWatch quit;
    UpdateEvents events{
        [this](const std::string& status) {
            m_strStatus = status;
            // How the update ended shows once the record holds it.
            const bool closing = status == kVerifyOk || status.ends_with(kBlockFailedSuffix);
            if (!closing || !recordUpdate)
                UpdateData(false);
        },
        [this](char, unsigned block, bool) { SetProgressPos(IDC_PROGRESS, static_cast<int>(block)); },
        [&quit] {
            // The window repaints and can be moved, and a quit request gets through.
            PumpMessages();
            return quit.Requested();
        },
    };
    FirmwareUpdate update(*m_pPort, m_image, std::move(events));
    m_bPassRunning = true;
    const PassResult result = pass(update);
    m_bPassRunning = false;
    if (passResult != nullptr)
        *passResult = result;
    if (result.outcome != PassOutcome::Stopped)
        return true;
    m_bQuitRequested = true;
    quit.PassOn();
    return false;
}

void CMainDlg::OnFirmwareUpdate()
{
    if (m_bConnected != 1) {
        RefuseUnconnected();
        return;
    }
    if (!RecordAllowsChange())
        return;
    // No live reading may mix with the firmware frames.
    KillTimer(kLiveReadingTimer);
    CFirmwareDlg dlg(g_pPort, m_szWorkingDir);
    dlg.mayStartUpdate = [this, &dlg](const RecordEntry& entry) { return RecordStart(entry, &dlg); };
    dlg.recordUpdate = [this](const RecordEntry& entry) { Record(entry); };
    dlg.DoModal();
    if (dlg.QuitRequested())
        return; // the program is ending: not another frame
    RefreshFromDevice();
    SetTimer(kLiveReadingTimer, kLiveReadingPeriodMs);
}
