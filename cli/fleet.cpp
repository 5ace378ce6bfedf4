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

int Refuse(const Console& console, const std::string& message)
{
    console.err << "korvenctl: " << message << "\nTry 'korvenctl --help'." << std::endl;
    return kExitInput;
}

class PortFleet {
public:
    PortFleet(const CommandSpec& spec, const GlobalOptions& options, std::vector<FleetPort> ports,
              const Arguments& args, const Console& console);

    int Run();

private:
    struct PortRun {
        PortRun(FleetConsole& fleetConsole, const FleetPort& fleetPort, bool bars,
                const Console& console)
            : port(fleetPort), outBuffer(fleetConsole, port.name, false),
              errBuffer(fleetConsole, port.name, true), out(&outBuffer), err(&errBuffer),
              portConsole{out, err, bars, console.cancel}
        {
        }

        FleetPort port;
        GlobalOptions options;
        PortStream outBuffer;
        PortStream errBuffer;
        std::ostream out;
        std::ostream err;
        Console portConsole;
        Outcome outcome;
        double seconds = 0;
    };

    // The barrier as one port passes it.
    class Gate final : public Barrier {
    public:
        Gate(PortFleet& fleet, std::size_t index) : m_fleet(fleet), m_index(index) {}
        int Arrive(int code, bool waits, std::string& why) override { return m_fleet.Arrive(m_index, code, waits, why); }
        int Stopped(std::string& why) override { return m_fleet.Stopped(why); }

    private:
        PortFleet& m_fleet;
        std::size_t m_index;
    };

    void Serve(std::size_t index, const Command& command);
    int Arrive(std::size_t index, int code, bool waits, std::string& why);
    int Stopped(std::string& why);
    // Why no change begins, where m_stopCode says that none does.
    std::string Why() const;
    void PrintJson() const;
    void PrintSummary(std::ostream& out) const;

    const CommandSpec& m_spec;
    const GlobalOptions& m_options;
    const Arguments& m_args;
    const Console& m_console;
    bool m_json = false;
    bool m_bars = false;
    std::unique_ptr<FleetConsole> m_fleetConsole;
    std::vector<std::unique_ptr<PortRun>> m_runs;
    std::unique_ptr<LiveColumns> m_columns;

    // The barrier between preparing and applying.
    std::mutex m_barrierMutex;
    std::condition_variable m_arrival;
    std::size_t m_arrived = 0;
    int m_stopCode = kExitOk; // of the port that stops every change
    std::string m_stopPort;
    std::vector<FleetPort> m_ports;
};

PortFleet::PortFleet(const CommandSpec& spec, const GlobalOptions& options, std::vector<FleetPort> ports,
                     const Arguments& args, const Console& console)
    : m_spec(spec), m_options(options), m_args(args), m_console(console), m_ports(std::move(ports))
{
}

int PortFleet::Run()
{
    // The input once for every port, with nothing sent anywhere: a failed check ends the run.
    const std::unique_ptr<Command> command = m_spec.make();
    {
        GlobalOptions options = m_options;
        options.port = m_ports.front().name;
        Session check(m_console, options);
        const int code = command->Check(check, m_args);
        ShowOutcome(check.TakeOutcome(code), false, m_console.out, m_console.err);
        if (code != kExitOk)
            return code;
    }
    m_json = command->GivesJson(true);
    // Bars only for a command with progress, and only where the terminal can take them.
    m_bars = command->GivesProgress() && m_console.outIsTerminal && m_console.outMovesCursor != nullptr &&
             m_console.outMovesCursor();
    std::vector<std::string> names;
    for (const FleetPort& port : m_ports)
        names.push_back(port.name);
    m_fleetConsole = std::make_unique<FleetConsole>(m_console, names, m_bars);
    for (std::size_t i = 0; i < m_ports.size(); ++i) {
        m_runs.push_back(std::make_unique<PortRun>(*m_fleetConsole, m_ports[i], m_bars, m_console));
        m_runs.back()->options = m_options;
        m_runs.back()->options.port = m_ports[i].name;
    }
    if (command->GivesColumns())
        m_columns = std::make_unique<LiveColumns>(m_ports.size());

    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < m_runs.size(); ++i)
        threads.emplace_back([this, i, &command] { Serve(i, *command); });
    if (m_columns)
        m_columns->Drive(m_console, names, command->Ticks());
    for (std::thread& thread : threads)
        thread.join();
    m_fleetConsole->EndBars();

    if (m_json)
        PrintJson();
    // Where standard output carries data, the summary goes to standard error.
    PrintSummary(m_json || m_columns ? m_console.err : m_console.out);
    int code = kExitOk;
    for (const auto& run : m_runs)
        code = std::max(code, run->outcome.code);
    return code;
}

void PortFleet::Serve(std::size_t index, const Command& command)
{
    PortRun& run = *m_runs[index];
    trace::SetThreadLabel(run.port.name);
    const auto start = Clock::now();
    {
        Session session(run.portConsole, run.options);
        const std::unique_ptr<Command> own = command.Copy();
        if (m_bars) {
            // The port's bar below the lines; a pass's closing line among them.
            session.ShowProgress([this, &run, index, text = ProgressText()](const ProgressEvent* event) mutable {
                if (const auto ended = event != nullptr ? text.Begin(*event) : text.End())
                    run.out << *ended << std::endl;
                if (event != nullptr)
                    m_fleetConsole->Bar(index, ProgressText::Bar(*event, FleetConsole::kPortBarWidth));
            });
        }
        int code = kExitOk;
        if (m_columns) {
            session.Stream();
            code = m_columns->Column(session, index);
        } else {
            Gate gate(*this, index);
            code = RunPlan(*own, session, &gate);
        }
        run.outcome = session.TakeOutcome(code);
    }
    ShowOutcome(run.outcome, m_json, run.out, run.err);
    run.out.flush();
    run.err.flush();
    run.outBuffer.Finish();
    run.errBuffer.Finish();
    run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
}

int PortFleet::Arrive(std::size_t index, int code, bool waits, std::string& why)
{
    std::unique_lock lock(m_barrierMutex);
    // A failed check or record, or a stop, before a port's change began stops every change.
    if (m_stopCode == kExitOk && (code == kExitInput || code == kExitOutput || IsStopCode(code))) {
        m_stopCode = code;
        m_stopPort = m_runs[index]->port.name;
    }
    ++m_arrived;
    m_arrival.notify_all();
    if (waits)
        m_arrival.wait(lock, [this] { return m_arrived == m_runs.size(); });
    why = Why();
    return m_stopCode;
}

int PortFleet::Stopped(std::string& why)
{
    const std::lock_guard lock(m_barrierMutex);
    why = Why();
    return m_stopCode;
}

std::string PortFleet::Why() const
{
    const std::string nothing = "korvenctl: nothing sent to this relay: ";
    switch (m_stopCode) {
    case kExitOk:
        return "";
    case kExitInput:
        // A set that fails the checks, a missing reference, a file that does not load: its own line says which.
        return nothing + "the input for " + m_stopPort + " was refused";
    case kExitOutput:
        return nothing + "the commissioning record cannot be written";
    default:
        return nothing + "stopped by " + StopName(m_stopCode);
    }
}

void PortFleet::PrintJson() const
{
    std::vector<std::pair<std::string, const Outcome*>> outcomes;
    for (const auto& run : m_runs)
        outcomes.emplace_back(run->port.name, &run->outcome);
    m_console.out << PortsJson(outcomes) << std::endl;
}

void PortFleet::PrintSummary(std::ostream& out) const
{
    std::vector<PortSummary> ports;
    int code = kExitOk;
    for (const auto& run : m_runs) {
        const Outcome& outcome = run->outcome;
        const std::string text =
            !outcome.text.empty() ? outcome.text : outcome.code == kExitOk ? "ok" : "exit " + std::to_string(outcome.code);
        ports.push_back({run->port.name, run->port.device, outcome.version, run->seconds, text, outcome.code});
        code = std::max(code, outcome.code);
    }
    out << SummaryText(ports, code) << std::flush;
}

} // namespace

std::string PortsJson(const std::vector<std::pair<std::string, const Outcome*>>& outcomes)
{
    Json all = Json::Object();
    for (const auto& [port, outcome] : outcomes) {
        // A compare that found a difference has its data, and the difference is its exit code.
        if (outcome->code != kExitOk && !(outcome->code == kExitDiffers && outcome->data))
            all.Add(port, std::move(Json::Object()
                                        .Add("error", Json::Text(outcome->Errors()))
                                        .Add("exit", Json::Literal(std::to_string(outcome->code)))));
        else
            all.Add(port, outcome->data ? *outcome->data : Json::Object());
    }
    return all.Render();
}

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

std::string ForPort(std::string pattern, const std::string& port)
{
    Replace(pattern, kPortPattern, PortFileName(port));
    return pattern;
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
        return RunOnPort(spec, session, args);
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
            const std::string file = ForPort(args.empty() ? "" : args.front(), port.name);
            if (const auto [first, fresh] = files.emplace(file, port.name); !fresh)
                return Refuse(console, first->second + " and " + port.name + " would both be saved as " + file);
        }
    }
    PortFleet fleet(spec, options, std::move(resolved), args, console);
    return fleet.Run();
}

} // namespace cli
