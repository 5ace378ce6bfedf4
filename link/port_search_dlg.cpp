#include "link/port_search_dlg.h"

#include <algorithm>

#include "app/main_dlg.h"
#include "files/settings_file.h"
#include "port/serial_port.h"
#include "params/parameter_file.h"

using namespace ui;

namespace {

// The port list offers COM1 to COM16; other ports get an entry when they are used.
constexpr int kListedPorts = 16;

const DialogTemplate& SearchDialogTemplate()
{
    static const DialogTemplate tpl{
        0,
        "Gerät suchen",
        260,
        48,
        8,
        SystemMenu,
        {
            {IDC_SEARCH_STATUS, Kind::Label, "", 7, 9, 246, 8},
            {IDCANCEL, Kind::PushButton, "Abbrechen", 105, 27, 50, 14},
        },
    };
    return tpl;
}

} // namespace

CPortSearchDlg::CPortSearchDlg(std::vector<PortCandidate> candidates, CDialog* parent)
    : CDialog(SearchDialogTemplate(), parent), m_search(std::move(candidates))
{
}

bool CPortSearchDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    // The first port is asked at the first tick, once the window is on the screen;
    // where there is none, that tick ends the window.
    if (const PortCandidate* first = m_search.Next())
        ShowPort(*first);
    SetTimer(kSearchStepTimer, kSearchStepMs);
    return true;
}

void CPortSearchDlg::OnTimer(int id)
{
    if (id != kSearchStepTimer)
        return;
    const PortCandidate* next = m_search.Ask() ? nullptr : m_search.Next();
    if (next == nullptr)
        Finish(IDOK);
    else
        ShowPort(*next);
}

void CPortSearchDlg::OnCancel()
{
    Finish(IDCANCEL);
}

void CPortSearchDlg::ShowPort(const PortCandidate& port)
{
    SetItemText(IDC_SEARCH_STATUS, "Suche an " + port.name + " ...");
}

void CPortSearchDlg::Finish(int result)
{
    // Nothing more is tried, even while the owner shows its box.
    KillTimer(kSearchStepTimer);
    EndDialog(result);
}

void CMainDlg::OnFindDevice()
{
    // No live reading may mix with the search, and the port the window holds is
    // one of those to try: it must be free.
    KillTimer(kLiveReadingTimer);
    if (g_pPort != nullptr)
        g_pPort->Close();
    int result = kEndedWithoutResult;
    std::vector<PortTrial> trials;
    {
        // A Bluetooth port can block its open for half a minute: only the one selected is tried.
        CPortSearchDlg search(SearchCandidates(ListPorts(), m_nComPort), this);
        result = search.DoModal();
        trials = search.Search().Trials();
    } // its port is closed now
    if (result == kEndedWithoutResult)
        return; // the program is ending: not another frame
    if (!trials.empty() && trials.back().outcome == TrialOutcome::Answered) {
        SelectFoundPort(trials.back().candidate);
    } else {
        // The selection stays as it was.
        if (g_pPort != nullptr)
            g_pPort->Reopen();
        if (result == IDOK)
            MessageBox(NoRelayFoundText(trials), "Fehler", MB_OK | MB_ICONEXCLAMATION);
    }
    SetTimer(kLiveReadingTimer, kLiveReadingPeriodMs);
}

void CMainDlg::SelectFoundPort(const PortCandidate& found)
{
    int comPort = found.comNumber;
    if (comPort == 0) {
        // A device that no COMn names: the COMn selected now names it from now on.
        comPort = m_nComPort >= 1 ? m_nComPort : 1;
        if (!WriteProfileString("PORTS", "COM" + std::to_string(comPort), found.device, m_szIniPath)) {
            // Without the entry COMn would open its old device: the selection stays.
            if (g_pPort != nullptr)
                g_pPort->Reopen();
            MessageBox("Gerät gefunden an " + found.name + "\r\n" + CannotWriteMessage(m_szIniPath), "Fehler",
                       MB_OK | MB_ICONEXCLAMATION);
            return;
        }
    }
    // As if the user had chosen the port in the list.
    SelectPortEntry(comPort);
    OnSelchangePort();
    const std::string name = "COM" + std::to_string(comPort);
    const std::string device = DeviceDisplayName(found.device);
    MessageBox("Gerät gefunden an " + name + (device != name ? "\r\n" + device : ""), "Meldung", MB_OK);
}

void CMainDlg::SelectPortEntry(int comPort)
{
    const std::string name = "COM" + std::to_string(comPort);
    const std::vector<std::string> entries = GetItemList(IDC_PORT);
    const auto entry = std::find(entries.begin(), entries.end(), name);
    int index = entry != entries.end() ? static_cast<int>(entry - entries.begin()) : -1;
    if (index < 0 && comPort > kListedPorts)
        index = AddListItem(IDC_PORT, name);
    SetCurSel(IDC_PORT, index);
}
