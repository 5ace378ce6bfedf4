#pragma once
// Window tests run in a temporary start folder whose KorvenCtrl.ini maps COM1 to
// a simulated relay (test_relay.h), with the message seam scripted.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <unistd.h>

#include "app/main_dlg.h"
#include "link/serial_port.h"
#include "test_relay.h"
#include "tests/support/scripted_ui.h"

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

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/korven-window-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
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

    void WriteIni(const std::string& text)
    {
        std::ofstream(folder / "KorvenCtrl.ini", std::ios::binary) << text;
    }

    std::string ReadIni() const
    {
        std::ifstream in(folder / "KorvenCtrl.ini", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    // Creates the main window and runs its initialisation, as the program does.
    void OpenWindow()
    {
        dlg = std::make_unique<CMainDlg>();
        dlg->InitDialog();
        dlg->show();
    }

    // One tick of the live reading, as the timer would deliver it.
    void Tick() { dlg->SendTimer(kLiveReadingTimer); }

    // Runs action on the next modal window that opens (the preview, the about box).
    static void WhenModalOpens(std::function<void(QWidget*)> action)
    {
        auto* poll = new QTimer;
        poll->setInterval(10);
        auto elapsed = std::make_shared<QElapsedTimer>();
        elapsed->start();
        QObject::connect(poll, &QTimer::timeout, [poll, action, elapsed] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                poll->stop();
                poll->deleteLater();
                action(modal);
            } else if (elapsed->elapsed() > 10000) {
                poll->stop();
                poll->deleteLater();
                ADD_FAILURE() << "no modal window opened";
            }
        });
        poll->start();
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
    bool Shown(int id) const { return dlg->GetDlgItem(id)->isVisible(); }
    // Puts text into an edit as the user would have typed it.
    void Type(int id, const std::string& text) const
    {
        qobject_cast<QLineEdit*>(dlg->GetDlgItem(id))->setText(QString::fromStdString(text));
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
        dlg->Item<QCheckBox>(IDC_INVERT)->setChecked(set.INV != 0);
    }

    // The seven edits and the check box, as shown.
    ParameterSet Fields() const
    {
        ParameterSet set;
        set.INV = dlg->Item<QCheckBox>(IDC_INVERT)->isChecked() ? 1 : 0;
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
        auto* combo = dlg->Item<QComboBox>(IDC_PORT);
        combo->setCurrentIndex(comPort - 1);
        emit combo->activated(comPort - 1);
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
    {
        m_poll.setInterval(10);
        QObject::connect(&m_poll, &QTimer::timeout, [this] {
            if (auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                opened = true;
                modal->reject();
            }
        });
        m_poll.start();
    }
    bool opened = false;

private:
    QTimer m_poll;
};
