// The firmware dialog offscreen: loads through it, an update from button 1023
// against a simulated relay, and a quit request during a pass.

#include <thread>

#include "firmware/firmware_dlg.h"
#include "tests/support/window_fixture.h"
#include "tests/support/window_system.h"

namespace {

using namespace std::chrono_literals;

class FirmwareDlgTest : public WindowTest {
protected:
    std::string WriteFile(const std::string& name, const std::string& bytes) const
    {
        std::ofstream(folder / name, std::ios::binary) << bytes;
        return PathToUtf8(folder / name);
    }

    // Connects the main window, presses button 1023 and, once the dialog has
    // loaded a good file by itself, runs during on it.
    void RunFirmwareDialog(SimOptions options, const std::function<void(CFirmwareDlg&)>& during)
    {
        StartSim(options);
        OpenWindow();
        Tick();
        sim->ClearReceivedFrames();
        ui.files = {WriteFile("good.hex", ":020000040000FA\n:0400000011223344AA\n")};
        WhenModalOpens([this, during](ui::CDialog& modal) {
            auto* firmware = dynamic_cast<CFirmwareDlg*>(&modal);
            if (firmware == nullptr) {
                ADD_FAILURE() << "not the firmware dialog: " << modal.GetWindowText();
                modal.EndDialog(ui::IDCANCEL);
                return;
            }
            EXPECT_FALSE(dlg->IsTimerRunning(kLiveReadingTimer)) << "no live reading during the dialog";
            if (!ui::WaitUntil([firmware] { return firmware->IsItemVisible(IDC_UPLOAD); }, 10000)) {
                ADD_FAILURE() << "the file was not loaded";
                firmware->SendCommand(ui::IDOK);
                return;
            }
            during(*firmware);
        });
        dlg->SendCommand(IDC_FIRMWARE);
    }

    // Runs action (during a pass, between blocks) once the relay has received
    // count frames, while the returned token is held.
    [[nodiscard]] std::shared_ptr<void> AfterFrames(std::size_t count, const std::function<void()>& action)
    {
        return Every(2, [this, count, action] {
            if (sim->ReceivedFrames().size() < count)
                return false;
            action();
            return true;
        });
    }
};

TEST_F(FirmwareDlgTest, LoadsThroughTheFileDialog)
{
    const std::string good = WriteFile("good.hex", ":020000040000FA\n");
    const std::string binary = WriteFile("firmware.bin", std::string(3000, '\0') + "\n\xFF\n\n");
    ui.files = {std::nullopt, binary, good, binary};
    CFirmwareDlg firmware(nullptr, "/start/");
    auto load = [&](const char* caption, const std::string& status, bool upload, std::size_t messages) {
        firmware.SendCommand(IDC_OPEN_HEX);
        EXPECT_EQ(firmware.GetWindowText(), caption);
        EXPECT_EQ(firmware.GetItemText(IDC_FIRMWARE_STATUS), status);
        EXPECT_EQ(firmware.IsItemVisible(IDC_UPLOAD), upload);
        EXPECT_EQ(ui.messages.size(), messages) << "a bad file is reported once";
    };
    load("Firmware Update", "", false, 0); // cancelled
    load("Firmware Update --> firmware.bin", "", false, 1);
    load("Firmware Update --> good.hex", good, true, 1);
    // It loaded cleanly but put no byte into the image: "Upload" says so and programs nothing.
    firmware.SendCommand(IDC_UPLOAD);
    EXPECT_EQ(ui.Texts().back(), kHexNoData);
    EXPECT_FALSE(firmware.IsItemVisible(IDC_PROGRESS));
    load("Firmware Update --> firmware.bin", good, true, 3); // the status and "Upload" describe good.hex
    EXPECT_EQ(ui.Texts()[0], "Das File ist kein gültiges HEX-File!");
    // Where file names are case-sensitive, "*.hex" is offered too.
    EXPECT_EQ(ui.fileDialogs[0].filterDescription.rfind("Intel-HEX-File(*.HEX", 0), 0u);
    EXPECT_EQ(ui.fileDialogs[0].startFolder, "/start/");
    EXPECT_EQ(ui.fileDialogs[3].startFolder, good);
}

TEST_F(FirmwareDlgTest, UpdateFromButton1023WhichNothingEnds)
{
    SimOptions options;
    options.nak = {"V5"};
    options.drop = {"P10"};
    bool stayedOpen = false;
    std::string status;
    std::vector<int> visible;
    RunFirmwareDialog(options, [&](CFirmwareDlg& firmware) {
        const auto poll = AfterFrames(20, [&] {
            ui::PressKey(firmware, 0, ui::Key::Escape);
            PressCloseBox(firmware);
            firmware.SendCommand(ui::IDCANCEL);
            firmware.SendCommand(ui::IDOK);
            stayedOpen = firmware.IsWindowVisible();
        });
        firmware.SendCommand(IDC_UPLOAD);
        status = firmware.GetItemText(IDC_FIRMWARE_STATUS);
        for (int id : {1, 2, 1024, 1025, 1026, 1027, 1028})
            if (firmware.IsItemVisible(id))
                visible.push_back(id);
        firmware.SendCommand(ui::IDOK); // "Schließen"
    });

    EXPECT_TRUE(stayedOpen);
    EXPECT_EQ(status, "Verify Adresse 192 --> Fehler!");
    EXPECT_EQ(visible, (std::vector<int>{1, 2, 1024, 1026}));
    EXPECT_EQ(FramesStartingWith("P"), 240u) << "blocks 11 to 239 follow the dropped block 10";
    EXPECT_EQ(FramesStartingWith("V"), 6u);
    EXPECT_EQ(FramesStartingWith("GMWT:"), 0u) << "no restart after a failed verify";
    // Closing reads the parameters once and restarts the polling.
    EXPECT_EQ(sim->ReceivedFrames().back().substr(0, 6), "\x02GPAR:");
    EXPECT_TRUE(dlg->IsTimerRunning(kLiveReadingTimer));
}

TEST_F(FirmwareDlgTest, AQuitRequestStopsThePassAndNoFrameFollows)
{
    const std::function<void(CMainDlg&)> quits[] = {
        [](CMainDlg& main) { main.SendCommand(IDC_QUIT); }, // the main window's quit
        [](CMainDlg&) { PostWindowSystemQuit(); },          // the window system's
    };
    for (const auto& quit : quits) {
        std::size_t framesAtQuit = 0;
        RunFirmwareDialog({}, [&](CFirmwareDlg& firmware) {
            const auto poll = AfterFrames(5, [&] {
                framesAtQuit = sim->ReceivedFrames().size();
                quit(*dlg);
            });
            firmware.SendCommand(IDC_UPLOAD);
            EXPECT_TRUE(firmware.QuitRequested());
            if (!firmware.QuitRequested())
                firmware.SendCommand(ui::IDOK); // a failing test must not hang
        });
        std::this_thread::sleep_for(100ms); // a frame sent after all would have arrived
        EXPECT_EQ(sim->ReceivedFrames().size(), framesAtQuit);
        EXPECT_FALSE(dlg->IsTimerRunning(kLiveReadingTimer)) << "the program is ending";

        // The program would end here; the tests clear the application's quit state.
        ClearQuitRequest();
        dlg.reset();
        delete g_pPort;
        g_pPort = nullptr;
        sim.reset();
    }
}

} // namespace
