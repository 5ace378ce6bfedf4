#pragma once
// The dialog kit's window: a dialog built from a template, with controls found
// by id, data exchange between members and controls, window timers by id,
// command handlers by id and modal runs with an integer result. The interface
// speaks only the kit's own types; a backend (Qt Widgets or Win32) realises it.

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ui/dialog_template.h"
#include "ui/message_seam.h"
#include "ui/painter.h"

namespace ui {

class CDialog;
class DialogBackend;

// A key with its modifiers, as a window watches for it.
enum : unsigned { ModControl = 1u << 0 };
struct Hotkey {
    unsigned modifiers; // ModControl
    char key;           // an upper-case letter
    bool operator==(const Hotkey&) const = default;
};
inline constexpr Hotkey kCtrlK{ModControl, 'K'};

// One data exchange: pulling controls into members (save) or pushing members
// to controls. Nothing is validated during an exchange.
class DataExchange {
public:
    DataExchange(CDialog& dialog, bool saveAndValidate) : m_dialog(dialog), m_bSaveAndValidate(saveAndValidate) {}
    CDialog& Dialog() const { return m_dialog; }
    bool Saving() const { return m_bSaveAndValidate; }

private:
    CDialog& m_dialog;
    bool m_bSaveAndValidate;
};

// Text of an edit, label, combo box or button.
void DDX_Text(DataExchange& dx, int id, std::string& value);
// Check state of a check box as 0 or 1.
void DDX_Check(DataExchange& dx, int id, int& value);

class CDialog {
public:
    explicit CDialog(const DialogTemplate& tpl, CDialog* parent = nullptr);
    virtual ~CDialog();
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    // Runs the dialog's initialisation (once) and then the modal loop.
    // Returns IDOK, IDCANCEL or whatever EndDialog was given; kEndedWithoutResult
    // when the loop ended without EndDialog (the program is quitting).
    int DoModal();
    // Runs OnInitDialog once without entering a modal loop (tests, embedding).
    void InitDialog();
    // Shows the window without a modal loop, in front of the program's other
    // windows (a window of its own beside the main window, or a test's window);
    // a minimized window comes back to its size.
    void Show();
    // Ends the modal run with result, unless CanEnd refuses.
    void EndDialog(int result);
    // Whether the window is on the screen: shown, and not yet ended.
    bool IsWindowVisible() const;

    // Controls by id. Visibility is the control's own flag, whether or not the
    // window itself is shown.
    bool HasItem(int id) const;
    void ShowItem(int id, bool show);
    bool IsItemVisible(int id) const;
    void EnableItem(int id, bool enable);
    void SetFocusTo(int id);
    // The id of the control with the focus; 0 when none of this window has it.
    int FocusedItem() const;
    std::string GetItemText(int id) const;
    void SetItemText(int id, const std::string& text);
    int GetCheck(int id) const;
    void SetCheck(int id, int check);
    // Combo boxes: the selected entry (-1 for none) and the entries.
    int GetCurSel(int id) const;
    void SetCurSel(int id, int index);
    std::vector<std::string> GetItemList(int id) const;
    // Adds an entry at the end of combo box id's list: its index, -1 where id is no combo box.
    int AddListItem(int id, const std::string& text);
    // Progress bars.
    void SetProgressRange(int id, int lower, int upper);
    void SetProgressPos(int id, int position);
    int GetProgressPos(int id) const;
    // A control's rectangle in pixels of the client area.
    Rect ItemRect(int id) const;
    // A rectangle in dialog units in pixels, as this window lays out its template.
    Rect MapDialogRect(const Rect& units) const;
    // The window's caption, and its icon by resource id.
    std::string GetWindowText() const;
    void SetWindowText(const std::string& text);
    void SetIcon(int resourceId);
    // A picture control (a label) shows the icon of resourceId at 32 by 32.
    void SetItemIcon(int id, int resourceId);

    // Canvas controls: asks for the control to be drawn again soon (not at once),
    // and draws it into painter as the window system asks for it.
    void InvalidateItem(int id);
    void DrawItem(int id, Painter& painter);

    // Pulls the controls into the members (true) or pushes the members (false).
    bool UpdateData(bool saveAndValidate = true);

    // Window timers by id, delivered to OnTimer(id). Setting a running timer
    // again restarts it with the new period.
    void SetTimer(int id, int milliseconds);
    void KillTimer(int id);
    bool IsTimerRunning(int id) const;

    // Asks to see key (Ctrl+K, say) whenever it is pressed in this window,
    // whichever of its controls has the focus, and before that control does.
    // The key is delivered to OnWatchedKey and taken from the control: the
    // window's own controls never act on it. Keys pressed while another modal
    // window is open are not delivered.
    void WatchKey(Hotkey key);

    // A message box owned by this window.
    int MessageBox(const std::string& text, const std::string& caption, unsigned type = MB_OK);

    // Routes a command id as a click of that control would (and as commands
    // sent from outside the program arrive).
    void SendCommand(int id);
    // Delivers a tick of timer id at once, as the timer would.
    void SendTimer(int id) { OnTimer(id); }
    // Delivers a system-menu command, as choosing the entry would.
    void SendSysCommand(unsigned id) { OnSysCommand(id); }

    const DialogTemplate& Template() const { return m_template; }
    DialogBackend& Backend() const { return *m_backend; }

protected:
    virtual void DoDataExchange(DataExchange& dx);
    // Default: push the members to the controls. true makes the kit put the
    // focus on the first tab stop, wherever the dialog put it; false keeps the
    // dialog's choice.
    virtual bool OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    virtual void OnTimer(int id);
    virtual void OnSysCommand(unsigned id);
    virtual void OnWatchedKey(Hotkey key);
    // Asked before the modal run ends; false keeps it running.
    virtual bool CanEnd() const { return true; }

    // Message map entries: a click of button id, a selection change of combo id.
    void OnClicked(int id, std::function<void()> handler);
    void OnSelChange(int id, std::function<void()> handler);
    // Draws canvas id.
    void OnDraw(int id, std::function<void(Painter&)> handler);

    // Appends a command to the window's system menu (or, where the window
    // manager's menu can't be extended, to the background's context menu), the
    // first one after a separator; choosing it calls OnSysCommand(commandId).
    void AppendSystemMenuItem(unsigned commandId, const std::string& text);

private:
    // The backend routes the window system's events to the handlers above.
    friend class DialogBackend;
    bool IsWatched(Hotkey key) const;

    DialogTemplate m_template;
    std::unique_ptr<DialogBackend> m_backend;
    std::map<int, std::function<void()>> m_commands;
    std::map<int, std::function<void(Painter&)>> m_draws;
    std::vector<Hotkey> m_watchedKeys;
    bool m_initialized = false;
};

// What a modal run returns when it ended without EndDialog: the program is
// quitting while the dialog is open.
inline constexpr int kEndedWithoutResult = -1;

} // namespace ui
