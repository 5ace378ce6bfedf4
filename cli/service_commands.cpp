// The service commands of korvenctl: the two calibrations and the port test.

#include "cli/commands.h"
#include "link/trace.h"
#include "service/service_command.h"

#include <ostream>

namespace cli {

namespace {

// The program's text for the reply: on standard output for an ACK, on standard
// error otherwise. A reply the program passes over in silence still gets a word.
int Report(Session& session, ServiceCommand command, const ServiceResult& result)
{
    if (result.ok()) {
        session.Done(result.message);
        return kExitOk;
    }
    if (result.message != nullptr)
        return session.Fail(kExitRelay, result.message);
    return session.Fail(kExitRelay, "korvenctl: unexpected answer to " + std::string(ServiceCommandText(command)) +
                                        " " + trace::HexBytes(result.reply));
}

int RunService(Session& session, ServiceCommand command)
{
    if (!session.RecordAllowsChange())
        return kExitOutput;
    // The set the relay holds before the change, and its version text, for the
    // record; a relay that does not give it is still asked, as the program does.
    ParameterSet before;
    DeviceInfo info;
    const int read = ReadRelaySet(session, before, info, false);
    if (read == kExitPort || IsStopCode(read))
        return read;
    RecordEntry change = ServiceRecordEntry(command);
    if (read == kExitOk)
        change.before = before;
    if (const int code = session.StartChange(change); code != kExitOk)
        return code;
    const ServiceResult result = RunServiceCommand(session.Port(), command);
    // On the disk before the outcome is printed; a relay's failure keeps its code.
    RecordEntry done = ServiceRecordEntry(command, result);
    done.before = change.before;
    const int recorded = session.Record(done, kExitOk);
    const int code = Report(session, command, result);
    return code != kExitOk ? code : recorded;
}

} // namespace

int RunCalibrate(Session& session, const Arguments& args)
{
    if (args.size() != 1 || (args[0] != "0" && args[0] != "100"))
        return session.Usage("calibrate", "calibrate takes 0 or 100 (volts at the input)");
    return RunService(session, args[0] == "0" ? ServiceCommand::Calibrate0V : ServiceCommand::Calibrate100V);
}

int RunTestCom3(Session& session, const Arguments& args)
{
    if (!args.empty())
        return session.Usage("test-com3", "unexpected argument: " + args[0]);
    return RunService(session, ServiceCommand::TestCom3);
}

} // namespace cli
