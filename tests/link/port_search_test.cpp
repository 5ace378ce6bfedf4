// The search for the relay's port over a table of candidates on pseudo-terminals:
// a missing device, a port another program holds, one the user may not open, a
// silent line, a chattering one and two relays; and the box text of a search that found none.

#include "link/port_search.h"
#include "sim/sim.h"
#include "tests/support/file_permissions.h"

#include <gtest/gtest.h>

#include <memory>
#include <string_view>
#include <sys/stat.h>

namespace {

TEST(PortSearch, AsksEachPortThatOpensOnceAndStopsAtTheFirstRelay)
{
    struct Row {
        std::string_view port;
        TrialOutcome outcome;
        std::size_t frames; // that the relay there received
    } const rows[] = {
        {"missing", TrialOutcome::Missing, 0},        {"held", TrialOutcome::Busy, 0},
        {"forbidden", TrialOutcome::NotPermitted, 0}, {"silent", TrialOutcome::NoAnswer, 1},
        {"chattering", TrialOutcome::BadAnswer, 1},   {"relay", TrialOutcome::Answered, 1},
        {"relay", TrialOutcome::Answered, 0},
    };
    std::vector<std::unique_ptr<KorvenSim>> sims;
    std::vector<PortCandidate> candidates;
    for (const Row& row : rows) {
        SimOptions options;
        options.silent = row.port == "silent";
        options.chatter = row.port == "chattering";
        sims.push_back(std::make_unique<KorvenSim>(options));
        ASSERT_TRUE(sims.back()->Start());
        const std::string device = row.port == "missing" ? "/nonexistent/tty" : sims.back()->DevicePath();
        candidates.emplace_back(device, 0, device);
    }
    CSerialPort holder; // another program's hold on the port
    ASSERT_EQ(holder.OpenPath(candidates[1].device, 19200), 0);
    // Closed to everyone, root too while the search runs.
    ASSERT_EQ(::chmod(candidates[2].device.c_str(), 0), 0);
    std::vector<std::string> asked;
    ASSERT_TRUE(FileOverrides(false));
    const std::vector<PortTrial> trials =
        FindRelay(candidates, [&asked](const PortCandidate& c) { asked.push_back(c.device); });
    FileOverrides(true);

    ASSERT_EQ(trials.size(), 6u); // the second relay is never asked
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        EXPECT_TRUE(i == trials.size() || trials[i].outcome == rows[i].outcome) << i;
        EXPECT_EQ(sims[i]->ReceivedFrames(), std::vector<std::string>(rows[i].frames, "\x02GMWT:33\x03")) << i;
    }
    EXPECT_EQ(asked, (std::vector<std::string>{candidates[3].device, candidates[4].device, candidates[5].device}));
}

TEST(PortSearch, NoRelayFoundSaysWhatHappenedAtEachPort)
{
    const auto trial = [](const char* name, int com, const char* device, TrialOutcome outcome, bool assumed = false) {
        PortTrial t{PortCandidate(name, com, device), outcome};
        t.candidate.assumed = assumed;
        return t;
    };
    struct Row {
        std::vector<PortTrial> trials;
        std::string text;
    } const rows[] = {
        {{trial("COM1", 1, "/dev/ttyS0", TrialOutcome::NoAnswer),
          trial("COM3", 3, "\\\\.\\COM3", TrialOutcome::Missing, true),
          trial("/dev/ttyUSB0", 0, "/dev/ttyUSB0", TrialOutcome::Busy),
          trial("/dev/ttyACM0", 0, "/dev/ttyACM0", TrialOutcome::NotPermitted)},
         "Kein Gerät gefunden!\r\nCOM1 (/dev/ttyS0): keine Antwort\r\n/dev/ttyUSB0: wird von einem anderen Programm "
         "benutzt\r\n/dev/ttyACM0: keine Berechtigung\r\n" +
             NotPermittedReason("/dev/ttyACM0")},
        // Nothing there at all, and a port of the settings file that is gone.
        {{trial("COM2", 2, "/dev/ttyUSB0", TrialOutcome::Missing),
          trial("COM16", 16, "\\\\.\\COM16", TrialOutcome::Missing, true)},
         "Kein Gerät gefunden!\r\nCOM2 (/dev/ttyUSB0): nicht vorhanden\r\n" + std::string(kNoSerialPortText)},
    };
    for (const Row& row : rows)
        EXPECT_EQ(NoRelayFoundText(row.trials), row.text);
}

} // namespace
