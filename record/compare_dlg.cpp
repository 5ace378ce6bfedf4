#include "record/compare_dlg.h"

#include "app/main_dlg.h"

using namespace ui;

namespace {

const DialogTemplate& CompareDialogTemplate()
{
    static const DialogTemplate tpl{
        0,
        "Vergleichen",
        320,
        190,
        8,
        SystemMenu | FixedPitchFont,
        {
            {IDC_COMPARE_SOURCE, Kind::Label, "", 7, 7, 306, 8},
            {IDC_COMPARE_TABLE, Kind::Edit, "", 7, 20, 306, 120, MultiLine | ReadOnly | ScrollBars},
            {IDC_COMPARE_VERDICT, Kind::Label, "", 7, 146, 306, 8},
            {IDC_COMPARE_FILE, Kind::PushButton, "Datei wählen...", 7, 166, 80, 14},
            {IDC_COMPARE_RESTORE, Kind::PushButton, "Wiederherstellen", 93, 166, 80, 14, Hidden},
            {IDCANCEL, Kind::PushButton, "Schließen", 263, 166, 50, 14},
        },
    };
    return tpl;
}

constexpr const char* kNoRecord = "Kein Protokoll eingeschaltet: nur der Vergleich mit einer Datei ist möglich.";
constexpr const char* kHolds = "Das Gerät hält diesen Parametersatz.";
constexpr const char* kDiffers = "Die mit * markierten Werte weichen ab.";

} // namespace

CCompareDlg::CCompareDlg(CMainDlg& main, ParameterSet relaySet, std::string relayVersion)
    : CDialog(CompareDialogTemplate(), &main), m_main(main), m_relaySet(std::move(relaySet)),
      m_relayVersion(std::move(relayVersion))
{
    OnClicked(IDC_COMPARE_FILE, [this] { OnChooseFile(); });
    OnClicked(IDC_COMPARE_RESTORE, [this] { OnRestore(); });
}

bool CCompareDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    const CommissioningRecord& record = m_main.Record();
    if (!record.On()) {
        ShowReference({}, "");
        return true;
    }
    const ReferenceLookup lookup = RecordReference(record, m_main.PortName());
    ShowReference(lookup, lookup.problem == ReferenceProblem::CannotRead ? record.FilePath() : m_main.PortName());
    return true;
}

void CCompareDlg::ShowReference(const ReferenceLookup& lookup, const std::string& where)
{
    m_reference = lookup.reference;
    const SetComparison comparison =
        CompareWithReference(m_relaySet, m_relayVersion, m_reference.value_or(SetReference{}));
    const bool differs = m_reference && (comparison.SetDiffers() || comparison.versionDiffers);
    // Without a reference: no record (only a file can be one), or why the record has none.
    std::string source = kNoRecord;
    if (m_reference)
        source = ReferenceHeadline(*m_reference);
    else if (lookup.problem != ReferenceProblem::None)
        source = ReferenceProblemText(lookup.problem, where);
    SetItemText(IDC_COMPARE_SOURCE, source);
    SetItemText(IDC_COMPARE_TABLE,
                m_reference ? ComparisonText(comparison, m_reference->time.empty() ? "Datei" : "Protokoll") : "");
    SetItemText(IDC_COMPARE_VERDICT, !m_reference ? "" : differs ? kDiffers : kHolds);
    ShowItem(IDC_COMPARE_RESTORE, m_reference && comparison.SetDiffers());
}

void CCompareDlg::OnChooseFile()
{
    const std::optional<std::string> chosen = m_main.ChooseParameterFile(this);
    if (chosen)
        ShowReference(FileReference(*chosen, m_relaySet), *chosen);
}

void CCompareDlg::OnRestore()
{
    if (!m_reference || !m_main.RestoreSet(m_relaySet, *m_reference, this))
        return;
    // What the relay holds now, read again.
    const SetReference reference = *m_reference;
    if (m_main.ReadRelaySet(m_relaySet, m_relayVersion))
        ShowReference({reference, ReferenceProblem::None}, "");
}

void CMainDlg::OnCompareWindow()
{
    if (m_bConnected != 1) {
        RefuseUnconnected();
        return;
    }
    ParameterSet relaySet;
    std::string version;
    if (!ReadRelaySet(relaySet, version))
        return;
    CCompareDlg window(*this, relaySet, version);
    window.DoModal();
}
