#include "app/main_dlg.h"

#include <filesystem>

#include "app/about_dlg.h"
#include "files/settings_file.h"
#include "files/utf8_path.h"
#include "link/exchange.h"
#include "port/serial_port.h"
#include "link/trace.h"
#include "params/parameter_file.h"
#include "res/resource_ids.h"
#include "trend/trend_dlg.h"
#include "ui/app.h"

using namespace ui;

namespace {

constexpr const char* kSettingsFileName = "KorvenCtrl.ini";
constexpr const char* kAboutMenuText = "Inf&o über KorvenCtrl...";
constexpr const char* kTrendMenuText = "Verlauf...";
constexpr const char* kFindDeviceMenuText = "Gerät suchen...";
constexpr const char* kNetworkPortMenuText = "Netzwerk-Schnittstelle...";
constexpr const char* kRecordMenuText = "Protokoll...";
constexpr const char* kCompareMenuText = "Vergleichen...";

#ifdef _WIN32
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

// While an exchange waits for a relay behind a device server, the window is served.
class WindowWait final : public ExchangeWait {
public:
    explicit WindowWait(const CDialog& window) : m_wait(window) {}
    bool Serve() override { return m_wait.Serve(); }

private:
    BusyWait m_wait;
};

} // namespace

const DialogTemplate& MainDialogTemplate()
{
    static const DialogTemplate tpl{
        102,
        "KORVEN-Control",
        320,
        210,
        8,
        SystemMenu | MinimizeBox | AppWindow,
        {
            {IDC_SWB, Kind::Edit, "", 56, 73, 40, 14, RightAlign},
            {IDC_UPL, Kind::Edit, "", 56, 92, 40, 14, RightAlign},
            {IDC_UMI, Kind::Edit, "", 153, 92, 40, 14, RightAlign},
            {IDC_UPP, Kind::Edit, "", 56, 111, 40, 14, RightAlign},
            {IDC_UMM, Kind::Edit, "", 153, 111, 40, 14, RightAlign},
            {IDC_HYS, Kind::Edit, "", 56, 129, 40, 14, RightAlign},
            {IDC_SVZ, Kind::Edit, "", 153, 130, 40, 14, RightAlign},
            {IDC_SAVE_PARAMS, Kind::PushButton, "Parameter speichern", 219, 64, 83, 14},
            {IDC_LOAD_PARAMS, Kind::PushButton, "Parameter aus Datei", 219, 86, 83, 14},
            {IDC_DEVICE_TO_PC, Kind::PushButton, "Parameter Korven--> PC", 219, 126, 83, 14},
            {IDC_PC_TO_DEVICE, Kind::PushButton, "Parameter PC-->Korven", 219, 148, 83, 14},
            {IDC_MEASURED, Kind::Edit, "", 30, 34, 40, 12},
            {IDC_PORT,
             Kind::ComboBox,
             "",
             105,
             34,
             48,
             158,
             0,
             0,
             {"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8", "COM9", "COM10", "COM11", "COM12",
              "COM13", "COM14", "COM15", "COM16"}},
            {IDC_CALIBRATE_0V, Kind::PushButton, "Kalibrieren 0V", 16, 191, 83, 14, Hidden},
            {IDC_CALIBRATE_100V, Kind::PushButton, "Kalibrieren 100V", 16, 169, 83, 14, Hidden},
            {IDC_FIRMWARE, Kind::PushButton, "Firmware Update", 118, 169, 83, 14},
            {IDC_TEST_COM3, Kind::PushButton, "COM3 testen", 118, 191, 83, 14, Hidden},
            {IDC_STATIC, Kind::GroupBox, "", 15, 14, 77, 38},
            {IDC_LAMP_GREEN, Kind::Picture, "", 171, 34, 13, 12, 0, IDB_LAMP_GREEN},
            {IDC_LAMP_RED, Kind::Picture, "", 171, 34, 13, 12, 0, IDB_LAMP_RED},
            {IDC_STATIC, Kind::Label, "Schnittstelle", 105, 21, 39, 8},
            {IDC_STATIC, Kind::Label, "Verbindung", 159, 21, 37, 8},
            {IDC_STATIC, Kind::GroupBox, "", 97, 14, 103, 38},
            {IDC_STATIC, Kind::Label, "Aktueller Meßwert", 25, 21, 58, 8},
            {IDC_KAL, Kind::Edit, "", 263, 191, 40, 14, Hidden},
            {IDC_STATIC, Kind::Label, "Sollwertbezug [V]", 2, 76, 53, 8},
            {IDC_STATIC, Kind::Label, "Hysterese [%]", 2, 132, 53, 8},
            {IDC_STATIC, Kind::Label, "U > [%]", 2, 95, 53, 8},
            {IDC_STATIC, Kind::Label, "U >> [%]", 2, 114, 53, 8},
            {IDC_STATIC, Kind::Label, "U < [%]", 103, 95, 48, 8},
            {IDC_STATIC, Kind::Label, "U << [%]", 103, 114, 48, 8},
            {IDC_STATIC, Kind::Label, "Schalt-\r\nverzögerung [s]", 103, 129, 50, 16},
            {IDC_INVERT, Kind::CheckBox, "Invertieren", 111, 74, 49, 10, TextLeft},
            {IDC_STATIC, Kind::Picture, "", 205, 14, 101, 44, 0, IDB_LOGO},
            {IDC_VERSION, Kind::Edit, "", 56, 55, 50, 14},
            {IDC_STATIC, Kind::Label, "Version", 27, 58, 27, 8},
            {IDC_KAL_LABEL, Kind::Label, "Kal.-Faktor", 265, 183, 35, 8, Hidden},
            {IDCANCEL, Kind::PushButton, "Programm verlassen", 219, 169, 83, 14},
            {IDC_QUIT, Kind::Edit, "", 271, 0, 40, 14, Hidden},
            {IDC_K0V, Kind::Edit, "", 211, 191, 40, 14, Hidden},
            {IDC_K0V_LABEL, Kind::Label, "Mittenspannung", 205, 183, 52, 8, Hidden},
            {IDC_PRINT, Kind::PushButton, "Parameter Drucken", 219, 107, 83, 14},
        },
    };
    return tpl;
}

CMainDlg::CMainDlg(CDialog* parent) : CDialog(MainDialogTemplate(), parent)
{
    OnClicked(IDC_DEVICE_TO_PC, [this] { OnParamsDeviceToPc(); });
    OnClicked(IDC_SAVE_PARAMS, [this] { OnSaveParams(); });
    OnClicked(IDC_LOAD_PARAMS, [this] { OnLoadParams(); });
    OnClicked(IDC_PRINT, [this] { OnPrintParams(); });
    OnSelChange(IDC_PORT, [this] { OnSelchangePort(); });
    OnClicked(IDC_QUIT, [this] { OnQuit(); });
    OnClicked(IDC_INVERT, [this] { OnInvertClicked(); });
    OnClicked(IDC_PC_TO_DEVICE, [this] { OnParamsPcToDevice(); });
    OnClicked(IDC_CALIBRATE_100V, [this] { OnCalibrate100V(); });
    OnClicked(IDC_CALIBRATE_0V, [this] { OnCalibrate0V(); });
    OnClicked(IDC_TEST_COM3, [this] { OnTestCom3(); });
    WatchKey(kCtrlK);
    OnClicked(IDC_FIRMWARE, [this] { OnFirmwareUpdate(); });
}

CMainDlg::~CMainDlg()
{
    SetExchangeWaits(nullptr);
}

void CMainDlg::DoDataExchange(DataExchange& dx)
{
    DDX_Text(dx, IDC_MEASURED, m_strMeasured);
    int invert = shownSet.INV;
    DDX_Check(dx, IDC_INVERT, invert);
    shownSet.INV = invert;
    DDX_Text(dx, IDC_HYS, shownSet.HYS);
    DDX_Text(dx, IDC_SVZ, shownSet.SVZ);
    DDX_Text(dx, IDC_UMI, shownSet.UMI);
    DDX_Text(dx, IDC_UMM, shownSet.UMM);
    DDX_Text(dx, IDC_UPL, shownSet.UPL);
    DDX_Text(dx, IDC_UPP, shownSet.UPP);
    DDX_Text(dx, IDC_SWB, shownSet.SWB);
    DDX_Text(dx, IDC_KAL, m_deviceInfo.KAL);
    DDX_Text(dx, IDC_VERSION, m_deviceInfo.VER);
    DDX_Text(dx, IDC_K0V, m_deviceInfo.K0V);
}

bool CMainDlg::OnInitDialog()
{
    CDialog::OnInitDialog();

    AppendSystemMenuItem(IDM_ABOUTBOX, kAboutMenuText);
    AppendSystemMenuItem(IDM_TREND, kTrendMenuText);
    AppendSystemMenuItem(IDM_FIND_DEVICE, kFindDeviceMenuText);
    AppendSystemMenuItem(IDM_NETWORK_PORT, kNetworkPortMenuText);
    AppendSystemMenuItem(IDM_RECORD, kRecordMenuText);
    AppendSystemMenuItem(IDM_COMPARE, kCompareMenuText);
    SetIcon(IDI_PROGRAM);

    // The settings file lives in the folder the program was started in.
    std::error_code error;
    m_strStartDir = PathToUtf8(std::filesystem::current_path(error));
    if (m_strStartDir.empty() || m_strStartDir.back() != kPathSeparator)
        m_strStartDir += kPathSeparator;
    m_szIniPath = m_strStartDir + kSettingsFileName;

    CSerialPort::SetHooks({[](const std::string& text, const std::string& caption) {
                               ui::MessageBox(nullptr, text, caption, MB_OK | MB_ICONEXCLAMATION);
                           },
                           m_szIniPath});
    g_pPort = new CSerialPort;
    SetExchangeWaits([this] { return std::make_unique<WindowWait>(*this); });

    ReadSettings();
    StartTrace();
    if (m_nTestValue == kServiceTestValue)
        ShowServiceControls(true);

    // A failure has shown its own message; the live reading will find no answer.
    g_pPort->Open(m_nComPort, 19200);

    SelectPortEntry(m_nComPort);

    m_bConnected = 0;
    SetTimer(kLiveReadingTimer, kLiveReadingPeriodMs);

    SetFocusTo(IDC_VERSION);
    UpdateData(false);
    return true;
}

// Enter never closes the window.
void CMainDlg::OnOK() {}

// Button 2, Escape and the close box.
void CMainDlg::OnCancel()
{
    if (MessageBox("Programm verlassen ?", "Warnung", MB_OKCANCEL | MB_ICONEXCLAMATION) == IDOK)
        CDialog::OnCancel();
}

// Ends the program at once, without a question. Nothing in the program sends
// this command; it is there for tools that stop the program from outside.
void CMainDlg::OnQuit()
{
    ExitProgram(-1);
}

void CMainDlg::OnSysCommand(unsigned id)
{
    if ((id & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg about;
        about.DoModal();
    } else if ((id & 0xFFF0) == IDM_TREND) {
        OpenTrend();
    } else if ((id & 0xFFF0) == IDM_FIND_DEVICE) {
        OnFindDevice();
    } else if ((id & 0xFFF0) == IDM_NETWORK_PORT) {
        OnNetworkPort();
    } else if ((id & 0xFFF0) == IDM_RECORD) {
        OnRecordWindow();
    } else if ((id & 0xFFF0) == IDM_COMPARE) {
        OnCompareWindow();
    }
}

// One trend window at most: asked for again, the open one comes forward.
void CMainDlg::OpenTrend()
{
    if (m_trend == nullptr)
        m_trend = std::make_unique<CTrendDlg>(*this);
    m_trend->Open();
}

void CMainDlg::ShownSetSettled()
{
    m_settledSet = shownSet;
    if (m_trend != nullptr)
        m_trend->Refresh();
}

// The invert flag of the shown set follows the check box at once.
void CMainDlg::OnInvertClicked()
{
    UpdateData(true);
}

void CMainDlg::ClearFields()
{
    m_strMeasured.clear();
    shownSet = ParameterSet{};
    m_deviceInfo = DeviceInfo{};
    UpdateData(false);
    ShownSetSettled();
}

void CMainDlg::ReadSettings()
{
    m_nComPort = ReadProfileInt("CONNECTION", "COM", 1, m_szIniPath);
    m_nTestValue = ReadProfileInt("DIR", "TEST", 0, m_szIniPath);
    m_szWorkingDir = ReadProfileString("DIR", "WORKINGDIR", m_strStartDir, m_szIniPath);
    m_record = RecordOfSettings(m_szIniPath);
}

// The protocol trace is off unless [DEBUG] TRACE names a file; one that cannot be
// opened is reported, and the program goes on without it.
void CMainDlg::StartTrace()
{
    const std::string path = ReadProfileString("DEBUG", "TRACE", "", m_szIniPath);
    if (!path.empty() && !trace::Start(path))
        AfxMessageBox(CannotWriteMessage(path), MB_OK | MB_ICONEXCLAMATION);
}

// A failed write is not reported: the settings are a convenience.
void CMainDlg::WriteSettings()
{
    WriteProfileString("CONNECTION", "COM", std::to_string(m_nComPort), m_szIniPath);
    WriteProfileString("DIR", "WORKINGDIR", m_szWorkingDir, m_szIniPath);
}
