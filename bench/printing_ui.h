#pragma once
// Message boxes in a benchmark would wait for a click nobody gives: they are
// printed and counted instead, and file dialogs choose nothing.

#include <cstdio>
#include <optional>
#include <string>

#include "ui/message_seam.h"

class PrintingUi : public ui::UserInterface {
public:
    int ShowMessage(const ui::MessageRequest& request) override
    {
        std::fprintf(stderr, "message box [%s]: %s\n", request.caption.c_str(), request.text.c_str());
        ++shown;
        return ui::IDOK;
    }
    std::optional<std::string> ChooseFile(const ui::FileDialogRequest&) override { return std::nullopt; }
    int shown = 0;
};
