// Message boxes and the common file dialogs of the Win32 backend.

#include "ui/win32/windows_lean.h"

#include <vector>

#include "files/wide.h"
#include "ui/message_seam.h"
#include "ui/win32/win32_access.h"

namespace ui {
namespace {

// A box or file dialog without an owner is still modal to the innermost modal
// run, or else to the main window, as the framework's boxes were to the
// program's active window. While it is open no other window of the program
// takes input either.
HWND OwnerWindow(const CDialog* owner)
{
    return owner != nullptr ? DialogWindow(*owner) : ModalOwnerWindow();
}

UINT BoxType(unsigned type)
{
    // The kit's button and icon values are the system's own.
    return type & 0xFF;
}

class Win32UserInterface final : public UserInterface {
public:
    int ShowMessage(const MessageRequest& request) override
    {
        HWND owner = OwnerWindow(request.owner);
        const OtherWindowsDisabled others(nullptr, owner);
        const int answer = MessageBoxW(owner, Widen(request.text).c_str(), Widen(request.caption).c_str(),
                                       BoxType(request.type) | MB_SETFOREGROUND);
        return answer == IDOK ? IDOK : IDCANCEL;
    }

    std::optional<std::string> ChooseFile(const FileDialogRequest& request) override
    {
        // "description\0pattern\0\0"
        std::wstring filter = Widen(request.filterDescription);
        filter.push_back(L'\0');
        filter += Widen(request.filterPattern);
        filter.push_back(L'\0');
        const std::wstring title = Widen(request.title);
        const std::wstring folder = Widen(ExistingFolder(request.startFolder));
        const std::wstring extension = Widen(request.defaultExtension);
        // Room for the longest path the system takes.
        std::vector<wchar_t> file(32768, L'\0');

        OPENFILENAMEW dialog{};
        dialog.lStructSize = sizeof(dialog);
        dialog.hwndOwner = OwnerWindow(request.owner);
        dialog.lpstrFilter = filter.c_str();
        dialog.nFilterIndex = 1;
        dialog.lpstrFile = file.data();
        dialog.nMaxFile = static_cast<DWORD>(file.size());
        dialog.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
        dialog.lpstrTitle = title.c_str();
        dialog.lpstrDefExt = extension.empty() ? nullptr : extension.c_str();
        // The program's own folder stays its current folder: the settings file lives there.
        dialog.Flags = OFN_HIDEREADONLY | OFN_EXPLORER | OFN_NOCHANGEDIR;
        if (request.overwritePrompt)
            dialog.Flags |= OFN_OVERWRITEPROMPT;
        if (request.mustExist)
            dialog.Flags |= OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;
        const OtherWindowsDisabled others(nullptr, dialog.hwndOwner);
        const BOOL chosen = request.save ? GetSaveFileNameW(&dialog) : GetOpenFileNameW(&dialog);
        if (!chosen)
            return std::nullopt;
        return Narrow(file.data());
    }
};

} // namespace

UserInterface& PlatformUi()
{
    static Win32UserInterface win32Ui;
    return win32Ui;
}

} // namespace ui
