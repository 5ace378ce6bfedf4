#include <QMenu>

#include "ui/dialog.h"
#include "ui/system_menu.h"

namespace ui {

// The window manager's menu can't be extended from here, so the entry lives in
// the context menu of the window's background (right click beside the controls).
void AppendPlatformSystemMenuItem(CDialog& dialog, unsigned commandId, const std::string& text)
{
    if (text.empty())
        return;
    dialog.setContextMenuPolicy(Qt::CustomContextMenu);
    const QString caption = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    QObject::connect(&dialog, &QWidget::customContextMenuRequested, &dialog,
                     [&dialog, commandId, caption](const QPoint& position) {
                         QMenu menu(&dialog);
                         menu.addSeparator();
                         QAction* about = menu.addAction(caption);
                         if (menu.exec(dialog.mapToGlobal(position)) == about)
                             SystemMenuAccess::Invoke(dialog, commandId);
                     });
}

bool HandlePlatformSystemCommand(CDialog&, const QByteArray&, void*)
{
    return false;
}

} // namespace ui
