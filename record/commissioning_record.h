#pragma once
// The commissioning record: one line per change made to a relay (a parameter
// write, a calibration, the port test, a firmware update) and per set found on
// first contact, in one CSV file that a German spreadsheet opens as it stands:
// UTF-8 with a byte-order mark, ';' between the fields, a decimal comma, one
// header line. The file only grows: every entry is appended under a lock that
// the window and korvenctl both take, and is on the disk before the append
// returns. A line cut off by a crash or a power cut is ended by the next
// append, and its check digits (the last field) tell it apart.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "params/parameter_set.h"
#include "trend/reading_history.h"

// What was done, as the record's "Vorgang" column names it.
namespace record {
inline constexpr const char* kParametersWritten = "Parameter geschrieben";
inline constexpr const char* kParametersFromFile = "Parameter aus Datei geschrieben";
// A commissioned set written back: its "Datei" names the entry or the file it came from.
inline constexpr const char* kParametersRestored = "Parameter wiederhergestellt";
inline constexpr const char* kCalibrated0V = "Kalibrierung 0V";
inline constexpr const char* kCalibrated100V = "Kalibrierung 100V";
inline constexpr const char* kPortTest = "Test COM3";
inline constexpr const char* kFirmwareUpdate = "Firmware-Update";
inline constexpr const char* kFound = "Vorgefunden"; // the set a relay held on first contact
// The "Ergebnis" of the entry that a change gets before its first frame; its
// outcome follows in an entry of its own, so a crash between the two shows.
inline constexpr const char* kStarted = "begonnen";
} // namespace record

// Why the record could not take an entry.
enum class RecordProblem {
    None,
    CannotWrite,   // a removed stick, a folder in the file's place, a failed write or sync
    NoFolder,      // the file's folder does not exist
    NotPermitted,  // the file or its folder may not be written by this user
    ReadOnly,      // the medium is read-only (a locked card, a share mounted read-only)
    NoRoom,        // the disk is (nearly) full
    InUse,         // another program held the record's lock for longer than files::kLockWait
    OpenElsewhere, // another program keeps the file open against writers (a spreadsheet on Windows)
};

struct RecordEntry {
    std::string action;                 // one of record::k...
    std::string outcome;                // what the operator was told ("Übertragung der Daten ok.")
    std::string port;                   // "COM1", or the device path korvenctl was given
    std::string device;                 // the device behind COMn on POSIX; empty where it is the port itself
    std::string version;                // the relay's version text as last read
    std::string file;                   // the parameter or HEX file's name
    std::string sha256;                 // the digest of the firmware image programmed
    std::optional<ParameterSet> before; // the relay's set before the change, as the preview showed it
    std::optional<ParameterSet> set;    // the set sent, or the set found
};

// The record's columns, in their order.
enum RecordColumn : std::size_t {
    kTimeColumn,
    kPortColumn,
    kDeviceColumn,
    kVersionColumn,
    kActionColumn,
    kOutcomeColumn,
    kFileColumn,
    kDigestColumn,
    kBeforeColumns,                   // eight: the set before, SWB UPL UPP UMI UMM HYS SVZ INV
    kSetColumns = kBeforeColumns + 8, // eight: the set sent or found
    kCheckColumn = kSetColumns + 8,   // CRC-32 of the line before it, eight hex digits
    kRecordColumns,
};

// The byte-order mark, the header line and its line end.
std::string RecordHeader();
// The entry's line at time (local time with its offset from UTC), with its line end.
std::string RecordLine(const RecordEntry& entry, WallClock::time_point time);
// The fields of a whole line (without its line end); nothing for a line that was
// cut off or damaged, or has other columns.
std::optional<std::vector<std::string>> ParseRecordLine(std::string_view line);
// The set of the eight columns from first on; nothing where they are empty.
std::optional<ParameterSet> RecordedSet(const std::vector<std::string>& fields, std::size_t first);

class CommissioningRecord {
public:
    CommissioningRecord() = default; // off: nothing is recorded
    explicit CommissioningRecord(std::string path) : m_path(std::move(path)) {}

    bool On() const { return !m_path.empty(); }
    // The file the settings name.
    const std::string& Path() const { return m_path; }
    // The file entries go to: Path(), or where that holds other columns (an
    // older version of the record), the first "<name>-2.csv", "<name>-3.csv" ...
    // beside it that holds ours or does not exist.
    std::string FilePath() const;

    // Whether an entry can be appended now: the file opens for appending (and is
    // created, with its header, where it is missing), and its disk has room.
    bool Writable(RecordProblem* problem = nullptr) const;
    // Appends the entry's line, synced to the disk; false when it did not get there.
    bool Append(const RecordEntry& entry, WallClock::time_point time = WallClock::now(),
                RecordProblem* problem = nullptr) const;
    // Appends the entry of a change about to start (its "Ergebnis" record::kStarted),
    // synced to the disk, where the disk has room for its outcome as well; false
    // when it did not get there: then the change must not start.
    bool AppendStart(RecordEntry entry, WallClock::time_point time = WallClock::now(),
                     RecordProblem* problem = nullptr) const;
    // Appends an entry of a set found (record::kFound) unless the newest entry of
    // its port with a set shows that set already; looked at and appended under
    // one lock. A port whose last set lies further back than the tail that is
    // searched gets the entry again. True when it is there or was there.
    bool AppendFoundSet(const RecordEntry& entry, WallClock::time_point time = WallClock::now(),
                        RecordProblem* problem = nullptr) const;

    // The fields of the newest whole entries, newest first, at most count; read
    // from the end of the file, so that a large record shows as fast as a small one.
    // Each search below reads the file's last megabyte at most (some 4,000
    // entries): it runs under the lock that every writer waits for.
    std::vector<std::vector<std::string>> LastEntries(std::size_t count) const;
    // The newest entry for port that shows a set the relay held; nothing when
    // there is none, or none in the tail searched.
    std::optional<std::vector<std::string>> LastEntryWithSet(const std::string& port) const;
    // The newest whole entry of port that wrote a set and was acknowledged by the
    // relay: the set it was commissioned with. The tail is searched first, under
    // one lock; an entry further back is looked for a tail's worth per lock, so
    // that it is found however old it is, at a cost that grows with its age.
    // Nothing when there is none; *readable false when the file could not be read.
    std::optional<std::vector<std::string>> CommissionedEntry(const std::string& port, bool* readable = nullptr) const;

private:
    std::string m_path;
};

// Whether fields are an entry of port that wrote a set the relay acknowledged.
bool IsCommissioningEntry(const std::vector<std::string>& fields, const std::string& port);

// The entries as the record window lists them, one a line:
// "2026-12-09 07:59:03  COM1  Parameter geschrieben: Übertragung der Daten ok."
// The start of a change is left out where the port's next entry is its outcome,
// and marked where it has none (a crash, or a change still running elsewhere).
std::string RecordListText(const std::vector<std::vector<std::string>>& entries);

// The record that [PROTOKOLL] DATEI of the settings file at iniPath names, a
// relative path taken from the settings file's folder; off where it names none.
CommissioningRecord RecordOfSettings(const std::string& iniPath);
// Names the record in the settings file (an empty path switches it off).
bool WriteRecordSetting(const std::string& recordPath, const std::string& iniPath);

// The record's box when a change is refused because the record cannot be written.
std::string RecordNotWritableMessage(const std::string& path, RecordProblem problem = RecordProblem::CannotWrite);
// The box when the outcome of a change that has happened could not be noted.
std::string RecordLostMessage(const CommissioningRecord& record, RecordProblem problem);
