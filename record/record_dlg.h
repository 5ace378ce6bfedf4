#pragma once
// The window "Inbetriebnahmeprotokoll": the newest entries of the commissioning
// record, and the choice of its file (which switches the record on) or none.

#include "ui/dialog.h"

class CMainDlg;

// Control ids of the record window.
enum : int {
    IDC_RECORD_FILE = 1301,
    IDC_RECORD_ENTRIES = 1302,
    IDC_RECORD_CHOOSE = 1303,
    IDC_RECORD_OFF = 1304,
};

// The entries the window shows, newest first.
inline constexpr std::size_t kShownRecordEntries = 100;

class CRecordDlg : public ui::CDialog {
public:
    explicit CRecordDlg(CMainDlg& main);

    void OnChooseFile();
    void OnSwitchOff();

protected:
    bool OnInitDialog() override;

private:
    void ShowRecord();

    CMainDlg& m_main;
};
