#pragma once
// The platform part of the system-menu entry: Windows appends to the window's
// system menu; other platforms, where a program can't extend the window
// manager's menu, offer it from the window background's context menu.

#include <QByteArray>
#include <string>

namespace ui {

class CDialog;

struct SystemMenuAccess {
    static void Invoke(CDialog& dialog, unsigned commandId);
};

void AppendPlatformSystemMenuItem(CDialog& dialog, unsigned commandId, const std::string& text);
// Handles a native system-menu command; true when it was one of ours.
bool HandlePlatformSystemCommand(CDialog& dialog, const QByteArray& eventType, void* message);

} // namespace ui
