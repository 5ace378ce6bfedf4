// The firmware update of korvenctl: the HEX file loaded with the program's
// rules, then the programming and verify passes and the restart, with progress.

#include "app/live_reply.h"
#include "cli/commands.h"
#include "firmware/update_passes.h"

#include <memory>
#include <ostream>

namespace cli {

namespace {

constexpr const char* kNotConnected = "Keine Verbindung zum Gerät!";

// The program opens the update only for a relay that answers its live reading.
bool RelayAnswers(CSerialPort& port)
{
    DrainPort(port);
    return LiveReading(RunExchange(port, kLiveRequest, false, kPause, ReplyForm::Framed)).has_value();
}

class Flash final : public Command {
public:
    int Check(Session& session, const Arguments& args) override;
    std::unique_ptr<Command> Copy() const override { return std::make_unique<Flash>(*this); }
    int Prepare(Session& session, Plan& plan) override;
    int Apply(Session& session, const Plan& plan) override;
    bool GivesProgress() const override { return true; }
    std::string StoppedBeforeChange(int stop) const override
    {
        return "korvenctl: stopped by " + StopName(stop) +
               " before the update began: nothing was sent, the relay keeps its firmware";
    }

private:
    // Where an interrupted update stopped, and what that leaves in the relay.
    std::string StopReport(const PassResult& result, int stop) const;

    std::string m_path;
    std::shared_ptr<const FirmwareImage> m_image; // loaded once for every port
    // How far the update came: the pass and block last done.
    char m_pass = 0;
    unsigned m_block = 0;
};

int Flash::Check(Session& session, const Arguments& args)
{
    if (args.size() != 1 || args[0].empty() || args[0][0] == '-')
        return session.Usage("flash", "flash takes one HEX file");
    m_path = args[0];
    auto image = std::make_shared<FirmwareImage>();
    const HexLoadResult loaded = LoadHexFile(m_path, *image);
    m_image = std::move(image);
    if (const auto message = HexLoadMessage(loaded, m_path))
        return session.Fail(kExitInput, *message);
    // A file that put nothing into the image would erase the relay's firmware.
    if (loaded.stored == 0)
        return session.Fail(kExitInput, kHexNoData);
    if (const int stop = session.StopCode(); stop != 0) // while the file loaded
        return session.Fail(stop, StoppedBeforeChange(stop));
    return session.RecordAllowsChange() ? kExitOk : kExitOutput;
}

int Flash::Prepare(Session& session, Plan& plan)
{
    if (!session.OpenPort())
        return kExitPort;
    if (const int stop = session.StopCode(); stop != 0) // while the port opened
        return session.Fail(stop, StoppedBeforeChange(stop));
    // The set and version text of this relay, for the record's entries; a relay
    // that does not give them must still answer its live reading, as the program
    // asks before it opens the update.
    ParameterSet before;
    DeviceInfo info;
    RecordEntry change = FirmwareRecordEntry(m_path, *m_image);
    const int read = ReadRelaySet(session, before, info, false);
    if (IsStopCode(read))
        return read;
    if (read == kExitOk)
        change.before = before;
    else if (!RelayAnswers(session.Port()))
        return session.Fail(kExitRelay, kNotConnected);
    plan.change = std::move(change);
    return kExitOk;
}

int Flash::Apply(Session& session, const Plan& plan)
{
    // Output that fails does not break off an update: a relay left with half a
    // firmware is worse than a lost progress line.
    std::string status;
    FirmwareUpdate update(session.Port(), *m_image,
                          {[&status](const std::string& text) { status = text; },
                           [this, &session, &status](char pass, unsigned block, bool good) {
                               m_pass = pass;
                               m_block = block;
                               const ProgressEvent event{pass, block, good, status};
                               session.Progress(&event);
                           },
                           [&session] { return session.Interrupted(); }});
    const PassResult result = update.Run();
    session.Progress(nullptr);
    // On the disk before the outcome is shown.
    RecordEntry done = FirmwareRecordEntry(m_path, *m_image, result);
    done.before = plan.change->before;
    const int recorded = session.Record(done, kExitOk);
    switch (result.outcome) {
    case PassOutcome::Ok:
        session.Done(result.status);
        return recorded;
    case PassOutcome::Failed:
        return session.Fail(kExitRelay, result.status);
    case PassOutcome::Stopped:
        break;
    }
    const int stop = session.StopCode();
    return session.Fail(stop, StopReport(result, stop));
}

std::string Flash::StopReport(const PassResult& result, int stop) const
{
    const std::string stopped = "korvenctl: stopped by " + StopName(stop) + " ";
    if (m_pass == 0 && !result.requested)
        return StoppedBeforeChange(stop);
    if (m_pass == 0)
        return stopped + "after FWUP, before the first block: the relay was asked for new firmware and got none of "
                         "it, flash again";
    const std::string where = stopped + "after " + result.status + " (block " + std::to_string(m_block + 1) + " of " +
                              std::to_string(kBlockCount);
    if (m_pass == kProgramLetter && m_block + 1 < kBlockCount)
        return where + " of the programming pass); the relay holds an incomplete firmware, flash again";
    if (m_pass == kProgramLetter)
        return stopped + "between the passes: all " + std::to_string(kBlockCount) +
               " blocks were sent, only the verify is missing, and the relay was not restarted";
    return where + " of the verify pass); the firmware is programmed but not verified, and the relay was "
                   "not restarted";
}

} // namespace

std::unique_ptr<Command> MakeFlash()
{
    return std::make_unique<Flash>();
}

} // namespace cli
