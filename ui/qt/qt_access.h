#pragma once
// The Qt objects behind the kit's windows, for the Qt backend's own files and
// for tests of what only Qt shows (fonts, pixmaps, geometry in widgets).

#include <QDialog>
#include <QFont>

#include "ui/dialog.h"

namespace ui {

QDialog* QtWindow(const CDialog& dialog);
// Whether window is one of the kit's dialogs (not a message box or file dialog).
bool IsKitWindow(const QWidget* window);
// nullptr for an unknown id.
QWidget* QtItem(const CDialog& dialog, int id);

// The dialogs' fonts: the system sans-serif at the template's size, or the
// system fixed-pitch font.
QFont DialogFont(int pointSize, bool fixedPitch);

} // namespace ui
