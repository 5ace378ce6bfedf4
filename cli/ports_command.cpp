// korvenctl ports: the candidate ports, and with --probe whether a relay answers
// on each.

#include "cli/commands.h"
#include "cli/fleet.h"
#include "link/port_search.h"
#include "link/trace.h"
#include "params/relay_transfer.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <ostream>
#include <thread>

namespace cli {

namespace {

const char* StateWord(const PortCandidate& candidate)
{
    if (candidate.bluetooth && candidate.state == OpenFailure::None) // never opened
        return "Bluetooth, not searched";
    switch (candidate.state) {
    case OpenFailure::None:
        return "present";
    case OpenFailure::Missing:
        return "missing";
    case OpenFailure::Busy:
        return "busy";
    case OpenFailure::NotPermitted:
        return "not permitted";
    case OpenFailure::NotSerial:
        return "not serial";
    case OpenFailure::BadAddress:
        return "bad address";
    case OpenFailure::UnknownHost:
        return "unknown host";
    case OpenFailure::NobodyListens:
        return "refused";
    case OpenFailure::NoAnswer:
        return "no answer";
    case OpenFailure::NotRfc2217:
        return "not rfc2217";
    case OpenFailure::LineSettings:
        return "other line settings";
    case OpenFailure::PortInUse:
        return "in use";
    case OpenFailure::Other:
        break;
    }
    return "not opened";
}

// Whether a relay answers at the port, with its version text from a parameter read.
std::string ProbeText(const PortCandidate& candidate)
{
    CSerialPort port;
    if (TryPort(port, candidate) != TrialOutcome::Answered)
        return "no relay";
    ParameterSet set;
    DeviceInfo info;
    ReadRelayParameters(port, set, info);
    std::string text = "relay";
    if (const auto end = info.VER.find_last_not_of(' '); end != std::string::npos)
        text.append(" ").append(info.VER, 0, end + 1);
    return text;
}

// The ports --port names, alone and in their order: each as the list has it, or
// as its name gives it. A Bluetooth port named so is tried like any other.
std::vector<PortCandidate> GivenPorts(const std::vector<PortCandidate>& ports, const std::vector<std::string>& names)
{
    std::vector<PortCandidate> given;
    for (const std::string& port : names) {
        const int number = ComNumberOf(port);
        const std::string device = number > 0 ? SerialDevicePath(number) : port;
        const std::string resolved = ResolvedDevice(device);
        PortCandidate named(number > 0 ? "COM" + std::to_string(number) : port, number, device, resolved);
        for (const PortCandidate& candidate : ports) {
            if (number > 0 ? candidate.comNumber == number : candidate.device == device || candidate.target == resolved)
                named = candidate;
        }
        named.bluetooth = false;
        given.push_back(std::move(named));
    }
    return given;
}

// Every present port probed at once, a thread each: a port without a relay costs
// its time-outs once for all, not once for each. Empty where not probed (a
// Bluetooth port is not opened unless named).
std::vector<std::string> ProbeTexts(const std::vector<PortCandidate>& ports)
{
    std::vector<std::string> texts(ports.size());
    std::vector<std::thread> probes;
    // Each probe with the settings of the command's own thread ([PORTS] of its --ini file).
    const CSerialPort::Hooks hooks = CSerialPort::GetHooks();
    for (std::size_t i = 0; i < ports.size(); ++i) {
        if (ports[i].state == OpenFailure::None && !ports[i].bluetooth) {
            probes.emplace_back([&ports, &texts, &hooks, i] {
                CSerialPort::SetThreadHooks(hooks);
                trace::SetThreadLabel(ports[i].name);
                texts[i] = ProbeText(ports[i]);
            });
        }
    }
    for (std::thread& probe : probes)
        probe.join();
    return texts;
}

} // namespace

namespace {

class Ports final : public Command {
public:
    int Check(Session& session, const Arguments& args) override
    {
        for (const std::string& arg : args) {
            if (arg != "--probe")
                return session.Usage("ports", "unexpected argument: " + arg);
            m_probe = true;
        }
        return kExitOk;
    }
    std::unique_ptr<Command> Copy() const override { return std::make_unique<Ports>(*this); }
    int Prepare(Session&, Plan&) override { return kExitOk; }
    int Apply(Session& session, const Plan&) override;

private:
    bool m_probe = false;
};

int Ports::Apply(Session& session, const Plan&)
{
    // Each port's line goes out as it is found.
    session.Stream();
    const bool probe = m_probe;
    const auto start = std::chrono::steady_clock::now();
    session.UsePortSettings();
    std::vector<PortCandidate> ports = ListPorts();
    if (const std::vector<std::string> named = session.NamedPorts(); !named.empty())
        ports = GivenPorts(ports, named);
    ProbePortStates(ports);

    // Name, device, description, state, and what the probe found; aligned in columns.
    std::vector<std::array<std::string, 5>> rows;
    std::array<std::size_t, 4> widths{};
    const std::vector<std::string> probes = probe ? ProbeTexts(ports) : std::vector<std::string>(ports.size());
    const bool anyRelay =
        std::any_of(probes.begin(), probes.end(), [](const std::string& text) { return text.rfind("relay", 0) == 0; });
    for (std::size_t i = 0; i < ports.size(); ++i) {
        const PortCandidate& candidate = ports[i];
        const std::string description = PortDescription(candidate);
        // What the system and the relay say is shown as a terminal may show it.
        std::array<std::string, 5> row{
            TerminalText(candidate.name), candidate.target.empty() ? "-" : TerminalText(candidate.target),
            description.empty() ? "-" : TerminalText(description), StateWord(candidate), TerminalText(probes[i])};
        for (std::size_t column = 0; column < widths.size(); ++column)
            widths[column] = std::max(widths[column], DisplayWidth(row[column]));
        rows.push_back(std::move(row));
    }
    for (const auto& row : rows) {
        std::string line = row[0];
        for (std::size_t i = 1; i < row.size(); ++i) {
            if (!row[i].empty()) // the probe's column, where there is one
                line += std::string(widths[i - 1] + 2 - DisplayWidth(row[i - 1]), ' ') + row[i];
        }
        session.out() << line << "\n";
    }
    if (rows.empty())
        session.Note(kNoSerialPortText);
    const int code = probe && !anyRelay ? kExitRelay : kExitOk;
    // Over several ports, as every run over several ports ends: the summary table.
    if (session.ManyPorts()) {
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::vector<PortSummary> summary;
        for (std::size_t i = 0; i < ports.size(); ++i) {
            const bool present = ports[i].state == OpenFailure::None;
            const bool relay = probes[i].rfind("relay", 0) == 0;
            const int portCode = !present ? kExitPort : probe && !relay ? kExitRelay : kExitOk;
            const std::string outcome = StateWord(ports[i]) + (probes[i].empty() ? "" : ", " + probes[i]);
            const std::string device = ports[i].target != ports[i].name ? ports[i].target : "";
            summary.push_back({ports[i].name, device,
                               relay ? probes[i].substr(std::min<std::size_t>(6, probes[i].size())) : "", seconds,
                               outcome, portCode});
        }
        session.out() << SummaryText(summary, code);
    }
    return code;
}

} // namespace

std::unique_ptr<Command> MakePorts()
{
    return std::make_unique<Ports>();
}

} // namespace cli
