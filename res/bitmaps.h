#pragma once
// The program's pictures by resource id, drawn in code so that they stay sharp
// and need no binary files: 130 green lamp, 132 red lamp, 137 logo, 144 icon.

#include <QIcon>
#include <QPixmap>

inline constexpr int IDB_LAMP_GREEN = 130;
inline constexpr int IDB_LAMP_RED = 132;
inline constexpr int IDB_LOGO = 137;
inline constexpr int IDI_PROGRAM = 144;

// An empty pixmap for an unknown id.
QPixmap LoadBitmap(int id);
QIcon LoadIcon(int id);

// The program's icon drawn at size by size pixels (times the screen's pixel ratio).
QPixmap ProgramIcon(int size);
