// The service commands of korvenctl: the two calibrations and the port test.

#include "cli/commands.h"
#include "link/trace.h"
#include "service/service_command.h"

#include <memory>
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

class Service final : public Command {
public:
    // calibration: calibrate 0|100; else test-com3.
    explicit Service(bool calibration) : m_calibration(calibration) {}

    int Check(Session& session, const Arguments& args) override
    {
        if (m_calibration) {
            if (args.size() != 1 || (args[0] != "0" && args[0] != "100"))
                return session.Usage("calibrate", "calibrate takes 0 or 100 (volts at the input)");
            m_command = args[0] == "0" ? ServiceCommand::Calibrate0V : ServiceCommand::Calibrate100V;
        } else if (!args.empty()) {
            return session.Usage("test-com3", "unexpected argument: " + args[0]);
        }
        return session.RecordAllowsChange() ? kExitOk : kExitOutput;
    }
    std::unique_ptr<Command> Copy() const override { return std::make_unique<Service>(*this); }
    int Prepare(Session& session, Plan& plan) override
    {
        // The set the relay holds before the change, and its version text, for the
        // record; a relay that does not give it is still asked, as the program does.
        ParameterSet before;
        DeviceInfo info;
        const int read = ReadRelaySet(session, before, info, false);
        if (read == kExitPort || IsStopCode(read))
            return read;
        RecordEntry change = ServiceRecordEntry(m_command);
        if (read == kExitOk)
            change.before = before;
        plan.change = std::move(change);
        return kExitOk;
    }
    int Apply(Session& session, const Plan& plan) override
    {
        const ServiceResult result = RunServiceCommand(session.Port(), m_command);
        // On the disk before the outcome is shown; a relay's failure keeps its code.
        RecordEntry done = ServiceRecordEntry(m_command, result);
        done.before = plan.change->before;
        const int recorded = session.Record(done, kExitOk);
        const int code = Report(session, m_command, result);
        return code != kExitOk ? code : recorded;
    }

private:
    bool m_calibration;
    ServiceCommand m_command = ServiceCommand::TestCom3;
};

} // namespace

std::unique_ptr<Command> MakeCalibrate()
{
    return std::make_unique<Service>(true);
}

std::unique_ptr<Command> MakeTestCom3()
{
    return std::make_unique<Service>(false);
}

} // namespace cli
