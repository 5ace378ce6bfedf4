// The search for the relay's port over a table of candidates on pseudo-terminals:
// a missing device, a port another program holds, a silent line, a chattering
// one and two relays; and the box text of a search that found none.

#include "app/port_search.h"
#include "sim/sim.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

std::unique_ptr<KorvenSim> StartedSim(SimOptions options = {})
{
    auto sim = std::make_unique<KorvenSim>(options);
    std::string error;
    EXPECT_TRUE(sim->Start(&error)) << error;
    return sim;
}

PortCandidate At(const std::string& device)
{
    return PortCandidate(device, 0, device);
}

TEST(PortSearch, AsksEachPortThatOpensOnceAndStopsAtTheFirstRelay)
{
    SimOptions silent;
    silent.silent = true;
    SimOptions chatter;
    chatter.chatter = true;
    const auto held = StartedSim();
    const auto quiet = StartedSim(silent);
    const auto noisy = StartedSim(chatter);
    const auto relay = StartedSim();
    const auto later = StartedSim();
    CSerialPort holder; // another program's hold on the port
    ASSERT_EQ(holder.OpenPath(held->DevicePath(), 19200), 0);

    struct Row {
        KorvenSim* sim; // nullptr: a device that is not there
        TrialOutcome outcome;
        std::size_t frames; // that the relay received
    } const rows[] = {
        {nullptr, TrialOutcome::Missing, 0},      {held.get(), TrialOutcome::Busy, 0},
        {quiet.get(), TrialOutcome::NoAnswer, 1}, {noisy.get(), TrialOutcome::BadAnswer, 1},
        {relay.get(), TrialOutcome::Answered, 1}, {later.get(), TrialOutcome::Answered, 0},
    };
    std::vector<PortCandidate> candidates;
    for (const Row& row : rows)
        candidates.push_back(At(row.sim != nullptr ? row.sim->DevicePath() : "/nonexistent/tty"));
    std::vector<std::string> asked;
    const std::vector<PortTrial> trials =
        FindRelay(candidates, [&asked](const PortCandidate& c) { asked.push_back(c.device); });

    ASSERT_EQ(trials.size(), 5u);
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(i);
        if (i < trials.size()) {
            EXPECT_EQ(trials[i].outcome, rows[i].outcome);
        }
        if (rows[i].sim == nullptr)
            continue;
        const std::vector<std::string> frames = rows[i].sim->ReceivedFrames();
        EXPECT_EQ(frames.size(), rows[i].frames);
        for (const std::string& frame : frames)
            EXPECT_EQ(frame, "\x02GMWT:33\x03");
    }
    EXPECT_EQ(asked, (std::vector<std::string>{quiet->DevicePath(), noisy->DevicePath(), relay->DevicePath()}));
    // Closed again: the program opens the port that answered as its own.
    CSerialPort chosen;
    EXPECT_EQ(chosen.OpenPath(relay->DevicePath(), 19200), 0);
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
        {{}, "Kein Gerät gefunden!\r\n" + std::string(kNoSerialPortText)},
    };
    for (const Row& row : rows)
        EXPECT_EQ(NoRelayFoundText(row.trials), row.text);
}

} // namespace
