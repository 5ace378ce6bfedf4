#pragma once
// Drawing into a control the window draws itself (Kind::Canvas): a few plain
// primitives in the control's own pixels, the origin at its top left. Each
// backend realises it (QPainter, GDI); tests record what is drawn.

#include <string>
#include <vector>

#include "ui/dialog_template.h"

namespace ui {

struct Point {
    int x = 0, y = 0;
};

struct Color {
    unsigned char red = 0, green = 0, blue = 0;
};

enum class LineStyle { Solid, Dashed };
enum class TextAlign { Left, Center, Right };

class Painter {
public:
    virtual ~Painter() = default;
    // The control's size in pixels.
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    // The height of a line of text in the window's font.
    virtual int TextHeight() const = 0;
    virtual void FillRect(const Rect& rect, Color color) = 0;
    // Straight lines from point to point, one pixel wide.
    virtual void Polyline(const std::vector<Point>& points, Color color, LineStyle style = LineStyle::Solid) = 0;
    // One line of text in the window's font; at is its top edge and, by align,
    // its left end, middle or right end.
    virtual void Text(Point at, const std::string& text, Color color, TextAlign align = TextAlign::Left) = 0;
};

} // namespace ui
