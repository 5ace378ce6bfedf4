#include "cli/korvenctl.h"

#include "cli/commands.h"
#include "cli/fleet.h"
#include "cli/session.h"
#include "files/settings_file.h"
#include "files/text_encoding.h"
#include "files/utf8_path.h"
#include "link/port_search.h"
#include "link/trace.h"
#include "params/parameter_file.h"
#include "port/net_address.h"
#include "port/net_device.h"
#include "port/serial_device.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>
#include <optional>
#include <ostream>
#include <utility>

namespace cli {

namespace {

constexpr int kBaudRate = 19200;
// The outcome a change gets in the record where it was stopped after its start was noted.
constexpr const char* kStoppedBeforeFirstFrame = "abgebrochen, nichts gesendet";
// --port auto: the first port where a relay answers.
constexpr const char* kAutoPort = "auto";

const char kOverview[] = "Usage: korvenctl [--port COMn|PATH|URL|auto|all]... [--ini FILE] [--trace FILE]\n"
                         "                 [--record FILE] COMMAND [ARGUMENTS]\n"
                         "Reads, checks, writes and services a KORVEN relay over a serial line.\n"
                         "\n"
                         "  --port COMn|PATH|URL|auto|all\n"
                         "                    the port: COMn as the program resolves it (key COMn of [PORTS]\n"
                         "                    in the --ini file, else /dev/ttyS<n-1>), a device path, a\n"
                         "                    device server's port as rfc2217://HOST:PORT or tcp://HOST:PORT,\n"
                         "                    or auto: the first port where a relay answers (see ports).\n"
                         "                    Given more than once, or all (every COMn of [PORTS] in the\n"
                         "                    --ini file, in COM order): every port at once, see below\n"
                         "  --ini FILE        a KorvenCtrl.ini; without --port its [CONNECTION] COM is used\n"
                         "  --trace FILE      append every byte sent and received to FILE\n"
                         "  --record FILE     note every change of the relay in the commissioning record\n"
                         "                    FILE (else in the one [PROTOKOLL] DATEI of the --ini file\n"
                         "                    names); a change it cannot note is not started (exit 4)\n"
                         "  --help            this text; COMMAND --help explains a command\n"
                         "\n"
                         "Commands:\n";

const char kManyPorts[] = "\n"
                          "Several ports: live, read, save, write, compare, restore, flash and ports run\n"
                          "on every port at once, after the input was checked once (a failed check sends\n"
                          "nothing to any relay). Each line starts with its port's name; a summary table\n"
                          "ends the run. read and compare --format json and save print one JSON object\n"
                          "keyed by port, save and compare --against take a file name with {port} in it\n"
                          "(anlage-{port}.par), live --csv a column per port. calibrate and test-com3\n"
                          "take one port at a time.\n";

const char kExitCodes[] = "\n"
                          "Exit codes: 0 success, 1 the relay refused or did not answer, 2 bad input\n"
                          "(usage, checks, files), 3 the port could not be opened (or --port auto found\n"
                          "no relay), 4 the output or the commissioning record could not be written, 5 a\n"
                          "relay does not hold its reference (compare), 130 a change stopped by Ctrl+C,\n"
                          "143 by SIGTERM, 129 by SIGHUP (or the console window closed). Over several\n"
                          "ports: the highest among them.\n";

struct Parsed {
    GlobalOptions options;
    std::vector<std::string> ports; // every --port, in order (options.port: the first)
    std::string command;
    Arguments args;
    bool help = false;
};

// Splits global options from the command and its arguments; global options may
// stand before or after the command. A message on error.
std::optional<std::string> ParseGlobal(const Arguments& args, Parsed& parsed)
{
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> value;
        if (const auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.erase(eq);
        }
        std::string* target = name == "--port"     ? &parsed.options.port
                              : name == "--ini"    ? &parsed.options.ini
                              : name == "--trace"  ? &parsed.options.trace
                              : name == "--record" ? &parsed.options.record
                                                   : nullptr;
        if (target != nullptr) {
            if (!value && i + 1 < args.size())
                value = args[++i];
            if (!value || value->empty())
                return name + " needs a value";
            if (target == &parsed.options.port)
                parsed.ports.push_back(*value);
            if (target != &parsed.options.port || parsed.ports.size() == 1)
                *target = *value;
        } else if (parsed.command.empty() && (name == "--help" || name == "-h")) {
            parsed.help = true;
        } else if (parsed.command.empty() && !name.empty() && name[0] == '-') {
            return "unknown option: " + args[i];
        } else if (parsed.command.empty()) {
            parsed.command = args[i];
        } else {
            parsed.args.push_back(args[i]);
        }
    }
    return std::nullopt;
}

void PrintOverview(std::ostream& out)
{
    out << kOverview;
    for (const CommandSpec& spec : Commands()) {
        const std::string synopsis = spec.synopsis;
        out << "  " << synopsis << std::string(synopsis.size() < 47 ? 47 - synopsis.size() : 1, ' ') << spec.summary
            << "\n";
    }
    out << kManyPorts << kExitCodes;
}

const CommandSpec* FindCommand(const std::string& name)
{
    const auto& commands = Commands();
    const auto it =
        std::find_if(commands.begin(), commands.end(), [&](const CommandSpec& spec) { return name == spec.name; });
    return it == commands.end() ? nullptr : &*it;
}

bool AsksForHelp(const Arguments& args)
{
    return std::any_of(args.begin(), args.end(), [](const std::string& a) { return a == "--help" || a == "-h"; });
}

// Whether the file at path can be read: it opens, and is no folder.
bool Readable(const std::string& path)
{
    std::FILE* file = OpenFileUtf8(path, "rb");
    if (file == nullptr)
        return false;
    char byte = 0;
    (void)std::fread(&byte, 1, 1, file);
    const bool read = std::ferror(file) == 0;
    std::fclose(file);
    return read;
}

// --port all looks for COM1 to COM256 in [PORTS], as the run over several ports does.
constexpr int kHighestComPort = 256;

// A network port's allowance ([PORTS] COMn_ZUSCHLAG) that is none: the port
// would work with another one than the user set, and a typo must not pass.
std::optional<std::string> AllowanceProblem(int number, const std::string& ini)
{
    if (number < 1 || !IsNetworkPath(ReadProfileString("PORTS", "COM" + std::to_string(number), "", ini)))
        return std::nullopt;
    const std::string key = LinkAllowanceKey(number);
    const std::string value = ReadProfileString("PORTS", key, "", ini);
    if (ParseLinkAllowance(value))
        return std::nullopt;
    return "korvenctl: [PORTS] " + key + " in " + ini + " is not a whole number of milliseconds from 0 to " +
           std::to_string(kMaxLinkAllowance.count()) + ": '" + value + "'";
}

// What is wrong with the settings file a command relies on: one that cannot be
// read, or, where it is to name the port, a [CONNECTION] COM that names none,
// or the allowance of a network port the command is to use.
std::optional<std::string> SettingsProblem(const Parsed& parsed, bool needsPort)
{
    const GlobalOptions& options = parsed.options;
    if (options.ini.empty())
        return std::nullopt;
    if (!Readable(options.ini))
        return CannotReadMessage(options.ini);
    if (needsPort && options.port.empty() && ReadProfileInt("CONNECTION", "COM", 1, options.ini) < 1)
        return "korvenctl: [CONNECTION] COM in " + options.ini + " is not a port number: '" +
               ReadProfileString("CONNECTION", "COM", "", options.ini) + "'";
    if (!needsPort)
        return std::nullopt;
    std::vector<int> numbers;
    for (const std::string& port : parsed.ports) {
        if (port != "all") {
            numbers.push_back(ComNumberOf(port));
            continue;
        }
        for (int number = 1; number <= kHighestComPort; ++number)
            numbers.push_back(number);
    }
    if (parsed.ports.empty())
        numbers.push_back(ReadProfileInt("CONNECTION", "COM", 1, options.ini));
    for (const int number : numbers) {
        if (auto problem = AllowanceProblem(number, options.ini))
            return problem;
    }
    return std::nullopt;
}

} // namespace

std::size_t DisplayWidth(std::string_view text)
{
    std::size_t width = 0;
    for (char c : text)
        width += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    return width;
}

std::string StopName(int code)
{
    return code == kExitTerminated ? "SIGTERM" : code == kExitHangUp ? "SIGHUP" : "Ctrl+C";
}

std::string UnixLines(std::string text)
{
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at))
        text.erase(at, 1);
    return text;
}

std::string TerminalText(std::string_view text)
{
    std::string shown;
    while (!text.empty()) {
        bool cutShort = false;
        const std::size_t valid = files::ValidUtf8Prefix(text, cutShort);
        for (std::size_t i = 0; i < valid; ++i) {
            const auto c = static_cast<unsigned char>(text[i]);
            // U+0080 to U+009F: the C1 controls, among them a CSI of its own.
            const bool c1 = c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0;
            shown += c < 0x20 || c == 0x7F || c1 ? '?' : text[i];
            i += c1 ? 1 : 0;
        }
        if (valid == text.size())
            break;
        shown += '?';
        text.remove_prefix(valid + 1);
    }
    return shown;
}

std::string TerminalLines(const std::string& message)
{
    const std::string lines = UnixLines(message);
    std::string shown;
    for (std::size_t at = 0;;) {
        const std::size_t end = lines.find('\n', at);
        shown += TerminalText(std::string_view(lines).substr(at, end - at));
        if (end == std::string::npos)
            return shown;
        shown += '\n';
        at = end + 1;
    }
}

namespace {

// The first line of a message that is not empty, without the program's name in front.
std::string FirstLine(const std::string& message)
{
    const std::string lines = UnixLines(message);
    const std::size_t start = lines.find_first_not_of('\n');
    std::string line = start == std::string::npos ? "" : lines.substr(start, lines.find('\n', start) - start);
    return line.rfind("korvenctl: ", 0) == 0 ? line.substr(11) : line;
}

} // namespace

int Session::Fail(int code, const std::string& message)
{
    m_outcome.text = FirstLine(message);
    Note(message);
    return code;
}

void Session::Note(const std::string& message)
{
    if (m_streaming)
        m_console.err << TerminalLines(message) << std::endl;
    else
        m_outcome.lines.push_back({true, UnixLines(message)});
}

void Session::Done(const std::string& text)
{
    m_outcome.text = text;
    Line(text);
}

void Session::Line(const std::string& text)
{
    if (m_streaming)
        m_console.out << text << std::endl;
    else
        m_outcome.lines.push_back({false, text});
}

int Session::Usage(const std::string& command, const std::string& message)
{
    return Fail(kExitInput,
                "korvenctl: " + message + "\nTry 'korvenctl " + (command.empty() ? "" : command + " ") + "--help'.");
}

void Session::Stream()
{
    ShowOutcome(m_outcome, false, m_console.out, m_console.err);
    m_outcome.lines.clear();
    m_streaming = true;
}

void Session::Progress(const ProgressEvent* event)
{
    if (m_showProgress) {
        m_showProgress(event);
        return;
    }
    // The bar's line ends where a pass ends, before the line that says so.
    std::optional<std::string> ended = event != nullptr ? m_progress.Begin(*event) : m_progress.End();
    if ((ended || event == nullptr || event->block == 0) && m_barWidth > 0) {
        m_console.out << std::endl;
        m_barWidth = 0;
    }
    if (ended)
        m_console.out << *ended << std::endl;
    if (event == nullptr)
        return;
    if (!m_console.outIsTerminal) {
        if (const auto line = ProgressText::Tenth(*event))
            m_console.out << *line << std::endl;
        return;
    }
    // Redrawn in place, the rest of a longer bar blanked.
    const std::string bar = ProgressText::Bar(*event);
    m_console.out << '\r' << bar << std::string(m_barWidth > bar.size() ? m_barWidth - bar.size() : 0, ' ')
                  << std::flush;
    m_barWidth = bar.size();
}

Outcome Session::TakeOutcome(int code)
{
    Outcome outcome = std::exchange(m_outcome, Outcome{});
    outcome.code = code;
    outcome.version = m_version;
    outcome.set = m_set;
    return outcome;
}

void ShowOutcome(const Outcome& outcome, bool json, std::ostream& out, std::ostream& err)
{
    for (const Outcome::Line& line : outcome.lines) {
        if (line.err)
            err << TerminalLines(line.text) << std::endl;
        else if (!json)
            out << line.text << std::endl;
    }
    if (json && outcome.data)
        out << outcome.data->Render() << std::endl;
}

std::string Command::StoppedBeforeChange(int stop) const
{
    return "korvenctl: nothing sent to this relay: stopped by " + StopName(stop);
}

int RunPlan(Command& command, Session& session, Barrier* barrier)
{
    // What stops a change before its first frame: another port's failure, or a
    // stop asked for (which this command words its own way).
    std::string why;
    const auto stopped = [&](int stop) -> int {
        if (stop == kExitOk && (stop = session.StopCode()) == kExitOk)
            return kExitOk;
        if (IsStopCode(stop))
            why = command.StoppedBeforeChange(stop);
        return stop;
    };
    Plan plan;
    int code = command.Prepare(session, plan);
    if (code == kExitOk && plan.change) {
        // A change that cannot begin gets no start in the record.
        if (const int stop = stopped(barrier != nullptr ? barrier->Stopped(why) : kExitOk); stop != kExitOk)
            code = session.Fail(stop, why);
        else if (!session.RecordStart(*plan.change))
            code = kExitOutput;
    }
    // Every port's start is noted before any port's first frame.
    const bool waits = code == kExitOk && plan.change.has_value();
    const int barred = barrier != nullptr ? barrier->Arrive(code, waits, why) : kExitOk;
    if (code != kExitOk)
        return code;
    if (!plan.change)
        return command.Apply(session, plan);
    if (const int stop = stopped(barred); stop != kExitOk) {
        // Its start is in the record: so is its end, before the message.
        RecordEntry end = *plan.change;
        end.outcome = kStoppedBeforeFirstFrame;
        return session.Fail(session.Record(end, stop), why);
    }
    return command.Apply(session, plan);
}

void Session::UsePortSettings()
{
    // The thread's own: over several ports each thread reports to its port's outcome.
    CSerialPort::SetThreadHooks(CSerialPort::Hooks{
        [this](const std::string& text, const std::string&) { Fail(kExitPort, text); }, m_options.ini});
}

bool Session::OpenPort()
{
    UsePortSettings();
    std::string port = m_options.port;
    if (port.empty()) // as the program starts: the port stored in the settings file
        port = "COM" + std::to_string(ReadProfileInt("CONNECTION", "COM", 1, m_options.ini));
    if (port == kAutoPort)
        return OpenFoundPort();
    const int number = ComNumberOf(port);
    m_comNumber = number;
    m_portName = number > 0 ? "COM" + std::to_string(number) : port;
    NoteDevice();
    // Opened once for the command: a slow name server or device server has its time.
    if ((number > 0 ? m_port.Open(number, kBaudRate, kOneShotOpenWait)
                    : m_port.OpenPath(port, kBaudRate, kOneShotOpenWait)) == 0)
        return true;
    // A device that opens but refuses the line settings (a file or /dev/null on
    // Windows) fails without the port's message; for a script it did not open.
    if (m_port.IsOpen()) {
        m_port.Close();
        Fail(kExitPort, "Kann Schnittstelle " + port + " nicht öffnen");
    }
    return false;
}

void Session::NoteDevice()
{
    // Taken as the port is opened, with the settings it is opened with.
    m_device.clear();
    if (m_comNumber > 0) {
        const std::string device = DeviceDisplayName(SerialDevicePath(m_comNumber));
        m_device = device != m_portName ? device : "";
    }
}

bool Session::PortMayComeBack() const
{
    // Not a port that the user may not open, that is no serial port, or whose
    // network address is malformed: those stay so.
    // (Under Wine the COM port of a missing device opens and then refuses its settings.)
    const OpenFailure failure = m_port.LastOpenFailure();
    return m_options.port != kAutoPort && failure != OpenFailure::NotPermitted && failure != OpenFailure::NotSerial &&
           failure != OpenFailure::BadAddress;
}

std::vector<std::string> Session::NamedPorts() const
{
    if (!m_options.ports.empty())
        return m_options.ports;
    if (m_options.port.empty() || m_options.port == kAutoPort)
        return {};
    return {m_options.port};
}

bool Session::OpenFoundPort()
{
    // Bluetooth ports, whose open can block for half a minute, only where named.
    const std::vector<PortTrial> trials = FindRelay(SearchCandidates(ListPorts(), 0));
    if (trials.empty() || trials.back().outcome != TrialOutcome::Answered) {
        Fail(kExitPort, NoRelayFoundText(trials));
        return false;
    }
    const PortCandidate& found = trials.back().candidate;
    Note("korvenctl: relay found at " + PortLabel(found));
    m_comNumber = found.comNumber;
    m_portName = found.comNumber > 0 ? "COM" + std::to_string(found.comNumber) : found.device;
    NoteDevice();
    return (found.comNumber > 0 ? m_port.Open(found.comNumber, kBaudRate) : m_port.OpenPath(found.device, kBaudRate)) ==
           0;
}

int RunOnPort(const CommandSpec& spec, Session& session, const Arguments& args)
{
    const std::unique_ptr<Command> command = spec.make();
    int code = command->Check(session, args);
    if (code == kExitOk)
        code = RunPlan(*command, session, nullptr);
    ShowOutcome(session.TakeOutcome(code), command->GivesJson(false), session.console().out,
                session.console().err);
    return code;
}

namespace {

int RunCommandLine(const Arguments& args, const Console& console)
{
    Parsed parsed;
    if (const auto problem = ParseGlobal(args, parsed)) {
        console.err << "korvenctl: " << *problem << "\nTry 'korvenctl --help'." << std::endl;
        return kExitInput;
    }
    if (parsed.help || parsed.command == "help") {
        PrintOverview(console.out);
        return kExitOk;
    }
    Session session(console, parsed.options);
    // A failure before the command runs: its outcome shown at once.
    const auto shown = [&session, &console](int code) {
        ShowOutcome(session.TakeOutcome(code), false, console.out, console.err);
        return code;
    };
    if (parsed.command.empty())
        return shown(session.Usage("", "no command given"));
    const CommandSpec* spec = FindCommand(parsed.command);
    if (spec == nullptr)
        return shown(session.Usage("", "unknown command: " + parsed.command));
    if (AsksForHelp(parsed.args)) {
        console.out << "Usage: korvenctl [--port COMn|PATH|URL|auto|all]... " << spec->synopsis << "\n\n"
                    << spec->help << kExitCodes;
        return kExitOk;
    }
    if (spec->needsPort && parsed.options.port.empty() && parsed.options.ini.empty())
        return shown(session.Usage(spec->name, "no port given: use --port COMn|PATH|URL"));
    if (const auto problem = SettingsProblem(parsed, spec->needsPort))
        return shown(session.Fail(kExitInput, *problem));

    const std::string& tracePath = parsed.options.trace;
    if (!tracePath.empty() && !trace::Start(tracePath))
        return shown(session.Fail(kExitInput, CannotWriteMessage(tracePath)));
    int code = ManyPorts(parsed.ports) ? RunOnPorts(*spec, parsed.options, parsed.ports, parsed.args, console)
                                       : RunOnPort(*spec, session, parsed.args);
    trace::Stop();
    CSerialPort::SetThreadHooks(std::nullopt); // the hook writes to this run's console
    // A trace that lost lines is output that could not be written; an earlier failure keeps its code.
    if (!tracePath.empty() && trace::WriteFailed())
        code = shown(session.Fail(code == kExitOk ? kExitOutput : code, CannotWriteMessage(tracePath)));
    return code;
}

} // namespace

int Run(const Arguments& args, const Console& console)
{
    const int code = RunCommandLine(args, console);
    // Output that did not arrive is a failure: a script must not take a cut-off
    // set or table for the relay's. An earlier failure keeps its own code.
    if (console.out.flush())
        return code;
    console.err << "korvenctl: the output could not be written" << std::endl;
    return code == kExitOk ? kExitOutput : code;
}

} // namespace cli
