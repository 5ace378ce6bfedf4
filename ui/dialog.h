#pragma once
// The dialog kit's window: a QDialog built from a template, with controls found
// by id, data exchange between members and controls, window timers by id,
// command handlers by id and modal runs with an integer result.

#include <QDialog>
#include <QKeyCombination>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ui/dialog_template.h"
#include "ui/message_seam.h"

class QTimer;

namespace ui {

class CDialog;

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

// What a modal run returns when it ended without a result.
inline constexpr int kNoResult = -1;

class CDialog : public QDialog {
    Q_OBJECT

public:
    explicit CDialog(const DialogTemplate& tpl, QWidget* parent = nullptr);
    ~CDialog() override;

    // Runs the dialog's initialisation (once) and then the modal loop.
    // Returns IDOK, IDCANCEL or whatever EndDialog was given; kNoResult when the
    // run ended without EndDialog (the program quit while the window was open).
    int DoModal();
    // Runs OnInitDialog once without entering a modal loop (tests, embedding).
    void InitDialog();
    void EndDialog(int result);
    // Every end with a result comes through here.
    void done(int result) override;

    QWidget* GetDlgItem(int id) const;
    template <class T> T* Item(int id) const { return qobject_cast<T*>(GetDlgItem(id)); }
    void ShowItem(int id, bool show);
    void SetFocusTo(int id);
    std::string GetItemText(int id) const;
    void SetItemText(int id, const std::string& text);

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
    void WatchKey(QKeyCombination key);

    // A message box owned by this window.
    int MessageBox(const std::string& text, const std::string& caption, unsigned type = MB_OK);

    // Routes a command id as a click of that control would (and as commands
    // sent from outside the program arrive).
    void SendCommand(int id);
    // Delivers a tick of timer id at once, as the timer would.
    void SendTimer(int id) { OnTimer(id); }
    // Delivers a system-menu command, as choosing the entry would.
    void SendSysCommand(unsigned id) { OnSysCommand(id); }

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
    virtual void OnWatchedKey(QKeyCombination key);

    // Message map entries: a click of button id, a selection change of combo id.
    void OnClicked(int id, std::function<void()> handler);
    void OnSelChange(int id, std::function<void()> handler);

    // Qt's entry points, routed to the handlers above.
    void accept() override;
    void reject() override;
    void closeEvent(QCloseEvent* event) override;
    bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;
    // Sees every event of the application once a key is watched, and the keys
    // of multi-line edits without the want-return style.
    bool eventFilter(QObject* watched, QEvent* event) override;

    // Appends a separator and a command to the window's system menu (or, where
    // the window manager's menu can't be extended, to the background's context
    // menu); choosing it calls OnSysCommand(commandId).
    void AppendSystemMenuItem(unsigned commandId, const std::string& text);

private:
    void CreateControls();
    QWidget* CreateControl(const ControlTemplate& control);

    friend struct SystemMenuAccess;

    DialogTemplate m_template;
    std::map<int, QWidget*> m_items;
    std::map<int, QTimer*> m_timers;
    std::map<int, std::function<void()>> m_commands;
    std::vector<QKeyCombination> m_watchedKeys;
    bool m_initialized = false;
    bool m_endedWithResult = false;
};

// The dialogs' fonts: the system sans-serif at the template's size, or the
// system fixed-pitch font.
QFont DialogFont(int pointSize, bool fixedPitch);

} // namespace ui
