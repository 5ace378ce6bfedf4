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
#include <vector>

namespace cli {

// Whether the --port values ask for a run over several ports: more than one, or "all".
bool ManyPorts(const std::vector<std::string>& ports);

// Runs the command on every port named, all at once, after its input has been
// checked once for all of them (nothing is sent anywhere when it fails). Lines
// carry their port's name; read --format json and save print one JSON object
// keyed by port; live --csv prints a column per port; a summary table ends the
// run. Returns the highest exit code among the ports.
int RunOnPorts(const CommandSpec& spec, const GlobalOptions& options, const std::vector<std::string>& ports,
               const Arguments& args, const Console& console);

// What a session asks of the run over several ports it belongs to.
class Fleet {
public:
    // The session that checks the command's input once for every port: it runs
    // the command up to where it would open its port, and ends there.
    static constexpr std::size_t kInputCheck = static_cast<std::size_t>(-1);

    virtual ~Fleet() = default;
    // Said by the session at index before it opens its port. For the input check
    // this ends the command: it throws InputChecked, which the fleet catches
    // (what the command holds at that point is memory and closed files only).
    virtual void PortOpening(std::size_t index) = 0;
    // The gates before the first frame of a change (Session::StartChange), in
    // this order: each port's checks passed, then each port's start noted in
    // the record. A port that ended before its change began stops every change.
    enum class Gate { Checked = 1, Noted = 2 };
    static constexpr int kEnded = 3; // beyond every gate
    // Waits until every port has reached gate or ended; kExitOk, or the exit
    // code of the port that stops every change, with why set to the message.
    virtual int AwaitChange(std::size_t index, Gate gate, std::string& why) = 0;
    // The HEX file loaded once for every port.
    virtual HexLoadResult LoadFirmware(const std::string& path, std::shared_ptr<const FirmwareImage>& image) = 0;
};

// Thrown where the input check asks for its port.
struct InputChecked {};

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
// The summary table: a line per port, then "N of M ports ok", and where the
// run's exit code is not 0, the ports it comes from.
std::string SummaryText(const std::vector<PortSummary>& ports, int code);

// The name a file name pattern takes for {port}: COMn as it is, a device's last
// path part, and any character outside letters, digits, '.', '-' and '_' as '_'.
std::string PortFileName(const std::string& port);

} // namespace cli
