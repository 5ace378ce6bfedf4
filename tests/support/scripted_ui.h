#pragma once
// A scripted stand-in for message boxes and file dialogs: records every request
// and answers from a queue (OK, and no file, when the queue is empty).

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ui/message_seam.h"

class ScriptedUi : public ui::UserInterface {
public:
    ScriptedUi() { ui::SetUi(this); }
    ~ScriptedUi() override { ui::SetUi(nullptr); }

    int ShowMessage(const ui::MessageRequest& request) override;
    std::optional<std::string> ChooseFile(const ui::FileDialogRequest& request) override;

    std::vector<ui::MessageRequest> messages;
    std::vector<ui::FileDialogRequest> fileDialogs;
    std::deque<int> answers;                          // IDOK / IDCANCEL for the next boxes
    std::deque<std::optional<std::string>> files;     // paths for the next file dialogs
    std::function<void()> whileFileDialogOpen = [] {}; // what happens meanwhile (a live reading)

    // Texts of all boxes shown so far, in order.
    std::vector<std::string> Texts() const;
};
