// The dialog kit on Win32: each template becomes an in-memory dialog template,
// so that Windows itself lays out the dialog units with the template's font;
// the modal run is the kit's own message loop, which sees watched keys before
// the focused control, as the framework's message pre-translation did.

#include "ui/win32/windows_lean.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "files/wide.h"
#include "ui/app.h"
#include "ui/dialog_backend.h"
#include "ui/win32/win32_access.h"

namespace ui {
namespace {

// The classic dialog font, whose base units the templates are laid out in.
constexpr const wchar_t* kDialogFont = L"MS Sans Serif";
constexpr const wchar_t* kFixedPitchFont = L"Lucida Console";

// Predefined control classes of the dialog manager, by atom.
constexpr WORD kButtonClass = 0x0080;
constexpr WORD kEditClass = 0x0081;
constexpr WORD kStaticClass = 0x0082;
constexpr WORD kComboBoxClass = 0x0085;

// An in-memory dialog template: DLGTEMPLATE, then its items, each aligned to a
// DWORD, with strings as zero-terminated UTF-16.
class TemplateBuilder {
public:
    void Word(WORD value) { m_words.push_back(value); }
    void DWord(DWORD value)
    {
        Word(LOWORD(value));
        Word(HIWORD(value));
    }
    void String(const std::wstring& text)
    {
        m_words.insert(m_words.end(), text.begin(), text.end());
        Word(0);
    }
    void AlignToDWord()
    {
        if (m_words.size() % 2 != 0)
            Word(0);
    }
    const DLGTEMPLATE* Data() const { return reinterpret_cast<const DLGTEMPLATE*>(m_words.data()); }

private:
    std::vector<WORD> m_words;
};

DWORD DialogStyle(const DialogTemplate& tpl)
{
    DWORD style = DS_SETFONT | DS_MODALFRAME | DS_3DLOOK | DS_CENTER | WS_POPUP | WS_CAPTION;
    if ((tpl.style & SystemMenu) && !(tpl.style & NoCloseBox))
        style |= WS_SYSMENU;
    if (tpl.style & MinimizeBox)
        style |= WS_MINIMIZEBOX;
    return style;
}

DWORD ControlStyle(const ControlTemplate& control)
{
    DWORD style = WS_CHILD;
    if (!(control.flags & Hidden))
        style |= WS_VISIBLE;
    const bool tabStop = !(control.flags & NoTabStop);
    switch (control.kind) {
    case Kind::Edit:
        style |= WS_BORDER | ES_AUTOHSCROLL | (tabStop ? WS_TABSTOP : 0);
        if (control.flags & RightAlign)
            style |= ES_RIGHT;
        if (control.flags & Password)
            style |= ES_PASSWORD;
        if (control.flags & MultiLine)
            style |= ES_MULTILINE | ES_AUTOVSCROLL;
        if (control.flags & WantReturn)
            style |= ES_WANTRETURN;
        if (control.flags & ScrollBars)
            style |= WS_VSCROLL | WS_HSCROLL;
        if (control.flags & ReadOnly)
            style |= ES_READONLY;
        break;
    case Kind::PushButton:
        style |= ((control.flags & DefaultButton) ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON) | (tabStop ? WS_TABSTOP : 0);
        break;
    case Kind::CheckBox:
        style |= BS_AUTOCHECKBOX | (tabStop ? WS_TABSTOP : 0);
        if (control.flags & TextLeft)
            style |= BS_LEFTTEXT;
        break;
    case Kind::Label:
        // A label shows its text as it is, as the Qt backend's do: the texts set
        // later are data (a firmware file's path, "C:\R&D\fw.hex"), and no
        // template's label means a mnemonic. Buttons keep '&' as theirs.
        style |= SS_LEFT | SS_NOPREFIX;
        if (control.flags & Sunken)
            style |= SS_SUNKEN | SS_LEFTNOWORDWRAP | SS_CENTERIMAGE;
        break;
    case Kind::GroupBox:
        style |= BS_GROUPBOX;
        break;
    case Kind::Picture:
        style |= SS_BITMAP;
        break;
    case Kind::ComboBox:
        style |= CBS_DROPDOWNLIST | WS_VSCROLL | (tabStop ? WS_TABSTOP : 0);
        break;
    case Kind::Progress:
        style |= WS_BORDER;
        break;
    case Kind::Canvas:
        style |= SS_OWNERDRAW;
        break;
    }
    return style;
}

void AddControl(TemplateBuilder& out, const ControlTemplate& control)
{
    out.AlignToDWord();
    out.DWord(ControlStyle(control));
    out.DWord(0);
    for (const int value : {control.x, control.y, control.cx, control.cy})
        out.Word(static_cast<WORD>(static_cast<short>(value)));
    out.Word(static_cast<WORD>(control.id));
    switch (control.kind) {
    case Kind::Edit:
        out.Word(0xFFFF);
        out.Word(kEditClass);
        break;
    case Kind::PushButton:
    case Kind::CheckBox:
    case Kind::GroupBox:
        out.Word(0xFFFF);
        out.Word(kButtonClass);
        break;
    case Kind::Label:
    case Kind::Picture:
    case Kind::Canvas:
        out.Word(0xFFFF);
        out.Word(kStaticClass);
        break;
    case Kind::ComboBox:
        out.Word(0xFFFF);
        out.Word(kComboBoxClass);
        break;
    case Kind::Progress:
        out.String(PROGRESS_CLASSW);
        break;
    }
    // A picture's bitmap is set once the control exists (LoadPicture).
    out.String(control.kind == Kind::Picture ? std::wstring() : Widen(control.caption));
    out.Word(0); // no creation data
}

TemplateBuilder BuildTemplate(const DialogTemplate& tpl)
{
    TemplateBuilder out;
    out.DWord(DialogStyle(tpl));
    out.DWord((tpl.style & AppWindow) ? WS_EX_APPWINDOW : 0);
    out.Word(static_cast<WORD>(tpl.controls.size()));
    for (const int value : {0, 0, tpl.cx, tpl.cy})
        out.Word(static_cast<WORD>(static_cast<short>(value)));
    out.Word(0); // no menu
    out.Word(0); // the dialog class
    out.String(Widen(tpl.caption));
    out.Word(static_cast<WORD>(tpl.pointSize));
    out.String((tpl.style & FixedPitchFont) ? kFixedPitchFont : kDialogFont);
    for (const ControlTemplate& control : tpl.controls)
        AddControl(out, control);
    return out;
}

COLORREF ToColorRef(Color color)
{
    return RGB(color.red, color.green, color.blue);
}

// The kit's painter on a GDI device context.
class GdiPainter final : public Painter {
public:
    GdiPainter(HDC dc, int width, int height) : m_dc(dc), m_width(width), m_height(height)
    {
        SetBkMode(m_dc, TRANSPARENT);
    }
    int Width() const override { return m_width; }
    int Height() const override { return m_height; }
    int TextHeight() const override
    {
        TEXTMETRICW metrics{};
        GetTextMetricsW(m_dc, &metrics);
        return metrics.tmHeight;
    }
    void FillRect(const Rect& rect, Color color) override
    {
        const RECT area{rect.x, rect.y, rect.x + rect.width, rect.y + rect.height};
        HBRUSH brush = CreateSolidBrush(ToColorRef(color));
        ::FillRect(m_dc, &area, brush);
        DeleteObject(brush);
    }
    void Polyline(const std::vector<Point>& points, Color color, LineStyle style) override
    {
        if (points.empty())
            return;
        if (points.size() == 1) {
            SetPixel(m_dc, points[0].x, points[0].y, ToColorRef(color));
            return;
        }
        std::vector<POINT> gdiPoints;
        gdiPoints.reserve(points.size());
        for (const Point& point : points)
            gdiPoints.push_back(POINT{point.x, point.y});
        // Only one-pixel pens can be dashed.
        HPEN pen = CreatePen(style == LineStyle::Dashed ? PS_DASH : PS_SOLID, 1, ToColorRef(color));
        HGDIOBJ previous = SelectObject(m_dc, pen);
        ::Polyline(m_dc, gdiPoints.data(), static_cast<int>(gdiPoints.size()));
        SelectObject(m_dc, previous);
        DeleteObject(pen);
    }
    void Text(Point at, const std::string& text, Color color, TextAlign align) override
    {
        const std::wstring wide = Widen(text);
        SetTextColor(m_dc, ToColorRef(color));
        SetTextAlign(m_dc, TA_TOP | (align == TextAlign::Left     ? TA_LEFT
                                     : align == TextAlign::Center ? TA_CENTER
                                                                  : TA_RIGHT));
        TextOutW(m_dc, at.x, at.y, wide.c_str(), static_cast<int>(wide.size()));
    }

private:
    HDC m_dc;
    int m_width, m_height;
};

class Win32Dialog;

// The kit's dialogs that exist, by window handle.
std::map<HWND, Win32Dialog*>& Dialogs()
{
    static std::map<HWND, Win32Dialog*> dialogs;
    return dialogs;
}

std::string WindowText(HWND window)
{
    if (window == nullptr)
        return {};
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return Narrow(text);
}

HICON LoadProgramIcon(int resourceId, int size)
{
    return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(resourceId), IMAGE_ICON, size,
                                         size, LR_DEFAULTCOLOR | LR_SHARED));
}

class Win32Dialog final : public DialogBackend {
public:
    Win32Dialog(CDialog& dialog, CDialog* parent) : m_dialog(dialog)
    {
        const TemplateBuilder tpl = BuildTemplate(dialog.Template());
        HWND owner = parent != nullptr ? DialogWindow(*parent) : nullptr;
        m_hWnd = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), tpl.Data(), owner, &Win32Dialog::DialogProc,
                                            reinterpret_cast<LPARAM>(this));
        for (const ControlTemplate& control : dialog.Template().controls) {
            if (control.kind == Kind::Picture)
                LoadPicture(control);
            for (const char* item : control.items)
                SendDlgItemMessageW(m_hWnd, control.id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(item).c_str()));
        }
    }

    ~Win32Dialog() override
    {
        if (m_hWnd != nullptr) {
            Dialogs().erase(m_hWnd);
            // What the window still sends while it is destroyed (focus, activation)
            // no longer reaches the dialog, which is being taken apart.
            SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, 0);
            DestroyWindow(m_hWnd);
        }
    }

    HWND Window() const { return m_hWnd; }
    CDialog& Dialog() const { return m_dialog; }

    int RunModal() override
    {
        HWND owner = ModalOwner();
        const bool disableOwner = owner != nullptr && IsWindowEnabled(owner);
        if (owner != nullptr)
            SetWindowLongPtrW(m_hWnd, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(owner));
        m_ended = false;
        m_result = kEndedWithoutResult;
        Show();
        // The owner is disabled after the dialog is shown, so that the focus
        // never falls back to another program in between.
        m_disabledOwner = disableOwner ? owner : nullptr;
        if (disableOwner)
            EnableWindow(owner, FALSE);
        m_othersDisabled.emplace(m_hWnd, owner);
        MSG msg;
        while (!m_ended) {
            const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
            if (got == 0) {
                // The program is quitting: every modal run ends, the outer ones too.
                PostQuitMessage(static_cast<int>(msg.wParam));
                break;
            }
            if (got == -1)
                break;
            DispatchKitMessage(msg);
        }
        Hide();
        return m_result;
    }

    void End(int result) override
    {
        m_result = result;
        m_ended = true;
        // Gone from the screen at once; the loop ends with the next message.
        Hide();
        // Wakes the modal loop, which may be waiting for a message.
        PostMessageW(m_hWnd, WM_NULL, 0, 0);
    }

    bool IsWindowVisible() const override { return ::IsWindowVisible(m_hWnd) != FALSE; }

    void Show() override
    {
        // SW_SHOW would leave a minimized window minimized.
        ShowWindow(m_hWnd, IsIconic(m_hWnd) ? SW_RESTORE : SW_SHOW);
        SetForegroundWindow(m_hWnd);
        if (m_pendingFocus != 0) {
            SetFocusTo(m_pendingFocus);
            m_pendingFocus = 0;
        }
    }

    HWND Item(int id) const { return GetDlgItem(m_hWnd, id); }

    bool HasItem(int id) const override { return Item(id) != nullptr; }
    void ShowItem(int id, bool show) override
    {
        if (HWND item = Item(id))
            ShowWindow(item, show ? SW_SHOW : SW_HIDE);
    }
    bool IsItemVisible(int id) const override
    {
        HWND item = Item(id);
        return item != nullptr && (GetWindowLongW(item, GWL_STYLE) & WS_VISIBLE) != 0;
    }
    void EnableItem(int id, bool enable) override
    {
        if (HWND item = Item(id))
            EnableWindow(item, enable ? TRUE : FALSE);
    }
    void SetFocusTo(int id) override
    {
        HWND item = Item(id);
        if (item == nullptr)
            return;
        // A hidden window can't take the focus yet: it goes to the control when shown.
        if (!::IsWindowVisible(m_hWnd)) {
            m_pendingFocus = id;
            return;
        }
        // As the dialog manager moves the focus: the default button follows.
        SendMessageW(m_hWnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(item), TRUE);
    }
    int FocusedItem() const override
    {
        if (!::IsWindowVisible(m_hWnd))
            return m_pendingFocus;
        HWND focus = GetFocus();
        // The edit inside a combo box belongs to the combo box.
        while (focus != nullptr && GetParent(focus) != m_hWnd)
            focus = GetParent(focus);
        return focus != nullptr ? GetDlgCtrlID(focus) : 0;
    }
    bool IsTabStop(int id) const override
    {
        HWND item = Item(id);
        return item != nullptr && (GetWindowLongW(item, GWL_STYLE) & WS_TABSTOP) != 0;
    }

    std::string GetItemText(int id) const override
    {
        HWND item = Item(id);
        if (item == nullptr)
            return {};
        return WindowText(item);
    }
    void SetItemText(int id, const std::string& text) override
    {
        HWND item = Item(id);
        if (item == nullptr)
            return;
        if (IsCombo(id)) {
            const std::wstring wide = Widen(text);
            SendMessageW(item, CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(wide.c_str()));
            return;
        }
        // An edit given its own text again keeps its caret.
        if (WindowText(item) != text)
            SetWindowTextW(item, Widen(text).c_str());
    }

    int GetCheck(int id) const override { return IsDlgButtonChecked(m_hWnd, id) == BST_CHECKED ? 1 : 0; }
    void SetCheck(int id, int check) override { CheckDlgButton(m_hWnd, id, check != 0 ? BST_CHECKED : BST_UNCHECKED); }

    int GetCurSel(int id) const override
    {
        return IsCombo(id) ? static_cast<int>(SendDlgItemMessageW(m_hWnd, id, CB_GETCURSEL, 0, 0)) : -1;
    }
    void SetCurSel(int id, int index) override
    {
        // An index outside the list clears the selection.
        SendDlgItemMessageW(m_hWnd, id, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    }
    std::vector<std::string> GetItemList(int id) const override
    {
        std::vector<std::string> entries;
        if (!IsCombo(id))
            return entries;
        const auto count = SendDlgItemMessageW(m_hWnd, id, CB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; ++i) {
            std::wstring text(static_cast<std::size_t>(SendDlgItemMessageW(m_hWnd, id, CB_GETLBTEXTLEN, i, 0)) + 1,
                              L'\0');
            const auto length = SendDlgItemMessageW(m_hWnd, id, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text.data()));
            text.resize(static_cast<std::size_t>(std::max<LRESULT>(length, 0)));
            entries.push_back(Narrow(text));
        }
        return entries;
    }

    int AddListItem(int id, const std::string& text) override
    {
        if (!IsCombo(id))
            return -1;
        // The list is not sorted: the entry goes to the end.
        const LRESULT index =
            SendDlgItemMessageW(m_hWnd, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(text).c_str()));
        return index >= 0 ? static_cast<int>(index) : -1;
    }

    void SetProgressRange(int id, int lower, int upper) override
    {
        SendDlgItemMessageW(m_hWnd, id, PBM_SETRANGE32, static_cast<WPARAM>(lower), upper);
    }
    void SetProgressPos(int id, int position) override
    {
        SendDlgItemMessageW(m_hWnd, id, PBM_SETPOS, static_cast<WPARAM>(position), 0);
    }
    int GetProgressPos(int id) const override
    {
        return static_cast<int>(SendDlgItemMessageW(m_hWnd, id, PBM_GETPOS, 0, 0));
    }

    Rect ItemRect(int id) const override
    {
        HWND item = Item(id);
        RECT rect{};
        if (item == nullptr || !GetWindowRect(item, &rect))
            return {};
        MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&rect), 2);
        return Rect{rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
    }

    // With the base units of the template's font, as Windows laid out the dialog.
    Rect MapDialogRect(const Rect& units) const override
    {
        // Each of the four converted on its own, as the dialog manager places controls.
        RECT rect{units.x, units.y, units.width, units.height};
        ::MapDialogRect(m_hWnd, &rect);
        return Rect{rect.left, rect.top, rect.right, rect.bottom};
    }

    std::string GetWindowText() const override { return WindowText(m_hWnd); }
    void SetWindowText(const std::string& text) override { SetWindowTextW(m_hWnd, Widen(text).c_str()); }
    void SetIcon(int resourceId) override
    {
        SendMessageW(m_hWnd, WM_SETICON, ICON_BIG,
                     reinterpret_cast<LPARAM>(LoadProgramIcon(resourceId, GetSystemMetrics(SM_CXICON))));
        SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL,
                     reinterpret_cast<LPARAM>(LoadProgramIcon(resourceId, GetSystemMetrics(SM_CXSMICON))));
    }
    void SetItemIcon(int id, int resourceId) override
    {
        HWND item = Item(id);
        if (item == nullptr)
            return;
        // The label becomes an icon control of the icon's size.
        const LONG style = GetWindowLongW(item, GWL_STYLE);
        SetWindowLongW(item, GWL_STYLE, (style & ~SS_TYPEMASK) | SS_ICON | SS_REALSIZEIMAGE);
        SendMessageW(item, STM_SETICON, reinterpret_cast<WPARAM>(LoadProgramIcon(resourceId, 32)), 0);
    }

    void InvalidateItem(int id) override
    {
        if (HWND item = Item(id))
            InvalidateRect(item, nullptr, FALSE);
    }

    void SetTimer(int id, int milliseconds) override
    {
        ::SetTimer(m_hWnd, static_cast<UINT_PTR>(id), static_cast<UINT>(std::max(milliseconds, 1)), nullptr);
        m_timers.insert(id);
    }
    void KillTimer(int id) override
    {
        ::KillTimer(m_hWnd, static_cast<UINT_PTR>(id));
        m_timers.erase(id);
    }
    bool IsTimerRunning(int id) const override { return m_timers.count(id) != 0; }

    // The kit's message loop looks at every key before the focused control does.
    void StartKeyWatch() override {}

    void AppendSystemMenuItem(unsigned commandId, const std::string& text) override
    {
        HMENU menu = GetSystemMenu(m_hWnd, FALSE);
        if (menu == nullptr || text.empty())
            return;
        if (m_systemCommands.empty())
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(menu, MF_STRING, commandId, Widen(text).c_str());
        m_systemCommands.insert(commandId);
    }

    // A key the dialog watches, pressed in one of its controls or in itself:
    // delivered and taken away from the control.
    bool PreTranslateKey(const MSG& msg)
    {
        if (msg.message != WM_KEYDOWN || msg.wParam < 'A' || msg.wParam > 'Z' || GetKeyState(VK_CONTROL) >= 0 ||
            GetKeyState(VK_MENU) < 0)
            return false;
        // Another modal window has the keyboard: its keys are not this window's.
        if (CDialog* modal = ActiveModalDialog(); modal != nullptr && modal != &m_dialog)
            return false;
        return RouteKey(m_dialog, Hotkey{ModControl, static_cast<char>(msg.wParam)});
    }

private:
    // The owner is enabled before the dialog hides, so that the activation
    // goes back to it and not to another program.
    void Hide()
    {
        m_othersDisabled.reset();
        if (m_disabledOwner != nullptr) {
            EnableWindow(m_disabledOwner, TRUE);
            if (GetActiveWindow() == m_hWnd)
                SetActiveWindow(m_disabledOwner);
            m_disabledOwner = nullptr;
        }
        ShowWindow(m_hWnd, SW_HIDE);
    }

    // The bitmaps are drawn on a grey that the system replaces by the dialog's
    // face colour as it loads them; the control takes the bitmap's size.
    void LoadPicture(const ControlTemplate& control)
    {
        HANDLE bitmap = LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(control.bitmap), IMAGE_BITMAP, 0, 0,
                                   LR_LOADMAP3DCOLORS | LR_SHARED);
        // Labels nobody addresses share one id: the control is the one made for
        // this template entry, found by its place among the dialog's children.
        HWND item = nullptr;
        int index = 0;
        for (HWND child = GetWindow(m_hWnd, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
            if (&m_dialog.Template().controls[static_cast<std::size_t>(index++)] == &control) {
                item = child;
                break;
            }
        }
        if (item != nullptr && bitmap != nullptr)
            SendMessageW(item, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap));
    }

    bool IsCombo(int id) const
    {
        const auto& controls = m_dialog.Template().controls;
        return std::any_of(controls.begin(), controls.end(),
                           [id](const ControlTemplate& c) { return c.id == id && c.kind == Kind::ComboBox; });
    }

    // The window a modal run belongs to: the one given at construction, else
    // the innermost modal run, else the program's main window.
    HWND ModalOwner() const
    {
        if (HWND owner = GetWindow(m_hWnd, GW_OWNER))
            return owner;
        return ModalOwnerWindow(m_hWnd);
    }

    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam)
    {
        switch (message) {
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            const int code = HIWORD(wParam);
            // A click (or a command sent from outside), or a new choice in a list;
            // an edit's notifications are not commands.
            if (code == BN_CLICKED || (code == CBN_SELCHANGE && IsCombo(id) && lParam != 0))
                RouteCommand(m_dialog, id);
            return TRUE;
        }
        case WM_TIMER:
            if (m_timers.count(static_cast<int>(wParam)) != 0)
                RouteTimer(m_dialog, static_cast<int>(wParam));
            return TRUE;
        case WM_SYSCOMMAND:
            if (m_systemCommands.count(static_cast<unsigned>(wParam & 0xFFF0)) != 0) {
                RouteSysCommand(m_dialog, static_cast<unsigned>(wParam));
                return TRUE;
            }
            return FALSE;
        case WM_DRAWITEM:
            DrawCanvas(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
            return TRUE;
        case WM_CLOSE:
            // The close box and Alt+F4 turn into the same cancel command as Escape.
            if (!(m_dialog.Template().style & NoCloseBox))
                RouteCancel(m_dialog);
            return TRUE;
        default:
            (void)lParam;
            return FALSE;
        }
    }

    // Drawn off the screen first and then copied, so that a redraw every tick
    // does not flicker.
    void DrawCanvas(const DRAWITEMSTRUCT& item)
    {
        const int width = item.rcItem.right - item.rcItem.left;
        const int height = item.rcItem.bottom - item.rcItem.top;
        HDC memory = CreateCompatibleDC(item.hDC);
        HBITMAP bitmap = CreateCompatibleBitmap(item.hDC, width, height);
        HGDIOBJ previousBitmap = SelectObject(memory, bitmap);
        HGDIOBJ previousFont = SelectObject(memory, reinterpret_cast<HGDIOBJ>(SendMessageW(m_hWnd, WM_GETFONT, 0, 0)));
        GdiPainter painter(memory, width, height);
        RouteDraw(m_dialog, static_cast<int>(item.CtlID), painter);
        BitBlt(item.hDC, item.rcItem.left, item.rcItem.top, width, height, memory, 0, 0, SRCCOPY);
        SelectObject(memory, previousFont);
        SelectObject(memory, previousBitmap);
        DeleteObject(bitmap);
        DeleteDC(memory);
    }

    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_INITDIALOG) {
            auto* self = reinterpret_cast<Win32Dialog*>(lParam);
            SetWindowLongPtrW(window, GWLP_USERDATA, lParam);
            Dialogs()[window] = self;
            // The kit's InitDialog places the focus.
            return FALSE;
        }
        auto* self = reinterpret_cast<Win32Dialog*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        return self != nullptr ? self->OnMessage(message, wParam, lParam) : FALSE;
    }

    CDialog& m_dialog;
    HWND m_hWnd = nullptr;
    std::set<int> m_timers;
    std::set<unsigned> m_systemCommands;
    int m_pendingFocus = 0;
    HWND m_disabledOwner = nullptr;
    std::optional<OtherWindowsDisabled> m_othersDisabled;
    bool m_ended = false;
    int m_result = kEndedWithoutResult;
};

Win32Dialog* DialogOf(HWND window)
{
    HWND root = window != nullptr ? GetAncestor(window, GA_ROOT) : nullptr;
    const auto found = Dialogs().find(root);
    return found != Dialogs().end() ? found->second : nullptr;
}

} // namespace

bool IsKitWindow(HWND window)
{
    return DialogOf(window) != nullptr;
}

HWND ModalOwnerWindow(HWND except)
{
    for (auto it = ModalRuns().rbegin(); it != ModalRuns().rend(); ++it) {
        if (HWND window = DialogWindow(**it); window != except)
            return window;
    }
    for (const auto& [window, dialog] : Dialogs()) {
        if (window != except && (dialog->Dialog().Template().style & AppWindow) && ::IsWindowVisible(window))
            return window;
    }
    return nullptr;
}

OtherWindowsDisabled::OtherWindowsDisabled(HWND modal, HWND owner)
{
    for (const auto& entry : Dialogs()) {
        HWND window = entry.first;
        if (window != modal && window != owner && ::IsWindowVisible(window) && IsWindowEnabled(window)) {
            EnableWindow(window, FALSE);
            m_disabled.push_back(window);
        }
    }
}

OtherWindowsDisabled::~OtherWindowsDisabled()
{
    // A window destroyed meanwhile has left the kit's table.
    for (HWND window : m_disabled) {
        if (Dialogs().count(window) != 0)
            EnableWindow(window, TRUE);
    }
}

std::unique_ptr<DialogBackend> CreateDialogBackend(CDialog& dialog, CDialog* parent)
{
    return std::make_unique<Win32Dialog>(dialog, parent);
}

HWND DialogWindow(const CDialog& dialog)
{
    return static_cast<Win32Dialog&>(dialog.Backend()).Window();
}

HWND ItemWindow(const CDialog& dialog, int id)
{
    return GetDlgItem(DialogWindow(dialog), id);
}

void DispatchKitMessage(MSG& msg)
{
    Win32Dialog* dialog = DialogOf(msg.hwnd);
    if (dialog != nullptr) {
        if (dialog->PreTranslateKey(msg))
            return;
        // Tab, Enter, Escape and the arrow keys as the dialog manager gives them.
        if (IsDialogMessageW(dialog->Window(), &msg))
            return;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}

} // namespace ui
