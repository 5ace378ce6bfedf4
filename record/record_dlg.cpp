#include "record/record_dlg.h"

#include "app/main_dlg.h"
#include "files/utf8_path.h"
#include "params/parameter_file.h"

using namespace ui;

namespace {

const DialogTemplate& RecordDialogTemplate()
{
    static const DialogTemplate tpl{
        0,
        "Inbetriebnahmeprotokoll",
        360,
        214,
        8,
        SystemMenu,
        {
            {IDC_STATIC, Kind::Label, "Datei:", 7, 9, 24, 8},
            {IDC_RECORD_FILE, Kind::Label, "", 33, 9, 320, 8},
            {IDC_RECORD_ENTRIES, Kind::Edit, "", 7, 22, 346, 164, MultiLine | ReadOnly | ScrollBars},
            {IDC_RECORD_CHOOSE, Kind::PushButton, "Datei wählen...", 7, 193, 70, 14},
            {IDC_RECORD_OFF, Kind::PushButton, "Ausschalten", 83, 193, 70, 14},
            {IDCANCEL, Kind::PushButton, "Schließen", 303, 193, 50, 14},
        },
    };
    return tpl;
}

} // namespace

CRecordDlg::CRecordDlg(CMainDlg& main) : CDialog(RecordDialogTemplate(), &main), m_main(main)
{
    OnClicked(IDC_RECORD_CHOOSE, [this] { OnChooseFile(); });
    OnClicked(IDC_RECORD_OFF, [this] { OnSwitchOff(); });
}

bool CRecordDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    ShowRecord();
    return true;
}

void CRecordDlg::ShowRecord()
{
    const CommissioningRecord& record = m_main.Record();
    SetItemText(IDC_RECORD_FILE, record.On() ? record.FilePath() : "keine (es wird nichts aufgezeichnet)");
    SetItemText(IDC_RECORD_ENTRIES, RecordListText(record.LastEntries(kShownRecordEntries)));
    EnableItem(IDC_RECORD_OFF, record.On());
}

void CRecordDlg::OnChooseFile()
{
    FileDialogRequest request;
    request.owner = this;
    request.save = true;
    request.title = "Inbetriebnahmeprotokoll wählen";
    request.filterDescription = "Protokoll(*.csv)";
    request.filterPattern = "*.csv";
    const CommissioningRecord& record = m_main.Record();
    request.startFolder = record.On() ? PathToUtf8(PathFromUtf8(record.Path()).parent_path()) : m_main.WorkingDir();
    // An existing record is continued, not replaced: no question about it.
    request.defaultExtension = "csv";
    const std::optional<std::string> chosen = Ui().ChooseFile(request);
    if (!chosen)
        return;
    if (!CommissioningRecord(*chosen).Writable()) {
        AfxMessageBox(CannotWriteMessage(*chosen), MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    m_main.SetRecordFile(*chosen);
    ShowRecord();
}

void CRecordDlg::OnSwitchOff()
{
    m_main.SetRecordFile("");
    ShowRecord();
}

void CMainDlg::OnRecordWindow()
{
    CRecordDlg window(*this);
    window.DoModal();
}

void CMainDlg::SetRecordFile(const std::string& path)
{
    if (!WriteRecordSetting(path, m_szIniPath))
        AfxMessageBox(CannotWriteMessage(m_szIniPath), MB_OK | MB_ICONEXCLAMATION);
    m_record = RecordOfSettings(m_szIniPath);
}
