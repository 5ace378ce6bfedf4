// Service mode in the main window: Ctrl+K from any control, the password
// prompt and what it reveals, and the calibration and port-test buttons against
// a simulated relay.

#include <QCheckBox>
#include <QDialog>
#include <QKeyEvent>
#include <QPushButton>
#include <set>

#include "service/password_dlg.h"
#include "tests/support/window_fixture.h"

namespace {

using namespace std::chrono_literals;

const std::set<int> kServiceIds = {1005, 1020, 1021, 1023, 1010, 1032, 1022, 1033};
const std::set<int> kRevealedByPassword = {1005, 1020, 1023, 1010, 1032, 1022, 1033};
const std::set<int> kVisibleAtStart = {1023};

void Press(QWidget* target, Qt::Key key, Qt::KeyboardModifiers modifiers, const QString& text)
{
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    QApplication::sendEvent(target, &press);
}

void PressCtrlK(QWidget* target)
{
    Press(target, Qt::Key_K, Qt::ControlModifier, QString(QChar(0x0B)));
}

// Counts the key presses that reach the control it watches.
class KeyCounter : public QObject {
public:
    explicit KeyCounter(QWidget* control) { control->installEventFilter(this); }
    int presses = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        presses += event->type() == QEvent::KeyPress ? 1 : 0;
        return false;
    }
};

class ServiceWindowTest : public WindowTest {
protected:
    std::set<int> ShownServiceIds() const
    {
        std::set<int> shown;
        for (int id : kServiceIds) {
            if (dlg->GetDlgItem(id)->isVisibleTo(dlg.get()))
                shown.insert(id);
        }
        return shown;
    }

    // Runs the event loop until a prompt opens, then answers it with action.
    void RunUntilPromptAnswered(const std::function<void(QDialog*)>& action)
    {
        bool answered = false;
        WhenModalOpens([&](QWidget* modal) {
            action(qobject_cast<QDialog*>(modal));
            answered = true;
        });
        QElapsedTimer elapsed;
        elapsed.start();
        while (!answered && elapsed.elapsed() < 10000)
            QApplication::processEvents(QEventLoop::AllEvents, 20);
        ASSERT_TRUE(answered);
    }
};

enum class Submit { OkButton, EnterKey, Cancel };

struct PasswordCase {
    const char* name;
    std::string typed;
    Submit submit;
    int result; // the prompt's modal result
};

void PrintTo(const PasswordCase& row, std::ostream* os)
{
    *os << row.name;
}

class PasswordTest : public ServiceWindowTest, public ::testing::WithParamInterface<PasswordCase> {};

TEST_P(PasswordTest, OnlyTheExactPasswordRevealsTheSevenControls)
{
    const PasswordCase& row = GetParam();
    OpenWindow();
    const std::size_t messagesBefore = ui.messages.size();
    std::string title;
    bool masked = false;
    int result = -1;
    WhenModalOpens([&](QWidget* modal) {
        auto* prompt = qobject_cast<QDialog*>(modal);
        title = prompt->windowTitle().toStdString();
        auto* edit = prompt->findChild<QLineEdit*>("1021");
        masked = edit->echoMode() == QLineEdit::Password && edit->hasFocus();
        edit->setText(QString::fromStdString(row.typed));
        if (row.submit == Submit::OkButton)
            prompt->findChild<QPushButton*>("1")->click();
        else if (row.submit == Submit::EnterKey)
            Press(edit, Qt::Key_Return, Qt::NoModifier, "\r");
        else
            prompt->findChild<QPushButton*>("2")->click();
        result = prompt->result();
    });

    dlg->SendTimer(kPasswordTimer);

    EXPECT_EQ(title, "Passwort-Eingabe");
    EXPECT_TRUE(masked);
    EXPECT_EQ(result, row.result);
    const bool right = row.result == kPasswordRight;
    EXPECT_EQ(ShownServiceIds(), right ? kRevealedByPassword : kVisibleAtStart);
    EXPECT_EQ(ui.messages.size(), messagesBefore) << "no word on a wrong password";
    EXPECT_FALSE(dlg->IsTimerRunning(kPasswordTimer));

    // Nothing hides them again: not a change of port, not emptying the fields.
    SelectPort(2);
    EXPECT_EQ(ShownServiceIds(), right ? kRevealedByPassword : kVisibleAtStart);
}

INSTANTIATE_TEST_SUITE_P(
    ServiceMode, PasswordTest,
    ::testing::Values(PasswordCase{"Right", "50318264", Submit::OkButton, kPasswordRight},
                      PasswordCase{"RightByEnter", "50318264", Submit::EnterKey, kPasswordRight},
                      PasswordCase{"TrailingBlank", "50318264 ", Submit::OkButton, kPasswordWrong},
                      PasswordCase{"Empty", "", Submit::OkButton, kPasswordWrong},
                      PasswordCase{"OneDigitWrong", "50318265", Submit::OkButton, kPasswordWrong},
                      PasswordCase{"Umlauts", "50318264ä", Submit::OkButton, kPasswordWrong},
                      PasswordCase{"ThousandCharacters", std::string(1000, '5'), Submit::OkButton, kPasswordWrong},
                      PasswordCase{"RightButCancelled", "50318264", Submit::Cancel, ui::IDCANCEL}),
    [](const ::testing::TestParamInfo<PasswordCase>& param) { return std::string(param.param.name); });

struct KeyCase {
    const char* name;
    int focus; // the control that has the focus when Ctrl+K is pressed
};

void PrintTo(const KeyCase& row, std::ostream* os)
{
    *os << row.name;
}

class CtrlKTest : public ServiceWindowTest, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(CtrlKTest, OpensOnePromptAndLeavesTheEditAsItWas)
{
    OpenWindow();
    auto* edit = dlg->Item<QLineEdit>(IDC_SWB);
    edit->setText("230.5");
    edit->setCursorPosition(2);
    QWidget* focus = dlg->GetDlgItem(GetParam().focus);
    focus->setFocus();
    KeyCounter reached(focus);

    PressCtrlK(focus);

    // The control never sees the key: a line edit would cut from the cursor on.
    EXPECT_EQ(reached.presses, 0);
    EXPECT_EQ(edit->text(), "230.5");
    EXPECT_TRUE(dlg->IsTimerRunning(kPasswordTimer));

    int morePrompts = 0;
    RunUntilPromptAnswered([&](QDialog* prompt) {
        // Ctrl+K again, and the timer again, while the prompt is open.
        PressCtrlK(prompt->findChild<QLineEdit*>("1021"));
        EXPECT_FALSE(dlg->IsTimerRunning(kPasswordTimer));
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [&] {
            if (auto* other = qobject_cast<QDialog*>(QApplication::activeModalWidget()); other != prompt) {
                ++morePrompts;
                other->reject();
            }
        });
        closer.start(5);
        dlg->SendTimer(kPasswordTimer);
        prompt->reject();
    });
    EXPECT_EQ(morePrompts, 0);
    EXPECT_FALSE(dlg->IsTimerRunning(kPasswordTimer));
    EXPECT_EQ(ShownServiceIds(), kVisibleAtStart);
}

INSTANTIATE_TEST_SUITE_P(ServiceMode, CtrlKTest,
                         ::testing::Values(KeyCase{"Edit", IDC_SWB}, KeyCase{"PortList", IDC_PORT},
                                           KeyCase{"Button", IDC_PC_TO_DEVICE}, KeyCase{"CheckBox", IDC_INVERT}),
                         [](const ::testing::TestParamInfo<KeyCase>& param) { return std::string(param.param.name); });

// The frames of the three service commands.
const std::string kKal0("\x02KAL0:4C\x03");
const std::string kK100("\x02K100:40\x03");
const std::string kTcm3("\x02TCM3:53\x03");

const std::string kNotConnected = "Keine Verbindung zum Gerät!";
const std::string kCom3Ok = "Test COM3 OK!";
const std::string kCom3Failed = "Test COM3 fehlgeschlagen!";
const std::string kTimeOut = "Receive-TimeOut";

struct CommandCase {
    const char* name;
    int button;
    bool connected;
    void (*prepare)(KorvenSim&); // the relay's fault, set after connecting
    std::string frame;           // what the relay receives; empty: nothing
    std::string message;         // the one message box; empty: none
    unsigned icon;
};

void PrintTo(const CommandCase& row, std::ostream* os)
{
    *os << row.name;
}

void Answers(KorvenSim&) {}
void Refuses(KorvenSim& sim)
{
    sim.Update([](SimOptions& o) { o.nak = {"KAL0", "K100", "TCM3"}; });
}
void Silent(KorvenSim& sim)
{
    sim.Update([](SimOptions& o) { o.silent = true; });
}
void TwoBytes(KorvenSim& sim)
{
    sim.Update([](SimOptions& o) { o.extraByte = true; });
}
void StaleByte(KorvenSim& sim)
{
    sim.Inject("\x15");
}
void OtherSingleByte(KorvenSim& sim)
{
    sim.Update([](SimOptions& o) { o.silent = true; });
    sim.Inject("\x07");
}
void Chatters(KorvenSim& sim)
{
    sim.Update([](SimOptions& o) { o.chatter = true; });
}

class ServiceCommandTest : public ServiceWindowTest, public ::testing::WithParamInterface<CommandCase> {};

TEST_P(ServiceCommandTest, ReplyDecidesTheMessage)
{
    const CommandCase& row = GetParam();
    StartSim();
    OpenWindow();
    if (row.connected)
        Tick();
    ASSERT_EQ(dlg->Connected(), row.connected);
    const std::string kal = Text(IDC_KAL);
    const std::string k0v = Text(IDC_K0V);
    Type(IDC_SWB, "123.4"); // typed, not yet taken by a live reading
    ui.messages.clear();
    sim->ClearReceivedFrames();
    row.prepare(*sim);

    dlg->SendCommand(row.button);

    if (row.frame.empty()) {
        EXPECT_FALSE(sim->WaitForFrames(1, 300ms)) << "nothing may be sent";
    } else {
        ASSERT_TRUE(sim->WaitForFrames(1, 2000ms));
        EXPECT_EQ(sim->ReceivedFrames(), std::vector<std::string>{row.frame});
    }
    if (row.message.empty()) {
        EXPECT_TRUE(ui.messages.empty()) << testing::PrintToString(ui.Texts());
    } else {
        ASSERT_EQ(ui.messages.size(), 1u) << testing::PrintToString(ui.Texts());
        const ui::MessageRequest& box = ui.messages[0];
        EXPECT_EQ(box.text, row.message);
        EXPECT_EQ(box.type, ui::MB_OK | row.icon);
        const bool refused = !row.connected;
        EXPECT_EQ(box.caption, refused ? "Fehler" : "KorvenCtrl");
        EXPECT_EQ(box.owner, refused ? dlg.get() : nullptr);
    }
    EXPECT_EQ(Text(IDC_SWB), "123.4");
    EXPECT_EQ(Text(IDC_KAL), kal);
    EXPECT_EQ(Text(IDC_K0V), k0v);
}

const unsigned kExclamation = ui::MB_ICONEXCLAMATION;

INSTANTIATE_TEST_SUITE_P(
    ServiceMode, ServiceCommandTest,
    ::testing::Values(
        CommandCase{"Calibrate0VAck", IDC_CALIBRATE_0V, true, Answers, kKal0, "Kalibrierung 0V OK!", 0},
        CommandCase{"Calibrate100VAck", IDC_CALIBRATE_100V, true, Answers, kK100, "Kalibrierung 100V OK!", 0},
        CommandCase{"Calibrate0VNak", IDC_CALIBRATE_0V, true, Refuses, kKal0,
                    "Kalibrierung fehlgeschlagen!\r\n\r\nMögliche Ursachen:\r\n"
                    "- gemessene Eingangsspannung zu hoch (keine 0V)",
                    0},
        CommandCase{"Calibrate100VNak", IDC_CALIBRATE_100V, true, Refuses, kK100,
                    "Kalibrierung fehlgeschlagen!\r\n\r\nMögliche Ursachen:\r\n- 0V nicht kalibriert\r\n"
                    "- gemessene Eingangsspannung < ca.90V oder > ca.120V",
                    0},
        CommandCase{"Calibrate0VSilence", IDC_CALIBRATE_0V, true, Silent, kKal0, kTimeOut, 0},
        CommandCase{"Calibrate100VTwoBytes", IDC_CALIBRATE_100V, true, TwoBytes, kK100, "", 0},
        CommandCase{"Calibrate0VStaleByteThenAck", IDC_CALIBRATE_0V, true, StaleByte, kKal0, "", 0},
        CommandCase{"Calibrate100VOtherSingleByte", IDC_CALIBRATE_100V, true, OtherSingleByte, kK100, "", 0},
        CommandCase{"TestCom3Ack", IDC_TEST_COM3, true, Answers, kTcm3, kCom3Ok, kExclamation},
        CommandCase{"TestCom3Nak", IDC_TEST_COM3, true, Refuses, kTcm3, kCom3Failed, kExclamation},
        CommandCase{"TestCom3Silence", IDC_TEST_COM3, true, Silent, kTcm3, kCom3Failed, kExclamation},
        CommandCase{"TestCom3TwoBytes", IDC_TEST_COM3, true, TwoBytes, kTcm3, kCom3Failed, kExclamation},
        CommandCase{"TestCom3StaleInputDrained", IDC_TEST_COM3, true, StaleByte, kTcm3, kCom3Ok, kExclamation},
        CommandCase{"TestCom3Chatter", IDC_TEST_COM3, true, Chatters, kTcm3, kCom3Failed, kExclamation},
        CommandCase{"Calibrate0VNotConnected", IDC_CALIBRATE_0V, false, Answers, "", kNotConnected, kExclamation},
        CommandCase{"Calibrate100VNotConnected", IDC_CALIBRATE_100V, false, Answers, "", kNotConnected, kExclamation},
        CommandCase{"TestCom3NotConnected", IDC_TEST_COM3, false, Answers, "", kNotConnected, kExclamation}),
    [](const ::testing::TestParamInfo<CommandCase>& param) { return std::string(param.param.name); });

} // namespace
