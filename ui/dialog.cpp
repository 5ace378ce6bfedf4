#include "ui/dialog.h"

#include <algorithm>

#include "ui/app.h"
#include "ui/dialog_backend.h"

namespace ui {

std::vector<CDialog*>& ModalRuns()
{
    static std::vector<CDialog*> runs;
    return runs;
}

CDialog* ActiveModalDialog()
{
    return ModalRuns().empty() ? nullptr : ModalRuns().back();
}

CDialog::CDialog(const DialogTemplate& tpl, CDialog* parent) : m_template(tpl)
{
    m_backend = CreateDialogBackend(*this, parent);
}

CDialog::~CDialog()
{
    // The window goes first, while the handler tables it may still route to are there.
    m_backend.reset();
}

int CDialog::DoModal()
{
    InitDialog();
    ModalRuns().push_back(this);
    const int result = m_backend->RunModal();
    ModalRuns().erase(std::find(ModalRuns().begin(), ModalRuns().end(), this));
    return result;
}

void CDialog::InitDialog()
{
    if (m_initialized)
        return;
    m_initialized = true;
    if (OnInitDialog()) {
        // As on the classic dialog manager: true gives the first tab stop the
        // focus, even where the dialog put it elsewhere.
        for (const ControlTemplate& control : m_template.controls) {
            if (control.id != IDC_STATIC && IsItemVisible(control.id) && m_backend->IsTabStop(control.id)) {
                SetFocusTo(control.id);
                break;
            }
        }
    }
}

void CDialog::Show()
{
    m_backend->Show();
}

void CDialog::EndDialog(int result)
{
    if (CanEnd())
        m_backend->End(result);
}

bool CDialog::IsWindowVisible() const
{
    return m_backend->IsWindowVisible();
}

bool CDialog::HasItem(int id) const
{
    return m_backend->HasItem(id);
}

void CDialog::ShowItem(int id, bool show)
{
    m_backend->ShowItem(id, show);
}

bool CDialog::IsItemVisible(int id) const
{
    return m_backend->IsItemVisible(id);
}

void CDialog::EnableItem(int id, bool enable)
{
    m_backend->EnableItem(id, enable);
}

void CDialog::SetFocusTo(int id)
{
    m_backend->SetFocusTo(id);
}

int CDialog::FocusedItem() const
{
    return m_backend->FocusedItem();
}

std::string CDialog::GetItemText(int id) const
{
    return m_backend->GetItemText(id);
}

void CDialog::SetItemText(int id, const std::string& text)
{
    m_backend->SetItemText(id, text);
}

int CDialog::GetCheck(int id) const
{
    return m_backend->GetCheck(id);
}

void CDialog::SetCheck(int id, int check)
{
    m_backend->SetCheck(id, check);
}

int CDialog::GetCurSel(int id) const
{
    return m_backend->GetCurSel(id);
}

void CDialog::SetCurSel(int id, int index)
{
    m_backend->SetCurSel(id, index);
}

std::vector<std::string> CDialog::GetItemList(int id) const
{
    return m_backend->GetItemList(id);
}

int CDialog::AddListItem(int id, const std::string& text)
{
    return m_backend->AddListItem(id, text);
}

void CDialog::SetProgressRange(int id, int lower, int upper)
{
    m_backend->SetProgressRange(id, lower, upper);
}

void CDialog::SetProgressPos(int id, int position)
{
    m_backend->SetProgressPos(id, position);
}

int CDialog::GetProgressPos(int id) const
{
    return m_backend->GetProgressPos(id);
}

Rect CDialog::ItemRect(int id) const
{
    return m_backend->ItemRect(id);
}

Rect CDialog::MapDialogRect(const Rect& units) const
{
    return m_backend->MapDialogRect(units);
}

std::string CDialog::GetWindowText() const
{
    return m_backend->GetWindowText();
}

void CDialog::SetWindowText(const std::string& text)
{
    m_backend->SetWindowText(text);
}

void CDialog::SetIcon(int resourceId)
{
    m_backend->SetIcon(resourceId);
}

void CDialog::SetItemIcon(int id, int resourceId)
{
    m_backend->SetItemIcon(id, resourceId);
}

void DDX_Text(DataExchange& dx, int id, std::string& value)
{
    if (dx.Saving())
        value = dx.Dialog().GetItemText(id);
    else
        dx.Dialog().SetItemText(id, value);
}

void DDX_Check(DataExchange& dx, int id, int& value)
{
    if (!dx.Dialog().HasItem(id))
        return;
    if (dx.Saving())
        value = dx.Dialog().GetCheck(id);
    else
        dx.Dialog().SetCheck(id, value != 0 ? 1 : 0);
}

bool CDialog::UpdateData(bool saveAndValidate)
{
    DataExchange dx(*this, saveAndValidate);
    DoDataExchange(dx);
    return true;
}

void CDialog::SetTimer(int id, int milliseconds)
{
    m_backend->SetTimer(id, milliseconds);
}

void CDialog::KillTimer(int id)
{
    m_backend->KillTimer(id);
}

bool CDialog::IsTimerRunning(int id) const
{
    return m_backend->IsTimerRunning(id);
}

int CDialog::MessageBox(const std::string& text, const std::string& caption, unsigned type)
{
    return ui::MessageBox(this, text, caption, type);
}

void CDialog::SendCommand(int id)
{
    const auto found = m_commands.find(id);
    if (found != m_commands.end()) {
        found->second();
        return;
    }
    if (id == IDOK)
        OnOK();
    else if (id == IDCANCEL)
        OnCancel();
}

void CDialog::DoDataExchange(DataExchange&) {}

bool CDialog::OnInitDialog()
{
    UpdateData(false);
    return true;
}

void CDialog::OnOK()
{
    UpdateData(true);
    EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

void CDialog::OnTimer(int) {}

void CDialog::OnSysCommand(unsigned) {}

void CDialog::OnWatchedKey(Hotkey) {}

void CDialog::WatchKey(Hotkey key)
{
    if (m_watchedKeys.empty())
        m_backend->StartKeyWatch();
    m_watchedKeys.push_back(key);
}

bool CDialog::IsWatched(Hotkey key) const
{
    return std::find(m_watchedKeys.begin(), m_watchedKeys.end(), key) != m_watchedKeys.end();
}

bool DialogBackend::RouteKey(CDialog& dialog, Hotkey key)
{
    if (!dialog.IsWatched(key))
        return false;
    dialog.OnWatchedKey(key);
    return true;
}

void CDialog::OnClicked(int id, std::function<void()> handler)
{
    m_commands[id] = std::move(handler);
}

void CDialog::OnSelChange(int id, std::function<void()> handler)
{
    m_commands[id] = std::move(handler);
}

void CDialog::OnDraw(int id, std::function<void(Painter&)> handler)
{
    m_draws[id] = std::move(handler);
}

void CDialog::InvalidateItem(int id)
{
    m_backend->InvalidateItem(id);
}

void CDialog::DrawItem(int id, Painter& painter)
{
    const auto found = m_draws.find(id);
    if (found != m_draws.end())
        found->second(painter);
}

void CDialog::AppendSystemMenuItem(unsigned commandId, const std::string& text)
{
    m_backend->AppendSystemMenuItem(commandId, text);
}

} // namespace ui
