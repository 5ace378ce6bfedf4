// The main window's side of the commissioning record: what it notes of each
// change, before its first frame and after its outcome, and the refusal of a
// change the record could not note.

#include "app/main_dlg.h"
#include "port/serial_device.h"
#include "params/parameter_file.h"

using namespace ui;

bool CMainDlg::RecordAllowsChange(const CDialog* owner)
{
    RecordProblem problem = RecordProblem::None;
    if (!m_record.On() || m_record.Writable(&problem))
        return true;
    ui::MessageBox(owner != nullptr ? owner : this, RecordNotWritableMessage(m_record.Path(), problem), "Fehler",
                   MB_OK | MB_ICONEXCLAMATION);
    return false;
}

bool CMainDlg::RecordStart(RecordEntry entry, const CDialog* owner)
{
    if (!m_record.On())
        return true;
    PlaceEntry(entry);
    RecordProblem problem = RecordProblem::None;
    if (m_record.AppendStart(entry, WallClock::now(), &problem))
        return true;
    ui::MessageBox(owner != nullptr ? owner : this, RecordNotWritableMessage(m_record.Path(), problem), "Fehler",
                   MB_OK | MB_ICONEXCLAMATION);
    return false;
}

std::string CMainDlg::PortName() const
{
    return "COM" + std::to_string(m_nComPort);
}

void CMainDlg::PlaceEntry(RecordEntry& entry) const
{
    entry.port = PortName();
    const std::string device = DeviceDisplayName(SerialDevicePath(m_nComPort));
    entry.device = device != entry.port ? device : "";
    entry.version = m_deviceInfo.VER;
}

void CMainDlg::Record(RecordEntry entry)
{
    if (!m_record.On())
        return;
    PlaceEntry(entry);
    // The change has happened: the operator must know that it is not noted.
    RecordProblem problem = RecordProblem::None;
    if (!m_record.Append(entry, WallClock::now(), &problem))
        AfxMessageBox(RecordLostMessage(m_record, problem), MB_OK | MB_ICONEXCLAMATION);
}

void CMainDlg::RecordFoundSet()
{
    if (!m_record.On())
        return;
    RecordEntry entry;
    entry.action = record::kFound;
    entry.set = shownSet;
    PlaceEntry(entry);
    // Nothing was changed: a record that cannot take it is said so at the next change.
    m_record.AppendFoundSet(entry);
}
