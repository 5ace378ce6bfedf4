#include "ui/dialog_template.h"

#include <cmath>

namespace ui {

// One horizontal dialog unit is a quarter of the average character width (6 px),
// one vertical unit an eighth of the character height (13 px).
int DluToPixelsX(int x)
{
    return static_cast<int>(std::lround(x * 1.5));
}

int DluToPixelsY(int y)
{
    return static_cast<int>(std::lround(y * 1.625));
}

Rect DluToPixels(int x, int y, int cx, int cy)
{
    return Rect{DluToPixelsX(x), DluToPixelsY(y), DluToPixelsX(cx), DluToPixelsY(cy)};
}

} // namespace ui
