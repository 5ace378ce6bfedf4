// The protocol trace of real exchanges against korven-sim on a pseudo-terminal.

#include "link/exchange.h"
#include "port/serial_port.h"
#include "link/trace.h"
#include "sim/sim.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class TraceOnSim : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(m_sim.Start(&error)) << error;
        m_dir = fs::temp_directory_path() / ("korven-trace-" + std::to_string(getpid()));
        fs::create_directories(m_dir);
        std::ofstream(m_dir / "KorvenCtrl.ini") << "[PORTS]\nCOM1=" << m_sim.DevicePath() << "\n";
        CSerialPort::SetHooks({nullptr, (m_dir / "KorvenCtrl.ini").string()});
        ASSERT_EQ(m_port.Open(1, 19200), 0);
    }

    void TearDown() override
    {
        trace::Stop();
        m_port.Close();
        CSerialPort::SetHooks({});
        fs::remove_all(m_dir);
    }

    // The trace file with the leading timestamp of every line removed.
    std::string TraceWithoutTimestamps(const fs::path& path) const
    {
        std::ifstream in(path, std::ios::binary);
        std::string line;
        std::string lines;
        while (std::getline(in, line))
            lines += line.substr(line.find(' ')) + '\n';
        return lines;
    }

    KorvenSim m_sim;
    CSerialPort m_port;
    fs::path m_dir;
};

TEST_F(TraceOnSim, OneParameterReadWithStaleInputBeforeIt)
{
    const fs::path path = m_dir / "trace.log";
    ASSERT_TRUE(trace::Start(path.string()));
    m_sim.Inject("\x15");
    std::this_thread::sleep_for(50ms); // let it reach the port's queue
    ASSERT_TRUE(RunExchange(m_port, "GPAR:", true, kPause, ReplyForm::Framed).ok());
    trace::Stop();

    EXPECT_EQ(TraceWithoutTimestamps(path),
              " RX 15 |.| [drained]\n"
              " TX 02 47 50 41 52 3A 33 45 03 |.GPAR:3E.|\n"
              " RX 02 47 50 41 52 3A 48 59 53 32 2E 30 3B 53 57 42 31 30 30 2E 30 3B 55 50 4C 31 30 2E 30 3B 55 50 50 "
              "31 35 2E 30 3B 55 4D 49 2D 31 30 2E 30 3B 55 4D 4D 2D 31 35 2E 30 3B 49 4E 56 30 3B 53 56 5A 31 2E 30 "
              "3B 4B 41 4C 31 2E 30 30 30 3B 56 45 52 56 32 2E 31 20 31 33 2E 30 36 2E 37 3B 4B 30 56 35 31 2E 32 3B "
              "37 45 03 |.GPAR:HYS2.0;SWB100.0;UPL10.0;UPP15.0;UMI-10.0;UMM-15.0;INV0;SVZ1.0;KAL1.000;VERV2.1 "
              "13.06.7;K0V51.2;7E.| [accepted]\n");
}

TEST_F(TraceOnSim, ATraceThatCannotBeWrittenLeavesTheExchangeAlone)
{
    std::string error;
    EXPECT_FALSE(trace::Start((m_dir / "missing" / "trace.log").string(), &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(trace::Active());

    // Opens, but every write fails for want of space.
    ASSERT_TRUE(trace::Start("/dev/full"));
    m_sim.Update([](SimOptions& o) { o.silent = true; });
    EXPECT_EQ(RunExchange(m_port, "TCM3:", true, kPause, ReplyForm::Acknowledgement).outcome,
              ExchangeOutcome::NoAnswer);
    m_sim.Update([](SimOptions& o) { o.silent = false; });
    EXPECT_TRUE(RunExchange(m_port, "TCM3:", true, kPause, ReplyForm::Acknowledgement).ok());
}

} // namespace
