// The parameter commands of korvenctl: the live reading, reading the set,
// writing it after the checks.

#include "app/live_reply.h"
#include "cli/commands.h"
#include "cli/fleet.h"
#include "files/utf8_path.h"
#include "link/frame.h"
#include "params/checks.h"
#include "params/parameter_file.h"
#include "params/relay_transfer.h"
#include "trend/reading_csv.h"

#include <chrono>
#include <filesystem>
#include <limits>
#include <optional>
#include <ostream>
#include <regex>
#include <thread>
#include <utility>

namespace cli {

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::seconds kLivePeriod{1};
constexpr std::chrono::milliseconds kInterruptCheck{50};
constexpr const char* kNoReading = "--------";

// The eight parameters as they are listed and set: key, label, member.
struct ParameterRow {
    const char* key;
    const char* label;
    std::string ParameterSet::*member; // null for INV
};
constexpr ParameterRow kParameterRows[] = {
    {"SWB", "Sollwertbezug [V]", &ParameterSet::SWB},
    {"UPL", "U > [%]", &ParameterSet::UPL},
    {"UPP", "U >> [%]", &ParameterSet::UPP},
    {"UMI", "U < [%]", &ParameterSet::UMI},
    {"UMM", "U << [%]", &ParameterSet::UMM},
    {"HYS", "Hysterese [%]", &ParameterSet::HYS},
    {"SVZ", "Schaltverzögerung [s]", &ParameterSet::SVZ},
    {"INV", "Invertieren", nullptr},
};

std::string Trimmed(const std::string& text)
{
    const auto first = text.find_first_not_of(' ');
    const auto last = text.find_last_not_of(' ');
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

// Parses "--name VALUE" or "--name=VALUE" at args[i]; advances i past the value.
std::optional<std::string> OptionValue(const Arguments& args, std::size_t& i, const std::string& name)
{
    const std::string& arg = args[i];
    if (arg.rfind(name + "=", 0) == 0)
        return arg.substr(name.size() + 1);
    if (arg == name && i + 1 < args.size())
        return args[++i];
    return std::nullopt;
}

// Waits until the deadline; false when Ctrl+C came first.
bool SleepUntil(const Session& session, Clock::time_point deadline)
{
    while (Clock::now() < deadline) {
        if (session.Interrupted())
            return false;
        std::this_thread::sleep_for(std::min<Clock::duration>(kInterruptCheck, deadline - Clock::now()));
    }
    return !session.Interrupted();
}

// kExitOk when the set passes the eleven checks, else the first failing row's
// message of the family and kExitInput.
int CheckSet(const Session& session, const ParameterSet& set, CheckFamily family)
{
    const int row = FirstFailingRow(set);
    return row == 0 ? kExitOk : session.Fail(kExitInput, CheckMessage(row, family));
}

// Escapes a text for a JSON string; bytes of 0x80 and above count as Latin-1.
std::string JsonString(std::string_view text)
{
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (b >= 0x20 && b < 0x7F) {
            out += c;
        } else {
            out += "\\u00";
            out += kHex[b >> 4];
            out += kHex[b & 0x0F];
        }
    }
    return out + '"';
}

// A normalized text as a JSON number where it is one ("inf" is not).
std::string JsonNumber(const std::string& text)
{
    static const std::regex kNumber(R"(-?(0|[1-9][0-9]*)(\.[0-9]+)?)");
    return std::regex_match(text, kNumber) ? text : JsonString(text);
}

void PrintTable(std::ostream& out, const ParameterSet& set, const DeviceInfo& info)
{
    const auto line = [&out](const char* key, const std::string& label, const std::string& value) {
        const std::size_t width = DisplayWidth(label) + value.size();
        out << key << "  " << label << std::string(width < 34 ? 34 - width : 1, ' ') << value << "\n";
    };
    for (const ParameterRow& row : kParameterRows)
        line(row.key, row.label, row.member ? set.*row.member : set.INV != 0 ? "ja" : "nein");
    line("VER", "Version", TerminalText(info.VER));
    line("KAL", "Kal.-Faktor", Trimmed(info.KAL));
    line("K0V", "Mittenspannung", info.K0V);
}

void PrintJson(std::ostream& out, const ParameterSet& set, const DeviceInfo& info)
{
    out << "{\n";
    for (const ParameterRow& row : kParameterRows)
        out << "  \"" << row.key << "\": " << (row.member ? JsonNumber(set.*row.member) : std::to_string(set.INV))
            << ",\n";
    out << "  \"VER\": " << JsonString(info.VER) << ",\n";
    out << "  \"KAL\": " << JsonNumber(Trimmed(info.KAL)) << ",\n";
    out << "  \"K0V\": " << JsonString(info.K0V) << "\n}\n";
}

// A value given on the command line must be a number and nothing else (a sign,
// digits with or without a decimal point, an exponent, blanks around it): "2,5"
// would otherwise read as 2 and pass the checks unnoticed.
bool IsPlainNumber(const std::string& text)
{
    static const std::regex kNumber(R"(\s*[+-]?([0-9]+\.?[0-9]*|\.[0-9]+)([eE][+-]?[0-9]+)?\s*)");
    return std::regex_match(text, kNumber);
}

struct Assignment {
    const ParameterRow* row;
    std::string value;
};

// "KEY=VALUE" with a known key (any case) and a number for it; a message otherwise.
std::optional<std::string> ParseAssignment(const std::string& text, std::vector<Assignment>& assignments)
{
    const auto eq = text.find('=');
    if (eq == std::string::npos)
        return "expected KEY=VALUE, got: " + text;
    std::string key = text.substr(0, eq);
    for (char& c : key)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const std::string value = text.substr(eq + 1);
    const auto row = std::find_if(std::begin(kParameterRows), std::end(kParameterRows),
                                  [&](const ParameterRow& r) { return key == r.key; });
    if (row == std::end(kParameterRows))
        return "unknown parameter: " + text.substr(0, eq) + " (HYS SWB UPL UPP UMI UMM INV SVZ)";
    if (row->member == nullptr ? value != "0" && value != "1" : !IsPlainNumber(value))
        return "not a value for " + key + ": '" + value + "'" + (row->member ? "" : " (0 or 1)");
    assignments.push_back({row, value});
    return std::nullopt;
}

void Apply(const std::vector<Assignment>& assignments, ParameterSet& set)
{
    for (const Assignment& a : assignments) {
        if (a.row->member)
            set.*(a.row->member) = a.value;
        else
            set.INV = a.value == "1" ? 1 : 0;
    }
}

// Whether a file line holds any of the eight parameters: the scan fills a text
// only where it finds its key, and never with an empty one.
bool HoldsParameters(const std::string& line)
{
    constexpr std::int32_t kNoInv = std::numeric_limits<std::int32_t>::min();
    ParameterSet found;
    found.INV = kNoInv;
    ParseParameterText(line, ScanMode::SetOnly, found, nullptr);
    return found.INV != kNoInv ||
           !(found.HYS + found.SVZ + found.UMI + found.UMM + found.UPL + found.UPP + found.SWB).empty();
}

// Whether path cannot name a file to write (no such folder, or a folder or a
// device of that name): bad input, where a file that fails to write (a full
// disk) is output that could not be written.
bool NamesNoFile(const std::string& path)
{
    std::error_code error;
    const std::filesystem::path target = PathFromUtf8(path);
    const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
    return !std::filesystem::is_directory(folder, error) ||
           (std::filesystem::exists(target, error) && !std::filesystem::is_regular_file(target, error));
}

// The frame with its two control bytes named, for a terminal.
std::string ShownFrame(const std::string& frame)
{
    return "<STX>" + frame.substr(1, frame.size() - 2) + "<ETX>";
}

} // namespace

int ReadRelaySet(Session& session, ParameterSet& set, DeviceInfo& info, bool required)
{
    // A flash has opened it already, to see that the relay answers.
    if (!session.Port().IsOpen() && !session.OpenPort())
        return kExitPort;
    // A stop asked for while the port opened (a slow device server): nothing is sent.
    if (const int stop = session.StopCode(); stop != 0)
        return session.Fail(stop, "korvenctl: stopped by " + StopName(stop) + " before anything was sent");
    if (!ReadRelayParameters(session.Port(), set, info).ok())
        return required ? session.Fail(kExitRelay, kTransferFailedText) : kExitRelay;
    session.RecordFoundSet(set, info.VER);
    return kExitOk;
}

std::optional<double> ReadLive(CSerialPort& port)
{
    // As the window does: a device that went away is opened again once it is back.
    port.Reopen();
    DrainPort(port);
    const std::optional<double> reading =
        LiveReading(RunExchange(port, kLiveRequest, false, kPause, ReplyForm::Framed));
    if (!reading)
        port.CheckDevice();
    return reading;
}

int RunLive(Session& session, const Arguments& args)
{
    std::optional<long> count;
    bool csv = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--csv") {
            csv = true;
            continue;
        }
        const auto value = OptionValue(args, i, "--count");
        if (!value)
            return session.Usage("live", "unexpected argument: " + args[i]);
        char* end = nullptr;
        count = std::strtol(value->c_str(), &end, 10);
        if (value->empty() || *end != '\0' || *count < 1)
            return session.Usage("live", "--count needs a whole number of at least 1");
    }
    // As the window does: a port whose adapter is not there yet is tried again at every reading.
    bool opened = session.OpenPort();
    if (!opened && !session.PortMayComeBack())
        return kExitPort;

    if (csv) {
        // The lines end in "\r\n" already; a text-mode stream would make that "\r\r\n".
        if (session.console().makeOutputBinary)
            session.console().makeOutputBinary();
        session.out() << CsvHeader() << std::flush;
    }
    CsvStream csvStream;
    bool leftOutNoted = false;
    bool allAnswered = true;
    auto tick = Clock::now();
    // A reader that has gone away (a closed pipe) ends the readings.
    for (long n = 0; (!count || n < *count) && session.out(); ++n) {
        if (n > 0 && !SleepUntil(session, tick += kLivePeriod))
            break;
        const WallClock::time_point now = WallClock::now();
        const std::optional<double> reading = ReadLive(session.Port());
        allAnswered = allAnswered && reading.has_value();
        opened = opened || session.Port().IsOpen();
        if (csv) {
            if (const std::optional<std::string> line = csvStream.Line(Reading{now, reading})) {
                session.out() << *line << std::flush;
                leftOutNoted = false;
            } else if (!std::exchange(leftOutNoted, true)) {
                session.console().err << "korvenctl: the clock was set back; readings are left out of the CSV "
                                         "until it passes the time of the last line again"
                                      << std::endl;
            }
        } else {
            session.out() << LocalTimeText(now, "%H:%M:%S") << "  "
                          << (reading ? Trimmed(FormatFixed(*reading, 4, 1)) : kNoReading) << std::endl;
        }
    }
    // A port that never opened is a port that could not be opened, not a relay that did not answer.
    return !opened ? kExitPort : allAnswered ? kExitOk : kExitRelay;
}

int RunRead(Session& session, const Arguments& args)
{
    std::string format = "table";
    for (std::size_t i = 0; i < args.size(); ++i) {
        const auto value = OptionValue(args, i, "--format");
        if (!value)
            return session.Usage("read", "unexpected argument: " + args[i]);
        format = *value;
    }
    if (format != "table" && format != "json" && format != "par")
        return session.Usage("read", "unknown format: " + format + " (par, table or json)");
    ParameterSet set;
    DeviceInfo info;
    if (const int code = ReadRelaySet(session, set, info); code != kExitOk)
        return code;
    if (format == "par")
        session.out() << BuildSparText(set) << "\n";
    else if (format == "json")
        PrintJson(session.out(), set, info);
    else
        PrintTable(session.out(), set, info);
    return kExitOk;
}

int RunWrite(Session& session, const Arguments& args)
{
    std::vector<Assignment> assignments;
    std::string file;
    bool dryRun = false;
    bool setting = false;
    for (const std::string& arg : args) {
        if (arg == "--dry-run") {
            dryRun = true;
        } else if (arg == "--set") {
            setting = true;
        } else if (arg.rfind("--set=", 0) == 0 || (setting && arg.find('=') != std::string::npos && arg[0] != '-')) {
            setting = true;
            if (const auto problem = ParseAssignment(arg.rfind("--set=", 0) == 0 ? arg.substr(6) : arg, assignments))
                return session.Usage("write", *problem);
        } else if (file.empty() && !arg.empty() && arg[0] != '-') {
            file = arg;
        } else {
            return session.Usage("write", "unexpected argument: " + arg);
        }
    }
    if (assignments.empty() == file.empty())
        return session.Usage("write", "give either a .par file or --set KEY=VALUE...");

    // The file is read before anything goes to the relay: a bad file sends nothing.
    std::string line;
    if (!file.empty()) {
        if (ReadParameterLine(file, line) != ParameterFileResult::Ok)
            return session.Fail(kExitInput, CannotReadMessage(file));
        if (!HoldsParameters(line))
            return session.Fail(kExitInput, "korvenctl: " + file + " holds no parameters");
    }
    // Nothing goes to the relay, not even the read, when the write could not be noted.
    if (!dryRun && !session.RecordAllowsChange())
        return kExitOutput;
    // What the file or the command line does not give keeps the relay's value,
    // as when the program loads a file with a relay connected.
    ParameterSet set;
    DeviceInfo info;
    if (const int code = ReadRelaySet(session, set, info); code != kExitOk)
        return code;
    RecordEntry change;
    change.before = set;
    if (!file.empty())
        ParseParameterText(line, ScanMode::Full, set, nullptr);
    Apply(assignments, set);
    if (const int code = CheckSet(session, set, CheckFamily::Transfer); code != kExitOk)
        return code;
    NormalizeTexts(set);

    if (dryRun) {
        session.out() << ShownFrame(BuildFrame(BuildSparText(set))) << std::endl;
        return kExitOk;
    }
    change.action = file.empty() ? record::kParametersWritten : record::kParametersFromFile;
    change.file = file.empty() ? "" : PathToUtf8(PathFromUtf8(file).filename());
    change.set = set;
    if (const int code = session.StartChange(change); code != kExitOk)
        return code;
    const bool written = WriteRelayParameters(session.Port(), set).ok();
    change.outcome = written ? kTransferOkText : kTransferFailedText;
    const int code = session.Record(change, written ? kExitOk : kExitRelay);
    if (!written)
        return session.Fail(code, kTransferFailedText);
    session.Done(kTransferOkText);
    return code;
}

int RunSave(Session& session, const Arguments& args)
{
    if (args.size() != 1 || args[0].empty() || args[0][0] == '-')
        return session.Usage("save", "save takes one file name");
    ParameterSet set;
    DeviceInfo info;
    if (const int code = ReadRelaySet(session, set, info); code != kExitOk)
        return code;
    // {port} names the port over one port as over several (where the fleet has put it in already).
    std::string name = args[0];
    for (auto at = name.find(kPortPattern); at != std::string::npos; at = name.find(kPortPattern, at))
        name.replace(at, std::string_view(kPortPattern).size(), PortFileName(session.PortName()));
    const std::string path = WithParameterSuffix(name);
    // The program saves only a set that passes its checks.
    if (const int code = CheckSet(session, set, CheckFamily::Save); code != kExitOk)
        return code;
    if (WriteParameterFile(path, set) != ParameterFileResult::Ok)
        return session.Fail(NamesNoFile(path) ? kExitInput : kExitOutput, CannotWriteMessage(path));
    session.Done(path);
    return kExitOk;
}

} // namespace cli
