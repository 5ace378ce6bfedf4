// The update passes through a real CSerialPort against korven-sim: one whole
// update, and programming passes cut short after a few blocks for the faults.

#include "firmware/update_passes.h"
#include "link/frame.h"
#include "link/serial_port.h"
#include "sim/sim.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

FirmwareImage PatternImage()
{
    FirmwareImage image;
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<unsigned char>(i * 13 + (i >> 7));
    return image;
}

class UpdateOnSim : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(m_sim.Start(&error)) << error;
        m_ini = std::filesystem::temp_directory_path() / ("korven-update-" + std::to_string(getpid()) + ".ini");
        std::ofstream(m_ini, std::ios::binary) << "[PORTS]\nCOM1=" << m_sim.DevicePath() << "\n";
        CSerialPort::SetHooks(
            {[](const std::string& text, const std::string&) { ADD_FAILURE() << text; }, m_ini.string()});
        ASSERT_EQ(m_port.Open(1, 19200), 0);
    }

    void TearDown() override
    {
        m_port.Close();
        CSerialPort::SetHooks({});
        std::filesystem::remove(m_ini);
    }

    // Events that record what a front end would show.
    UpdateEvents Recorder()
    {
        return {[this](const std::string& status) { statuses.push_back(status); },
                [this](char letter, unsigned block, bool good) {
                    blocks.push_back({letter, block, good});
                    if (afterBlock)
                        afterBlock(block);
                },
                [this] { return stopAfter && blocks.size() >= *stopAfter; }};
    }

    struct Block {
        char letter;
        unsigned block;
        bool good;
        bool operator==(const Block&) const = default;
    };

    KorvenSim m_sim;
    CSerialPort m_port;
    std::filesystem::path m_ini;
    const FirmwareImage image = PatternImage();
    std::vector<std::string> statuses;
    std::vector<Block> blocks;
    std::function<void(unsigned)> afterBlock;
    std::optional<std::size_t> stopAfter;
};

TEST_F(UpdateOnSim, AWholeUpdateThatEveryBlockAcknowledges)
{
    FirmwareUpdate update(m_port, image, Recorder());
    const PassResult result = update.Run();

    EXPECT_EQ(result.outcome, PassOutcome::Ok);
    EXPECT_EQ(result.status, "Verify ok!");
    EXPECT_EQ(m_sim.RestartCount(), 1);

    std::vector<std::string> frames{BuildFrame("FWUP:")};
    std::vector<std::string> texts;
    std::vector<Block> outcomes;
    for (char letter : {'P', 'V'}) {
        if (letter == 'V')
            frames.push_back(BuildFrame("FWUP:"));
        for (unsigned n = 0; n < kBlockCount; ++n) {
            frames.push_back(BuildFrame(BlockRequest(letter, image, n)));
            texts.push_back((letter == 'P' ? "Programmiere Adresse " : "Verify Adresse ") +
                            std::to_string(32 * (n + 1)));
            outcomes.push_back({letter, n, true});
        }
    }
    frames.push_back(BuildFrame("GMWT:"));
    texts.push_back("Verify ok!");
    EXPECT_EQ(m_sim.ReceivedFrames(), frames);
    EXPECT_EQ(statuses, texts);
    EXPECT_EQ(blocks, outcomes);
    EXPECT_EQ(m_sim.FirmwareBlocks().size(), kBlockCount);
}

TEST_F(UpdateOnSim, BlockOutcomesOfAProgrammingPassCutShort)
{
    struct Row {
        const char* name;
        std::function<void(SimOptions&)> faults;
        std::function<void(KorvenSim&, unsigned)> afterBlock;
        std::vector<bool> good; // the blocks run, in order
    };
    const Row rows[] = {
        {"a dropped block fails and the pass goes on",
         [](SimOptions& o) { o.drop = {"P1"}; },
         nullptr,
         {true, false, true}},
        {"a NAK fails the block", [](SimOptions& o) { o.nak = {"P0"}; }, nullptr, {false, true}},
        {"ACK and a stray byte fail the block", [](SimOptions& o) { o.extraByte = true; }, nullptr, {false, false}},
        {"a relay that disappears fails every block at once",
         nullptr,
         [](KorvenSim& sim, unsigned block) {
             if (block == 0)
                 sim.Stop();
         },
         {true, false, false, false}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        m_sim.Update([&](SimOptions& o) {
            o = SimOptions{};
            if (row.faults)
                row.faults(o);
        });
        m_sim.ClearReceivedFrames();
        statuses.clear();
        blocks.clear();
        afterBlock = [&](unsigned block) {
            if (row.afterBlock)
                row.afterBlock(m_sim, block);
        };
        stopAfter = row.good.size();

        FirmwareUpdate update(m_port, image, Recorder());
        const auto start = Clock::now();
        const PassResult result = update.Program();
        const auto took = Clock::now() - start;

        EXPECT_EQ(result.outcome, PassOutcome::Stopped);
        std::vector<Block> expected;
        for (unsigned n = 0; n < row.good.size(); ++n)
            expected.push_back({'P', n, row.good[n]});
        EXPECT_EQ(blocks, expected);
        // The programming pass shows each block's text, never a failure.
        EXPECT_EQ(statuses.back(), ProgramStatus(static_cast<unsigned>(row.good.size() - 1)));
        for (const std::string& status : statuses)
            EXPECT_EQ(status.find("Fehler"), std::string::npos) << status;
        // No block waits for more than its pause and one read time-out.
        EXPECT_LT(took, 1s * row.good.size());
    }
}

} // namespace
