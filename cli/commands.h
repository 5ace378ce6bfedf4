#pragma once
// The commands of korvenctl. Each parses its own arguments, checks its input
// files before it opens the port, and returns the exit code.

#include "cli/session.h"
#include "params/parameter_text.h"

#include <optional>
#include <string>
#include <vector>

namespace cli {

using Arguments = std::vector<std::string>;

int RunLive(Session& session, const Arguments& args);
int RunRead(Session& session, const Arguments& args);
int RunWrite(Session& session, const Arguments& args);
int RunSave(Session& session, const Arguments& args);
int RunFlash(Session& session, const Arguments& args);
int RunCalibrate(Session& session, const Arguments& args);
int RunTestCom3(Session& session, const Arguments& args);
int RunPorts(Session& session, const Arguments& args);
int RunCompare(Session& session, const Arguments& args);
int RunRestore(Session& session, const Arguments& args);

// Opens the port and reads the relay's set and device texts, and notes the set
// found in the record: kExitOk, or the exit code of the failure, whose message
// has been given (a stop asked for while the port opened sends nothing). Not
// required (before a calibration or a flash, for the record): a set the relay
// does not give is passed over in silence (kExitRelay).
int ReadRelaySet(Session& session, ParameterSet& set, DeviceInfo& info, bool required = true);

// One live reading at a tick of live: the port opened again where its device
// went away, stale input drained, the request, and a port that gave nothing
// asked whether its device is still there.
std::optional<double> ReadLive(CSerialPort& port);

struct CommandSpec {
    const char* name;
    const char* synopsis; // the command with its arguments
    const char* summary;  // one line for the overview
    const char* help;     // what it does, its output and its exit codes
    int (*run)(Session&, const Arguments&);
    bool needsPort = true; // false: runs without --port or --ini
    // false: the technician must be at the relay (a voltage at its terminals, a
    // plug on its third port), so it runs on one port at a time.
    bool manyPorts = true;
};

// Every command, in the order the help lists them.
const std::vector<CommandSpec>& Commands();

} // namespace cli
