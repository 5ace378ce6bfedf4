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
int CheckSet(Session& session, const ParameterSet& set, CheckFamily family)
{
    const int row = FirstFailingRow(set);
    return row == 0 ? kExitOk : session.Fail(kExitInput, CheckMessage(row, family));
}

// The set and the device texts as a table, a line each.
void TableLines(Session& session, const ParameterSet& set, const DeviceInfo& info)
{
    const auto line = [&session](const char* key, const std::string& label, const std::string& value) {
        const std::size_t width = DisplayWidth(label) + value.size();
        session.Line(std::string(key) + "  " + label + std::string(width < 34 ? 34 - width : 1, ' ') + value);
    };
    for (const ParameterRow& row : kParameterRows)
        line(row.key, row.label, row.member ? set.*row.member : set.INV != 0 ? "ja" : "nein");
    line("VER", "Version", TerminalText(info.VER));
    line("KAL", "Kal.-Faktor", Trimmed(info.KAL));
    line("K0V", "Mittenspannung", info.K0V);
}

Json SetData(const ParameterSet& set, const DeviceInfo& info)
{
    Json data = Json::Object();
    for (const ParameterRow& row : kParameterRows)
        data.Add(row.key, row.member ? Json::Number(set.*row.member) : Json::Literal(std::to_string(set.INV)));
    data.Add("VER", Json::RelayText(info.VER));
    data.Add("KAL", Json::Number(Trimmed(info.KAL)));
    data.Add("K0V", Json::RelayText(info.K0V));
    return data;
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

void Assign(const std::vector<Assignment>& assignments, ParameterSet& set)
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

int ReadParameterFileLine(Session& session, const std::string& path, std::string& line)
{
    if (ReadParameterLine(path, line) != ParameterFileResult::Ok)
        return session.Fail(kExitInput, CannotReadMessage(path));
    if (!HoldsParameters(line))
        return session.Fail(kExitInput, "korvenctl: " + path + " holds no parameters");
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

namespace {

class Live final : public Command {
public:
    int Check(Session& session, const Arguments& args) override
    {
        for (std::size_t i = 0; i < args.size(); ++i) {
            if (args[i] == "--csv") {
                m_csv = true;
                continue;
            }
            const auto value = OptionValue(args, i, "--count");
            if (!value)
                return session.Usage("live", "unexpected argument: " + args[i]);
            char* end = nullptr;
            m_count = std::strtol(value->c_str(), &end, 10);
            if (value->empty() || *end != '\0' || *m_count < 1)
                return session.Usage("live", "--count needs a whole number of at least 1");
        }
        return kExitOk;
    }
    std::unique_ptr<Command> Copy() const override { return std::make_unique<Live>(*this); }
    int Prepare(Session&, Plan&) override { return kExitOk; }
    int Apply(Session& session, const Plan&) override;
    bool GivesColumns() const override { return m_csv; }
    std::optional<long> Ticks() const override { return m_count; }

private:
    std::optional<long> m_count;
    bool m_csv = false;
};

int Live::Apply(Session& session, const Plan&)
{
    // The readings go out as they come.
    session.Stream();
    // As the window does: a port whose adapter is not there yet is tried again at every reading.
    bool opened = session.OpenPort();
    if (!opened && !session.PortMayComeBack())
        return kExitPort;

    if (m_csv) {
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
    for (long n = 0; (!m_count || n < *m_count) && session.out(); ++n) {
        if (n > 0 && !SleepUntil(session, tick += kLivePeriod))
            break;
        const WallClock::time_point now = WallClock::now();
        const std::optional<double> reading = ReadLive(session.Port());
        allAnswered = allAnswered && reading.has_value();
        opened = opened || session.Port().IsOpen();
        if (m_csv) {
            if (const std::optional<std::string> line = csvStream.Line(Reading{now, reading})) {
                session.out() << *line << std::flush;
                leftOutNoted = false;
            } else if (!std::exchange(leftOutNoted, true)) {
                session.Note("korvenctl: the clock was set back; readings are left out of the CSV until it passes "
                             "the time of the last line again");
            }
        } else {
            session.out() << LocalTimeText(now, "%H:%M:%S") << "  "
                          << (reading ? Trimmed(FormatFixed(*reading, 4, 1)) : kNoReading) << std::endl;
        }
    }
    // A port that never opened is a port that could not be opened, not a relay that did not answer.
    return !opened ? kExitPort : allAnswered ? kExitOk : kExitRelay;
}

class Read final : public Command {
public:
    int Check(Session& session, const Arguments& args) override
    {
        for (std::size_t i = 0; i < args.size(); ++i) {
            const auto value = OptionValue(args, i, "--format");
            if (!value)
                return session.Usage("read", "unexpected argument: " + args[i]);
            m_format = *value;
        }
        if (m_format != "table" && m_format != "json" && m_format != "par")
            return session.Usage("read", "unknown format: " + m_format + " (par, table or json)");
        return kExitOk;
    }
    std::unique_ptr<Command> Copy() const override { return std::make_unique<Read>(*this); }
    int Prepare(Session& session, Plan&) override { return ReadRelaySet(session, m_set, m_info); }
    int Apply(Session& session, const Plan&) override
    {
        if (m_format == "par")
            session.Line(BuildSparText(m_set));
        else if (m_format == "json")
            session.Data(SetData(m_set, m_info));
        else
            TableLines(session, m_set, m_info);
        return kExitOk;
    }
    bool GivesJson(bool) const override { return m_format == "json"; }

private:
    std::string m_format = "table";
    ParameterSet m_set;
    DeviceInfo m_info;
};

class Write final : public Command {
public:
    int Check(Session& session, const Arguments& args) override;
    std::unique_ptr<Command> Copy() const override { return std::make_unique<Write>(*this); }
    int Prepare(Session& session, Plan& plan) override;
    int Apply(Session& session, const Plan& plan) override;

private:
    std::vector<Assignment> m_assignments;
    std::string m_file;
    std::string m_line; // the file's parameter line
    bool m_dryRun = false;
    ParameterSet m_set; // the set to send
};

int Write::Check(Session& session, const Arguments& args)
{
    bool setting = false;
    for (const std::string& arg : args) {
        if (arg == "--dry-run") {
            m_dryRun = true;
        } else if (arg == "--set") {
            setting = true;
        } else if (arg.rfind("--set=", 0) == 0 || (setting && arg.find('=') != std::string::npos && arg[0] != '-')) {
            setting = true;
            if (const auto problem = ParseAssignment(arg.rfind("--set=", 0) == 0 ? arg.substr(6) : arg, m_assignments))
                return session.Usage("write", *problem);
        } else if (m_file.empty() && !arg.empty() && arg[0] != '-') {
            m_file = arg;
        } else {
            return session.Usage("write", "unexpected argument: " + arg);
        }
    }
    if (m_assignments.empty() == m_file.empty())
        return session.Usage("write", "give either a .par file or --set KEY=VALUE...");

    // The file is read before anything goes to the relay: a bad file sends nothing.
    if (!m_file.empty()) {
        if (const int code = ReadParameterFileLine(session, m_file, m_line); code != kExitOk)
            return code;
    }
    // Nothing goes to the relay, not even the read, when the write could not be noted.
    if (!m_dryRun && !session.RecordAllowsChange())
        return kExitOutput;
    return kExitOk;
}

int Write::Prepare(Session& session, Plan& plan)
{
    // What the file or the command line does not give keeps the relay's value,
    // as when the program loads a file with a relay connected.
    DeviceInfo info;
    if (const int code = ReadRelaySet(session, m_set, info); code != kExitOk)
        return code;
    RecordEntry change;
    change.before = m_set;
    if (!m_file.empty())
        ParseParameterText(m_line, ScanMode::Full, m_set, nullptr);
    Assign(m_assignments, m_set);
    if (const int code = CheckSet(session, m_set, CheckFamily::Transfer); code != kExitOk)
        return code;
    NormalizeTexts(m_set);
    if (m_dryRun)
        return kExitOk; // a frame shown, nothing sent
    change.action = m_file.empty() ? record::kParametersWritten : record::kParametersFromFile;
    change.file = m_file.empty() ? "" : PathToUtf8(PathFromUtf8(m_file).filename());
    change.set = m_set;
    plan.change = std::move(change);
    return kExitOk;
}

int Write::Apply(Session& session, const Plan& plan)
{
    if (!plan.change) {
        session.Line(ShownFrame(BuildFrame(BuildSparText(m_set))));
        return kExitOk;
    }
    const bool written = WriteRelayParameters(session.Port(), m_set).ok();
    RecordEntry done = *plan.change;
    done.outcome = written ? kTransferOkText : kTransferFailedText;
    const int code = session.Record(done, written ? kExitOk : kExitRelay);
    if (!written)
        return session.Fail(code, kTransferFailedText);
    session.Done(kTransferOkText);
    return code;
}

class Save final : public Command {
public:
    int Check(Session& session, const Arguments& args) override
    {
        if (args.size() != 1 || args[0].empty() || args[0][0] == '-')
            return session.Usage("save", "save takes one file name");
        m_name = args[0];
        return kExitOk;
    }
    std::unique_ptr<Command> Copy() const override { return std::make_unique<Save>(*this); }
    int Prepare(Session& session, Plan&) override
    {
        DeviceInfo info;
        if (const int code = ReadRelaySet(session, m_set, info); code != kExitOk)
            return code;
        // The program saves only a set that passes its checks.
        return CheckSet(session, m_set, CheckFamily::Save);
    }
    int Apply(Session& session, const Plan&) override
    {
        // {port} names the port, over one port as over several.
        const std::string path = WithParameterSuffix(ForPort(m_name, session.PortName()));
        if (WriteParameterFile(path, m_set) != ParameterFileResult::Ok)
            return session.Fail(NamesNoFile(path) ? kExitInput : kExitOutput, CannotWriteMessage(path));
        session.Done(path);
        session.Data(std::move(Json::Object().Add("file", Json::Text(path))));
        return kExitOk;
    }
    // Over several ports one object names each port's file.
    bool GivesJson(bool manyPorts) const override { return manyPorts; }

private:
    std::string m_name;
    ParameterSet m_set;
};

} // namespace

std::unique_ptr<Command> MakeLive()
{
    return std::make_unique<Live>();
}

std::unique_ptr<Command> MakeRead()
{
    return std::make_unique<Read>();
}

std::unique_ptr<Command> MakeWrite()
{
    return std::make_unique<Write>();
}

std::unique_ptr<Command> MakeSave()
{
    return std::make_unique<Save>();
}

} // namespace cli
