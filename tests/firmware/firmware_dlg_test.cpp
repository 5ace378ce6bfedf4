// The firmware dialog offscreen: loading files through it, an update from
// button 1023 against a simulated relay, and a quit request during a pass.

#include <QEventLoop>
#include <QKeyEvent>
#include <QThread>
#include <chrono>
#include <thread>

#include "firmware/firmware_dlg.h"
#include "tests/support/window_fixture.h"

namespace {

using namespace std::chrono_literals;

const std::string kGoodHex = ":020000040000FA\n:0400000011223344AA\n:00000001FF\n";

class FirmwareDlgTest : public WindowTest {
protected:
    std::string WriteFile(const std::string& name, const std::string& bytes) const
    {
        const auto path = folder / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path.string();
    }

    // Handles events until done() holds, for at most 10 s.
    static bool Await(const std::function<bool()>& done)
    {
        QElapsedTimer elapsed;
        elapsed.start();
        while (!done() && elapsed.elapsed() < 10000) {
            QCoreApplication::processEvents();
            QThread::msleep(2);
        }
        return done();
    }

    // Connects the main window to a relay, presses button 1023, and runs during on
    // the firmware dialog once it has loaded `file` by itself.
    void RunFirmwareDialog(SimOptions options, const std::string& file, std::function<void(CFirmwareDlg&)> during)
    {
        StartSim(options);
        OpenWindow();
        Tick();
        ASSERT_TRUE(dlg->Connected());
        sim->ClearReceivedFrames();
        ui.files = {file};
        WhenModalOpens([this, during](QWidget* modal) {
            auto* firmware = qobject_cast<CFirmwareDlg*>(modal);
            ASSERT_NE(firmware, nullptr);
            EXPECT_FALSE(dlg->IsTimerRunning(kLiveReadingTimer)) << "no live reading during the dialog";
            ASSERT_TRUE(Await([firmware] { return firmware->GetDlgItem(IDC_UPLOAD)->isVisible(); }));
            during(*firmware);
        });
        dlg->SendCommand(IDC_FIRMWARE);
    }

    // Runs action once the relay has received count frames.
    static void AfterFrames(KorvenSim& relay, std::size_t count, std::function<void()> action)
    {
        auto* poll = new QTimer;
        poll->setInterval(2);
        QObject::connect(poll, &QTimer::timeout, [poll, &relay, count, action] {
            if (relay.ReceivedFrames().size() >= count) {
                poll->stop();
                poll->deleteLater();
                action();
            }
        });
        poll->start();
    }
};

TEST_F(FirmwareDlgTest, LoadsThroughTheFileDialog)
{
    const std::string good = WriteFile("good.hex", kGoodHex);
    const std::string binary = WriteFile("firmware.bin", std::string(3000, '\0') + "\x7F\x45\n\xFF\n\n\n");
    const std::string missing = (folder / "missing.HEX").string();
    struct Row {
        const char* name;
        std::vector<std::optional<std::string>> files; // one per opening of the file dialog
        std::string caption;
        std::string status;
        bool upload;
        std::vector<std::string> messages;
    };
    const Row rows[] = {
        {"cancelled", {std::nullopt}, "Firmware Update", "", false, {}},
        {"a clean file", {good}, "Firmware Update --> good.hex", good, true, {}},
        {"a binary file is reported once",
         {binary},
         "Firmware Update --> firmware.bin",
         binary,
         false,
         {"Das File ist kein gültiges HEX-File!"}},
        {"a file that cannot be read",
         {missing},
         "Firmware Update --> missing.HEX",
         "",
         false,
         {"File " + missing + " kann nicht gelesen werden"}},
        {"a failed load leaves Upload shown",
         {good, binary},
         "Firmware Update --> firmware.bin",
         binary,
         true,
         {"Das File ist kein gültiges HEX-File!"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ui.messages.clear();
        ui.fileDialogs.clear();
        ui.files.assign(row.files.begin(), row.files.end());
        CFirmwareDlg firmware(nullptr, "/start/folder/");
        firmware.InitDialog();
        EXPECT_TRUE(firmware.IsTimerRunning(kOpenFileTimer));
        firmware.SendTimer(kOpenFileTimer); // the file dialog opens by itself
        EXPECT_FALSE(firmware.IsTimerRunning(kOpenFileTimer));
        for (std::size_t i = 1; i < row.files.size(); ++i)
            firmware.SendCommand(IDC_OPEN_HEX);

        EXPECT_EQ(firmware.windowTitle().toStdString(), row.caption);
        EXPECT_EQ(firmware.GetItemText(IDC_FIRMWARE_STATUS), row.status);
        EXPECT_EQ(firmware.GetDlgItem(IDC_UPLOAD)->isVisibleTo(&firmware), row.upload);
        EXPECT_EQ(ui.Texts(), row.messages);
        for (const auto& message : ui.messages) {
            EXPECT_EQ(message.caption, "KorvenCtrl");
            EXPECT_EQ(message.type, ui::MB_OK | ui::MB_ICONEXCLAMATION);
        }
        ASSERT_EQ(ui.fileDialogs.size(), row.files.size());
        const ui::FileDialogRequest& request = ui.fileDialogs.front();
        EXPECT_EQ(request.title, "HEX-File öffnen");
        EXPECT_EQ(request.filterDescription, "Intel-HEX-File(*.HEX *.hex)");
        EXPECT_EQ(request.startFolder, "/start/folder/");
        EXPECT_TRUE(request.mustExist);
        if (row.files.size() > 1) {
            EXPECT_EQ(ui.fileDialogs[1].startFolder, *row.files[0]);
        }
    }
}

TEST_F(FirmwareDlgTest, UpdateFromButton1023NothingEndsThePass)
{
    SimOptions options;
    options.nak = {"V5"};
    options.drop = {"P10"};
    bool stayedOpen = false;
    std::string status;
    std::vector<int> visible;
    RunFirmwareDialog(options, WriteFile("good.hex", kGoodHex), [&](CFirmwareDlg& firmware) {
        AfterFrames(*sim, 20, [&] {
            QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QApplication::sendEvent(&firmware, &escape);
            firmware.close();
            firmware.SendCommand(ui::IDCANCEL);
            firmware.SendCommand(ui::IDOK);
            stayedOpen = firmware.isVisible() && firmware.PassRunning();
        });
        firmware.SendCommand(IDC_UPLOAD);
        status = firmware.GetItemText(IDC_FIRMWARE_STATUS);
        for (int id : {1, 2, 1024, 1025, 1026, 1027, 1028}) {
            if (firmware.GetDlgItem(id)->isVisible())
                visible.push_back(id);
        }
        firmware.SendCommand(ui::IDOK); // "Schließen" after the pass
    });

    EXPECT_TRUE(stayedOpen);
    EXPECT_EQ(status, "Verify Adresse 192 --> Fehler!");
    EXPECT_EQ(visible, (std::vector<int>{1, 2, 1024, 1026}));
    EXPECT_EQ(FramesStartingWith("P"), 240u) << "blocks 11 to 239 follow the dropped block 10";
    EXPECT_EQ(FramesStartingWith("V"), 6u);
    EXPECT_EQ(FramesStartingWith("FWUP:"), 2u);
    EXPECT_EQ(FramesStartingWith("GMWT:"), 0u) << "no restart after a failed verify";
    // Closing reads the parameters once and restarts the polling.
    EXPECT_EQ(FramesStartingWith("GPAR:"), 1u);
    EXPECT_EQ(sim->ReceivedFrames().back().substr(0, 6), "\x02GPAR:");
    EXPECT_TRUE(dlg->IsTimerRunning(kLiveReadingTimer));
}

TEST_F(FirmwareDlgTest, AQuitRequestStopsThePassAndNoFrameFollows)
{
    struct Row {
        const char* name;
        std::function<void(CMainDlg&)> quit;
    };
    const Row rows[] = {
        {"the main window's quit command", [](CMainDlg& main) { main.SendCommand(IDC_QUIT); }},
        {"the window system's quit", [](CMainDlg&) { QCoreApplication::postEvent(qApp, new QEvent(QEvent::Quit)); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::size_t framesAtQuit = 0;
        bool quitSeen = false;
        RunFirmwareDialog({}, WriteFile("good.hex", kGoodHex), [&](CFirmwareDlg& firmware) {
            AfterFrames(*sim, 5, [&] {
                framesAtQuit = sim->ReceivedFrames().size();
                row.quit(*dlg);
            });
            firmware.SendCommand(IDC_UPLOAD);
            quitSeen = firmware.QuitRequested();
            if (!quitSeen)
                firmware.SendCommand(ui::IDOK); // a test that fails must not hang
        });
        EXPECT_TRUE(quitSeen);
        std::this_thread::sleep_for(100ms); // a frame sent after all would have arrived
        EXPECT_EQ(sim->ReceivedFrames().size(), framesAtQuit);
        EXPECT_FALSE(dlg->IsTimerRunning(kLiveReadingTimer)) << "the program is ending";
        // The program is on its way out: an event loop ends at once.
        QEventLoop probe;
        QTimer::singleShot(0, &probe, [&probe] { probe.exit(1); });
        EXPECT_EQ(probe.exec(), -1);

        // Clear the application's quit state for what follows.
        QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
        QCoreApplication::exec();
        dlg.reset();
        delete g_pPort;
        g_pPort = nullptr;
        sim.reset();
    }
}

} // namespace
