// The dialog kit on its own: unit conversion, data exchange, timers by id,
// default buttons and modal results.

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

#include "tests/support/scripted_ui.h"
#include "tests/support/window_system.h"
#include "ui/app.h"
#include "ui/dialog.h"

namespace {

using namespace ui;

TEST(DialogUnits, ConvertWithTheClassicBaseUnitsRoundingHalfAway)
{
    struct Case {
        int units, x, y;
    } const cases[] = {{0, 0, 0},       {1, 2, 2},       {13, 20, 21}, {12, 18, 20}, {83, 125, 135},
                       {320, 480, 520}, {210, 315, 341}, {7, 11, 11},  {-3, -5, -5}};
    for (const Case& c : cases) {
        EXPECT_EQ(DluToPixelsX(c.units), c.x) << c.units;
        EXPECT_EQ(DluToPixelsY(c.units), c.y) << c.units;
    }
    EXPECT_EQ(DluToPixels(171, 34, 13, 12), (Rect{257, 55, 20, 20}));
}

const DialogTemplate& TestTemplate()
{
    static const DialogTemplate tpl{
        500,
        "Probe",
        100,
        60,
        8,
        SystemMenu,
        {
            {10, Kind::Edit, "", 5, 5, 40, 14},
            {11, Kind::CheckBox, "Haken", 5, 22, 40, 10},
            {12, Kind::Edit, "", 50, 5, 40, 14, Hidden},
            {13, Kind::Edit, "", 50, 22, 40, 14, MultiLine},
            {IDOK, Kind::PushButton, "OK", 5, 40, 40, 14, DefaultButton},
            {IDCANCEL, Kind::PushButton, "Abbrechen", 50, 40, 40, 14},
        },
    };
    return tpl;
}

class ProbeDialog : public CDialog {
public:
    ProbeDialog() : CDialog(TestTemplate()) {}
    std::string text;
    int check = 0;
    std::vector<int> ticks;
    int focusAtInit = 0; // the control OnInitDialog puts the focus on, 0 for none
    bool initResult = true;
    void OnTimer(int id) override { ticks.push_back(id); }

protected:
    bool OnInitDialog() override
    {
        CDialog::OnInitDialog();
        if (focusAtInit != 0)
            SetFocusTo(focusAtInit);
        return initResult;
    }

    void DoDataExchange(DataExchange& dx) override
    {
        DDX_Text(dx, 10, text);
        DDX_Check(dx, 11, check);
    }
};

TEST(DialogKit, ControlsAreFoundByIdAndExchangeDataBothWays)
{
    ProbeDialog dlg;
    EXPECT_TRUE(dlg.HasItem(10));
    EXPECT_FALSE(dlg.HasItem(99));
    EXPECT_FALSE(dlg.IsItemVisible(12));
    dlg.ShowItem(12, true);
    EXPECT_TRUE(dlg.IsItemVisible(12));

    dlg.text = "Grüße 2.5";
    dlg.check = 1;
    dlg.UpdateData(false);
    EXPECT_EQ(dlg.GetItemText(10), "Grüße 2.5");
    EXPECT_EQ(dlg.GetCheck(11), 1);

    dlg.SetItemText(10, " abc ");
    dlg.SetCheck(11, 0);
    dlg.UpdateData(true);
    EXPECT_EQ(dlg.text, " abc ");
    EXPECT_EQ(dlg.check, 0);
}

TEST(DialogKit, TimersAreDeliveredByIdAndStopWhenKilled)
{
    ProbeDialog dlg;
    dlg.SetTimer(7, 10);
    dlg.SetTimer(8, 10);
    dlg.KillTimer(8);
    EXPECT_TRUE(dlg.IsTimerRunning(7));
    EXPECT_FALSE(dlg.IsTimerRunning(8));
    WaitUntil([&dlg] { return dlg.ticks.size() >= 3; }, 5000);
    dlg.KillTimer(7);
    ASSERT_GE(dlg.ticks.size(), 3u);
    for (int id : dlg.ticks)
        EXPECT_EQ(id, 7);
}

TEST(DialogKit, ModalRunReturnsWhatEndDialogWasGiven)
{
    ProbeDialog dlg;
    RunLater(0, [&dlg] { dlg.EndDialog(27); });
    EXPECT_EQ(dlg.DoModal(), 27);
    RunLater(0, [] { ExitProgram(0); }); // a run ended by the program's quit
    EXPECT_EQ(dlg.DoModal(), ui::kEndedWithoutResult);
    ClearQuitRequest();
}

TEST(DialogKit, EnterPressesTheDefaultButtonAndEscapeCancels)
{
    // In a multi-line edit too: without the want-return style it does not break the line.
    for (const int id : {10, 13}) {
        ProbeDialog dlg;
        auto ended = std::make_shared<bool>(false);
        RunLater(0, [&dlg, id] {
            dlg.SetItemText(10, "typed");
            PressKey(dlg, id, Key::Enter);
        });
        RunLater(5000, [&dlg, ended] {
            if (!*ended)
                dlg.EndDialog(-1); // Enter got lost
        });
        EXPECT_EQ(dlg.DoModal(), IDOK) << id;
        *ended = true;
        EXPECT_EQ(dlg.text, "typed"); // OK pulls the controls
        EXPECT_EQ(dlg.GetItemText(13), "") << "no line break typed";
    }
    {
        ProbeDialog dlg;
        RunLater(0, [&dlg] { PressKey(dlg, 0, Key::Escape); });
        EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    }
}

TEST(DialogKit, InitResultTrueGivesTheFirstTabStopTheFocusFalseKeepsTheDialogsChoice)
{
    struct Row {
        int focusAtInit;
        bool initResult;
        int expected;
    } const rows[] = {{0, true, 10}, {11, true, 10}, {11, false, 11}};
    for (const Row& row : rows) {
        ProbeDialog dlg;
        dlg.focusAtInit = row.focusAtInit;
        dlg.initResult = row.initResult;
        dlg.InitDialog();
        dlg.Show();
        PumpMessages();
        EXPECT_EQ(dlg.FocusedItem(), row.expected) << row.focusAtInit << " " << row.initResult;
    }
}

// While a modal dialog or a message box is open, no other window of the program
// takes input: neither its owner nor a window of its own beside that (the trend
// window beside the main window during a firmware pass).
TEST(DialogKit, AModalRunLeavesNoOtherWindowOfTheProgramTakingInput)
{
    ProbeDialog main, modal;
    CDialog beside(TestTemplate(), &main);
    main.Show();
    beside.Show();
    const std::pair<std::function<void()>, std::function<void()>> runsAndEnds[] = {
        {[&] { modal.DoModal(); }, [&] { modal.EndDialog(IDOK); }},
        {[&] { MessageBox(&main, "Text", "Probe", MB_OK); }, [] { CloseMessageBox("Probe"); }},
    };
    for (const auto& run : runsAndEnds) {
        bool othersTookInput = true;
        RunLater(100, [&] {
            othersTookInput = TakesInput(main) || TakesInput(beside);
            run.second();
        });
        run.first();
        EXPECT_FALSE(othersTookInput);
        EXPECT_TRUE(TakesInput(main) && TakesInput(beside));
    }
}

TEST(DialogKit, ShowBringsAMinimizedWindowBack)
{
    ProbeDialog dlg;
    dlg.Show();
    PressMinimizeBox(dlg);
    ASSERT_TRUE(WaitUntil([&dlg] { return IsMinimized(dlg); }, 5000));
    dlg.Show();
    EXPECT_TRUE(WaitUntil([&dlg] { return !IsMinimized(dlg); }, 5000));
}

TEST(MessageSeam, ApplicationBoxesCarryTheProgramNameOwnedBoxesTheirCaption)
{
    ScriptedUi scripted;
    scripted.answers = {IDCANCEL};
    EXPECT_EQ(AfxMessageBox("Text", MB_OKCANCEL | MB_ICONEXCLAMATION), IDCANCEL);
    EXPECT_EQ(MessageBox(nullptr, "Zweiter", "Fehler", MB_OK), IDOK);
    ASSERT_EQ(scripted.messages.size(), 2u);
    EXPECT_EQ(scripted.messages[0].caption, "KorvenCtrl");
    EXPECT_EQ(scripted.messages[0].type, MB_OKCANCEL | MB_ICONEXCLAMATION);
    EXPECT_EQ(scripted.messages[1].caption, "Fehler");
}

TEST(MessageSeam, FileDialogsOpenInTheNearestFolderThatExists)
{
    // Without a trailing separator, which Windows gives the temporary folder.
    const std::string temp = (std::filesystem::temp_directory_path() / "").parent_path().string();
    EXPECT_EQ(ExistingFolder(temp), temp);
    EXPECT_EQ(ExistingFolder(temp + "/korven-gone/deeper"), temp);
}

} // namespace
