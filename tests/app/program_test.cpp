// The program as a user starts it: build/KorvenCtrl in a start folder whose
// KorvenCtrl.ini maps COM1 to korven-sim, watched from the relay's side.

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "sim/sim.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/korven-program-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
        std::string error;
        ASSERT_TRUE(sim.Start(&error)) << error;
        std::ofstream(folder / "KorvenCtrl.ini", std::ios::binary) << "[PORTS]\r\nCOM1=" << sim.DevicePath() << "\r\n";
    }

    void TearDown() override
    {
        if (program > 0) {
            kill(program, SIGKILL);
            waitpid(program, nullptr, 0);
        }
        sim.Stop();
        std::filesystem::remove_all(folder);
    }

    void StartProgram()
    {
        program = fork();
        ASSERT_GE(program, 0);
        if (program == 0) {
            if (chdir(folder.c_str()) != 0)
                _exit(127);
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
            setenv("LANG", "de_DE.UTF-8", 1);
            execl(KORVEN_CTRL_PROGRAM, KORVEN_CTRL_PROGRAM, static_cast<char*>(nullptr));
            _exit(127);
        }
    }

    // Waits for the frame with the given index and returns when it came.
    Clock::time_point WaitForFrame(std::size_t index)
    {
        EXPECT_TRUE(sim.WaitForFrames(index + 1, milliseconds(10000))) << "frame " << index;
        return Clock::now();
    }

    std::filesystem::path folder;
    KorvenSim sim;
    pid_t program = -1;
};

TEST_F(ProgramTest, PollsOnceASecondAndReadsTheParametersOnFirstContact)
{
    const auto started = Clock::now();
    StartProgram();

    const auto firstPoll = WaitForFrame(0);
    // One second after start-up, plus the program's own start on a busy machine.
    EXPECT_GT(firstPoll - started, milliseconds(900));
    EXPECT_LT(firstPoll - started, milliseconds(6000));
    WaitForFrame(1);
    const auto secondPoll = WaitForFrame(2);
    const auto thirdPoll = WaitForFrame(3);

    const auto frames = sim.ReceivedFrames();
    ASSERT_GE(frames.size(), 4u);
    EXPECT_EQ(frames[0], std::string("\x02GMWT:33\x03"));
    EXPECT_EQ(frames[1], std::string("\x02GPAR:3E\x03"));
    EXPECT_EQ(frames[2], std::string("\x02GMWT:33\x03"));
    EXPECT_EQ(frames[3], std::string("\x02GMWT:33\x03"));
    // A tick: the timer's second, a drain on the quiet line, the pause and the reply.
    const auto period = thirdPoll - secondPoll;
    EXPECT_GT(period, milliseconds(1100));
    EXPECT_LT(period, milliseconds(2500));
}

} // namespace
