// The live reading once a second against a simulated relay: what it shows, the
// lamps and the connection state it decides, the parameter read on first
// contact, and the choice of another COM port.

#include <chrono>
#include <optional>

#include "files/settings_file.h"
#include "link/frame.h"
#include "port/port_list.h"
#include "tests/support/window_fixture.h"

namespace {

using namespace std::chrono_literals;

// The request of every tick: STX "GMWT:" "33" ETX.
const std::string kLiveRequestBytes("\x02\x47\x4D\x57\x54\x3A\x33\x33\x03", 9);
const std::string kNoReading = "     --------";
const std::string kReadFailed = "Die Daten konnten nicht übertragen werden!";

class LiveReadingTest : public WindowTest {
protected:
    void ExpectConnected() const
    {
        EXPECT_TRUE(dlg->Connected());
        EXPECT_TRUE(Shown(IDC_LAMP_GREEN));
        EXPECT_FALSE(Shown(IDC_LAMP_RED));
    }

    void ExpectNotConnected() const
    {
        EXPECT_FALSE(dlg->Connected());
        EXPECT_EQ(Text(IDC_MEASURED), kNoReading);
        EXPECT_FALSE(Shown(IDC_LAMP_GREEN));
        EXPECT_TRUE(Shown(IDC_LAMP_RED));
    }

    // The last request the relay received.
    std::string LastFrame() const
    {
        const auto frames = sim->ReceivedFrames();
        return frames.empty() ? std::string() : frames.back();
    }
};

struct ReadingCase {
    const char* name;
    std::optional<std::string> value; // the relay's value text
    const char* ini;                  // appended to the settings file
    const char* shown;
};

void PrintTo(const ReadingCase& row, std::ostream* os)
{
    *os << row.name;
}

class LiveReadingShownTest : public LiveReadingTest, public ::testing::WithParamInterface<ReadingCase> {};

TEST_P(LiveReadingShownTest, AnswerShowsTheValueAndTheGreenLamp)
{
    const ReadingCase& row = GetParam();
    SimOptions options;
    options.value = row.value;
    extraIni = row.ini;
    StartSim(options);
    OpenWindow();

    Tick();

    EXPECT_EQ(Text(IDC_MEASURED), row.shown);
    ExpectConnected();
    EXPECT_EQ(LastFrame().substr(0, 6), "\x02GPAR:") << "first contact reads the parameters";
    const auto frames = sim->ReceivedFrames();
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames.front(), kLiveRequestBytes);
    EXPECT_TRUE(dlg->IsTimerRunning(kLiveReadingTimer));
    EXPECT_TRUE(ui.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(
    LiveReading, LiveReadingShownTest,
    ::testing::Values(ReadingCase{"OneDecimal", "230.4", "", "230.4"},
                      ReadingCase{"TwoDecimalsInServiceMode", "230.4", "[DIR]\nTEST=3179\n", "230.40"},
                      ReadingCase{"OtherTestValueOneDecimal", "230.4", "[DIR]\nTEST=3178\n", "230.4"},
                      ReadingCase{"NotANumberShowsZero", "abc", "", " 0.0"},
                      ReadingCase{"SmallValuePadded", "5", "", " 5.0"},
                      ReadingCase{"NumberStopsAtTrailingText", "-7.77V", "", "-7.8"}),
    [](const ::testing::TestParamInfo<ReadingCase>& param) { return std::string(param.param.name); });

TEST_F(LiveReadingTest, ParametersAreReadOnFirstContactOnly)
{
    StartSim();
    OpenWindow();

    Tick();
    EXPECT_EQ(FramesStartingWith("GPAR:"), 1u);
    EXPECT_EQ(Text(IDC_SWB), "100.0");
    ExpectConnected();

    // What the user typed survives a tick, and a connected tick reads nothing more.
    Type(IDC_HYS, " 3,3x");
    Tick();
    EXPECT_EQ(FramesStartingWith("GPAR:"), 1u);
    EXPECT_EQ(Text(IDC_HYS), " 3,3x");
    ExpectConnected();

    sim->Update([](SimOptions& o) { o.silent = true; });
    Tick();
    ExpectNotConnected();
    EXPECT_EQ(FramesStartingWith("GPAR:"), 1u);

    sim->Update([](SimOptions& o) { o.silent = false; });
    Tick();
    EXPECT_EQ(FramesStartingWith("GPAR:"), 2u) << "the first answer after a silent tick reads again";
    ExpectConnected();
    EXPECT_EQ(Text(IDC_HYS), "2.0");
    EXPECT_EQ(FramesStartingWith("GMWT:"), 4u);
    EXPECT_TRUE(ui.messages.empty());
}

struct FaultCase {
    const char* name;
    void (*fault)(SimOptions&);
};

void PrintTo(const FaultCase& row, std::ostream* os)
{
    *os << row.name;
}

class LiveReadingFaultTest : public LiveReadingTest, public ::testing::WithParamInterface<FaultCase> {};

// From a connected state, each kind of non-answer turns the lamp red and shows the dashes.
TEST_P(LiveReadingFaultTest, NoValidAnswerShowsDashesAndTheRedLamp)
{
    StartSim();
    OpenWindow();
    Tick();
    ExpectConnected();

    sim->Update(GetParam().fault);
    sim->ClearReceivedFrames();
    const auto start = std::chrono::steady_clock::now();
    Tick();
    // A line that never falls silent must not hold the window: one tick is about
    // a quarter of a second, a bounded drain adds a second.
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);

    ExpectNotConnected();
    EXPECT_TRUE(dlg->IsTimerRunning(kLiveReadingTimer));
    EXPECT_EQ(FramesStartingWith("GPAR:"), 0u);
    EXPECT_EQ(LastFrame(), kLiveRequestBytes);
    EXPECT_TRUE(ui.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(LiveReading, LiveReadingFaultTest,
                         ::testing::Values(
                             // A loop-back plug returns our own request, whose checksum is right.
                             FaultCase{"Echo", [](SimOptions& o) { o.echo = true; }},
                             FaultCase{"BadChecksum", [](SimOptions& o) { o.badChecksum = true; }},
                             FaultCase{"Silent", [](SimOptions& o) { o.silent = true; }},
                             FaultCase{"NakInsteadOfReading", [](SimOptions& o) { o.nak.insert("GMWT"); }},
                             FaultCase{"Chatter", [](SimOptions& o) { o.chatter = true; }}),
                         [](const ::testing::TestParamInfo<FaultCase>& param) {
                             return std::string(param.param.name);
                         });

struct FirstContactCase {
    const char* name;
    void (*fault)(SimOptions&);
};

void PrintTo(const FirstContactCase& row, std::ostream* os)
{
    *os << row.name;
}

class LiveReadingFirstContactTest : public LiveReadingTest, public ::testing::WithParamInterface<FirstContactCase> {};

TEST_P(LiveReadingFirstContactTest, FailedParameterReadIsReportedOnceAndTheLampStillGoesGreen)
{
    SimOptions options;
    GetParam().fault(options);
    StartSim(options);
    OpenWindow();

    bool timerRanDuringMessage = true;
    {
        MessageWatch watch(
            ui, [&](const ui::MessageRequest&) { timerRanDuringMessage = dlg->IsTimerRunning(kLiveReadingTimer); });
        Tick();
    }
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, kReadFailed);
    EXPECT_EQ(ui.messages[0].caption, "Fehler");
    EXPECT_EQ(ui.messages[0].type & 0xF0, ui::MB_ICONEXCLAMATION);
    EXPECT_FALSE(timerRanDuringMessage) << "no second tick may start while the message is open";
    ExpectConnected();
    EXPECT_NE(Text(IDC_MEASURED), kNoReading);

    Tick();
    EXPECT_EQ(ui.messages.size(), 1u) << "not retried while the relay keeps answering";
    EXPECT_EQ(FramesStartingWith("GPAR:"), 1u);
    ExpectConnected();
}

INSTANTIATE_TEST_SUITE_P(
    LiveReading, LiveReadingFirstContactTest,
    ::testing::Values(FirstContactCase{"Refused", [](SimOptions& o) { o.nak.insert("GPAR"); }},
                      FirstContactCase{"NotAnswered", [](SimOptions& o) { o.drop.insert("GPAR"); }}),
    [](const ::testing::TestParamInfo<FirstContactCase>& param) { return std::string(param.param.name); });

TEST_F(LiveReadingTest, ChoosingAnotherPortSavesItEmptiesTheFieldsAndReadsTheNewRelay)
{
    StartSim();
    StartSecondSim();
    RelayParameters other = sim2->Parameters();
    other.SWB = 110.0;
    other.HYS = 1.5;
    other.INV = 1;
    other.VER = "KORVEN2 COM2";
    sim2->SetParameters(other);
    OpenWindow();
    Tick();
    ASSERT_TRUE(dlg->Connected());
    EXPECT_EQ(Text(IDC_SWB), "100.0");

    sim->ClearReceivedFrames();
    SelectPort(2);

    EXPECT_EQ(dlg->ComPort(), 2);
    EXPECT_EQ(ReadProfileInt("CONNECTION", "COM", 0, dlg->IniPath()), 2);
    EXPECT_EQ(ReadProfileString("PORTS", "COM1", "", dlg->IniPath()), sim->DevicePath()) << "other lines kept";
    EXPECT_TRUE(sim->ReceivedFrames().empty());
    ASSERT_EQ(sim2->ReceivedFrames().size(), 1u);
    EXPECT_EQ(sim2->ReceivedFrames()[0].substr(0, 6), "\x02GPAR:");
    EXPECT_EQ(Text(IDC_SWB), "110.0");
    EXPECT_EQ(Text(IDC_HYS), "1.5");
    EXPECT_EQ(Text(IDC_VERSION), "KORVEN2 COM2");
    EXPECT_EQ(dlg->GetCheck(IDC_INVERT), 1);
    EXPECT_EQ(Text(IDC_MEASURED), "") << "the reading waits for the next tick";
    // The connection state is the next tick's business.
    ExpectConnected();
    EXPECT_TRUE(ui.messages.empty());

    Tick();
    ExpectConnected();
    EXPECT_EQ(sim2->ReceivedFrames().back(), kLiveRequestBytes);
    EXPECT_EQ(FramesStartingWith("GPAR:"), 0u) << "still connected: no second read";
}

TEST_F(LiveReadingTest, PortThatCannotBeOpenedIsStillSavedAndTheFieldsAreEmptied)
{
    extraIni = "COM3=/nonexistent/korven-tty\n"; // lands in [PORTS]
    StartSim();
    OpenWindow();
    Tick();
    ASSERT_TRUE(dlg->Connected());
    dlg->SetCheck(IDC_INVERT, 1);
    Type(IDC_SVZ, "7");
    sim->ClearReceivedFrames();

    SelectPort(3);

    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Kann Schnittstelle COM3 nicht öffnen\r\n" +
                                       OpenFailureReason(OpenFailure::Missing, SerialDevicePath(3)));
    EXPECT_EQ(ui.messages[0].caption, "ERROR");
    EXPECT_EQ(ReadProfileInt("CONNECTION", "COM", 0, dlg->IniPath()), 3);
    for (int id :
         {IDC_MEASURED, IDC_SWB, IDC_HYS, IDC_UPL, IDC_UPP, IDC_UMI, IDC_UMM, IDC_SVZ, IDC_KAL, IDC_VERSION, IDC_K0V})
        EXPECT_EQ(Text(id), "") << "control " << id;
    EXPECT_EQ(dlg->GetCheck(IDC_INVERT), 0);
    EXPECT_EQ(dlg->ShownSet(), ParameterSet{});
    EXPECT_TRUE(sim->ReceivedFrames().empty());
    ExpectConnected();

    Tick();
    ExpectNotConnected();
    EXPECT_EQ(ui.messages.size(), 1u) << "an unopened port gives no answer, silently";
}

// A relay that is silent behind its device server keeps an exchange waiting for
// the pause and the allowance (3 s here): the window is served meanwhile, and
// Escape asks at once. Declined, the wait goes on; confirmed, the window ends
// at once and nothing more is sent.
TEST_F(LiveReadingTest, AWindowWaitingForASilentRelayBehindADeviceServerIsServed)
{
    using Clock = std::chrono::steady_clock;
    SimOptions options;
    options.silent = true;
    StartSim(options);
    std::string error;
    const std::string url = sim->DeviceServerUrl(true, &error);
    if (error == kNoDeviceServer)
        GTEST_SKIP() << error;
    ASSERT_FALSE(url.empty()) << error;
    WriteIni("[CONNECTION]\nCOM=5\n[PORTS]\nCOM5=" + url + "\nCOM5_ZUSCHLAG=3000\n");
    OpenWindow();
    sim->ClearReceivedFrames();
    for (const int answer : {ui::IDCANCEL, ui::IDOK}) {
        ui.answers.push_back(answer);
        auto last = Clock::now();
        Clock::duration unserved{};
        const auto served = Every(10, [&] {
            unserved = std::max(unserved, Clock::now() - last);
            last = Clock::now();
            return false;
        });
        ui::RunLater(300, [this] { ui::PressKey(*dlg, 0, ui::Key::Escape); });
        const auto start = Clock::now();
        Tick();
        const auto took = Clock::now() - start;
        unserved = std::max(unserved, Clock::now() - last);
        // A window held by the wait goes unserved for the whole 3.1 s.
        EXPECT_LT(unserved, 1000ms) << answer;
        ASSERT_FALSE(ui.messages.empty());
        EXPECT_EQ(ui.messages.back().text, "Programm verlassen ?");
        EXPECT_EQ(FramesStartingWith("GMWT:"), answer == ui::IDOK ? 2u : 1u);
        EXPECT_EQ(dlg->IsWindowVisible(), answer == ui::IDCANCEL);
        if (answer == ui::IDOK) {
            EXPECT_LT(took, 2000ms);
            EXPECT_FALSE(g_pPort->IsOpen());
            EXPECT_EQ(sim->ReceivedFrames().size(), 2u);
        }
    }
}

} // namespace

// An adapter plugged in after the start, then pulled out and plugged in again
// twice: the start's box once, red lamps without a box, and green again by
// itself, with the relay's parameters read once on the first new reading.
TEST_F(LiveReadingTest, AnUnpluggedRelayIsTakenUpAgainByItself)
{
    StartSim();
    WriteIni("[PORTS]\nCOM1=" + PluggableName(*sim, folder) + "\n");
    sim->Unplug();
    OpenWindow();
    // Under Wine the COM port of a vanished device opens and then refuses its
    // settings, which the port does not report; elsewhere the open fails, and says why.
    const bool underWine = sim->DevicePath().rfind("COM", 0) == 0;
    const std::size_t startBoxes = ui.messages.size();
    ASSERT_EQ(startBoxes, underWine ? startBoxes : 1u);
    if (startBoxes == 1) {
        EXPECT_EQ(ui.messages[0].text, "Kann Schnittstelle COM1 nicht öffnen\r\n" +
                                           OpenFailureReason(OpenFailure::Missing, SerialDevicePath(1)));
    }

    for (int plugged = 0; plugged < 3; ++plugged) {
        Tick();
        ExpectNotConnected();
        std::string error;
        ASSERT_TRUE(sim->Plug(&error)) << error;
        sim->ClearReceivedFrames();
        Tick();
        ExpectConnected();
        Tick();
        EXPECT_EQ(FramesStartingWith("GMWT:"), 2u) << plugged;
        EXPECT_EQ(FramesStartingWith("GPAR:"), 1u) << plugged;
        EXPECT_EQ(Text(IDC_SWB), "100.0") << plugged;
        sim->Unplug();
    }
    Tick();
    ExpectNotConnected();
    EXPECT_EQ(ui.messages.size(), startBoxes) << ui.messages.back().text;
}

// An adapter without a serial number comes back as COM2 in the same socket (on
// Linux: a node [PORTS] names COM2): the port follows it, and COM2 is chosen as
// in the list, with the relay's parameters read at its first answer.
TEST_F(LiveReadingTest, AnAdapterBackUnderAnotherComNumberIsFollowed)
{
    StartSim();
    StartSecondSim();
    bool moved = false;
    SetPortLister([&moved] {
        std::vector<PortCandidate> ports{{"COM1", 1, SerialDevicePath(1)}, {"COM2", 2, SerialDevicePath(2)}};
        PortCandidate& adapter = ports[moved ? 1 : 0];
        adapter.vendorId = "1a86";
        adapter.productId = "7523";
        adapter.usbPath = "1-1.2:1.0";
        return ports;
    });
    OpenWindow();
    Tick();
    ExpectConnected();

    sim->Unplug();
    moved = true;
    Tick(); // finds the device gone
    ExpectNotConnected();
    Tick();
    SetPortLister({});
    ExpectConnected();
    EXPECT_EQ(dlg->ComPort(), 2);
    EXPECT_EQ(Text(IDC_PORT), "COM2");
    EXPECT_EQ(ReadProfileInt("CONNECTION", "COM", 0, dlg->IniPath()), 2);
    EXPECT_EQ(sim2->ReceivedFrames(), (std::vector<std::string>{kLiveRequestBytes, BuildFrame("GPAR:")}));
}
