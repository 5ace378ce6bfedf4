// Service mode in the main window: Ctrl+K from any control, the password
// prompt and what it reveals, and the service buttons against a simulated relay.

#include <map>

#include "service/password_dlg.h"
#include "tests/support/window_fixture.h"

namespace {

using namespace std::chrono_literals;

class ServiceModeTest : public WindowTest {
protected:
    // A new window on a new relay, not connected yet.
    void Reopen()
    {
        dlg.reset();
        delete g_pPort;
        g_pPort = nullptr;
        StartSim();
        OpenWindow();
        ui.messages.clear();
    }
};

TEST_F(ServiceModeTest, CtrlKFromAnyControlOpensOnePromptAndCutsNothing)
{
    OpenWindow();
    Type(IDC_SWB, "230.5");
    for (int focus : {IDC_SWB, IDC_PORT, IDC_PC_TO_DEVICE, IDC_INVERT}) {
        SCOPED_TRACE(focus);
        dlg->SetFocusTo(focus);
        ui::PressKey(*dlg, focus, ui::Key::CtrlK);
        EXPECT_EQ(Text(IDC_SWB), "230.5") << "a line edit would cut from the cursor on";
        bool opened = false;
        WhenModalOpens([&](ui::CDialog& prompt) {
            opened = true;
            // Ctrl+K again, in the prompt or in the window behind it, starts no second prompt.
            ui::PressKey(prompt, IDC_PASSWORD, ui::Key::CtrlK);
            ui::PressKey(*dlg, IDC_SWB, ui::Key::CtrlK);
            EXPECT_FALSE(dlg->IsTimerRunning(kPasswordTimer));
            prompt.SendCommand(ui::IDCANCEL);
        });
        EXPECT_TRUE(dlg->IsTimerRunning(kPasswordTimer));
        dlg->SendTimer(kPasswordTimer);
        EXPECT_TRUE(opened);
    }
}

TEST_F(ServiceModeTest, OnlyTheExactPasswordRevealsSevenControlsForGood)
{
    const struct {
        const char* typed;
        int button; // pressed in the prompt
        int result;
    } rows[] = {{"50318264", ui::IDOK, kPasswordRight},
                {"50318264 ", ui::IDOK, kPasswordWrong},
                {"", ui::IDOK, kPasswordWrong},
                {"50318265", ui::IDOK, kPasswordWrong},
                {"50318264", ui::IDCANCEL, ui::IDCANCEL}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.typed + std::to_string(row.button));
        // The prompt on its own gives the result the main window acts on.
        CPasswordDlg alone;
        ui::RunLater(0, [&] {
            alone.SetItemText(IDC_PASSWORD, row.typed);
            alone.SendCommand(row.button);
        });
        EXPECT_EQ(alone.DoModal(), row.result);

        Reopen();
        std::string title;
        WhenModalOpens([&](ui::CDialog& prompt) {
            title = prompt.GetWindowText();
            prompt.SetItemText(IDC_PASSWORD, row.typed);
            prompt.SendCommand(row.button);
        });
        dlg->SendTimer(kPasswordTimer);
        EXPECT_EQ(title, "Passwort-Eingabe");
        EXPECT_TRUE(ui.messages.empty());
        SelectPort(2); // a change of port hides nothing
        // Seven controls, not the port test; "Firmware Update" was visible before.
        for (int id : {1005, 1020, 1021, 1023, 1010, 1032, 1022, 1033})
            EXPECT_EQ(Shown(id), id == 1023 || (row.result == kPasswordRight && id != 1021)) << id;
    }
}

TEST_F(ServiceModeTest, ReplyToACalibrationOrPortTestDecidesTheMessage)
{
    const std::string fail0V = "Kalibrierung fehlgeschlagen!\r\n\r\nMögliche Ursachen:\r\n"
                               "- gemessene Eingangsspannung zu hoch (keine 0V)";
    const std::string fail100V = "Kalibrierung fehlgeschlagen!\r\n\r\nMögliche Ursachen:\r\n- 0V nicht kalibriert\r\n"
                                 "- gemessene Eingangsspannung < ca.90V oder > ca.120V";
    const std::string com3Failed = "Test COM3 fehlgeschlagen!", offline = "Keine Verbindung zum Gerät!";
    const unsigned warn = ui::MB_ICONEXCLAMATION;
    const int cal0 = IDC_CALIBRATE_0V, cal100 = IDC_CALIBRATE_100V, com3 = IDC_TEST_COM3;
    const std::map<int, std::string> frames = {
        {cal0, "\x02KAL0:4C\x03"}, {cal100, "\x02K100:40\x03"}, {com3, "\x02TCM3:53\x03"}};
    const struct {
        int button;
        std::string fault; // nak, silent, extra, chatter, or offline: no live reading yet
        std::string stale; // on the line before the request
        std::string message;
        unsigned icon;
    } rows[] = {
        {cal0, "", "", "Kalibrierung 0V OK!", 0},
        {cal100, "", "", "Kalibrierung 100V OK!", 0},
        {cal0, "nak", "", fail0V, 0},
        {cal100, "nak", "", fail100V, 0},
        {cal0, "silent", "", "Receive-TimeOut", 0},
        {cal100, "extra", "", "", 0},
        {cal0, "", "\x15", "", 0},
        {cal100, "silent", "\x07", "", 0},
        {com3, "", "\x15\x06", "Test COM3 OK!", warn}, // drained first
        {com3, "silent", "", com3Failed, warn},
        {com3, "extra", "", com3Failed, warn},
        {com3, "chatter", "", com3Failed, warn},
        {cal0, "offline", "", offline, warn},
        {cal100, "offline", "", offline, warn},
        {com3, "offline", "", offline, warn},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.button) + " " + row.fault + " " + row.message);
        Reopen();
        if (row.fault != "offline")
            Tick();
        Type(IDC_SWB, "123.4"); // typed, not yet taken by a live reading
        ui.messages.clear();
        sim->ClearReceivedFrames();
        sim->Update([&](SimOptions& o) {
            o.silent = row.fault == "silent";
            o.extraByte = row.fault == "extra";
            o.chatter = row.fault == "chatter";
            if (row.fault == "nak")
                o.nak = {"KAL0", "K100", "TCM3"};
        });
        sim->Inject(row.stale);

        dlg->SendCommand(row.button);

        if (row.fault == "offline") {
            EXPECT_FALSE(sim->WaitForFrames(1, 300ms)) << "nothing may be sent";
        } else {
            EXPECT_TRUE(sim->WaitForFrames(1, 2s));
            EXPECT_EQ(sim->ReceivedFrames(), std::vector<std::string>{frames.at(row.button)});
        }
        ASSERT_EQ(ui.messages.size(), row.message.empty() ? 0u : 1u) << testing::PrintToString(ui.Texts());
        if (!row.message.empty()) {
            EXPECT_EQ(ui.messages[0].text, row.message);
            EXPECT_EQ(ui.messages[0].type, ui::MB_OK | row.icon);
            EXPECT_EQ(ui.messages[0].caption, row.fault == "offline" ? "Fehler" : "KorvenCtrl");
        }
        EXPECT_EQ(Text(IDC_SWB), "123.4");
    }
}

} // namespace
