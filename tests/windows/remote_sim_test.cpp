// The simulated relay of the Windows window tests: a korven-sim on the Linux
// side, started and driven through its control channel, reached through COM1.
// Run under Wine by scripts/test-windows, with KORVEN_SIM set.

#include "link/exchange.h"
#include "link/frame.h"
#include "port/serial_port.h"
#include "test_relay.h"

#include <gtest/gtest.h>

namespace {

TEST(RemoteRelay, ComOneReachesTheRelayThatTheTestDrives)
{
    KorvenSim sim;
    std::string error;
    ASSERT_TRUE(sim.Start(&error)) << error;
    ASSERT_EQ(sim.DevicePath(), "COM1");
    RelayParameters params;
    params.SWB = 110.0;
    params.VER = "V9 \x01\xFF%~ =";
    sim.SetParameters(params);
    EXPECT_EQ(sim.Parameters(), params);

    CSerialPort port;
    ASSERT_EQ(port.Open(1, 19200), 0);
    EXPECT_TRUE(RunExchange(port, "GMWT:", true, kPause, ReplyForm::Framed).ok());
    const ExchangeResult read = RunExchange(port, "GPAR:", true, kPause, ReplyForm::Framed);
    EXPECT_TRUE(read.ok());
    EXPECT_NE(read.reply.find("SWB110.0;"), std::string::npos) << read.reply;
    sim.Update([](SimOptions& o) { o.nak.insert("TCM3"); });
    EXPECT_EQ(RunExchange(port, "TCM3:", false, kPause, ReplyForm::Acknowledgement).outcome, ExchangeOutcome::Refused);
    EXPECT_TRUE(sim.WaitForFrames(3, std::chrono::seconds(10)));
    EXPECT_EQ(sim.ReceivedFrames(),
              (std::vector<std::string>{BuildFrame("GMWT:"), BuildFrame("GPAR:"), BuildFrame("TCM3:")}));
    sim.Stop();
    EXPECT_FALSE(sim.IsRunning());
}

} // namespace
