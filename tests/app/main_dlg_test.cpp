// The main window as the user meets it: its controls, service mode, the port
// opened at start, and the ways out.

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <fcntl.h>
#include <set>
#include <termios.h>

#include "link/trace.h"
#include "tests/support/window_fixture.h"

namespace {

struct ExpectedControl {
    int id;
    const char* kind; // Qt class of the control
    const char* caption;
    int x, y, cx, cy; // dialog units
    bool visible;
};

// The main window's controls with ids, as the operator's manual lists them.
const ExpectedControl kControls[] = {
    {1011, "QLineEdit", "", 56, 73, 40, 14, true},
    {1013, "QLineEdit", "", 56, 92, 40, 14, true},
    {1015, "QLineEdit", "", 153, 92, 40, 14, true},
    {1014, "QLineEdit", "", 56, 111, 40, 14, true},
    {1016, "QLineEdit", "", 153, 111, 40, 14, true},
    {1012, "QLineEdit", "", 56, 129, 40, 14, true},
    {1017, "QLineEdit", "", 153, 130, 40, 14, true},
    {1006, "QPushButton", "Parameter speichern", 219, 64, 83, 14, true},
    {1007, "QPushButton", "Parameter aus Datei", 219, 86, 83, 14, true},
    {1008, "QPushButton", "Parameter Korven--> PC", 219, 126, 83, 14, true},
    {1009, "QPushButton", "Parameter PC-->Korven", 219, 148, 83, 14, true},
    {1001, "QLineEdit", "", 30, 34, 40, 12, true},
    {1020, "QPushButton", "Kalibrieren 0V", 16, 191, 83, 14, false},
    {1005, "QPushButton", "Kalibrieren 100V", 16, 169, 83, 14, false},
    {1023, "QPushButton", "Firmware Update", 118, 169, 83, 14, true},
    {1021, "QPushButton", "COM3 testen", 118, 191, 83, 14, false},
    {130, "QLabel", "", 171, 34, 13, 12, true},
    {1003, "QLabel", "", 171, 34, 13, 12, true},
    {1010, "QLineEdit", "", 263, 191, 40, 14, false},
    {1018, "QCheckBox", "Invertieren", 111, 74, 49, 10, true},
    {1030, "QLineEdit", "", 56, 55, 50, 14, true},
    {1032, "QLabel", "Kal.-Faktor", 265, 183, 35, 8, false},
    {2, "QPushButton", "Programm verlassen", 219, 169, 83, 14, true},
    {1019, "QLineEdit", "", 271, 0, 40, 14, false},
    {1022, "QLineEdit", "", 211, 191, 40, 14, false},
    {1033, "QLabel", "Mittenspannung", 205, 183, 52, 8, false},
    {1035, "QPushButton", "Parameter Drucken", 219, 107, 83, 14, true},
};

const std::set<int> kServiceControls = {1005, 1020, 1023, 1021, 1010, 1032, 1022, 1033};

int Px(double units, double scale)
{
    return static_cast<int>(std::lround(units * scale));
}

std::string CaptionOf(QWidget* widget)
{
    if (auto* button = qobject_cast<QAbstractButton*>(widget))
        return button->text().toStdString();
    if (auto* label = qobject_cast<QLabel*>(widget))
        return label->text().toStdString();
    if (auto* edit = qobject_cast<QLineEdit*>(widget))
        return edit->text().toStdString();
    return {};
}

std::set<int> VisibleIds(const CMainDlg& dlg)
{
    std::set<int> visible;
    for (const ExpectedControl& control : kControls) {
        if (dlg.GetDlgItem(control.id)->isVisibleTo(&dlg))
            visible.insert(control.id);
    }
    return visible;
}

using MainWindowTest = WindowTest;

TEST_F(MainWindowTest, EveryControlHasItsIdKindCaptionRectangleAndVisibility)
{
    OpenWindow();
    EXPECT_EQ(dlg->windowTitle().toStdString(), "KORVEN-Control");
    EXPECT_EQ(dlg->size(), QSize(480, 341));
    for (const ExpectedControl& control : kControls) {
        SCOPED_TRACE(control.id);
        QWidget* widget = dlg->findChild<QWidget*>(QString::number(control.id));
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget, dlg->GetDlgItem(control.id));
        EXPECT_TRUE(widget->inherits(control.kind)) << widget->metaObject()->className();
        EXPECT_EQ(CaptionOf(widget), control.caption);
        EXPECT_EQ(widget->geometry(), QRect(Px(control.x, 1.5), Px(control.y, 1.625), Px(control.cx, 1.5),
                                            Px(control.cy, 1.625)));
        EXPECT_EQ(widget->isVisibleTo(dlg.get()), control.visible);
    }
    // No push button reacts to Enter by itself.
    for (QPushButton* button : dlg->findChildren<QPushButton*>()) {
        EXPECT_FALSE(button->isDefault()) << button->text().toStdString();
        EXPECT_FALSE(button->autoDefault()) << button->text().toStdString();
    }
}

TEST_F(MainWindowTest, PortListOffersCom1ToCom16AndLabelsAreInPlace)
{
    OpenWindow();
    auto* combo = dlg->Item<QComboBox>(1002);
    ASSERT_EQ(combo->count(), 16);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(combo->itemText(i).toStdString(), "COM" + std::to_string(i + 1));
    EXPECT_EQ(combo->geometry().topLeft(), QPoint(158, 55));

    std::set<std::string> labels;
    for (QLabel* label : dlg->findChildren<QLabel*>())
        labels.insert(label->text().toStdString());
    for (const char* text : {"Sollwertbezug [V]", "Hysterese [%]", "U > [%]", "U >> [%]", "U < [%]", "U << [%]",
                             "Schalt-\nverzögerung [s]", "Schnittstelle", "Verbindung", "Aktueller Meßwert",
                             "Version"})
        EXPECT_EQ(labels.count(text), 1u) << text;
    EXPECT_EQ(dlg->findChildren<QGroupBox*>().size(), 2);
}

TEST_F(MainWindowTest, TabOrderFollowsTheTemplateAndTheCaretStartsInSollwertbezug)
{
    OpenWindow();
    const int order[] = {1011, 1013, 1015, 1014, 1016, 1012, 1017, 1006, 1007, 1008, 1009, 1001, 1002};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        EXPECT_EQ(dlg->GetDlgItem(order[i])->nextInFocusChain(), dlg->GetDlgItem(order[i + 1])) << order[i];
    dlg->activateWindow();
    QApplication::processEvents();
    EXPECT_EQ(dlg->focusWidget(), dlg->GetDlgItem(IDC_SWB));
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
    EXPECT_EQ(dlg->Item<QComboBox>(1002)->currentIndex(), c.selected);
    std::set<int> expected;
    for (const ExpectedControl& control : kControls) {
        if (control.visible || (c.service && kServiceControls.count(control.id) != 0))
            expected.insert(control.id);
    }
    EXPECT_EQ(VisibleIds(*dlg), expected);
    if (*c.message != '\0') {
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].text, c.message);
        EXPECT_EQ(ui.messages[0].caption, "ERROR");
        EXPECT_EQ(ui.messages[0].type, ui::MB_OK | ui::MB_ICONEXCLAMATION);
    }
    EXPECT_TRUE(dlg->IsTimerRunning(kLiveReadingTimer));
}

INSTANTIATE_TEST_SUITE_P(
    Settings, MainWindowStartTest,
    ::testing::Values(
        StartCase{nullptr, 1, 0, false, ""},
        StartCase{"[PORTS]\nCOM3=/nonexistent/tty\n[CONNECTION]\nCOM=3\n", 3, 2, false,
                  "Kann Schnittstelle COM3 nicht öffnen"},
        StartCase{"[PORTS]\nCOM17=/nonexistent\n[connection]\ncom=17\n", 17, -1, false,
                  "Kann Schnittstelle COM17 nicht öffnen"},
        StartCase{"[CONNECTION]\nCOM=0\n", 0, -1, false, "Kann Schnittstelle COM0 nicht öffnen"},
        StartCase{"[PORTS]\nCOM1=/nonexistent\n[DIR]\nTEST=3179\n", 1, 0, true, "Kann Schnittstelle COM1 nicht öffnen"},
        StartCase{"[PORTS]\nCOM1=/nonexistent\n[DIR]\nTEST=3178\n", 1, 0, false, ""},
        StartCase{"[PORTS]\nCOM1=/nonexistent\n[DIR]\nTEST=abc\n", 1, 0, false, ""}));

TEST_F(MainWindowTest, SettingsPathAndWorkingFolderComeFromTheStartFolder)
{
    OpenWindow();
    const std::string start = std::filesystem::current_path().string() + "/";
    EXPECT_EQ(dlg->StartDir(), start);
    EXPECT_EQ(dlg->IniPath(), start + "KorvenCtrl.ini");
    EXPECT_EQ(dlg->WorkingDir(), start);
}

TEST_F(MainWindowTest, OpensTheMappedPortExclusivelyAt19200Raw)
{
    StartSim();
    OpenWindow();
    EXPECT_TRUE(ui.messages.empty());
    ASSERT_NE(g_pPort, nullptr);
    EXPECT_TRUE(g_pPort->IsOpen());

    const int fd = ::open(sim->DevicePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    termios settings{};
    ASSERT_EQ(tcgetattr(fd, &settings), 0);
    ::close(fd);
    EXPECT_EQ(cfgetispeed(&settings), B19200);
    EXPECT_EQ(cfgetospeed(&settings), B19200);
    EXPECT_EQ(settings.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(settings.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(settings.c_iflag & (IXON | IXOFF | ICRNL), 0u);
    EXPECT_EQ(settings.c_lflag & (ICANON | ECHO), 0u);

    // A second program can't share the port.
    CSerialPort second;
    EXPECT_EQ(second.Open(1, 19200), -1);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Kann Schnittstelle COM1 nicht öffnen");
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
    ui.answers = {ui::IDCANCEL};
    GetParam().leave(*dlg);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Programm verlassen ?");
    EXPECT_EQ(ui.messages[0].caption, "Warnung");
    EXPECT_EQ(ui.messages[0].type, ui::MB_OKCANCEL | ui::MB_ICONEXCLAMATION);
    EXPECT_EQ(ui.messages[0].owner, dlg.get());
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_TRUE(dlg->IsTimerRunning(kLiveReadingTimer));

    ui.answers = {ui::IDOK};
    GetParam().leave(*dlg);
    EXPECT_EQ(ui.messages.size(), 2u);
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(dlg->result(), ui::IDCANCEL);
}

void PressKey(QWidget* target, int key)
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
}

std::string LeaveCaseName(const ::testing::TestParamInfo<LeaveCase>& leaveCase)
{
    return leaveCase.param.name;
}

INSTANTIATE_TEST_SUITE_P(Ways, MainWindowLeaveTest,
                         ::testing::Values(LeaveCase{"Button2", [](CMainDlg& d) { d.Item<QPushButton>(2)->click(); }},
                                           LeaveCase{"Escape", [](CMainDlg& d) { PressKey(&d, Qt::Key_Escape); }},
                                           LeaveCase{"CloseBox", [](CMainDlg& d) { d.close(); }}),
                         LeaveCaseName);

TEST_F(MainWindowTest, EnterNeverClosesTheWindow)
{
    OpenWindow();
    const std::size_t shownAtStart = ui.messages.size();
    for (int id : {1011, 1030, 1001}) {
        dlg->GetDlgItem(id)->setFocus();
        PressKey(dlg->GetDlgItem(id), Qt::Key_Return);
        PressKey(dlg->GetDlgItem(id), Qt::Key_Enter);
    }
    PressKey(dlg.get(), Qt::Key_Return);
    EXPECT_EQ(ui.messages.size(), shownAtStart);
    EXPECT_TRUE(dlg->isVisible());
}

TEST_F(MainWindowTest, InvertCheckBoxUpdatesTheShownSetAtOnce)
{
    OpenWindow();
    dlg->Item<QCheckBox>(1018)->click();
    EXPECT_EQ(dlg->ShownSet().INV, 1);
    dlg->Item<QCheckBox>(1018)->click();
    EXPECT_EQ(dlg->ShownSet().INV, 0);
}

TEST_F(MainWindowTest, ClearFieldsEmptiesEveryFieldAndTheCheckBox)
{
    OpenWindow();
    for (int id : {1001, 1010, 1011, 1012, 1013, 1014, 1015, 1016, 1017, 1022, 1030})
        dlg->Item<QLineEdit>(id)->setText("12.5");
    dlg->Item<QCheckBox>(1018)->setChecked(true);
    dlg->UpdateData(true);
    dlg->ClearFields();
    for (int id : {1001, 1010, 1011, 1012, 1013, 1014, 1015, 1016, 1017, 1022, 1030})
        EXPECT_TRUE(dlg->Item<QLineEdit>(id)->text().isEmpty()) << id;
    EXPECT_FALSE(dlg->Item<QCheckBox>(1018)->isChecked());
    EXPECT_EQ(dlg->ShownSet(), ParameterSet{});
}

TEST_F(MainWindowTest, AboutBoxOpensFromTheWindowMenuEntry)
{
    OpenWindow();
    std::string title;
    std::vector<std::string> texts;
    WhenModalOpens([&](QWidget* modal) {
        title = modal->windowTitle().toStdString();
        for (QLabel* label : modal->findChildren<QLabel*>())
            texts.push_back(label->text().toStdString());
        modal->findChild<QPushButton*>("1")->click();
    });
    dlg->SendSysCommand(IDM_ABOUTBOX);
    EXPECT_EQ(title, "Info über KorvenCtrl");
    EXPECT_NE(std::find(texts.begin(), texts.end(), "KorvenCtrl Version 2.1 / 13.06.2007"), texts.end());
    EXPECT_EQ(dlg->contextMenuPolicy(), Qt::CustomContextMenu);
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
