#include <windows.h>

#include "ui/dialog.h"
#include "ui/system_menu.h"

namespace ui {

void AppendPlatformSystemMenuItem(CDialog& dialog, unsigned commandId, const std::string& text)
{
    HMENU menu = GetSystemMenu(reinterpret_cast<HWND>(dialog.winId()), FALSE);
    if (menu == nullptr || text.empty())
        return;
    const std::wstring wide = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).toStdWString();
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, commandId, wide.c_str());
}

// Our commands arrive as WM_SYSCOMMAND with the low four bits free for the system.
bool HandlePlatformSystemCommand(CDialog& dialog, const QByteArray& eventType, void* message)
{
    if (eventType != "windows_generic_MSG")
        return false;
    const MSG* msg = static_cast<const MSG*>(message);
    if (msg->message != WM_SYSCOMMAND || (msg->wParam & 0xFFF0) >= 0xF000)
        return false;
    SystemMenuAccess::Invoke(dialog, static_cast<unsigned>(msg->wParam & 0xFFF0));
    return true;
}

} // namespace ui
