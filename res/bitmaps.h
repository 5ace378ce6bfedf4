#pragma once
// The program's pictures by resource id (res/resource_ids.h), drawn in code for
// the Qt backend so that they stay sharp at any pixel ratio.

#include <QIcon>
#include <QPixmap>

#include "res/resource_ids.h"

// An empty pixmap for an unknown id.
QPixmap LoadBitmap(int id);
QIcon LoadIcon(int id);

// The program's icon drawn at size by size pixels (times the screen's pixel ratio).
QPixmap ProgramIcon(int size);
