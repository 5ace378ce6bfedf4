// "Gerät suchen..." in the main window, over a list of candidates the test
// gives: the port that answers is chosen as the user would choose it, and a
// search without an answer says what happened at each port.

#include "link/frame.h"
#include "port/port_list.h"
#include "tests/support/window_fixture.h"

namespace {

struct SearchCase {
    const char* name;
    int relayPort;          // COMn of the relay that answers, 0 for none, -1 for a device no COMn names
    bool cancel = false;    // Escape while the search runs
    bool bluetooth = false; // both ports are Bluetooth ports: only the one selected (COM1) is tried
};

std::string SearchCaseName(const ::testing::TestParamInfo<SearchCase>& row)
{
    return row.param.name;
}

class PortSearchWindowTest : public WindowTest, public ::testing::WithParamInterface<SearchCase> {
protected:
    void TearDown() override
    {
        SetPortLister({});
        WindowTest::TearDown();
    }
};

TEST_P(PortSearchWindowTest, AnsweringPortIsChosenOtherwiseTheBoxSaysWhy)
{
    const int relayPort = GetParam().relayPort;
    SimOptions silent;
    silent.silent = true;
    const auto quiet = RelayForPort(1, silent);
    const auto relay = RelayForPort(relayPort > 0 ? relayPort : 2);
    std::string error;
    ASSERT_TRUE(quiet->Start(&error) && relay->Start(&error)) << error;
    if (relayPort < 0 && relay->DevicePath().rfind("COM", 0) == 0)
        GTEST_SKIP() << "on Windows every port has a COM number";
    WriteIni("[PORTS]\nCOM1=" + quiet->DevicePath() + "\nCOM" + std::to_string(relayPort) + "=" + relay->DevicePath() +
             "\n");
    OpenWindow();
    SetPortLister([&] {
        std::vector<PortCandidate> candidates{PortCandidate("COM1", 1, SerialDevicePath(1))};
        if (relayPort > 0)
            candidates.emplace_back("COM" + std::to_string(relayPort), relayPort, SerialDevicePath(relayPort));
        else if (relayPort < 0)
            candidates.emplace_back(relay->DevicePath(), 0, relay->DevicePath());
        else if (GetParam().cancel) // the silent port again and again: the search still runs when Escape comes
            candidates.resize(3, candidates[0]);
        for (PortCandidate& candidate : candidates)
            candidate.bluetooth = GetParam().bluetooth;
        return candidates;
    });
    std::shared_ptr<void> escape;
    if (GetParam().cancel) {
        WhenModalOpens([&](ui::CDialog& search) {
            // Once the search has asked its first port (or 10 s went by without it).
            const auto give = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            escape = Every(10, [&quiet, &search, give] {
                const bool asked = !quiet->ReceivedFrames().empty() || std::chrono::steady_clock::now() > give;
                if (asked)
                    ui::PressKey(search, 0, ui::Key::Escape);
                return asked;
            });
        });
    }
    dlg->SendSysCommand(IDM_FIND_DEVICE);

    const int chosen = relayPort > 0 && !GetParam().bluetooth ? relayPort : 1;
    EXPECT_EQ(dlg->ComPort(), chosen);
    EXPECT_EQ(Text(IDC_PORT), "COM" + std::to_string(chosen));
    EXPECT_TRUE(dlg->IsTimerRunning(kLiveReadingTimer));
    if (GetParam().cancel) {
        EXPECT_TRUE(ui.messages.empty());
        // It ran, and ended before the last port.
        EXPECT_GE(quiet->ReceivedFrames().size(), 1u);
        EXPECT_LT(quiet->ReceivedFrames().size(), 3u);
        EXPECT_TRUE(g_pPort->IsOpen());
        return;
    }
    // One request for the port that stays silent, nothing else.
    EXPECT_EQ(quiet->ReceivedFrames(), std::vector<std::string>{BuildFrame("GMWT:")});
    ASSERT_EQ(ui.messages.size(), 1u);
    const ui::MessageRequest& box = ui.messages[0];
    EXPECT_EQ(box.owner, dlg.get());
    if (relayPort == 0 || GetParam().bluetooth) {
        const std::string label = quiet->DevicePath() == "COM1" ? "COM1" : "COM1 (" + quiet->DevicePath() + ")";
        EXPECT_EQ(box.text, "Kein Gerät gefunden!\r\n" + label + ": keine Antwort");
        EXPECT_EQ(box.caption, "Fehler");
        EXPECT_EQ(box.type, ui::MB_OK | ui::MB_ICONEXCLAMATION);
        EXPECT_EQ(relay->ReceivedFrames().size(), 0u);
        EXPECT_TRUE(g_pPort->IsOpen()); // the chosen port, open again
        return;
    }
    // On POSIX with the device on a line of its own.
    const std::string name = "COM" + std::to_string(chosen);
    EXPECT_EQ(box.text,
              "Gerät gefunden an " + name + (relay->DevicePath() == name ? "" : "\r\n" + relay->DevicePath()));
    EXPECT_EQ(box.caption, "Meldung");
    EXPECT_EQ(box.type, ui::MB_OK);
    // As after a choice in the list: the settings file has the port, the fields are read again.
    EXPECT_TRUE(IniHasLine("COM=" + std::to_string(chosen)));
    EXPECT_TRUE(relayPort > 0 || IniHasLine("COM1=" + relay->DevicePath()));
    EXPECT_EQ(Text(IDC_SWB), "100.0");
    EXPECT_EQ(relay->ReceivedFrames(), (std::vector<std::string>{BuildFrame("GMWT:"), BuildFrame("GPAR:")}));
}

INSTANTIATE_TEST_SUITE_P(Ports, PortSearchWindowTest,
                         ::testing::Values(SearchCase{"OnCom2", 2}, SearchCase{"AboveTheList", 20},
                                           SearchCase{"OnADeviceNoComNames", -1}, SearchCase{"NoneAnswers", 0},
                                           SearchCase{"Cancelled", 0, true},
                                           SearchCase{"OnABluetoothPortNotSelected", 2, false, true}),
                         SearchCaseName);

} // namespace
