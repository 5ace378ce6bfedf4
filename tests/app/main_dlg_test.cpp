// The main window as the user meets it: its controls, service mode, the port
// opened at start, and the ways out.

#include <algorithm>
#include <set>

#include "link/trace.h"
#include "tests/app/main_controls.h"
#include "tests/support/window_fixture.h"
#include "tests/support/window_system.h"

namespace {

std::set<int> VisibleIds(const CMainDlg& dlg)
{
    std::set<int> visible;
    for (const ExpectedControl& control : kControls) {
        if (dlg.IsItemVisible(control.id))
            visible.insert(control.id);
    }
    return visible;
}

// The captions of the window's controls of kind that nobody addresses by id.
std::multiset<std::string> StaticCaptions(const ui::CDialog& dialog, ui::Kind kind)
{
    std::multiset<std::string> captions;
    for (const ui::ControlTemplate& control : dialog.Template().controls) {
        if (control.id != ui::IDC_STATIC || control.kind != kind)
            continue;
        std::string caption = control.caption; // a line break as one "\n"
        caption.erase(std::remove(caption.begin(), caption.end(), '\r'), caption.end());
        captions.insert(caption);
    }
    return captions;
}

using MainWindowTest = WindowTest;

TEST_F(MainWindowTest, EveryControlHasItsIdKindCaptionRectangleAndVisibility)
{
    OpenWindow();
    EXPECT_EQ(dlg->GetWindowText(), "KORVEN-Control");
    for (const ExpectedControl& control : kControls) {
        SCOPED_TRACE(control.id);
        ASSERT_TRUE(dlg->HasItem(control.id));
        EXPECT_EQ(dlg->GetItemText(control.id), control.caption);
        const ui::Rect expected = dlg->MapDialogRect({control.x, control.y, control.cx, control.cy});
        const ui::Rect shown = dlg->ItemRect(control.id);
        // A picture takes the size of its bitmap.
        const ui::Rect placed{shown.x, shown.y, expected.width, expected.height};
        EXPECT_EQ(control.kind == ui::Kind::Picture ? placed : shown, expected);
        EXPECT_EQ(dlg->IsItemVisible(control.id), control.visible);
    }
}

TEST_F(MainWindowTest, PortListOffersCom1ToCom16AndLabelsAreInPlace)
{
    OpenWindow();
    const std::vector<std::string> ports = dlg->GetItemList(1002);
    ASSERT_EQ(ports.size(), 16u);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(ports[i], "COM" + std::to_string(i + 1));
    EXPECT_EQ(dlg->ItemRect(1002).x, dlg->MapDialogRect({105, 34, 0, 0}).x);
    EXPECT_EQ(dlg->ItemRect(1002).y, dlg->MapDialogRect({105, 34, 0, 0}).y);

    const std::multiset<std::string> labels = StaticCaptions(*dlg, ui::Kind::Label);
    for (const char* text : {"Sollwertbezug [V]", "Hysterese [%]", "U > [%]", "U >> [%]", "U < [%]", "U << [%]",
                             "Schalt-\nverzögerung [s]", "Schnittstelle", "Verbindung", "Aktueller Meßwert", "Version"})
        EXPECT_EQ(labels.count(text), 1u) << text;
    EXPECT_EQ(StaticCaptions(*dlg, ui::Kind::GroupBox).size(), 2u);
}

TEST_F(MainWindowTest, TheCaretStartsInSollwertbezug)
{
    OpenWindow();
    ui::PumpMessages();
    EXPECT_EQ(dlg->FocusedItem(), IDC_SWB);
}

struct StartCase {
    const char* ini;
    int comPort;
    int selected; // list index, -1 for none
    bool service;
    const char* message; // port message, "" for none
};

class MainWindowStartTest : public WindowTest, public ::testing::WithParamInterface<StartCase> {};

TEST_P(MainWindowStartTest, SettingsDecidePortSelectionAndServiceMode)
{
    const StartCase& c = GetParam();
    if (c.ini != nullptr)
        WriteIni(c.ini);
    OpenWindow();
    EXPECT_EQ(dlg->ComPort(), c.comPort);
    EXPECT_EQ(dlg->GetCurSel(1002), c.selected);
    std::set<int> expected;
    for (const ExpectedControl& control : kControls) {
        if (control.visible || (c.service && kServiceControls.count(control.id) != 0))
            expected.insert(control.id);
    }
    EXPECT_EQ(VisibleIds(*dlg), expected);
    if (*c.message != '\0') {
        ASSERT_EQ(ui.messages.size(), 1u);
        // The first line as ever; the reason below it (its texts are the port's).
        const std::string& text = ui.messages[0].text;
        const std::size_t lineEnd = text.find("\r\n");
        ASSERT_NE(lineEnd, std::string::npos) << text;
        EXPECT_EQ(text.substr(0, lineEnd), c.message);
        EXPECT_GT(text.size(), lineEnd + 2) << text;
        EXPECT_EQ(ui.messages[0].caption, "ERROR");
        EXPECT_EQ(ui.messages[0].type, ui::MB_OK | ui::MB_ICONEXCLAMATION);
    }
    EXPECT_TRUE(dlg->IsTimerRunning(kLiveReadingTimer));
}

INSTANTIATE_TEST_SUITE_P(
    Settings, MainWindowStartTest,
    ::testing::Values(StartCase{nullptr, 1, 0, false, ""},
                      StartCase{"[PORTS]\nCOM3=/nonexistent/tty\n[CONNECTION]\nCOM=3\n", 3, 2, false,
                                "Kann Schnittstelle COM3 nicht öffnen"},
                      // A port above the list's sixteen gets an entry of its own.
                      StartCase{"[PORTS]\nCOM17=/nonexistent\n[connection]\ncom=17\n", 17, 16, false,
                                "Kann Schnittstelle COM17 nicht öffnen"},
                      StartCase{"[CONNECTION]\nCOM=0\n", 0, -1, false, "Kann Schnittstelle COM0 nicht öffnen"},
                      StartCase{"[PORTS]\nCOM3=/nonexistent\n[CONNECTION]\nCOM=3\n[DIR]\nTEST=3179\n", 3, 2, true,
                                "Kann Schnittstelle COM3 nicht öffnen"},
                      StartCase{"[PORTS]\nCOM1=/nonexistent\n[DIR]\nTEST=3178\n", 1, 0, false, ""},
                      StartCase{"[PORTS]\nCOM1=/nonexistent\n[DIR]\nTEST=abc\n", 1, 0, false, ""}));

TEST_F(MainWindowTest, SettingsPathAndWorkingFolderComeFromTheStartFolder)
{
    OpenWindow();
    const std::string start = PathToUtf8(std::filesystem::current_path()) + kSeparator;
    EXPECT_EQ(dlg->StartDir(), start);
    EXPECT_EQ(dlg->IniPath(), start + "KorvenCtrl.ini");
    EXPECT_EQ(dlg->WorkingDir(), start);
}

struct LeaveCase {
    const char* name;
    std::function<void(CMainDlg&)> leave;
};

class MainWindowLeaveTest : public WindowTest, public ::testing::WithParamInterface<LeaveCase> {};

TEST_P(MainWindowLeaveTest, AsksBeforeLeavingAndAbbrechenKeepsItRunning)
{
    StartSim();
    OpenWindow();
    ui::RunLater(0, [this] {
        ui.answers = {ui::IDCANCEL};
        GetParam().leave(*dlg);
        EXPECT_EQ(ui.messages.size(), 1u);
        if (!ui.messages.empty()) {
            EXPECT_EQ(ui.messages[0].text, "Programm verlassen ?");
            EXPECT_EQ(ui.messages[0].caption, "Warnung");
            EXPECT_EQ(ui.messages[0].type, ui::MB_OKCANCEL | ui::MB_ICONEXCLAMATION);
            EXPECT_EQ(ui.messages[0].owner, dlg.get());
        }
        EXPECT_TRUE(dlg->IsWindowVisible());
        EXPECT_TRUE(dlg->IsTimerRunning(kLiveReadingTimer));

        ui.answers = {ui::IDOK};
        GetParam().leave(*dlg);
        EXPECT_EQ(ui.messages.size(), 2u);
        EXPECT_FALSE(dlg->IsWindowVisible());
        if (dlg->IsWindowVisible())
            dlg->EndDialog(-1); // a failing test must not hang
    });
    EXPECT_EQ(dlg->DoModal(), ui::IDCANCEL);
    EXPECT_EQ(ui.messages.size(), 2u);
}

std::string LeaveCaseName(const ::testing::TestParamInfo<LeaveCase>& leaveCase)
{
    return leaveCase.param.name;
}

INSTANTIATE_TEST_SUITE_P(Ways, MainWindowLeaveTest,
                         ::testing::Values(LeaveCase{"Button2", [](CMainDlg& d) { d.SendCommand(2); }},
                                           LeaveCase{"Escape",
                                                     [](CMainDlg& d) { ui::PressKey(d, 0, ui::Key::Escape); }},
                                           LeaveCase{"CloseBox", [](CMainDlg& d) { PressCloseBox(d); }}),
                         LeaveCaseName);

TEST_F(MainWindowTest, EnterNeverClosesTheWindow)
{
    OpenWindow();
    const std::size_t shownAtStart = ui.messages.size();
    for (int id : {1011, 1030, 1001, 0}) {
        dlg->SetFocusTo(id);
        ui::PressKey(*dlg, id, ui::Key::Enter);
    }
    EXPECT_EQ(ui.messages.size(), shownAtStart);
    EXPECT_TRUE(dlg->IsWindowVisible());
}

TEST_F(MainWindowTest, InvertCheckBoxUpdatesTheShownSetAtOnce)
{
    OpenWindow();
    ClickCheck(1018);
    EXPECT_EQ(dlg->ShownSet().INV, 1);
    ClickCheck(1018);
    EXPECT_EQ(dlg->ShownSet().INV, 0);
}

TEST_F(MainWindowTest, ClearFieldsEmptiesEveryFieldAndTheCheckBox)
{
    OpenWindow();
    for (int id : {1001, 1010, 1011, 1012, 1013, 1014, 1015, 1016, 1017, 1022, 1030})
        dlg->SetItemText(id, "12.5");
    dlg->SetCheck(1018, 1);
    dlg->UpdateData(true);
    dlg->ClearFields();
    for (int id : {1001, 1010, 1011, 1012, 1013, 1014, 1015, 1016, 1017, 1022, 1030})
        EXPECT_EQ(dlg->GetItemText(id), "") << id;
    EXPECT_EQ(dlg->GetCheck(1018), 0);
    EXPECT_EQ(dlg->ShownSet(), ParameterSet{});
}

TEST_F(MainWindowTest, AboutBoxOpensFromTheWindowMenuEntry)
{
    OpenWindow();
    std::string title;
    std::multiset<std::string> texts;
    WhenModalOpens([&](ui::CDialog& modal) {
        title = modal.GetWindowText();
        texts = StaticCaptions(modal, ui::Kind::Label);
        modal.SendCommand(ui::IDOK);
    });
    dlg->SendSysCommand(IDM_ABOUTBOX);
    EXPECT_EQ(title, "Info über KorvenCtrl");
    EXPECT_EQ(texts.count("KorvenCtrl Version 2.1 / 13.06.2007"), 1u);
}

TEST_F(MainWindowTest, TraceKeyTracesTheLiveReadingOrTellsWhyItCannot)
{
    struct Row {
        const char* name;
        const char* path;
        bool traced;
    };
    const Row rows[] = {
        {"writable", "trace.log", true},
        {"folder missing", "missing/trace.log", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ui.messages.clear();
        extraIni = std::string("[DEBUG]\nTRACE=") + row.path + "\n";
        StartSim();
        OpenWindow();
        Tick();
        trace::Stop();
        std::ifstream in(folder / row.path);
        const std::string traced((std::istreambuf_iterator<char>(in)), {});
        EXPECT_EQ(traced.find("TX 02 47 4D 57 54 3A 33 33 03 |.GMWT:33.|") != std::string::npos, row.traced);
        const std::vector<std::string> expected =
            row.traced ? std::vector<std::string>{}
                       : std::vector<std::string>{std::string("File ") + row.path + " kann nicht geschrieben werden"};
        EXPECT_EQ(ui.Texts(), expected);
        dlg.reset();
        delete g_pPort;
        g_pPort = nullptr;
    }
}

} // namespace
