// korvenctl's side of the commissioning record: the same entries as the window's,
// noted by the command that makes the change.

#include "cli/session.h"
#include "files/utf8_path.h"
#include "link/port_list.h"
#include "link/serial_device.h"

#include <ostream>

namespace cli {

CommissioningRecord Session::Record() const
{
    if (!m_options.record.empty())
        return CommissioningRecord(AbsolutePathUtf8(m_options.record));
    return m_options.ini.empty() ? CommissioningRecord() : RecordOfSettings(AbsolutePathUtf8(m_options.ini));
}

bool Session::RecordAllowsChange() const
{
    const CommissioningRecord record = Record();
    if (!record.On() || record.Writable())
        return true;
    Fail(kExitOutput, RecordNotWritableMessage(record.Path()));
    return false;
}

bool Session::Note(RecordEntry entry) const
{
    const CommissioningRecord record = Record();
    if (!record.On())
        return true;
    entry.port = m_portName;
    if (const int number = ComNumberOf(entry.port); number > 0) {
        const std::string device = DeviceDisplayName(SerialDevicePath(number));
        entry.device = device != entry.port ? device : "";
    }
    entry.version = m_version;
    // A command that did not read the relay takes its version text from the record.
    if (entry.version.empty()) {
        if (const auto last = record.LastEntryWithSet(entry.port))
            entry.version = (*last)[kVersionColumn];
    }
    if (record.Append(entry))
        return true;
    Fail(kExitOutput, "korvenctl: the record " + record.FilePath() + " could not be written");
    return false;
}

void Session::NoteFoundSet(const ParameterSet& set, const DeviceInfo& info)
{
    m_version = info.VER;
    const CommissioningRecord record = Record();
    if (!record.On())
        return;
    const auto last = record.LastEntryWithSet(m_portName);
    if (last && RecordedSet(*last, kSetColumns) == set)
        return;
    RecordEntry entry;
    entry.action = record::kFound;
    entry.set = set;
    // Nothing was changed: a record that cannot be written is said so, and the command goes on.
    Note(entry);
}

} // namespace cli
