// The firmware update of korvenctl: the HEX file loaded with the program's
// rules, then the programming and verify passes and the restart, with progress.

#include "app/live_reply.h"
#include "cli/commands.h"
#include "firmware/update_passes.h"

#include <memory>
#include <ostream>

namespace cli {

namespace {

constexpr std::size_t kBarWidth = 40;
constexpr const char* kNotConnected = "Keine Verbindung zum Gerät!";

// Shows the passes: on a terminal a bar redrawn after each block with the status
// text beside it, elsewhere a plain line at every tenth of a pass.
class ProgressView {
public:
    ProgressView(std::ostream& out, bool terminal) : m_out(out), m_terminal(terminal) {}

    void Status(const std::string& text) { m_status = text; }

    void BlockDone(char letter, unsigned block, bool good)
    {
        if (letter != m_letter)
            StartPass(letter);
        m_failedBlocks += good ? 0 : 1;
        m_block = block;
        const unsigned done = block + 1;
        const unsigned percent = done * 100 / kBlockCount;
        if (m_terminal) {
            const std::size_t filled = done * kBarWidth / kBlockCount;
            // Appended piece by piece: gcc 12 mistakes "[" + std::string(...) for an overlapping copy.
            std::string line = "[";
            line.append(filled, '#').append(kBarWidth - filled, '.').append("] ").append(std::to_string(percent));
            line.append("%  ").append(m_status);
            m_out << '\r' << line << std::string(m_width > line.size() ? m_width - line.size() : 0, ' ') << std::flush;
            m_width = line.size();
        } else if (done * 10 / kBlockCount != block * 10 / kBlockCount) {
            m_out << m_status << " (" << percent << "%)" << std::endl;
        }
    }

    // Ends the bar's line, and tells of a programming pass with failed blocks.
    void EndPass()
    {
        if (m_terminal && m_width > 0)
            m_out << std::endl;
        m_width = 0;
        if (m_letter == kProgramLetter && m_failedBlocks > 0)
            m_out << ProgramStatus(kBlockCount - 1) << kBlockFailedSuffix << " (" << m_failedBlocks
                  << " blocks not acknowledged)" << std::endl;
    }

    // Where an interrupted update stopped, and what that leaves in the relay.
    std::string StopReport(const std::string& status, const std::string& by) const
    {
        const std::string stopped = "korvenctl: stopped by " + by + " ";
        if (m_letter == 0)
            return stopped + "before the update began: nothing was sent, the relay keeps its firmware";
        const std::string where = stopped + "after " + status + " (block " + std::to_string(m_block + 1) + " of " +
                                  std::to_string(kBlockCount);
        if (m_letter == kProgramLetter && m_block + 1 < kBlockCount)
            return where + " of the programming pass); the relay holds an incomplete firmware, flash again";
        if (m_letter == kProgramLetter)
            return stopped + "between the passes: all " + std::to_string(kBlockCount) +
                   " blocks were sent, only the verify is missing, and the relay was not restarted";
        return where + " of the verify pass); the firmware is programmed but not verified, and the relay was "
                       "not restarted";
    }

private:
    void StartPass(char letter)
    {
        if (m_letter != 0)
            EndPass();
        m_letter = letter;
        m_failedBlocks = 0;
    }

    std::ostream& m_out;
    bool m_terminal;
    std::string m_status;
    char m_letter = 0;
    unsigned m_block = 0;
    unsigned m_failedBlocks = 0;
    std::size_t m_width = 0; // of the bar's line last drawn
};

// The program opens the update only for a relay that answers its live reading.
bool RelayAnswers(CSerialPort& port)
{
    DrainPort(port);
    return LiveReading(RunExchange(port, kLiveRequest, false, kPause, ReplyForm::Framed)).has_value();
}

} // namespace

int RunFlash(Session& session, const Arguments& args)
{
    if (args.size() != 1 || args[0].empty() || args[0][0] == '-')
        return session.Usage("flash", "flash takes one HEX file");
    std::shared_ptr<const FirmwareImage> image;
    const HexLoadResult loaded = session.LoadFirmware(args[0], image);
    if (const auto message = HexLoadMessage(loaded, args[0]))
        return session.Fail(kExitInput, *message);
    // A file that put nothing into the image would erase the relay's firmware.
    if (loaded.stored == 0)
        return session.Fail(kExitInput, kHexNoData);
    ProgressView view(session.out(), session.console().outIsTerminal);
    if (const int stop = session.StopCode(); stop != 0) // while the file loaded
        return session.Fail(stop, view.StopReport("", StopName(stop)));
    if (!session.RecordAllowsChange())
        return kExitOutput;
    if (!session.OpenPort())
        return kExitPort;
    if (const int stop = session.StopCode(); stop != 0) // while the port opened
        return session.Fail(stop, view.StopReport("", StopName(stop)));
    // The set and version text of this relay, for the record's entries; a relay
    // that does not give them must still answer its live reading, as the program
    // asks before it opens the update.
    ParameterSet before;
    DeviceInfo info;
    RecordEntry change = FirmwareRecordEntry(args[0], *image);
    const int read = ReadRelaySet(session, before, info, false);
    if (IsStopCode(read))
        return read;
    if (read == kExitOk)
        change.before = before;
    else if (!RelayAnswers(session.Port()))
        return session.Fail(kExitRelay, kNotConnected);
    if (const int code = session.StartChange(change); code != kExitOk)
        return code;

    // Output that fails does not break off an update: a relay left with half a
    // firmware is worse than a lost progress line.
    FirmwareUpdate update(session.Port(), *image,
                          {[&view](const std::string& text) { view.Status(text); },
                           [&view](char letter, unsigned block, bool good) { view.BlockDone(letter, block, good); },
                           [&session] { return session.Interrupted(); }});
    const PassResult result = update.Run();
    view.EndPass();
    // On the disk before the outcome is printed.
    RecordEntry done = FirmwareRecordEntry(args[0], *image, result);
    done.before = change.before;
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
    return session.Fail(session.StopCode(), view.StopReport(result.status, StopName(session.StopCode())));
}

} // namespace cli
