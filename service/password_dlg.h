#pragma once
// The prompt for the service password, opened by Ctrl+K in the main window.

#include <string>
#include <string_view>

#include "ui/dialog.h"

// The fixed service password.
inline constexpr std::string_view kServicePassword = "50318264";

// Modal results of the prompt (besides IDCANCEL for "Abbrechen", Escape and the close box).
inline constexpr int kPasswordRight = 0;
inline constexpr int kPasswordWrong = 27;

inline constexpr int IDC_PASSWORD = 1021;

class CPasswordDlg : public ui::CDialog {
public:
    explicit CPasswordDlg(CDialog* parent = nullptr);

    // The modal run; one that ends without a result counts as cancelled, never
    // as kPasswordRight.
    int DoModal();

    std::string m_strPassword;

protected:
    void DoDataExchange(ui::DataExchange& dx) override;
    void OnOK() override;
};
