// The update passes through a real CSerialPort against korven-sim: one whole
// update, and programming passes stopped after a few blocks for the faults.

#include "firmware/update_passes.h"
#include "port/serial_port.h"
#include "sim/sim.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

class UpdateOnSim : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (std::size_t i = 0; i < image.size(); ++i)
            image[i] = static_cast<unsigned char>(i * 13 + (i >> 7));
        ASSERT_TRUE(sim.Start());
        std::ofstream(ini, std::ios::binary) << "[PORTS]\nCOM1=" << sim.DevicePath() << "\n";
        CSerialPort::SetHooks({[](const std::string& text, const std::string&) { ADD_FAILURE() << text; }, ini});
        ASSERT_EQ(port.Open(1, 19200), 0);
    }
    void TearDown() override { std::filesystem::remove(ini); }

    // What a front end would show: status texts, and each block as "P0+" or "V5-".
    // Stops after stopAfter blocks (0: never); with disappear the relay goes away after block 0.
    UpdateEvents Recorder(std::size_t stopAfter = 0, bool disappear = false)
    {
        return {[this](const std::string& status) { statuses.push_back(status); },
                [this](char letter, unsigned block, bool good) {
                    blocks.push_back(letter + std::to_string(block) + (good ? "+" : "-"));
                },
                [this, stopAfter, disappear] {
                    if (disappear && blocks.size() == 1)
                        sim.Stop();
                    return stopAfter != 0 && blocks.size() >= stopAfter;
                }};
    }

    KorvenSim sim;
    CSerialPort port;
    std::string ini = std::filesystem::temp_directory_path() / ("korven-update-" + std::to_string(getpid()) + ".ini");
    FirmwareImage image;
    std::vector<std::string> statuses, blocks;
};

TEST_F(UpdateOnSim, AWholeUpdateThatEveryBlockAcknowledges)
{
    const PassResult result = FirmwareUpdate(port, image, Recorder()).Run();

    EXPECT_EQ(result.outcome, PassOutcome::Ok);
    EXPECT_EQ(result.status, "Verify ok!");
    EXPECT_EQ(sim.RestartCount(), 1);
    // Count and order of the frames: each by its command, or its letter and address.
    std::vector<std::string> frames, texts, received;
    for (char letter : {'P', 'V'}) {
        frames.push_back("FWUP:");
        for (unsigned n = 0; n < kBlockCount; ++n) {
            char head[6];
            std::snprintf(head, sizeof head, "%c%04X", letter, 64 * n);
            frames.push_back(head);
            texts.push_back((letter == 'P' ? "Programmiere Adresse " : "Verify Adresse ") +
                            std::to_string(32 * n + 32));
        }
    }
    frames.push_back("GMWT:");
    texts.push_back("Verify ok!");
    for (const std::string& frame : sim.ReceivedFrames())
        received.push_back(frame.substr(1, 5));
    EXPECT_EQ(received, frames);
    EXPECT_EQ(statuses, texts);
    EXPECT_EQ(blocks.size(), 2 * kBlockCount);
    EXPECT_TRUE(std::all_of(blocks.begin(), blocks.end(), [](const std::string& b) { return b.back() == '+'; }));
}

TEST_F(UpdateOnSim, BlockOutcomesOfAProgrammingPass)
{
    const struct {
        const char* name;
        std::function<void(SimOptions&)> faults;
        std::vector<std::string> blocks;
        bool disappears = false;
    } rows[] = {
        {"dropped block: the pass goes on", [](SimOptions& o) { o.drop = {"P1"}; }, {"P0+", "P1-", "P2+"}},
        {"NAK", [](SimOptions& o) { o.nak = {"P0"}; }, {"P0-", "P1+"}},
        {"ACK and a stray byte", [](SimOptions& o) { o.extraByte = true; }, {"P0-", "P1-"}},
        {"the relay disappears", [](SimOptions&) {}, {"P0+", "P1-", "P2-", "P3-"}, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        sim.Update([&](SimOptions& o) {
            o = SimOptions{};
            row.faults(o);
        });
        statuses.clear();
        blocks.clear();
        const auto start = Clock::now();
        const PassResult result = FirmwareUpdate(port, image, Recorder(row.blocks.size(), row.disappears)).Program();

        EXPECT_EQ(result.outcome, PassOutcome::Stopped);
        EXPECT_EQ(blocks, row.blocks);
        // The programming pass shows each block's text, never a failure; no block
        // waits longer than its pause and one read time-out.
        EXPECT_EQ(statuses.back(), ProgramStatus(static_cast<unsigned>(row.blocks.size() - 1)));
        EXPECT_EQ(std::count_if(statuses.begin(), statuses.end(),
                                [](const std::string& s) { return s.find("Fehler") != std::string::npos; }),
                  0);
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(row.blocks.size()));
    }
}

// A stop asked for during a pass's FWUP: its first block never goes out.
TEST_F(UpdateOnSim, AStopDuringFwupSendsNoBlockOfThatPass)
{
    const struct {
        int stopAtLook; // the look at the stop that says yes: the first is before the programming pass's FWUP
        std::size_t frames;
        const char* status;
    } rows[] = {
        {2, 1, ""},                                      // after the programming pass's FWUP
        {1 + 1 + kBlockCount + 1 + 1, 2 + kBlockCount, kProgrammingOk}, // after the verify pass's FWUP
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.stopAtLook);
        sim.ClearReceivedFrames();
        UpdateEvents events = Recorder();
        int looks = 0;
        events.stopRequested = [&looks, &row] { return ++looks >= row.stopAtLook; };
        const PassResult result = FirmwareUpdate(port, image, events).Run();
        EXPECT_EQ(result.outcome, PassOutcome::Stopped);
        EXPECT_EQ(result.status, row.status);
        EXPECT_EQ(result.requested, row.stopAtLook == 2);
        const std::vector<std::string> frames = sim.ReceivedFrames();
        ASSERT_EQ(frames.size(), row.frames);
        EXPECT_EQ(frames.back().substr(1, 5), "FWUP:");
    }
}

} // namespace
