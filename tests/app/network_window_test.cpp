// The main window on a network port: korven-sim behind Debian's ser2net, over
// RFC 2217 and raw TCP. The live reading, first contact, and a session that
// drops and comes back without a box.

#include "port/net_device.h"
#include "link/network_port_dlg.h"
#include "sim/device_server.h"
#include "tests/support/window_fixture.h"

namespace {

class NetworkWindowTest : public WindowTest, public ::testing::WithParamInterface<bool> {};

TEST_P(NetworkWindowTest, LiveReadingFirstContactAndADroppedSessionThatComesBack)
{
    if (!Ser2net::Available())
        GTEST_SKIP() << "ser2net is not installed (scripts/install-deps installs it)";
    StartSim();
    Ser2net server;
    std::string error;
    ASSERT_TRUE(server.Start(sim->DevicePath(), &error)) << error;
    const bool rfc2217 = GetParam();
    WriteIni("[CONNECTION]\nCOM=5\n[PORTS]\nCOM5=" + (rfc2217 ? server.Rfc2217Url() : server.RawUrl()) + "\n");
    OpenWindow();
    sim->ClearReceivedFrames();
    for (int session = 0; session < 2; ++session) {
        Tick();
        EXPECT_TRUE(dlg->Connected()) << session;
        EXPECT_TRUE(Shown(IDC_LAMP_GREEN));
        EXPECT_EQ(Text(IDC_SWB), "100.0");
        EXPECT_EQ(FramesStartingWith("GPAR:"), 1u) << session;
        Tick();
        EXPECT_EQ(FramesStartingWith("GMWT:"), 2u) << session;

        server.Stop();
        Tick();
        EXPECT_FALSE(dlg->Connected());
        EXPECT_TRUE(Shown(IDC_LAMP_RED));
        Tick(); // nobody listens now: the reopen fails at once, without a box
        ASSERT_TRUE(server.Start(sim->DevicePath(), &error)) << error;
        std::this_thread::sleep_for(kFirstReconnectPause); // before a closed session is taken up again
        sim->ClearReceivedFrames();
    }
    EXPECT_TRUE(ui.messages.empty()) << ui.messages.front().text;
}

// "Testen" in "Netzwerk-Schnittstelle..." reaches the relay; OK selects the port.
TEST_F(WindowTest, TheNetworkPortDialogTestsAndSelectsARelayBehindSer2net)
{
    if (!Ser2net::Available())
        GTEST_SKIP() << "ser2net is not installed (scripts/install-deps installs it)";
    SimOptions options;
    options.value = "230.4";
    StartSim(options);
    Ser2net server;
    std::string error;
    ASSERT_TRUE(server.Start(sim->DevicePath(), &error)) << error;
    OpenWindow();
    std::string status;
    WhenModalOpens([&](ui::CDialog& dialog) {
        dialog.SetCurSel(IDC_NET_COM, 6);
        dialog.SendCommand(IDC_NET_COM);
        dialog.SetItemText(IDC_NET_HOST, "127.0.0.1");
        dialog.SetItemText(IDC_NET_PORT, std::to_string(server.Rfc2217Port()));
        dialog.SendCommand(IDC_NET_TEST);
        status = dialog.GetItemText(IDC_NET_STATUS);
        dialog.SendCommand(ui::IDOK);
    });
    dlg->SendSysCommand(IDM_NETWORK_PORT);
    EXPECT_EQ(status, "Verbunden: das Gerät antwortet mit 230.4 V.");
    EXPECT_EQ(dlg->ComPort(), 7);
    Tick();
    EXPECT_TRUE(dlg->Connected());
    EXPECT_TRUE(ui.messages.empty()) << ui.messages.front().text;
}

INSTANTIATE_TEST_SUITE_P(NetworkPort, NetworkWindowTest, ::testing::Values(true, false),
                         [](const auto& row) { return row.param ? "Rfc2217" : "RawTcp"; });

} // namespace
