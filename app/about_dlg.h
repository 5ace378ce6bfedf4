#pragma once
// The about box, opened from the system-menu entry.

#include "ui/dialog.h"

class CAboutDlg : public ui::CDialog {
public:
    explicit CAboutDlg(CDialog* parent = nullptr);
};
