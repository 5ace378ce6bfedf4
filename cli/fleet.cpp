#include "cli/fleet.h"

#include "cli/fleet_console.h"
#include "cli/fleet_live.h"
#include "files/settings_file.h"
#include "files/utf8_path.h"
#include "link/trace.h"
#include "port/net_address.h"
#include "port/net_socket.h"
#include "port/port_list.h"
#include "port/serial_device.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <ostream>
#include <thread>

namespace cli {

namespace {

using Clock = std::chrono::steady_clock;
constexpr const char* kAllPorts = "all";
constexpr const char* kAutoPort = "auto";
// The outcome a port's change gets in the record where another port's record
// stopped every change after this one's start was noted.
constexpr const char* kStoppedBeforeFirstFrame = "abgebrochen, nichts gesendet";
// --port all looks for COM1 to COM256 in [PORTS], as many as Windows numbers.
constexpr int kHighestComPort = 256;
// Default for the [PORTS] look-up that no value can have (values never hold a line end).
const std::string kNoPortsKey = "\n";

struct FleetPort {
    std::string name;   // COMn, or the path as given
    std::string device; // the device behind COMn, for the summary; empty where the name says it
};

// Every COMn that [PORTS] of the settings file names, in COM order. A key present
// but empty names no device.
std::vector<std::string> PortsOfSettings(const std::string& ini)
{
    std::vector<std::string> names;
    for (int number = 1; number <= kHighestComPort; ++number) {
        const std::string name = "COM" + std::to_string(number);
        const std::string value = ReadProfileString("PORTS", name, kNoPortsKey, ini);
        if (value != kNoPortsKey && !value.empty())
            names.push_back(name);
    }
    return names;
}

// What two names of one port have in common: the device with every link followed.
std::string DeviceKey(const std::string& name, const std::string& device)
{
    if (device.empty())
        return name;
    std::error_code error;
    const std::filesystem::path canonical = std::filesystem::weakly_canonical(PathFromUtf8(device), error);
    return error ? device : PathToUtf8(canonical);
}

// What two names of one network port have in common: the server's port with
// the host as written (without regard to case), and with each address the host
// has. The scheme does not count: rfc2217:// and tcp:// to one port of a device
// server reach the same relay.
std::vector<std::string> NetworkPortKeys(const std::string& path)
{
    const std::optional<NetAddress> address = ParseNetAddress(path);
    if (!address)
        return {path};
    std::string host = address->host;
    std::transform(host.begin(), host.end(), host.begin(), [](unsigned char c) { return std::tolower(c); });
    const std::string port = ":" + std::to_string(address->port);
    std::vector<std::string> keys = {"host " + host + port};
    for (const net::Endpoint& endpoint : net::Resolve(address->host, address->port, false).endpoints)
        keys.push_back("address " + std::string(reinterpret_cast<const char*>(endpoint.bytes.data()),
                                                static_cast<std::size_t>(endpoint.length)));
    return keys;
}

// The ports the --port values name, each once: a message where they cannot be had.
std::optional<std::string> ResolvePorts(const std::vector<std::string>& given, const std::string& ini,
                                        std::vector<FleetPort>& ports)
{
    std::vector<std::string> names;
    for (const std::string& value : given) {
        if (value == kAutoPort)
            return "--port auto stands alone: name the ports, or take --port all";
        if (value != kAllPorts) {
            names.push_back(value);
            continue;
        }
        if (ini.empty())
            return "--port all takes the ports of [PORTS] in the --ini file: give --ini FILE";
        const std::vector<std::string> named = PortsOfSettings(ini);
        if (named.empty())
            return "--port all: [PORTS] of " + ini + " names no port";
        names.insert(names.end(), named.begin(), named.end());
    }
    std::map<std::string, std::string> seen; // device -> the name that gave it first
    for (const std::string& name : names) {
        const int number = ComNumberOf(name);
        FleetPort port{number > 0 ? "COM" + std::to_string(number) : name, ""};
        const std::string path = number > 0 ? SerialDevicePath(number) : name;
        if (number > 0 && DeviceDisplayName(path) != port.name)
            port.device = DeviceDisplayName(path);
        const std::vector<std::string> keys =
            IsNetworkPath(path) ? NetworkPortKeys(path) : std::vector<std::string>{DeviceKey(port.name, path)};
        for (const std::string& key : keys) {
            const auto first = seen.find(key);
            if (first != seen.end())
                return first->second == port.name ? port.name + " is named twice"
                                                  : first->second + " and " + port.name + " are the same port";
        }
        for (const std::string& key : keys)
            seen.emplace(key, port.name);
        ports.push_back(std::move(port));
    }
    return std::nullopt;
}

void Replace(std::string& text, const std::string& from, const std::string& to)
{
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

// A text as a JSON string. Our texts are UTF-8 and pass as they are; a byte that
// is no part of UTF-8 counts as Latin-1, and control characters are escaped.
std::string JsonText(std::string_view text)
{
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        std::size_t length = b >= 0xF0 && b < 0xF5 ? 4 : b >= 0xE0 ? 3 : b >= 0xC2 && b < 0xE0 ? 2 : 1;
        for (std::size_t k = 1; length > 1 && k < length; ++k) {
            if (i + k >= text.size() || (static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
                length = 1;
        }
        if (b >= 0x80 && length > 1) {
            out.append(text.substr(i, length));
            i += length - 1;
        } else if (b == '"' || b == '\\') {
            out.append(1, '\\').append(1, static_cast<char>(b));
        } else if (b == '\n') {
            out += "\\n";
        } else if (b < 0x20 || b >= 0x7F) {
            out.append("\\u00").append(1, kHex[b >> 4]).append(1, kHex[b & 0x0F]);
        } else {
            out += static_cast<char>(b);
        }
    }
    return out + '"';
}

// The value of --format among the arguments of read, as RunRead takes it.
std::string FormatOf(const Arguments& args)
{
    std::string format;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i].rfind("--format=", 0) == 0)
            format = args[i].substr(9);
        else if (args[i] == "--format" && i + 1 < args.size())
            format = args[++i];
    }
    return format;
}

std::optional<long> CountOf(const Arguments& args)
{
    std::optional<long> count;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i].rfind("--count=", 0) == 0)
            count = std::strtol(args[i].c_str() + 8, nullptr, 10);
        else if (args[i] == "--count" && i + 1 < args.size())
            count = std::strtol(args[++i].c_str(), nullptr, 10);
    }
    return count;
}

int Refuse(const Console& console, const std::string& message)
{
    console.err << "korvenctl: " << message << "\nTry 'korvenctl --help'." << std::endl;
    return kExitInput;
}

class PortFleet final : public Fleet {
public:
    PortFleet(const CommandSpec& spec, const GlobalOptions& options, std::vector<FleetPort> ports,
              const Arguments& args, const Console& console);

    int Run();

    void PortOpening(std::size_t index) override
    {
        if (index == kInputCheck)
            throw InputChecked{};
    }
    int AwaitChange(std::size_t index, Gate gate, std::string& why) override;
    HexLoadResult LoadFirmware(const std::string& path, std::shared_ptr<const FirmwareImage>& image) override;

private:
    enum class Output {
        Lines,   // each port's lines, with its name in front
        Json,    // one JSON object keyed by port
        Columns, // live --csv: a column per port
    };

    struct PortRun {
        PortRun(FleetConsole& fleetConsole, std::size_t index, const FleetPort& fleetPort, bool keepOut, bool bars,
                const Console& console)
            : port(fleetPort), outBuffer(fleetConsole, index, port.name, false, !keepOut, keepOut),
              errBuffer(fleetConsole, index, port.name, true, true, true), out(&outBuffer),
              err(&errBuffer), portConsole{out, err, bars, console.cancel}
        {
        }

        FleetPort port;
        GlobalOptions options;
        Arguments args;
        PortStream outBuffer;
        PortStream errBuffer;
        std::ostream out;
        std::ostream err;
        Console portConsole;
        int code = kExitOk;
        std::string version;
        std::string outcome; // the session's OutcomeText
        double seconds = 0;
    };

    void Serve(std::size_t index);
    void Ended(std::size_t index, int code);
    std::string Outcome(const PortRun& run) const;
    void PrintJson() const;
    void PrintSummary(std::ostream& out) const;

    const CommandSpec& m_spec;
    const GlobalOptions& m_options;
    const Arguments& m_args;
    const Console& m_console;
    Output m_output = Output::Lines;
    std::unique_ptr<FleetConsole> m_fleetConsole;
    std::vector<std::unique_ptr<PortRun>> m_runs;
    std::unique_ptr<LiveColumns> m_columns;

    // The gates before the first frame of a change.
    std::mutex m_gateMutex;
    std::condition_variable m_gateMoved;
    std::vector<int> m_reached; // per port: the last gate it came to (0: none yet), or kEnded
    int m_stopCode = kExitOk;   // the code that closed them
    std::string m_stopPort;

    std::mutex m_imageMutex;
    std::string m_imagePath;
    std::shared_ptr<const FirmwareImage> m_image;
    HexLoadResult m_imageLoad;
};

PortFleet::PortFleet(const CommandSpec& spec, const GlobalOptions& options, std::vector<FleetPort> ports,
                     const Arguments& args, const Console& console)
    : m_spec(spec), m_options(options), m_args(args), m_console(console), m_reached(ports.size(), 0)
{
    const std::string command = spec.name;
    const bool csv = std::find(args.begin(), args.end(), "--csv") != args.end();
    if (((command == "read" || command == "compare") && FormatOf(args) == "json") || command == "save")
        m_output = Output::Json;
    else if (command == "live" && csv)
        m_output = Output::Columns;
    // Bars only for the one command with progress, and only where the terminal can take them.
    const bool bars =
        command == "flash" && console.outIsTerminal && console.outMovesCursor != nullptr && console.outMovesCursor();
    std::vector<std::string> names;
    for (const FleetPort& port : ports)
        names.push_back(port.name);
    m_fleetConsole = std::make_unique<FleetConsole>(console, names, bars);
    for (std::size_t i = 0; i < ports.size(); ++i) {
        auto run = std::make_unique<PortRun>(*m_fleetConsole, i, ports[i], m_output == Output::Json, bars, m_console);
        run->options = options;
        run->options.port = ports[i].name;
        run->args = args;
        for (std::string& arg : run->args)
            Replace(arg, kPortPattern, PortFileName(ports[i].name));
        m_runs.push_back(std::move(run));
    }
    if (m_output == Output::Columns)
        m_columns = std::make_unique<LiveColumns>(ports.size());
}

int PortFleet::Run()
{
    // The input once for every port: the command runs up to where it would open
    // its port. Ending before that, it failed (or was only asked for help), and
    // nothing has been sent anywhere.
    {
        GlobalOptions options = m_options;
        options.port = m_runs.front()->port.name;
        Session check(m_console, options);
        check.JoinFleet(*this, kInputCheck);
        try {
            return m_spec.run(check, m_args);
        } catch (const InputChecked&) {
        }
    }
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < m_runs.size(); ++i)
        threads.emplace_back([this, i] { Serve(i); });
    if (m_columns) {
        std::vector<std::string> names;
        for (const auto& run : m_runs)
            names.push_back(run->port.name);
        m_columns->Drive(m_console, names, CountOf(m_args));
    }
    for (std::thread& thread : threads)
        thread.join();
    m_fleetConsole->EndBars();

    if (m_output == Output::Json)
        PrintJson();
    // Where standard output carries data, the summary goes to standard error.
    PrintSummary(m_output == Output::Lines ? m_console.out : m_console.err);
    int code = kExitOk;
    for (const auto& run : m_runs)
        code = std::max(code, run->code);
    return code;
}

void PortFleet::Serve(std::size_t index)
{
    PortRun& run = *m_runs[index];
    trace::SetThreadLabel(run.port.name);
    const auto start = Clock::now();
    int code = kExitOk;
    {
        Session session(run.portConsole, run.options);
        session.JoinFleet(*this, index);
        code = m_columns ? m_columns->Column(session, index) : m_spec.run(session, run.args);
        run.version = session.Version();
        run.outcome = session.OutcomeText();
    }
    run.out.flush();
    run.err.flush();
    run.outBuffer.Finish();
    run.errBuffer.Finish();
    run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    run.code = code;
    Ended(index, code);
}

void PortFleet::Ended(std::size_t index, int code)
{
    const std::lock_guard lock(m_gateMutex);
    // A failed check or record, or Ctrl+C, before a port's change began stops every change.
    const bool beforeChange = m_reached[index] < static_cast<int>(Gate::Noted);
    if (beforeChange && m_stopCode == kExitOk && (code == kExitInput || code == kExitOutput || IsStopCode(code))) {
        m_stopCode = code;
        m_stopPort = m_runs[index]->port.name;
    }
    m_reached[index] = kEnded;
    m_gateMoved.notify_all();
}

int PortFleet::AwaitChange(std::size_t index, Gate gate, std::string& why)
{
    std::unique_lock lock(m_gateMutex);
    const int at = static_cast<int>(gate);
    if (index < m_reached.size()) {
        m_reached[index] = at;
        m_gateMoved.notify_all();
    }
    m_gateMoved.wait(lock, [this, at] {
        return std::all_of(m_reached.begin(), m_reached.end(), [at](int reached) { return reached >= at; });
    });
    const std::string nothing = "korvenctl: nothing sent to this relay: ";
    switch (m_stopCode) {
    case kExitInput:
        // A set that fails the checks, a missing reference, a file that does not load: its own line says which.
        why = nothing + "the input for " + m_stopPort + " was refused";
        break;
    case kExitOutput:
        why = nothing + "the commissioning record cannot be written";
        break;
    default:
        if (IsStopCode(m_stopCode))
            why = nothing + "stopped by " + StopName(m_stopCode);
        break;
    }
    return m_stopCode;
}

HexLoadResult PortFleet::LoadFirmware(const std::string& path, std::shared_ptr<const FirmwareImage>& image)
{
    const std::lock_guard lock(m_imageMutex);
    if (!m_image || m_imagePath != path) {
        auto loaded = std::make_shared<FirmwareImage>();
        m_imageLoad = LoadHexFile(path, *loaded);
        m_image = std::move(loaded);
        m_imagePath = path;
    }
    image = m_image;
    return m_imageLoad;
}

std::string PortFleet::Outcome(const PortRun& run) const
{
    if (!run.outcome.empty())
        return run.outcome;
    return run.code == kExitOk ? "ok" : "exit " + std::to_string(run.code);
}

void PortFleet::PrintJson() const
{
    std::string json = "{\n";
    for (std::size_t i = 0; i < m_runs.size(); ++i) {
        const PortRun& run = *m_runs[i];
        json += "  " + JsonText(run.port.name) + ": ";
        std::string body;
        // A compare that found a difference has its data, and the difference is its exit code.
        if (run.code != kExitOk && (run.code != kExitDiffers || run.outBuffer.Kept().empty())) {
            std::string error = run.errBuffer.Kept();
            if (!error.empty() && error.back() == '\n')
                error.pop_back();
            body = "{\n  \"error\": " + JsonText(error) + ",\n  \"exit\": " + std::to_string(run.code) + "\n}\n";
        } else if (m_spec.name == std::string("save")) {
            body = "{\n  \"file\": " + JsonText(run.outcome) + "\n}\n";
        } else {
            body = run.outBuffer.Kept().empty() ? "{}\n" : run.outBuffer.Kept();
        }
        // The port's own object, one level in.
        body.pop_back();
        Replace(body, "\n", "\n  ");
        json += body + (i + 1 < m_runs.size() ? ",\n" : "\n");
    }
    m_console.out << json << "}" << std::endl;
}

void PortFleet::PrintSummary(std::ostream& out) const
{
    std::vector<PortSummary> ports;
    int code = kExitOk;
    for (const auto& run : m_runs) {
        ports.push_back({run->port.name, run->port.device, run->version, run->seconds, Outcome(*run), run->code});
        code = std::max(code, run->code);
    }
    out << SummaryText(ports, code) << std::flush;
}

} // namespace

std::string SummaryText(const std::vector<PortSummary>& ports, int code)
{
    // The outcome, the one text of any length, comes last.
    std::vector<std::array<std::string, 5>> rows = {{"Port", "Device", "Version", "Time", "Outcome"}};
    std::array<std::size_t, 5> widths{};
    std::size_t good = 0;
    for (const PortSummary& port : ports) {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.1f s", port.seconds);
        std::string version = port.version;
        version.erase(version.find_last_not_of(' ') + 1);
        // The names, the device and the version text come from outside, as a terminal may show them.
        rows.push_back({TerminalText(port.port), port.device.empty() ? "-" : TerminalText(port.device),
                        version.empty() ? "-" : TerminalText(version), seconds, TerminalText(port.outcome)});
        good += port.code == kExitOk ? 1 : 0;
    }
    for (const auto& row : rows) {
        for (std::size_t i = 0; i < row.size(); ++i)
            widths[i] = std::max(widths[i], DisplayWidth(row[i]));
    }
    std::string text;
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            const std::string gap(widths[i] - DisplayWidth(row[i]), ' ');
            if (i == 3) // the times line up at their unit
                line += gap + row[i];
            else
                line += row[i] + (i + 1 < row.size() ? gap : "");
            line += i + 1 < row.size() ? "  " : "";
        }
        text += line + "\n";
    }
    text += std::to_string(good) + " of " + std::to_string(ports.size()) + " ports ok";
    if (code != kExitOk) {
        std::string which;
        for (const PortSummary& port : ports) {
            if (port.code == code)
                which += (which.empty() ? "" : ", ") + port.port;
        }
        text += "; exit code " + std::to_string(code) + (which.empty() ? "" : " from " + which);
    }
    return text + "\n";
}

bool ManyPorts(const std::vector<std::string>& ports)
{
    return ports.size() > 1 || std::find(ports.begin(), ports.end(), kAllPorts) != ports.end();
}

std::string PortFileName(const std::string& port)
{
    std::string name = port;
    if (const auto scheme = name.find("://"); scheme != std::string::npos)
        name.erase(0, scheme + 3);
    else if (const auto slash = name.find_last_of("/\\"); slash != std::string::npos)
        name.erase(0, slash + 1);
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '_')
            c = '_';
    }
    // Nothing, "." or "..": no name of a file of its own.
    return name.find_first_not_of('.') == std::string::npos ? "_" + name : name;
}

int RunOnPorts(const CommandSpec& spec, const GlobalOptions& options, const std::vector<std::string>& ports,
               const Arguments& args, const Console& console)
{
    // COMn is looked up in the --ini file's [PORTS], as each port's session does.
    std::ostream& err = console.err;
    CSerialPort::SetThreadHooks(CSerialPort::Hooks{
        [&err](const std::string& text, const std::string&) { err << TerminalLines(text) << std::endl; }, options.ini});
    std::vector<FleetPort> resolved;
    if (const auto problem = ResolvePorts(ports, options.ini, resolved))
        return Refuse(console, *problem);
    if (!spec.needsPort) { // the command serves every port itself
        GlobalOptions all = options;
        for (const FleetPort& port : resolved)
            all.ports.push_back(port.name);
        Session session(console, all);
        return spec.run(session, args);
    }
    if (!spec.manyPorts && resolved.size() > 1)
        return Refuse(console, std::string(spec.name) + " needs the technician at the relay: one port at a time, not " +
                                   std::to_string(resolved.size()));
    if (spec.name == std::string("save")) {
        const bool pattern = std::any_of(args.begin(), args.end(), [](const std::string& arg) {
            return arg.find(kPortPattern) != std::string::npos;
        });
        if (!pattern && resolved.size() > 1)
            return Refuse(console, "save over several ports takes a file name with {port} in it, such as "
                                   "anlage-{port}.par");
        std::map<std::string, std::string> files;
        for (const FleetPort& port : resolved) {
            std::string file = args.empty() ? "" : args.front();
            Replace(file, kPortPattern, PortFileName(port.name));
            if (const auto [first, fresh] = files.emplace(file, port.name); !fresh)
                return Refuse(console, first->second + " and " + port.name + " would both be saved as " + file);
        }
    }
    PortFleet fleet(spec, options, std::move(resolved), args, console);
    return fleet.Run();
}

void Session::JoinFleet(Fleet& fleet, std::size_t index)
{
    m_fleet = &fleet;
    m_fleetIndex = index;
}

int Session::StartChange(const RecordEntry& entry)
{
    std::string why;
    if (m_fleet != nullptr) {
        if (const int code = m_fleet->AwaitChange(m_fleetIndex, Fleet::Gate::Checked, why); code != kExitOk)
            return Fail(code, why);
    }
    const std::string nothing = "korvenctl: nothing sent to this relay: stopped by ";
    // A stop asked for while the port opened or the relay was read: the change begins nowhere.
    if (const int stop = StopCode(); stop != 0)
        return Fail(stop, nothing + StopName(stop));
    if (!RecordStart(entry))
        return kExitOutput;
    int code = m_fleet != nullptr ? m_fleet->AwaitChange(m_fleetIndex, Fleet::Gate::Noted, why) : kExitOk;
    if (code == kExitOk && StopCode() != 0) {
        code = StopCode();
        why = nothing + StopName(code);
    }
    if (code != kExitOk) {
        // Its start is in the record: so is its end, before the message.
        RecordEntry stopped = entry;
        stopped.outcome = kStoppedBeforeFirstFrame;
        return Fail(Record(stopped, code), why);
    }
    return kExitOk;
}

HexLoadResult Session::LoadFirmware(const std::string& path, std::shared_ptr<const FirmwareImage>& image)
{
    if (m_fleet != nullptr)
        return m_fleet->LoadFirmware(path, image);
    auto own = std::make_shared<FirmwareImage>();
    const HexLoadResult result = LoadHexFile(path, *own);
    image = std::move(own);
    return result;
}

} // namespace cli
