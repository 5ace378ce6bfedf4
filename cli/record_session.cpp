// korvenctl's side of the commissioning record: the same file and the same
// entries as the window's, the port named as this run opened it.

#include "cli/session.h"
#include "params/parameter_file.h"

#include <mutex>

namespace cli {

namespace {

// Taken around every use of the record. Over several ports each thread opens
// the record and takes its lock on its own; the lock's wait is bounded (a
// program that holds it for seconds is reported), and sixteen ports noting
// their changes at the same moment, each with a sync that a slow medium takes
// its time over, must queue here rather than run out of that bound.
std::mutex& RecordTurn()
{
    static std::mutex turn;
    return turn;
}

} // namespace

Session::Session(const Console& console, GlobalOptions options)
    : m_console(console), m_options(std::move(options)),
      m_record(!m_options.record.empty() ? CommissioningRecord(m_options.record)
               : m_options.ini.empty()   ? CommissioningRecord()
                                         : RecordOfSettings(m_options.ini))
{
}

bool Session::RecordAllowsChange()
{
    if (!m_record.On())
        return true;
    const std::lock_guard turn(RecordTurn());
    RecordProblem problem = RecordProblem::None;
    if (m_record.Writable(&problem))
        return true;
    Fail(kExitOutput, RecordNotWritableMessage(m_record.Path(), problem));
    return false;
}

bool Session::RecordStart(RecordEntry entry)
{
    if (!m_record.On())
        return true;
    const std::lock_guard turn(RecordTurn());
    PlaceEntry(entry);
    RecordProblem problem = RecordProblem::None;
    if (m_record.AppendStart(entry, WallClock::now(), &problem))
        return true;
    Fail(kExitOutput, RecordNotWritableMessage(m_record.Path(), problem));
    return false;
}

void Session::PlaceEntry(RecordEntry& entry) const
{
    // What this session opened and read, and nothing else: an entry never takes
    // a version text from another entry, which may name another relay.
    entry.port = m_portName;
    entry.device = m_device;
    entry.version = m_version;
}

int Session::Record(RecordEntry entry, int code)
{
    if (!m_record.On())
        return code;
    const std::lock_guard turn(RecordTurn());
    PlaceEntry(entry);
    RecordProblem problem = RecordProblem::None;
    if (m_record.Append(entry, WallClock::now(), &problem))
        return code;
    Fail(kExitOutput, RecordLostMessage(m_record, problem));
    return code == kExitOk ? kExitOutput : code;
}

void Session::RecordFoundSet(const ParameterSet& set, const std::string& version)
{
    m_version = version;
    m_set = set;
    if (!m_record.On())
        return;
    const std::lock_guard turn(RecordTurn());
    RecordEntry entry;
    entry.action = record::kFound;
    entry.set = set;
    PlaceEntry(entry);
    RecordProblem problem = RecordProblem::None;
    if (!m_record.AppendFoundSet(entry, WallClock::now(), &problem))
        Note(RecordLostMessage(m_record, problem));
}

} // namespace cli
