#pragma once
// The window "Vergleichen": the relay's set beside the set it was commissioned
// with (from the record, or a parameter file chosen instead), each differing line
// marked, and the commissioned set written back through the preview.

#include <optional>
#include <string>

#include "params/parameter_set.h"
#include "record/set_reference.h"
#include "ui/dialog.h"

class CMainDlg;

// Control ids of the comparison window.
enum : int {
    IDC_COMPARE_SOURCE = 1311,
    IDC_COMPARE_TABLE = 1312,
    IDC_COMPARE_VERDICT = 1313,
    IDC_COMPARE_FILE = 1314,
    IDC_COMPARE_RESTORE = 1315,
};

class CCompareDlg : public ui::CDialog {
public:
    // relaySet and relayVersion: what the relay answered just before.
    CCompareDlg(CMainDlg& main, ParameterSet relaySet, std::string relayVersion);

    void OnChooseFile();
    void OnRestore();

protected:
    bool OnInitDialog() override;

private:
    // Shows the relay beside the reference lookup found, or why there is none.
    void ShowReference(const ReferenceLookup& lookup, const std::string& where);

    CMainDlg& m_main;
    ParameterSet m_relaySet;
    std::string m_relayVersion;
    std::optional<SetReference> m_reference;
};
