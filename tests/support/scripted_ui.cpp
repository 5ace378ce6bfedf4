#include "tests/support/scripted_ui.h"

int ScriptedUi::ShowMessage(const ui::MessageRequest& request)
{
    messages.push_back(request);
    if (answers.empty())
        return ui::IDOK;
    const int answer = answers.front();
    answers.pop_front();
    return answer;
}

std::optional<std::string> ScriptedUi::ChooseFile(const ui::FileDialogRequest& request)
{
    fileDialogs.push_back(request);
    whileFileDialogOpen();
    if (files.empty())
        return std::nullopt;
    auto file = files.front();
    files.pop_front();
    return file;
}

std::vector<std::string> ScriptedUi::Texts() const
{
    std::vector<std::string> texts;
    for (const auto& message : messages)
        texts.push_back(message.text);
    return texts;
}
