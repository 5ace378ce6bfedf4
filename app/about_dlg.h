#pragma once
// The about box, opened from the system-menu entry.

#include "ui/dialog.h"

class CAboutDlg : public ui::CDialog {
    Q_OBJECT

public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};
