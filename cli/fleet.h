#pragma once
// korvenctl over many relays at once: --port given more than once, or --port
// all for every COMn that the --ini file's [PORTS] names. Each port runs the
// command on a thread of its own, with its own session, port object and
// exchanges; the ports share nothing but the console, where every line carries
// its port's name and is written whole, and the commissioning record, whose
// lock lets every port append. The window never does this: it stays on one
// thread and one port.

#include "cli/commands.h"
#include "cli/session.h"

#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace cli {

// Whether the --port values ask for a run over several ports: more than one, or "all".
bool ManyPorts(const std::vector<std::string>& ports);

// Runs the command on every port named, all at once: its input checked once for
// all of them (nothing is sent anywhere when it fails), then prepared at every
// port, one barrier, and applied at every port. Lines carry their port's name;
// read --format json and save print one JSON object keyed by port; live --csv
// prints a column per port; a summary table ends the run. Returns the highest
// exit code among the ports.
int RunOnPorts(const CommandSpec& spec, const GlobalOptions& options, const std::vector<std::string>& ports,
               const Arguments& args, const Console& console);

// Where a file name takes its port's name (anlage-{port}.par).
inline constexpr const char* kPortPattern = "{port}";

// A port's line of the summary table that ends a run over several ports.
struct PortSummary {
    std::string port;
    std::string device;  // empty where the name says it
    std::string version; // the relay's version text where read
    double seconds = 0;
    std::string outcome; // what the port's run came to, in a few words
    int code = kExitOk;
};
// The outcomes of a run over several ports as one JSON object keyed by port:
// each port's data, or its error and exit code.
std::string PortsJson(const std::vector<std::pair<std::string, const Outcome*>>& outcomes);

// The summary table: a line per port, then "N of M ports ok", and where the
// run's exit code is not 0, the ports it comes from.
std::string SummaryText(const std::vector<PortSummary>& ports, int code);

// The file name pattern with {port} as the port's file name.
std::string ForPort(std::string pattern, const std::string& port);

// The name a file name pattern takes for {port}: COMn as it is, a device's last
// path part, and any character outside letters, digits, '.', '-' and '_' as '_'.
std::string PortFileName(const std::string& port);

} // namespace cli
