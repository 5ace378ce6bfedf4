// The main window's side of the commissioning record: what it notes of each
// change, and the refusal of a change the record could not note.

#include "app/main_dlg.h"
#include "link/serial_device.h"
#include "params/parameter_file.h"

using namespace ui;

bool CMainDlg::RecordAllowsChange(const CDialog* owner)
{
    if (!m_record.On() || m_record.Writable())
        return true;
    ui::MessageBox(owner != nullptr ? owner : this, RecordNotWritableMessage(m_record.Path()), "Fehler",
                   MB_OK | MB_ICONEXCLAMATION);
    return false;
}

void CMainDlg::Record(RecordEntry entry)
{
    if (!m_record.On())
        return;
    entry.port = "COM" + std::to_string(m_nComPort);
    const std::string device = DeviceDisplayName(SerialDevicePath(m_nComPort));
    entry.device = device != entry.port ? device : "";
    entry.version = m_deviceInfo.VER;
    // The change has happened: the operator must know that it is not noted.
    if (!m_record.Append(entry))
        AfxMessageBox(CannotWriteMessage(m_record.FilePath()), MB_OK | MB_ICONEXCLAMATION);
}

void CMainDlg::RecordFoundSet()
{
    if (!m_record.On())
        return;
    if (m_record.LastShows("COM" + std::to_string(m_nComPort), shownSet))
        return;
    RecordEntry entry;
    entry.action = record::kFound;
    entry.set = shownSet;
    // Nothing was changed: a record that cannot be written now is said so at the next change.
    if (m_record.Writable())
        Record(entry);
}
