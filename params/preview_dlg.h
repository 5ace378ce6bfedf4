#pragma once
// The side-by-side confirmation before a set is written into the relay: the
// relay's values left under "KORVEN", the new values right under their source.

#include <string>

#include "params/parameter_set.h"
#include "ui/dialog.h"

class CPreviewDlg : public ui::CDialog {
public:
    explicit CPreviewDlg(CDialog* parent = nullptr);

    std::string previewText;
    std::string columnTitle = "Datei";
    ParameterSet newSet;
    ParameterSet deviceSet;

protected:
    void DoDataExchange(ui::DataExchange& dx) override;
    bool OnInitDialog() override;
};

inline constexpr int IDC_PREVIEW_TEXT = 1034;
