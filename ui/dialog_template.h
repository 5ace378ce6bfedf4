#pragma once
// Dialog templates as data: caption, size in dialog units, font, style and a
// table of controls. The windows declare their templates straight from their
// layout tables; template order is the tab order.

#include <utility>
#include <vector>

namespace ui {

// The id of controls nobody addresses (labels, group boxes).
inline constexpr int IDC_STATIC = -1;

enum class Kind {
    Edit,
    PushButton,
    CheckBox, // automatic check box
    Label,
    GroupBox,
    Picture, // a bitmap by resource id
    ComboBox,
    Progress,
    Canvas, // drawn by the window itself (CDialog::OnDraw)
};

// Control flags.
enum : unsigned {
    Hidden = 1u << 0,        // lacks the visible style: shown only when asked
    RightAlign = 1u << 1,    // edit text right-aligned
    Password = 1u << 2,      // edit shows bullets
    MultiLine = 1u << 3,     // multi-line edit
    DefaultButton = 1u << 4, // the default push button (Enter presses it)
    Sunken = 1u << 5,        // sunken static frame
    TextLeft = 1u << 6,      // check box with its text left of the box
    NoTabStop = 1u << 7,
    ReadOnly = 1u << 8,
    WantReturn = 1u << 9, // multi-line edit that keeps Enter as a line break
    ScrollBars = 1u << 10, // multi-line edit with scroll bars, for a text longer or wider than the edit
};

struct ControlTemplate {
    ControlTemplate(int id_, Kind kind_, const char* caption_, int x_, int y_, int cx_, int cy_, unsigned flags_ = 0,
                    int bitmap_ = 0, std::vector<const char*> items_ = {})
        : id(id_), kind(kind_), caption(caption_), x(x_), y(y_), cx(cx_), cy(cy_), flags(flags_), bitmap(bitmap_),
          items(std::move(items_))
    {
    }

    int id;
    Kind kind;
    const char* caption;        // UTF-8
    int x, y, cx, cy;           // dialog units
    unsigned flags;
    int bitmap;                 // Kind::Picture: the bitmap's resource id
    std::vector<const char*> items; // Kind::ComboBox: the initial list entries
};

// Dialog style flags.
enum : unsigned {
    SystemMenu = 1u << 0,
    MinimizeBox = 1u << 1,
    FixedPitchFont = 1u << 2, // the system's fixed-pitch font instead of the sans-serif one
    NoCloseBox = 1u << 3,
    AppWindow = 1u << 4, // the program's main window, with its own task-bar button
};

struct DialogTemplate {
    int id = 0;
    const char* caption = "";
    int cx = 0, cy = 0; // client size in dialog units
    int pointSize = 8;
    unsigned style = 0;
    std::vector<ControlTemplate> controls;
};

// A rectangle in pixels: left, top, width and height.
struct Rect {
    int x = 0, y = 0, width = 0, height = 0;
    bool operator==(const Rect&) const = default;
};

// Dialog units to pixels, with the base units of 8-point MS Sans Serif at 96 dpi.
int DluToPixelsX(int x);
int DluToPixelsY(int y);
Rect DluToPixels(int x, int y, int cx, int cy);

} // namespace ui
