#pragma once
// The kit's private seam between CDialog and its realisation: one backend per
// platform (ui/qt, ui/win32) derives from DialogBackend and makes the window,
// its controls and its timers; CDialog forwards to it and keeps the logic that
// is the same everywhere. A backend calls back through the routes below.

#include <memory>
#include <string>
#include <vector>

#include "ui/app.h"
#include "ui/dialog.h"

namespace ui {

class DialogBackend {
public:
    virtual ~DialogBackend() = default;

    virtual int RunModal() = 0;
    virtual void End(int result) = 0;
    virtual void Show() = 0;
    virtual bool IsWindowVisible() const = 0;

    virtual bool HasItem(int id) const = 0;
    virtual void ShowItem(int id, bool show) = 0;
    virtual bool IsItemVisible(int id) const = 0;
    virtual void EnableItem(int id, bool enable) = 0;
    virtual void SetFocusTo(int id) = 0;
    virtual int FocusedItem() const = 0;
    // Whether the control takes the focus by Tab (for the first tab stop).
    virtual bool IsTabStop(int id) const = 0;
    virtual std::string GetItemText(int id) const = 0;
    virtual void SetItemText(int id, const std::string& text) = 0;
    virtual int GetCheck(int id) const = 0;
    virtual void SetCheck(int id, int check) = 0;
    virtual int GetCurSel(int id) const = 0;
    virtual void SetCurSel(int id, int index) = 0;
    virtual std::vector<std::string> GetItemList(int id) const = 0;
    virtual int AddListItem(int id, const std::string& text) = 0;
    virtual void SetProgressRange(int id, int lower, int upper) = 0;
    virtual void SetProgressPos(int id, int position) = 0;
    virtual int GetProgressPos(int id) const = 0;
    virtual Rect ItemRect(int id) const = 0;
    virtual Rect MapDialogRect(const Rect& units) const = 0;
    virtual std::string GetWindowText() const = 0;
    virtual void SetWindowText(const std::string& text) = 0;
    virtual void SetIcon(int resourceId) = 0;
    virtual void SetItemIcon(int id, int resourceId) = 0;

    virtual void InvalidateItem(int id) = 0;

    virtual void SetTimer(int id, int milliseconds) = 0;
    virtual void KillTimer(int id) = 0;
    virtual bool IsTimerRunning(int id) const = 0;
    // Called when the first key is watched.
    virtual void StartKeyWatch() = 0;
    virtual void AppendSystemMenuItem(unsigned commandId, const std::string& text) = 0;

protected:
    // Routes from the window system to the dialog's handlers.
    static void RouteCommand(CDialog& dialog, int id) { dialog.SendCommand(id); }
    static void RouteOK(CDialog& dialog) { dialog.OnOK(); }
    static void RouteCancel(CDialog& dialog) { dialog.OnCancel(); }
    // A tick that falls due while a handler waits (BusyWait) is skipped.
    static void RouteTimer(CDialog& dialog, int id)
    {
        if (!InBusyWait())
            dialog.OnTimer(id);
    }
    static void RouteSysCommand(CDialog& dialog, unsigned id) { dialog.OnSysCommand(id); }
    static void RouteDraw(CDialog& dialog, int id, Painter& painter) { dialog.DrawItem(id, painter); }
    // True when the key was one the dialog watches; it has then been delivered.
    static bool RouteKey(CDialog& dialog, Hotkey key);
    static bool CanEnd(const CDialog& dialog) { return dialog.CanEnd(); }
};

// Made by the backend in force for each dialog.
std::unique_ptr<DialogBackend> CreateDialogBackend(CDialog& dialog, CDialog* parent);

// The dialogs whose modal runs are under way, innermost last.
std::vector<CDialog*>& ModalRuns();

} // namespace ui
