#pragma once
// The main window: the program's whole user interface and the owner of all its
// state (the shown and the comparison parameter set, the connection state, the
// COM port number, the settings path and the working folder).

#include <memory>
#include <optional>
#include <string>

#include "params/checks.h"
#include "params/parameter_set.h"
#include "params/parameter_text.h"
#include "record/commissioning_record.h"
#include "record/set_reference.h"
#include "service/service_command.h"
#include "trend/reading_history.h"
#include "ui/dialog.h"

// Control ids of the main window.
enum : int {
    IDC_MEASURED = 1001,
    IDC_PORT = 1002,
    IDC_LAMP_RED = 1003,
    IDC_CALIBRATE_100V = 1005,
    IDC_SAVE_PARAMS = 1006,
    IDC_LOAD_PARAMS = 1007,
    IDC_DEVICE_TO_PC = 1008,
    IDC_PC_TO_DEVICE = 1009,
    IDC_KAL = 1010,
    IDC_SWB = 1011,
    IDC_HYS = 1012,
    IDC_UPL = 1013,
    IDC_UPP = 1014,
    IDC_UMI = 1015,
    IDC_UMM = 1016,
    IDC_SVZ = 1017,
    IDC_INVERT = 1018,
    IDC_QUIT = 1019,
    IDC_CALIBRATE_0V = 1020,
    IDC_TEST_COM3 = 1021,
    IDC_K0V = 1022,
    IDC_FIRMWARE = 1023,
    IDC_VERSION = 1030,
    IDC_KAL_LABEL = 1032,
    IDC_K0V_LABEL = 1033,
    IDC_PRINT = 1035,
    IDC_LAMP_GREEN = 130,
};

// Window timers of the main window.
inline constexpr int kLiveReadingTimer = 1000;
inline constexpr int kLiveReadingPeriodMs = 1000;
inline constexpr int kPasswordTimer = 1001; // opens the password prompt after Ctrl+K
inline constexpr int kPasswordDelayMs = 10;

// The settings value that turns service mode on at start.
inline constexpr int kServiceTestValue = 3179;

// The system-menu commands of the about box, of the trend window, of the port
// search, of the network port, of the record window and of the comparison.
inline constexpr unsigned IDM_ABOUTBOX = 16;
inline constexpr unsigned IDM_TREND = 32;
inline constexpr unsigned IDM_FIND_DEVICE = 48;
inline constexpr unsigned IDM_RECORD = 64;
inline constexpr unsigned IDM_NETWORK_PORT = 80;
inline constexpr unsigned IDM_COMPARE = 96;

class CTrendDlg;
struct PortCandidate;

const ui::DialogTemplate& MainDialogTemplate();

class CMainDlg : public ui::CDialog {
public:
    explicit CMainDlg(ui::CDialog* parent = nullptr);
    ~CMainDlg() override;

    // Exposed for the tests and the other windows of the program.
    int ComPort() const { return m_nComPort; }
    int TestValue() const { return m_nTestValue; }
    bool Connected() const { return m_bConnected != 0; }
    const std::string& IniPath() const { return m_szIniPath; }
    const std::string& StartDir() const { return m_strStartDir; }
    const std::string& WorkingDir() const { return m_szWorkingDir; }
    const ParameterSet& ShownSet() const { return shownSet; }
    const ParameterSet& CompareSet() const { return compareSet; }
    // Every live reading of the last day.
    const ReadingHistory& History() const { return m_history; }
    // The set the relay holds as far as the program knows: the last one read from
    // it, or written to it and acknowledged (empty after another port was chosen).
    // The trend window draws its levels. Typing in the fields or loading a file
    // into them does not move it; a write does.
    const ParameterSet& SettledSet() const { return m_settledSet; }
    // The trend window, once it has been opened.
    CTrendDlg* Trend() const { return m_trend.get(); }
    // The commissioning record the settings name (off where they name none).
    const CommissioningRecord& Record() const { return m_record; }
    // Names the record's file in the settings file (an empty path switches it off).
    void SetRecordFile(const std::string& path);
    // "COM1": the port as the record names it.
    std::string PortName() const;
    // The parameter file the operator chooses, in the working folder; nothing when cancelled.
    std::optional<std::string> ChooseParameterFile(const ui::CDialog* owner);
    // Reads the relay's set without touching the fields; a bad reply is reported.
    bool ReadRelaySet(ParameterSet& set, std::string& version);
    // Writes reference back in place of relaySet (the relay's set as just read):
    // the record's consent, the preview, the checks and the record's entries as
    // for a file load. True when the relay acknowledged it.
    bool RestoreSet(const ParameterSet& relaySet, const SetReference& reference, ui::CDialog* owner);

    // Handlers of the message map.
    void OnSaveParams();
    void OnLoadParams();
    void OnPrintParams();
    void OnParamsDeviceToPc();
    void OnParamsPcToDevice();
    void OnFirmwareUpdate();
    void OnSelchangePort();
    void OnFindDevice();
    void OnNetworkPort();
    void OnRecordWindow();
    void OnCompareWindow();
    void OnInvertClicked();
    void OnQuit();
    void OnCalibrate0V();
    void OnCalibrate100V();
    void OnTestCom3();
    void OnTimer(int id) override;

    // Routines offered to the rest of the program.
    void ClearFields();
    void ReadSettings();
    void WriteSettings();
    void RefreshFromDevice();
    // Sends the shown set after the checks; change says what the record notes of
    // it (the relay's set before, the file it came from).
    int SendShownSet(RecordEntry change = {});
    // As SendShownSet, for the action change names: 1 when the relay acknowledged
    // the set, 0 when the checks or the record refused it, -1 when it failed.
    int SendShownChange(RecordEntry change);
    int CheckBeforeTransfer();
    int CheckBeforeSave();
    // Scans text into *target; the full scan also fills the device texts.
    void ParseParameterText(const std::string& text, ScanMode mode, ParameterSet* target);

protected:
    // What the live ticks feed; a benchmark feeds a day of ticks at once.
    ReadingHistory& MutableHistory() { return m_history; }

    void DoDataExchange(ui::DataExchange& dx) override;
    bool OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    void OnSysCommand(unsigned id) override;
    void OnWatchedKey(ui::Hotkey key) override;

private:
    void OnLiveReading();
    void OpenTrend();
    // Selects COMn in the port list; a port above the list's sixteen gets an entry.
    void SelectPortEntry(int comPort);
    // The relay answered there: the port is chosen as the user would choose it.
    void SelectFoundPort(const PortCandidate& found);
    // The shown set now holds what the relay holds: it was read, or written and acknowledged.
    void ShownSetSettled();
    void OnPasswordPrompt();
    // Service mode: the settings value shows the port test too, the password not.
    void ShowServiceControls(bool withPortTest);
    // False when refused for want of a connection.
    bool RunServiceCommandOf(ServiceCommand command);
    void StartTrace();
    int RunChecks(CheckFamily family);
    void RefuseUnconnected();
    bool ReadParametersFromDevice();
    // False, after its box (owned by owner, else by the main window), when the
    // record is on and cannot be written: a change of the relay must not start.
    bool RecordAllowsChange(const ui::CDialog* owner = nullptr);
    // Notes the change entry describes as started, on the disk before its first
    // frame; false, after the same box, when it could not be noted: then nothing
    // may be sent.
    bool RecordStart(RecordEntry entry, const ui::CDialog* owner = nullptr);
    // Notes entry with the port and the relay's version text, on the disk before
    // the operator is told the outcome; a record that fails says so.
    void Record(RecordEntry entry);
    // Fills the record's port, device and version fields of entry.
    void PlaceEntry(RecordEntry& entry) const;
    // The set just read, where the record last showed another one for this port.
    void RecordFoundSet();

    std::string m_strMeasured;
    ParameterSet shownSet;
    ParameterSet compareSet;
    DeviceInfo m_deviceInfo; // the texts of edits 1010, 1030 and 1022
    std::string m_strStartDir;
    std::string m_szWorkingDir;
    std::string m_szIniPath;
    int m_bConnected = 0;
    int m_nComPort = 1;
    int m_nTestValue = 0;
    ReadingHistory m_history;
    CommissioningRecord m_record;
    ParameterSet m_settledSet;
    std::unique_ptr<CTrendDlg> m_trend;
};
