#pragma once
// The trend window "Messwertverlauf": the live readings of the last minutes as a
// line against the four switching levels of the main window's set, and their
// CSV file. It only shows what the main window has read; it never talks to the
// relay.

#include <chrono>

#include "ui/dialog.h"

class CMainDlg;

// Control ids of the trend window.
enum : int {
    IDC_TREND_PLOT = 1201,
    IDC_TREND_SPAN = 1202,
    IDC_TREND_CURRENT = 1203,
    IDC_TREND_LOWEST = 1204,
    IDC_TREND_HIGHEST = 1205,
    IDC_TREND_NO_LEVELS = 1206,
    IDC_TREND_SAVE = 1207,
};

const ui::DialogTemplate& TrendDialogTemplate();

class CTrendDlg : public ui::CDialog {
public:
    explicit CTrendDlg(CMainDlg& main);

    // Shows the window, or brings it forward when it is open.
    void Open();
    // A new reading, or a new set of levels: the texts now, the picture soon;
    // nothing while the window is closed (opening it refreshes it).
    void Refresh();
    // The span the picture shows.
    std::chrono::seconds Span() const;

    void OnSave();

protected:
    bool OnInitDialog() override;
    void OnOK() override;

private:
    void Draw(ui::Painter& painter) const;

    CMainDlg& m_main;
};
