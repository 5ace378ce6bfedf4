#pragma once
// "Gerät suchen": the search for the relay's port as a small modal window. It
// tries one port per timer tick, so that the window draws between the ports, and
// says which port it is trying; Escape and "Abbrechen" end the search early.

#include <vector>

#include "link/port_search.h"
#include "ui/dialog.h"

// Control ids and the timer of the search window.
enum : int { IDC_SEARCH_STATUS = 1301 };
inline constexpr int kSearchStepTimer = 1;
inline constexpr int kSearchStepMs = 10;

class CPortSearchDlg : public ui::CDialog {
public:
    CPortSearchDlg(std::vector<PortCandidate> candidates, CDialog* parent);
    // IDOK from DoModal: the search is over; IDCANCEL: it was ended early.
    const PortSearch& Search() const { return m_search; }

protected:
    bool OnInitDialog() override;
    void OnTimer(int id) override;
    void OnCancel() override;

private:
    // Names the port the next tick asks.
    void ShowPort(const PortCandidate& port);
    void Finish(int result);

    PortSearch m_search;
};
