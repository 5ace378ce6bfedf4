#pragma once
// The commands of korvenctl. Each is a plan and its outcome: it checks its
// input and loads its files once (for every port), prepares at each port (opens
// it, reads what it must from the relay, says what it will change), and once
// every port has prepared, applies its plan. One port and many ports run the
// same steps (RunPlan); what a step comes to goes into the session's outcome.

#include "cli/session.h"
#include "params/parameter_text.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace cli {

using Arguments = std::vector<std::string>;

// What a command will do at one port, once prepared.
struct Plan {
    // The change it will make, as its record entry: noted as begun before the
    // first frame, and never begun where another port stops every change.
    // None for a command that only reads.
    std::optional<RecordEntry> change;
};

class Command {
public:
    virtual ~Command() = default;

    // Reads the arguments, checks the input and loads the files, once for every
    // port: nothing goes to any port. kExitOk, or the failure's exit code.
    virtual int Check(Session& session, const Arguments& args) = 0;
    // The command as checked, for one port of a run over several.
    virtual std::unique_ptr<Command> Copy() const = 0;
    // Opens the port, reads from the relay what the command needs and checks
    // it, and says what it will change. kExitOk, or the failure's exit code.
    virtual int Prepare(Session& session, Plan& plan) = 0;
    // Does what was prepared: sends the change, or gives what was read.
    virtual int Apply(Session& session, const Plan& plan) = 0;
    // The message where a stop came before the change's first frame.
    virtual std::string StoppedBeforeChange(int stop) const;

    // How the outcome is shown: its lines, or its data as JSON (over several
    // ports one object keyed by port).
    virtual bool GivesJson(bool manyPorts) const
    {
        (void)manyPorts;
        return false;
    }
    // live --csv: over several ports one CSV line a tick with a column per port,
    // for Ticks() ticks (none: until stopped).
    virtual bool GivesColumns() const { return false; }
    // Whether it gives progress events (Session::Progress), shown as bars on a terminal.
    virtual bool GivesProgress() const { return false; }
    virtual std::optional<long> Ticks() const { return std::nullopt; }
};

// The barrier of a run over several ports between preparing and applying: a
// change begins only once every port has prepared its own, and none where one
// port's input or record failed, or a stop was asked for, before its change.
class Barrier {
public:
    virtual ~Barrier() = default;
    // Said once by every port: code, what its preparing came to; waits, where
    // the port has a change to make, until every port has said so. kExitOk, or
    // the exit code that stops every change, with why set to the message.
    virtual int Arrive(int code, bool waits, std::string& why) = 0;
    // Whether a port has stopped every change already (its exit code, why set
    // to the message); kExitOk while none has. A port asks before it notes its
    // start, so that the record gets no change that cannot begin.
    virtual int Stopped(std::string& why) = 0;
};

// Prepares the command at the session's port, passes the barrier (none: one
// port alone) and applies the plan. The exit code; what the steps came to is
// in the session's outcome.
int RunPlan(Command& command, Session& session, Barrier* barrier);

struct CommandSpec;
// The command over the session's port (or, for ports, over every port named):
// checked, prepared, applied, and its outcome shown. The exit code.
int RunOnPort(const CommandSpec& spec, Session& session, const Arguments& args);

std::unique_ptr<Command> MakeLive();
std::unique_ptr<Command> MakeRead();
std::unique_ptr<Command> MakeWrite();
std::unique_ptr<Command> MakeSave();
std::unique_ptr<Command> MakeFlash();
std::unique_ptr<Command> MakeCalibrate();
std::unique_ptr<Command> MakeTestCom3();
std::unique_ptr<Command> MakePorts();
std::unique_ptr<Command> MakeCompare();
std::unique_ptr<Command> MakeRestore();

// Opens the port and reads the relay's set and device texts, and notes the set
// found in the record: kExitOk, or the exit code of the failure, whose message
// has been given (a stop asked for while the port opened sends nothing). Not
// required (before a calibration or a flash, for the record): a set the relay
// does not give is passed over in silence (kExitRelay).
int ReadRelaySet(Session& session, ParameterSet& set, DeviceInfo& info, bool required = true);

// The parameter line of a .par file, as write takes it: kExitOk, or kExitInput
// (after the message) for a file that cannot be read or holds none of the eight
// parameters.
int ReadParameterFileLine(Session& session, const std::string& path, std::string& line);

// One live reading at a tick of live: the port opened again where its device
// went away, stale input drained, the request, and a port that gave nothing
// asked whether its device is still there.
std::optional<double> ReadLive(CSerialPort& port);

struct CommandSpec {
    const char* name;
    const char* synopsis; // the command with its arguments
    const char* summary;  // one line for the overview
    const char* help;     // what it does, its output and its exit codes
    std::unique_ptr<Command> (*make)();
    bool needsPort = true; // false: runs without --port or --ini
    // false: the technician must be at the relay (a voltage at its terminals, a
    // plug on its third port), so it runs on one port at a time.
    bool manyPorts = true;
};

// Every command, in the order the help lists them.
const std::vector<CommandSpec>& Commands();

} // namespace cli
