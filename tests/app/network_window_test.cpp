// The main window on a network port: korven-sim behind Debian's ser2net, over
// RFC 2217 and raw TCP. The live reading, first contact, and a session that
// drops and comes back without a box.

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

// A relay that is silent behind its device server keeps an exchange waiting for
// the pause and the allowance (3 s here): the window is served meanwhile, and
// Escape asks at once. Declined, the wait goes on; confirmed, the window ends
// at once and nothing more is sent.
TEST_F(WindowTest, AWindowWaitingForASilentRelayBehindADeviceServerIsServed)
{
    if (!Ser2net::Available())
        GTEST_SKIP() << "ser2net is not installed (scripts/install-deps installs it)";
    using Clock = std::chrono::steady_clock;
    SimOptions options;
    options.silent = true;
    StartSim(options);
    Ser2net server;
    std::string error;
    ASSERT_TRUE(server.Start(sim->DevicePath(), &error)) << error;
    WriteIni("[CONNECTION]\nCOM=5\n[PORTS]\nCOM5=" + server.Rfc2217Url() + "\nCOM5_ZUSCHLAG=3000\n");
    OpenWindow();
    sim->ClearReceivedFrames();
    for (const int answer : {ui::IDCANCEL, ui::IDOK}) {
        ui.answers.push_back(answer);
        auto last = Clock::now();
        Clock::duration unserved{};
        const auto served = Every(10, [&] {
            unserved = std::max(unserved, Clock::now() - last);
            last = Clock::now();
            return false;
        });
        ui::RunLater(300, [this] { ui::PressKey(*dlg, 0, ui::Key::Escape); });
        const auto start = Clock::now();
        Tick();
        const auto took = Clock::now() - start;
        unserved = std::max(unserved, Clock::now() - last);
        // A window held by the wait goes unserved for the whole 3.1 s.
        EXPECT_LT(unserved, std::chrono::milliseconds(1000)) << answer;
        ASSERT_FALSE(ui.messages.empty());
        EXPECT_EQ(ui.messages.back().text, "Programm verlassen ?");
        EXPECT_EQ(FramesStartingWith("GMWT:"), answer == ui::IDOK ? 2u : 1u);
        EXPECT_EQ(dlg->IsWindowVisible(), answer == ui::IDCANCEL);
        if (answer == ui::IDOK) {
            EXPECT_LT(took, std::chrono::milliseconds(2000));
            EXPECT_FALSE(g_pPort->IsOpen());
            EXPECT_EQ(sim->ReceivedFrames().size(), 2u);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(NetworkPort, NetworkWindowTest, ::testing::Values(true, false),
                         [](const auto& row) { return row.param ? "Rfc2217" : "RawTcp"; });

} // namespace
