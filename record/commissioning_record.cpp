#include "record/commissioning_record.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>

#include "files/append_file.h"
#include "files/settings_file.h"
#include "files/utf8_path.h"
#include "params/parameter_file.h"
#include "params/relay_transfer.h"

namespace {

constexpr const char* kBom = "\xEF\xBB\xBF";
constexpr const char* kLineEnd = "\r\n";
// A line longer than this is no line of ours: the tail is not searched further.
constexpr std::size_t kLongestLine = 8192;
constexpr std::size_t kTailChunk = 64 * 1024;
// What is read from the end of the file at most, under the lock that every
// writer waits for (some 4,000 entries): the newest entries and a port's last
// set are looked for there only, so that a large record is held no longer than
// a small one.
constexpr std::uint64_t kSearchedTail = 1024 * 1024;
// Files beside one with other columns, tried in turn.
constexpr int kMostAlternatives = 99;
// Room an entry needs on the disk, with plenty to spare: a full disk opens a file
// for appending all the same, and only the write of the entry would fail, after
// the change it notes.
constexpr std::uintmax_t kRoomForAnEntry = 64 * 1024;

// The parameters in the order of the window's fields, with their captions.
struct ParameterColumn {
    const char* caption;
    std::string ParameterSet::*text; // nullptr: INV
};
constexpr std::array<ParameterColumn, 8> kParameterColumns = {{
    {"Sollwertbezug [V]", &ParameterSet::SWB},
    {"U > [%]", &ParameterSet::UPL},
    {"U >> [%]", &ParameterSet::UPP},
    {"U < [%]", &ParameterSet::UMI},
    {"U << [%]", &ParameterSet::UMM},
    {"Hysterese [%]", &ParameterSet::HYS},
    {"Schaltverzögerung [s]", &ParameterSet::SVZ},
    {"Invertieren", nullptr},
}};

std::uint32_t Crc32(std::string_view bytes)
{
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const char c : bytes) {
        crc ^= static_cast<unsigned char>(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

std::string CheckDigits(std::string_view bytes)
{
    char digits[9];
    std::snprintf(digits, sizeof digits, "%08X", static_cast<unsigned>(Crc32(bytes)));
    return digits;
}

// Whether a value cell is a number as the spreadsheet reads it ("-10,5").
bool IsDecimalNumber(std::string_view text)
{
    std::size_t i = !text.empty() && text[0] == '-' ? 1 : 0;
    const std::size_t digits = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9')
        ++i;
    if (i == digits)
        return false;
    if (i < text.size() && text[i] == ',') {
        const std::size_t fraction = ++i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9')
            ++i;
        if (i == fraction)
            return false;
    }
    return i == text.size();
}

// The first characters that make a spreadsheet read a cell as a formula (after
// blanks, which an import may trim).
constexpr std::string_view kFormulaStarts = "=+-@";
// Put before such a cell, it keeps it text: the usual guard.
constexpr char kTextGuard = '\'';

bool ReadsAsFormula(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(' ');
    return first != std::string_view::npos && kFormulaStarts.find(text[first]) != std::string_view::npos;
}

// A field as the spreadsheet reads it. Outside text (a version text, the name of
// a file or a device) may hold anything: line breaks of a message become one
// blank, every other control character a blank; a cell that would begin like a
// formula gets the guard, except a number in a value column; a field holding ';'
// or '"' is quoted.
std::string Field(std::string_view text, bool value = false)
{
    std::string plain;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\r' || c == '\n') {
            while (i + 1 < text.size() && (text[i + 1] == '\r' || text[i + 1] == '\n'))
                ++i;
            if (!plain.empty())
                plain += ' ';
        } else {
            plain += c < 0x20 || c == 0x7F ? ' ' : text[i];
        }
    }
    if (ReadsAsFormula(plain) && !(value && IsDecimalNumber(plain)))
        plain.insert(plain.begin(), kTextGuard);
    if (plain.find_first_of(";\"") == std::string::npos)
        return plain;
    std::string quoted = "\"";
    for (const char c : plain)
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

// The text a field was made of: without the guard Field put before it.
void Unguard(std::string& field)
{
    if (!field.empty() && field[0] == kTextGuard && ReadsAsFormula(std::string_view(field).substr(1)))
        field.erase(0, 1);
}

std::string DecimalComma(std::string text)
{
    std::replace(text.begin(), text.end(), '.', ',');
    return text;
}

std::string DecimalPoint(std::string text)
{
    std::replace(text.begin(), text.end(), ',', '.');
    return text;
}

// Eight fields of a set, or eight empty ones.
std::string SetFields(const std::optional<ParameterSet>& set)
{
    std::string fields;
    for (const ParameterColumn& column : kParameterColumns) {
        if (set)
            fields += column.text != nullptr ? Field(DecimalComma(*set.*column.text), true) : std::to_string(set->INV);
        fields += ';';
    }
    return fields;
}

// Days since 1970-01-01 of a civil date (the proleptic Gregorian calendar).
long long DaysFromCivil(long long year, unsigned month, unsigned day)
{
    year -= month <= 2 ? 1 : 0;
    const long long era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<long long>(dayOfEra) - 719468;
}

// "2026-10-25T02:30:00+02:00": the local time and its offset from UTC, which
// tells the two half past two of the autumn night apart.
std::string LocalTimeWithOffset(WallClock::time_point time)
{
    const std::time_t seconds = WallClock::to_time_t(time);
    const std::optional<std::tm> local = LocalCalendar(seconds);
    if (!local)
        return "";
    const long long localSeconds = DaysFromCivil(local->tm_year + 1900LL, static_cast<unsigned>(local->tm_mon + 1),
                                                 static_cast<unsigned>(local->tm_mday)) *
                                       86400 +
                                   local->tm_hour * 3600LL + local->tm_min * 60LL + local->tm_sec;
    const long long offsetMinutes = (localSeconds - static_cast<long long>(seconds)) / 60;
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &*local);
    char offset[40];
    const long long magnitude = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    std::snprintf(offset, sizeof offset, "%c%02lld:%02lld", offsetMinutes < 0 ? '-' : '+', magnitude / 60,
                  magnitude % 60);
    return std::string(text) + offset;
}

std::vector<std::string> SplitFields(std::string_view line)
{
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
            fields.back() += '"';
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == ';' && !quoted) {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

std::string HeaderText()
{
    std::string header = "Zeit;Schnittstelle;Gerät;Version;Vorgang;Ergebnis;Datei;SHA-256;";
    for (const ParameterColumn& column : kParameterColumns)
        header += std::string(column.caption) + " vorher;";
    for (const ParameterColumn& column : kParameterColumns)
        header += std::string(column.caption) + ";";
    return header + "Prüfsumme";
}

std::string AlternativePath(const std::string& path, int number)
{
    const std::filesystem::path original = PathFromUtf8(path);
    std::filesystem::path other = original.parent_path() / original.stem();
    other += "-";
    other += std::to_string(number);
    other += original.extension();
    return PathToUtf8(other);
}

enum class Fit { Ours, NotOurs, Failed };

// Whether the open file takes our lines; what must go before the next line
// (the header of an empty or half-made file, the end of a line cut off).
Fit Prepare(files::LockedAppendFile& file, std::string& prefix)
{
    const std::string header = RecordHeader();
    const std::optional<std::uint64_t> size = file.Size();
    if (!size)
        return Fit::Failed;
    const std::optional<std::string> head = file.ReadAt(0, header.size());
    if (!head)
        return Fit::Failed;
    if (*size < header.size()) {
        // Empty, or its header cut off while the file was made: the header's rest.
        if (header.compare(0, head->size(), *head) != 0)
            return Fit::NotOurs;
        prefix = header.substr(head->size());
        return Fit::Ours;
    }
    if (*head != header)
        return Fit::NotOurs;
    const std::optional<std::string> last = file.ReadAt(*size - 1, 1);
    if (!last)
        return Fit::Failed;
    prefix = *last == "\n" ? "" : kLineEnd;
    return Fit::Ours;
}

// An open file that takes our lines, locked: the record's, or one beside it.
struct OpenRecord {
    std::unique_ptr<files::LockedAppendFile> file;
    std::string path;   // the file's
    std::string prefix; // what must go before the next line
};

RecordProblem ProblemOf(files::AppendProblem problem)
{
    switch (problem) {
    case files::AppendProblem::None:
        return RecordProblem::None;
    case files::AppendProblem::Busy:
        return RecordProblem::InUse;
    case files::AppendProblem::HeldOpen:
        return RecordProblem::OpenElsewhere;
    case files::AppendProblem::NoFolder:
        return RecordProblem::NoFolder;
    case files::AppendProblem::NotPermitted:
        return RecordProblem::NotPermitted;
    case files::AppendProblem::ReadOnly:
        return RecordProblem::ReadOnly;
    case files::AppendProblem::CannotOpen:
        break;
    }
    return RecordProblem::CannotWrite;
}

// Sets *problem (where asked for) and returns whether there was none.
bool Report(RecordProblem* problem, RecordProblem found)
{
    if (problem != nullptr)
        *problem = found;
    return found == RecordProblem::None;
}

// Opens and locks the file that takes our lines; its file is null where none could be had.
OpenRecord OpenForAppending(const std::string& path, RecordProblem* problem)
{
    OpenRecord open;
    for (int number = 1; number <= kMostAlternatives + 1; ++number) {
        open.path = number == 1 ? path : AlternativePath(path, number);
        files::AppendProblem why = files::AppendProblem::None;
        open.file = files::LockedAppendFile::Open(open.path, &why);
        if (!open.file) {
            Report(problem, ProblemOf(why));
            return open;
        }
        switch (Prepare(*open.file, open.prefix)) {
        case Fit::Ours:
            Report(problem, RecordProblem::None);
            return open;
        case Fit::Failed:
            open.file.reset();
            Report(problem, RecordProblem::CannotWrite);
            return open;
        case Fit::NotOurs:
            break;
        }
    }
    open.file.reset();
    Report(problem, RecordProblem::CannotWrite);
    return open;
}

// Whether the file's disk has room for an entry.
bool HasRoom(const OpenRecord& open, RecordProblem* problem)
{
    const std::optional<std::uintmax_t> room = files::RoomFor(open.path);
    return Report(problem, room && *room < kRoomForAnEntry ? RecordProblem::NoRoom : RecordProblem::None);
}

bool AppendTo(OpenRecord& open, const RecordEntry& entry, WallClock::time_point time, RecordProblem* problem)
{
    return Report(problem, open.file->AppendSynced(open.prefix + RecordLine(entry, time)) ? RecordProblem::None
                                                                                          : RecordProblem::CannotWrite);
}

// Where a reading from the end has got to: the bytes from end on have been
// read; pending is the start of the line whose end was read last.
struct Backwards {
    std::uint64_t end = 0;
    std::string pending;
    bool going = true; // until a visit says it has what it looked for
};

// Calls visit with each whole line of the file's bytes from first to back.end
// that file gives, newest first, until it returns false; false when a read failed.
// Where a line must hold mustHold to be of interest, the others are passed over
// before their check digits are worked out, which is most of a search's cost.
template <typename Visit>
bool ReadBack(files::LockedAppendFile& file, std::uint64_t first, Backwards& back, Visit visit,
              std::string_view mustHold = {})
{
    while (back.going && back.end > first) {
        const std::uint64_t start = back.end - first > kTailChunk ? back.end - kTailChunk : first;
        std::optional<std::string> chunk = file.ReadAt(start, static_cast<std::size_t>(back.end - start));
        if (!chunk)
            return false;
        *chunk += back.pending;
        std::size_t lineEnd = chunk->size();
        for (std::size_t at = chunk->rfind('\n', lineEnd == 0 ? 0 : lineEnd - 1); back.going && at != std::string::npos;
             at = at == 0 ? std::string::npos : chunk->rfind('\n', at - 1)) {
            std::string_view line(chunk->data() + at + 1, lineEnd - at - 1);
            if (!line.empty() && line.back() == '\r')
                line.remove_suffix(1);
            if (line.find(mustHold) != std::string_view::npos) {
                if (const auto fields = ParseRecordLine(line))
                    back.going = visit(*fields);
            }
            lineEnd = at;
        }
        back.pending = chunk->substr(0, lineEnd);
        if (back.pending.size() > kLongestLine)
            back.pending.clear();
        back.end = start;
    }
    // The line cut by first is not whole: only the file's first line is.
    if (back.going && first == 0 && !back.pending.empty() && back.pending.find(mustHold) != std::string::npos) {
        if (const auto fields = ParseRecordLine(back.pending))
            back.going = visit(*fields);
        back.pending.clear();
    }
    return true;
}

// Where a search of the file's last kSearchedTail bytes begins.
std::uint64_t TailStart(std::uint64_t end)
{
    return end > kSearchedTail ? end - kSearchedTail : 0;
}

// Calls visit with each whole line of the open file's last kSearchedTail bytes,
// newest first, until it returns false; a file that cannot be read ends the visit.
template <typename Visit> void ReadFromTheEnd(files::LockedAppendFile& file, Visit visit)
{
    const std::optional<std::uint64_t> size = file.Size();
    if (!size)
        return;
    Backwards back;
    back.end = *size;
    ReadBack(file, TailStart(*size), back, visit);
}

// The newest entry of the open file for port that shows a set. A change's start
// shows only the set it was to send: the relay may never have got it.
std::optional<std::vector<std::string>> LastWithSet(files::LockedAppendFile& file, const std::string& port)
{
    std::optional<std::vector<std::string>> found;
    ReadFromTheEnd(file, [&](const std::vector<std::string>& fields) {
        if (fields[kPortColumn] == port && !fields[kSetColumns].empty() && fields[kOutcomeColumn] != record::kStarted)
            found = fields;
        return !found;
    });
    return found;
}

} // namespace

std::string RecordHeader()
{
    return kBom + HeaderText() + kLineEnd;
}

std::string RecordLine(const RecordEntry& entry, WallClock::time_point time)
{
    std::string line = LocalTimeWithOffset(time);
    // Appended piece by piece: ";" + a string trips GCC 12's -Wrestrict in the Windows build.
    for (const std::string* text :
         {&entry.port, &entry.device, &entry.version, &entry.action, &entry.outcome, &entry.file, &entry.sha256}) {
        line += ';';
        line += Field(*text);
    }
    line += ';';
    line += SetFields(entry.before);
    line += SetFields(entry.set);
    return line + CheckDigits(line) + kLineEnd;
}

std::optional<std::vector<std::string>> ParseRecordLine(std::string_view line)
{
    const std::size_t check = line.rfind(';');
    if (check == std::string_view::npos || line.substr(check + 1) != CheckDigits(line.substr(0, check + 1)))
        return std::nullopt;
    std::vector<std::string> fields = SplitFields(line);
    if (fields.size() != kRecordColumns)
        return std::nullopt;
    std::for_each(fields.begin(), fields.end(), Unguard);
    return fields;
}

std::optional<ParameterSet> RecordedSet(const std::vector<std::string>& fields, std::size_t first)
{
    if (first + kParameterColumns.size() > fields.size() || fields[first].empty())
        return std::nullopt;
    ParameterSet set;
    for (std::size_t i = 0; i < kParameterColumns.size(); ++i) {
        if (kParameterColumns[i].text != nullptr)
            set.*kParameterColumns[i].text = DecimalPoint(fields[first + i]);
        else
            set.INV = std::atoi(fields[first + i].c_str());
    }
    return set;
}

std::string CommissioningRecord::FilePath() const
{
    const OpenRecord open = OpenForAppending(m_path, nullptr);
    return open.file ? open.path : m_path;
}

bool CommissioningRecord::Writable(RecordProblem* problem) const
{
    OpenRecord open = OpenForAppending(m_path, problem);
    if (!open.file || !HasRoom(open, problem))
        return false;
    // A new file gets its header now, so that it shows what it is.
    return open.prefix.rfind(kBom, 0) != 0 ||
           Report(problem, open.file->AppendSynced(open.prefix) ? RecordProblem::None : RecordProblem::CannotWrite);
}

bool CommissioningRecord::Append(const RecordEntry& entry, WallClock::time_point time, RecordProblem* problem) const
{
    OpenRecord open = OpenForAppending(m_path, problem);
    return open.file && AppendTo(open, entry, time, problem);
}

bool CommissioningRecord::AppendStart(RecordEntry entry, WallClock::time_point time, RecordProblem* problem) const
{
    entry.outcome = record::kStarted;
    OpenRecord open = OpenForAppending(m_path, problem);
    return open.file && HasRoom(open, problem) && AppendTo(open, entry, time, problem);
}

bool CommissioningRecord::AppendFoundSet(const RecordEntry& entry, WallClock::time_point time,
                                         RecordProblem* problem) const
{
    OpenRecord open = OpenForAppending(m_path, problem);
    if (!open.file)
        return false;
    const auto last = LastWithSet(*open.file, entry.port);
    if (last && RecordedSet(*last, kSetColumns) == entry.set)
        return true;
    return AppendTo(open, entry, time, problem);
}

std::vector<std::vector<std::string>> CommissioningRecord::LastEntries(std::size_t count) const
{
    std::vector<std::vector<std::string>> entries;
    // Through the handle that holds the lock: on Windows the lock of a writer
    // beside us keeps every other reader out.
    const OpenRecord open = count > 0 ? OpenForAppending(m_path, nullptr) : OpenRecord{};
    if (open.file) {
        ReadFromTheEnd(*open.file, [&](const std::vector<std::string>& fields) {
            entries.push_back(fields);
            return entries.size() < count;
        });
    }
    return entries;
}

std::optional<std::vector<std::string>> CommissioningRecord::LastEntryWithSet(const std::string& port) const
{
    const OpenRecord open = OpenForAppending(m_path, nullptr);
    return open.file ? LastWithSet(*open.file, port) : std::nullopt;
}

bool IsCommissioningEntry(const std::vector<std::string>& fields, const std::string& port)
{
    const std::string& action = fields[kActionColumn];
    return fields[kPortColumn] == port &&
           (action == record::kParametersWritten || action == record::kParametersFromFile ||
            action == record::kParametersRestored) &&
           fields[kOutcomeColumn] == kTransferOkText && RecordedSet(fields, kSetColumns).has_value();
}

std::optional<std::vector<std::string>> CommissioningRecord::CommissionedEntry(const std::string& port,
                                                                               bool* readable) const
{
    if (readable != nullptr)
        *readable = true;
    // A record never written has no entry; looking must not make its file.
    std::error_code error;
    if (!std::filesystem::exists(PathFromUtf8(m_path), error) && !error)
        return std::nullopt;
    std::optional<std::vector<std::string>> found;
    const auto take = [&](const std::vector<std::string>& fields) {
        if (IsCommissioningEntry(fields, port))
            found = fields;
        return !found;
    };
    const auto failed = [readable] {
        if (readable != nullptr)
            *readable = false;
        return std::nullopt;
    };
    // Every line of the port holds its field as an entry writes it.
    const std::string portField = ";" + Field(port) + ";";
    Backwards back;
    std::string path;
    {
        const OpenRecord open = OpenForAppending(m_path, nullptr);
        const std::optional<std::uint64_t> size = open.file ? open.file->Size() : std::nullopt;
        if (!size)
            return failed();
        path = open.path;
        back.end = *size;
        if (!ReadBack(*open.file, TailStart(*size), back, take, portField))
            return failed();
    }
    // A port written long ago and left alone since: its entry lies before the
    // tail. The file only grows at its end, so the bytes before the tail are
    // still those the tail's search began at; they are read a tail's worth per
    // lock, so that a writer waits no longer for this than for any other search.
    while (back.going && back.end > 0) {
        const std::unique_ptr<files::LockedAppendFile> file = files::LockedAppendFile::Open(path);
        if (!file || !ReadBack(*file, TailStart(back.end), back, take, portField))
            return failed();
    }
    return found;
}

namespace {

// The line that says why the record could not take an entry; empty where there is nothing more to say.
std::string ProblemLine(RecordProblem problem)
{
    switch (problem) {
    case RecordProblem::NoRoom:
        return "Auf dem Datenträger ist kein Platz mehr.\r\n";
    case RecordProblem::InUse:
        return "Es wird gerade von einem anderen Programm benutzt: warten, bis es fertig ist, "
               "oder das andere Programm beenden.\r\n";
    case RecordProblem::OpenElsewhere:
        return "Die Datei ist in einem anderen Programm geöffnet (etwa in einer Tabellenkalkulation): "
               "sie dort schließen.\r\n";
    case RecordProblem::NoFolder:
        return "Der Ordner existiert nicht.\r\n";
    case RecordProblem::NotPermitted:
        return "Keine Berechtigung, in den Ordner oder die Datei zu schreiben.\r\n";
    case RecordProblem::ReadOnly:
        return "Der Datenträger ist schreibgeschützt.\r\n";
    case RecordProblem::None:
    case RecordProblem::CannotWrite:
        break;
    }
    return "";
}

} // namespace

std::string RecordNotWritableMessage(const std::string& path, RecordProblem problem)
{
    return "Das Inbetriebnahmeprotokoll " + path + " kann nicht geschrieben werden.\r\n" + ProblemLine(problem) +
           "Es wird nichts an das Gerät gesendet.";
}

std::string RecordLostMessage(const CommissioningRecord& record, RecordProblem problem)
{
    // The file beside the record where it went there; a record another program
    // holds is not waited for again.
    const std::string line = ProblemLine(problem);
    return CannotWriteMessage(problem == RecordProblem::CannotWrite ? record.FilePath() : record.Path()) +
           (line.empty() ? "" : "\r\n" + line.substr(0, line.size() - 2));
}

CommissioningRecord RecordOfSettings(const std::string& iniPath)
{
    const std::string named = ReadProfileString("PROTOKOLL", "DATEI", "", iniPath);
    if (named.empty())
        return {};
    const std::filesystem::path path = PathFromUtf8(named);
    return CommissioningRecord(path.is_absolute() ? named : PathToUtf8(PathFromUtf8(iniPath).parent_path() / path));
}

bool WriteRecordSetting(const std::string& recordPath, const std::string& iniPath)
{
    return WriteProfileString("PROTOKOLL", "DATEI", recordPath, iniPath);
}

std::string RecordListText(const std::vector<std::vector<std::string>>& entries)
{
    std::string text;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::vector<std::string>& fields = entries[i];
        std::string outcome = fields[kOutcomeColumn];
        if (outcome == record::kStarted) {
            // The port's next entry, where the list holds it, is the outcome of the change.
            std::size_t next = i;
            while (next > 0 && entries[next - 1][kPortColumn] != fields[kPortColumn])
                --next;
            if (next > 0 && entries[next - 1][kActionColumn] == fields[kActionColumn] &&
                entries[next - 1][kOutcomeColumn] != record::kStarted)
                continue;
            outcome += ", kein Ergebnis verzeichnet";
        }
        std::string time = fields[kTimeColumn].substr(0, 19);
        if (time.size() > 10)
            time[10] = ' ';
        text += time + "  " + fields[kPortColumn] + "  " + fields[kActionColumn];
        if (!fields[kFileColumn].empty())
            text += " (" + fields[kFileColumn] + ")";
        if (!outcome.empty())
            text += ": " + outcome;
        text += "\r\n";
    }
    return text.empty() ? "Keine Einträge." : text;
}
