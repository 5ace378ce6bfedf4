#include "ui/message_seam.h"

#include <filesystem>
#include <system_error>

#include "files/utf8_path.h"

namespace ui {
namespace {

UserInterface* g_installed = nullptr;

} // namespace

std::string ExistingFolder(const std::string& folder)
{
    std::filesystem::path path = PathFromUtf8(folder);
    std::error_code error;
    while (!path.empty() && !std::filesystem::is_directory(path, error)) {
        const std::filesystem::path parent = path.parent_path();
        if (parent == path)
            break;
        path = parent;
    }
    return PathToUtf8(path);
}

UserInterface& Ui()
{
    return g_installed != nullptr ? *g_installed : PlatformUi();
}

void SetUi(UserInterface* userInterface)
{
    g_installed = userInterface;
}

int MessageBox(const CDialog* owner, const std::string& text, const std::string& caption, unsigned type)
{
    return Ui().ShowMessage(MessageRequest{owner, text, caption, type});
}

int AfxMessageBox(const std::string& text, unsigned type)
{
    return Ui().ShowMessage(MessageRequest{nullptr, text, kApplicationCaption, type});
}

} // namespace ui
