#pragma once
// Window tests run in a temporary start folder whose KorvenCtrl.ini maps COM1 to
// a simulated relay (test_relay.h), with the message seam scripted.

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>

#include "app/main_dlg.h"
#include "files/utf8_path.h"
#include "port/serial_port.h"
#include "tests/support/scripted_ui.h"
#include "test_relay.h"
#include "ui/app.h"

// The platform's path separator, which ends the program's folders.
inline const std::string kSeparator(1, static_cast<char>(std::filesystem::path::preferred_separator));

// A relay's values unlike the worked example's in every parameter; shown in the
// window as {1, "1.0", "0.5", "-5.0", "-10.0", "5.0", "10.0", "110.0"}.
inline RelayParameters RelayValues()
{
    RelayParameters params;
    params.SWB = 110.0;
    params.UPL = 5.0;
    params.UPP = 10.0;
    params.UMI = -5.0;
    params.UMM = -10.0;
    params.SVZ = 0.5;
    params.HYS = 1.0;
    params.INV = 1;
    return params;
}

// Calls step from the message loop every intervalMs until it returns true or alive expires.
inline void PollEvery(int intervalMs, std::shared_ptr<std::function<bool()>> step, std::weak_ptr<void> alive)
{
    ui::RunLater(intervalMs, [=] {
        if (!alive.expired() && !(*step)())
            PollEvery(intervalMs, step, alive);
    });
}

// As PollEvery, while the returned token is held.
[[nodiscard]] inline std::shared_ptr<void> Every(int intervalMs, std::function<bool()> step)
{
    auto token = std::make_shared<int>(0);
    PollEvery(intervalMs, std::make_shared<std::function<bool()>>(std::move(step)), token);
    return token;
}

class WindowTest : public ::testing::Test {
protected:
    // A new empty folder under the system's temporary folder; one that exists
    // (another test program's) is passed over.
    static std::filesystem::path NewFolder()
    {
        static unsigned counter = 0;
        const auto base = std::filesystem::temp_directory_path();
        for (;;) {
            // Named with an umlaut and a character outside Windows-1252: every
            // path the program builds from it must reach the system intact.
            const auto path = base / PathFromUtf8("korven-Prüfung-Ω-" + std::to_string(++counter));
            if (std::filesystem::create_directory(path))
                return path;
        }
    }

    void SetUp() override
    {
        folder = NewFolder();
        previousFolder = std::filesystem::current_path();
        std::filesystem::current_path(folder);
    }

    void TearDown() override
    {
        dlg.reset();
        // The window never deletes the port; the tests do, between windows.
        delete g_pPort;
        g_pPort = nullptr;
        sim.reset();
        std::filesystem::current_path(previousFolder);
        std::filesystem::remove_all(folder);
    }

    // Starts a simulated relay and maps COM1 to it.
    void StartSim(SimOptions options = {})
    {
        sim = std::make_unique<KorvenSim>(options);
        std::string error;
        ASSERT_TRUE(sim->Start(&error)) << error;
        WriteIni("[PORTS]\nCOM1=" + sim->DevicePath() + "\n" + extraIni);
    }

    void WriteIni(const std::string& text) { std::ofstream(folder / "KorvenCtrl.ini", std::ios::binary) << text; }

    std::string ReadIni() const
    {
        std::ifstream in(folder / "KorvenCtrl.ini", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    // Whether the settings file has line, ended by LF or CR LF.
    bool IniHasLine(const std::string& line) const
    {
        const std::string text = ReadIni();
        for (const char* end : {"\n", "\r\n"}) {
            if (text.find(line + end) != std::string::npos)
                return true;
        }
        return false;
    }

    // Creates the main window and runs its initialisation, as the program does.
    void OpenWindow()
    {
        dlg = std::make_unique<CMainDlg>();
        dlg->InitDialog();
        dlg->Show();
    }

    // One tick of the live reading, as the timer would deliver it.
    void Tick() { dlg->SendTimer(kLiveReadingTimer); }

    // Runs action on the next modal window that opens (the preview, the about box).
    static void WhenModalOpens(std::function<void(ui::CDialog&)> action)
    {
        static const auto always = std::make_shared<int>(0);
        const auto start = std::chrono::steady_clock::now();
        const auto step = [action = std::move(action), start] {
            if (ui::CDialog* modal = ui::ActiveModalDialog()) {
                action(*modal);
                return true;
            }
            if (std::chrono::steady_clock::now() - start > std::chrono::seconds(10)) {
                ADD_FAILURE() << "no modal window opened";
                return true;
            }
            return false;
        };
        PollEvery(10, std::make_shared<std::function<bool()>>(step), always);
    }

    // Frames the relay received whose text starts with command.
    std::size_t FramesStartingWith(const std::string& command) const
    {
        std::size_t count = 0;
        for (const std::string& frame : sim->ReceivedFrames())
            count += frame.compare(1, command.size(), command) == 0 ? 1 : 0;
        return count;
    }

    // Starts a second relay and maps COM2 to it; call after StartSim.
    void StartSecondSim(SimOptions options = {})
    {
        sim2 = std::make_unique<KorvenSim>(options);
        std::string error;
        ASSERT_TRUE(sim2->Start(&error)) << error;
        WriteIni("[PORTS]\nCOM1=" + sim->DevicePath() + "\nCOM2=" + sim2->DevicePath() + "\n" + extraIni);
    }

    // What a control of the main window shows, and whether it is visible.
    std::string Text(int id) const { return dlg->GetItemText(id); }
    bool Shown(int id) const { return dlg->IsItemVisible(id); }
    // Puts text into an edit as the user would have typed it.
    void Type(int id, const std::string& text) const { dlg->SetItemText(id, text); }
    // Clicks check box id, as the user does with the mouse.
    void ClickCheck(int id) const
    {
        dlg->SetCheck(id, dlg->GetCheck(id) != 0 ? 0 : 1);
        dlg->SendCommand(id);
    }

    // Types the seven texts of set into their edits and sets the check box.
    void TypeSet(const ParameterSet& set) const
    {
        Type(IDC_HYS, set.HYS);
        Type(IDC_SVZ, set.SVZ);
        Type(IDC_UMI, set.UMI);
        Type(IDC_UMM, set.UMM);
        Type(IDC_UPL, set.UPL);
        Type(IDC_UPP, set.UPP);
        Type(IDC_SWB, set.SWB);
        dlg->SetCheck(IDC_INVERT, set.INV != 0 ? 1 : 0);
    }

    // The seven edits and the check box, as shown.
    ParameterSet Fields() const
    {
        ParameterSet set;
        set.INV = dlg->GetCheck(IDC_INVERT);
        set.HYS = Text(IDC_HYS);
        set.SVZ = Text(IDC_SVZ);
        set.UMI = Text(IDC_UMI);
        set.UMM = Text(IDC_UMM);
        set.UPL = Text(IDC_UPL);
        set.UPP = Text(IDC_UPP);
        set.SWB = Text(IDC_SWB);
        return set;
    }

    // Picks COMn in the port list, as the user does with the mouse.
    void SelectPort(int comPort) const
    {
        dlg->SetCurSel(IDC_PORT, comPort - 1);
        dlg->SendCommand(IDC_PORT);
    }

    std::filesystem::path folder;
    std::filesystem::path previousFolder;
    std::string extraIni;
    ScriptedUi ui;
    std::unique_ptr<KorvenSim> sim;
    std::unique_ptr<KorvenSim> sim2;
    std::unique_ptr<CMainDlg> dlg;
};

// Sees every message box as it opens (while the handler that shows it is still
// running) and passes it on to the scripted seam, which records and answers it.
class MessageWatch : public ui::UserInterface {
public:
    MessageWatch(ScriptedUi& scripted, std::function<void(const ui::MessageRequest&)> onMessage)
        : m_scripted(scripted), m_onMessage(std::move(onMessage))
    {
        ui::SetUi(this);
    }
    ~MessageWatch() override { ui::SetUi(&m_scripted); }
    MessageWatch(const MessageWatch&) = delete;
    MessageWatch& operator=(const MessageWatch&) = delete;

    int ShowMessage(const ui::MessageRequest& request) override
    {
        m_onMessage(request);
        return m_scripted.ShowMessage(request);
    }
    std::optional<std::string> ChooseFile(const ui::FileDialogRequest& request) override
    {
        return m_scripted.ChooseFile(request);
    }

private:
    ScriptedUi& m_scripted;
    std::function<void(const ui::MessageRequest&)> m_onMessage;
};

// Closes any modal window that opens while it lives, and remembers that one did:
// for runs that must not open the preview (and would otherwise hang in it).
class NoModalExpected {
public:
    NoModalExpected()
        : m_poll(Every(10, [this] {
              if (ui::CDialog* modal = ui::ActiveModalDialog()) {
                  opened = true;
                  modal->SendCommand(ui::IDCANCEL);
              }
              return false;
          }))
    {
    }
    NoModalExpected(const NoModalExpected&) = delete;
    NoModalExpected& operator=(const NoModalExpected&) = delete;
    bool opened = false;

private:
    // Dropped first, which ends the poll.
    std::shared_ptr<void> m_poll;
};
