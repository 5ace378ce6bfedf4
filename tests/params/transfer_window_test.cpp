// The two transfer buttons of the main window against a simulated relay: the
// refusal without a connection, the read with its message, the checks before a
// write, the preview and the write with its acknowledgement.

#include <chrono>
#include <clocale>
#include <cstdio>
#include <memory>

#include "tests/params/print_parameter_set.h"
#include "tests/support/window_fixture.h"
#include "trend/trend_dlg.h"

namespace {

using namespace std::chrono_literals;

const std::string kNotConnected = "Keine Verbindung zum Gerät!";
const std::string kTransferOk = "Übertragung der Daten ok.";
const std::string kTransferFailed = "Die Daten konnten nicht übertragen werden!";

// The write request of the worked example: 71 bytes, checksum digits 21.
const std::string kWorkedExampleSpar = "\x02SPAR:HYS2.0;SWB100.0;UPL10.0;UPP20.0;UMI-10.0;UMM-20.0;INV0;SVZ1.5;21\x03";

// What the preview showed before a button in it was pressed.
struct PreviewSeen {
    bool opened = false;
    std::string title;
    std::string okCaption;
    std::string text;
};

class TransferWindowTest : public WindowTest {
protected:
    // A window whose first tick found the relay and read its parameters.
    void Connect(SimOptions options = {})
    {
        StartSim(options);
        sim->SetParameters(RelayValues());
        OpenWindow();
        Tick();
        ASSERT_TRUE(dlg->Connected());
        ui.messages.clear();
        sim->ClearReceivedFrames();
    }

    void TypeWorkedExample() const { TypeSet({0, "2", "1.5", "-10", "-20", "10", "20", "100"}); }

    // Presses button 1009 and then the preview's button (IDOK or IDCANCEL).
    PreviewSeen PcToDeviceThroughPreview(int previewButton)
    {
        auto seen = std::make_shared<PreviewSeen>();
        WhenModalOpens([seen, previewButton](ui::CDialog& modal) {
            seen->opened = true;
            seen->title = modal.GetWindowText();
            seen->okCaption = modal.GetItemText(ui::IDOK);
            // The multi-line edit gives its lines with "\r\n".
            for (const char c : modal.GetItemText(1034)) {
                if (c != '\r')
                    seen->text += c;
            }
            modal.SendCommand(modal.HasItem(previewButton) ? previewButton : ui::IDCANCEL);
        });
        dlg->SendCommand(IDC_PC_TO_DEVICE);
        return *seen;
    }

    std::vector<std::string> Frames(const std::string& command) const
    {
        std::vector<std::string> found;
        for (const std::string& frame : sim->ReceivedFrames()) {
            if (frame.compare(1, command.size(), command) == 0)
                found.push_back(frame);
        }
        return found;
    }

    void ExpectOneMessage(const std::string& text, const std::string& caption, unsigned icon) const
    {
        ASSERT_EQ(ui.messages.size(), 1u) << testing::PrintToString(ui.Texts());
        EXPECT_EQ(ui.messages[0].text, text);
        EXPECT_EQ(ui.messages[0].caption, caption);
        EXPECT_EQ(ui.messages[0].type & 0xF0, icon);
        EXPECT_EQ(ui.messages[0].type & 0x0F, ui::MB_OK);
    }
};

class TransferRefusedTest : public TransferWindowTest, public ::testing::WithParamInterface<int> {};

TEST_P(TransferRefusedTest, WithoutConnectionNothingIsSent)
{
    StartSim();
    OpenWindow(); // no tick yet: not connected
    Type(IDC_HYS, "77");

    dlg->SendCommand(GetParam());

    ExpectOneMessage(kNotConnected, "Fehler", ui::MB_ICONEXCLAMATION);
    EXPECT_EQ(ui.messages[0].owner, dlg.get());
    EXPECT_FALSE(sim->WaitForFrames(1, 300ms)) << "nothing may be sent";
    EXPECT_EQ(Text(IDC_HYS), "77");
}

INSTANTIATE_TEST_SUITE_P(ParamsTransfer, TransferRefusedTest, ::testing::Values(IDC_DEVICE_TO_PC, IDC_PC_TO_DEVICE),
                         [](const ::testing::TestParamInfo<int>& param) {
                             return param.param == IDC_DEVICE_TO_PC ? std::string("DeviceToPc")
                                                                    : std::string("PcToDevice");
                         });

TEST_F(TransferWindowTest, DeviceToPcFillsTheFieldsAndTheDeviceTexts)
{
    Connect();
    RelayParameters params;
    params.HYS = 4.5;
    params.SWB = 149.9;
    params.UPL = 24.9;
    params.UPP = 34.9;
    params.UMI = -24.9;
    params.UMM = -34.9;
    params.INV = 0;
    params.SVZ = 99.9;
    params.VER = "TESTVER-0042";
    params.KAL = 1.234;
    params.K0V = 12.8;
    sim->SetParameters(params);
    Type(IDC_SWB, "junk");

    dlg->SendCommand(IDC_DEVICE_TO_PC);

    ExpectOneMessage(kTransferOk, "Meldung", 0);
    ASSERT_EQ(sim->ReceivedFrames().size(), 1u);
    EXPECT_EQ(sim->ReceivedFrames()[0], std::string("\x02GPAR:3E\x03"));
    ParameterSet expected{0, "4.5", "99.9", "-24.9", "-34.9", "24.9", "34.9", "149.9"};
    EXPECT_EQ(Fields(), expected);
    EXPECT_EQ(dlg->ShownSet(), expected);
    EXPECT_EQ(Text(IDC_VERSION), "TESTVER-0042");
    EXPECT_EQ(Text(IDC_KAL), " 12.3") << "the device texts keep the blanks of their format";
    EXPECT_EQ(Text(IDC_K0V), "0x80");
}

struct ReadFaultCase {
    const char* name;
    void (*fault)(SimOptions&);
};

void PrintTo(const ReadFaultCase& row, std::ostream* os)
{
    *os << row.name;
}

class TransferReadFaultTest : public TransferWindowTest, public ::testing::WithParamInterface<ReadFaultCase> {};

TEST_P(TransferReadFaultTest, DeviceToPcWithoutAValidReplyLeavesTheFields)
{
    Connect();
    Type(IDC_HYS, " 3");
    Type(IDC_VERSION, "mine");
    const ParameterSet before = Fields();
    sim->Update(GetParam().fault);

    dlg->SendCommand(IDC_DEVICE_TO_PC);

    ExpectOneMessage(kTransferFailed, "Fehler", ui::MB_ICONEXCLAMATION);
    EXPECT_EQ(Fields(), before);
    EXPECT_EQ(Text(IDC_VERSION), "mine");
    EXPECT_EQ(Frames("GPAR:").size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(ParamsTransfer, TransferReadFaultTest,
                         ::testing::Values(ReadFaultCase{"BadChecksum", [](SimOptions& o) { o.badChecksum = true; }},
                                           // The relay went away but no tick has noticed it yet.
                                           ReadFaultCase{"NoAnswer", [](SimOptions& o) { o.silent = true; }}),
                         [](const ::testing::TestParamInfo<ReadFaultCase>& param) {
                             return std::string(param.param.name);
                         });

TEST_F(TransferWindowTest, FailedCheckShowsOnlyItsMessageSendsNothingAndKeepsTheTypedTexts)
{
    Connect();
    struct Row {
        int field;
        const char* text;
        const char* firstLine;
        int focus;
    };
    const Row rows[] = {
        {IDC_UPL, " 30 ", "U> nicht im Bereich 0 ... 25%", IDC_UPL},
        {IDC_SVZ, "100", "Schaltverzögerung nicht im Bereich 0 ... 99.9sec", IDC_SVZ},
        // U> 10 with U>> 5: the cross check names U>>.
        {IDC_UPP, "5", "U>> ist kleiner als U> ", IDC_UPP},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.firstLine);
        TypeWorkedExample();
        Type(IDC_HYS, "2 ");
        Type(row.field, row.text);
        dlg->SetFocusTo(IDC_VERSION);
        const ParameterSet typed = Fields();
        ui.messages.clear();

        NoModalExpected noPreview;
        dlg->SendCommand(IDC_PC_TO_DEVICE);

        ExpectOneMessage(std::string(row.firstLine) + "\r\n\r\nDaten werden nicht an KORVEN übertragen!", "KorvenCtrl",
                         ui::MB_ICONEXCLAMATION);
        EXPECT_EQ(ui.messages[0].owner, nullptr) << "an application message box";
        EXPECT_EQ(dlg->FocusedItem(), row.focus);
        EXPECT_EQ(Fields(), typed) << "raw texts stay for correction";
        EXPECT_FALSE(noPreview.opened);
        EXPECT_FALSE(sim->WaitForFrames(1, 200ms)) << "not even the read request may go out";
    }
}

TEST_F(TransferWindowTest, PreviewShowsRelayAndFieldsAndOkSendsTheWorkedExample)
{
    Connect();
    TypeWorkedExample();

    const PreviewSeen seen = PcToDeviceThroughPreview(ui::IDOK);

    ASSERT_TRUE(seen.opened);
    EXPECT_EQ(seen.title, "Parameter Vorschau");
    EXPECT_EQ(seen.okCaption, "  PC  -->KORVEN");
    EXPECT_EQ(seen.text, "                  KORVEN         PC  \n"
                         "--------------------------------------\n"
                         "Sollwertbezug     110.0        100.0\n"
                         "U>                  5.0         10.0\n"
                         "U>>                10.0         20.0\n"
                         "U<                 -5.0        -10.0\n"
                         "U<<               -10.0        -20.0\n"
                         "Schaltverz.         0.5          1.5\n"
                         "Hysterese           1.0          2.0\n"
                         "Invertieren          ja         nein\n");

    const auto reads = Frames("GPAR:");
    const auto writes = Frames("SPAR:");
    ASSERT_EQ(sim->ReceivedFrames().size(), 2u);
    EXPECT_EQ(sim->ReceivedFrames()[0], std::string("\x02GPAR:3E\x03"));
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0], kWorkedExampleSpar);
    EXPECT_EQ(writes[0].size(), 71u);
    ExpectOneMessage(kTransferOk, "Meldung", 0);

    RelayParameters stored = RelayValues();
    stored.SWB = 100.0;
    stored.HYS = 2.0;
    stored.UPL = 10.0;
    stored.UPP = 20.0;
    stored.UMI = -10.0;
    stored.UMM = -20.0;
    stored.INV = 0;
    stored.SVZ = 1.5;
    EXPECT_EQ(sim->Parameters(), stored);
    EXPECT_EQ(Fields(), (ParameterSet{0, "2.0", "1.5", "-10.0", "-20.0", "10.0", "20.0", "100.0"}));
    EXPECT_EQ(dlg->CompareSet(), (ParameterSet{1, "1.0", "0.5", "-5.0", "-10.0", "5.0", "10.0", "110.0"}));
}

TEST_F(TransferWindowTest, ConfirmedWriteLeavesTheSentSetInTheFieldsThoughATickReReadTheRelay)
{
    Connect();
    TypeWorkedExample();
    WhenModalOpens([this](ui::CDialog& modal) {
        // One silent tick, then an answering one: first contact again, so the
        // relay's old values are read into the fields behind the preview.
        sim->Update([](SimOptions& o) { o.silent = true; });
        Tick();
        sim->Update([](SimOptions& o) { o.silent = false; });
        Tick();
        EXPECT_EQ(Text(IDC_SWB), "110.0");
        modal.SendCommand(ui::IDOK);
    });

    dlg->SendCommand(IDC_PC_TO_DEVICE);

    ExpectOneMessage(kTransferOk, "Meldung", 0);
    const ParameterSet sent{0, "2.0", "1.5", "-10.0", "-20.0", "10.0", "20.0", "100.0"};
    EXPECT_EQ(Fields(), sent);
    EXPECT_EQ(dlg->ShownSet(), sent);
    EXPECT_EQ(sim->Parameters().SWB, 100.0);
}

TEST_F(TransferWindowTest, PassedCheckNormalizesEveryFieldAndSendsTheNormalizedTexts)
{
    Connect();
    Type(IDC_SWB, " 100 ");
    Type(IDC_HYS, "2");
    Type(IDC_UPL, "1e1");
    Type(IDC_UPP, "20.04");
    Type(IDC_UMI, "-10");
    Type(IDC_UMM, "-20.0");
    Type(IDC_SVZ, "99.96"); // below 100, so it passes; shown and sent as 100.0
    dlg->SetCheck(IDC_INVERT, 1);

    const PreviewSeen seen = PcToDeviceThroughPreview(ui::IDOK);

    ASSERT_TRUE(seen.opened);
    EXPECT_NE(seen.text.find("Schaltverz.         0.5        100.0\n"), std::string::npos) << seen.text;
    EXPECT_EQ(Fields(), (ParameterSet{1, "2.0", "100.0", "-10.0", "-20.0", "10.0", "20.0", "100.0"}));
    const auto writes = Frames("SPAR:");
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].substr(0, writes[0].size() - 3),
              "\x02SPAR:HYS2.0;SWB100.0;UPL10.0;UPP20.0;UMI-10.0;UMM-20.0;INV1;SVZ100.0;");
    ExpectOneMessage(kTransferOk, "Meldung", 0);
    EXPECT_EQ(sim->Parameters().SVZ, 100.0);
    EXPECT_EQ(sim->Parameters().INV, 1);
}

TEST_F(TransferWindowTest, CancelledPreviewSendsNothingAndShowsTheLastKnownRelayValues)
{
    Connect();
    TypeWorkedExample();

    // No answer to the read: the preview still opens, with what was known before
    // (nothing yet, so 0.0).
    sim->Update([](SimOptions& o) { o.drop.insert("GPAR"); });
    PreviewSeen seen = PcToDeviceThroughPreview(ui::IDCANCEL);
    ASSERT_TRUE(seen.opened);
    EXPECT_NE(seen.text.find("Sollwertbezug       0.0        100.0\n"), std::string::npos) << seen.text;
    EXPECT_NE(seen.text.find("Invertieren        nein         nein\n"), std::string::npos) << seen.text;

    sim->Update([](SimOptions& o) { o.drop.clear(); });
    seen = PcToDeviceThroughPreview(ui::IDCANCEL);
    EXPECT_NE(seen.text.find("Sollwertbezug     110.0        100.0\n"), std::string::npos) << seen.text;

    sim->Update([](SimOptions& o) { o.drop.insert("GPAR"); });
    seen = PcToDeviceThroughPreview(ui::IDCANCEL);
    EXPECT_NE(seen.text.find("Sollwertbezug     110.0        100.0\n"), std::string::npos)
        << "a read without answer keeps the previous values: " << seen.text;

    EXPECT_EQ(Frames("GPAR:").size(), 3u);
    EXPECT_TRUE(Frames("SPAR:").empty());
    EXPECT_TRUE(ui.messages.empty()) << testing::PrintToString(ui.Texts());
    EXPECT_EQ(sim->Parameters(), RelayValues());
    EXPECT_EQ(Fields(), (ParameterSet{0, "2.0", "1.5", "-10.0", "-20.0", "10.0", "20.0", "100.0"}));
}

TEST_F(TransferWindowTest, WriteNotAcknowledgedByALoneAckIsReportedAsFailure)
{
    Connect();
    TypeWorkedExample();
    struct Row {
        const char* name;
        void (*fault)(SimOptions&);
    };
    const Row rows[] = {
        {"ACK and a stray byte", [](SimOptions& o) { o.extraByte = true; }},
        {"NAK", [](SimOptions& o) { o.nak.insert("SPAR"); }},
        {"no answer", [](SimOptions& o) { o.drop.insert("SPAR"); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        sim->Update([&row](SimOptions& o) {
            o = SimOptions{};
            row.fault(o);
        });
        ui.messages.clear();
        sim->ClearReceivedFrames();

        const PreviewSeen seen = PcToDeviceThroughPreview(ui::IDOK);

        ASSERT_TRUE(seen.opened);
        EXPECT_EQ(Frames("SPAR:").size(), 1u);
        ExpectOneMessage(kTransferFailed, "Fehler", ui::MB_ICONEXCLAMATION);
        EXPECT_EQ(Fields(), (ParameterSet{0, "2.0", "1.5", "-10.0", "-20.0", "10.0", "20.0", "100.0"}))
            << "the fields keep the texts that were sent";
    }
}

// Sets a C locale whose decimal separator is a comma (the German one), unless
// the environment has already put one in force, and restores the previous one.
class CommaLocale {
public:
    CommaLocale()
    {
        m_previous = std::setlocale(LC_ALL, nullptr);
        if (DecimalComma()) {
            available = true;
            return;
        }
        // The name on Linux, then the one the Windows C library knows.
        for (const char* name : {"de_DE.UTF-8", "German_Germany.1252"})
            if (!available && std::setlocale(LC_ALL, name) != nullptr)
                available = DecimalComma();
    }
    ~CommaLocale() { std::setlocale(LC_ALL, m_previous.c_str()); }
    CommaLocale(const CommaLocale&) = delete;
    CommaLocale& operator=(const CommaLocale&) = delete;

    bool available = false;

private:
    static bool DecimalComma() { return std::string(std::localeconv()->decimal_point) == ","; }
    std::string m_previous;
};

// A Qt program takes its C locale from the environment; frames and shown numbers
// must still use the point.
TEST_F(TransferWindowTest, FramesAndShownNumbersKeepThePointUnderADecimalCommaLocale)
{
    CommaLocale german;
    if (!german.available)
        GTEST_SKIP() << "no German locale here";
    char probe[8];
    std::snprintf(probe, sizeof probe, "%.1f", 2.5);
    ASSERT_STREQ(probe, "2,5") << "the locale in force writes a decimal comma";

    SimOptions options;
    options.value = "230.4";
    Connect(options);
    EXPECT_EQ(Text(IDC_MEASURED), "230.4");
    EXPECT_EQ(Text(IDC_SWB), "110.0");
    EXPECT_EQ(Text(IDC_UMI), "-5.0");

    TypeWorkedExample();
    const PreviewSeen seen = PcToDeviceThroughPreview(ui::IDOK);
    ASSERT_TRUE(seen.opened);
    EXPECT_NE(seen.text.find("Schaltverz.         0.5          1.5\n"), std::string::npos) << seen.text;
    const auto writes = Frames("SPAR:");
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0], kWorkedExampleSpar);
    ExpectOneMessage(kTransferOk, "Meldung", 0);
    EXPECT_EQ(sim->Parameters().SVZ, 1.5);
    EXPECT_EQ(Text(IDC_SVZ), "1.5");
}

// Keeps the texts a canvas draws.
class TextRecorder final : public ui::Painter {
public:
    std::vector<std::string> texts;
    int Width() const override { return 600; }
    int Height() const override { return 300; }
    int TextHeight() const override { return 13; }
    void FillRect(const ui::Rect&, ui::Color) override {}
    void Polyline(const std::vector<ui::Point>&, ui::Color, ui::LineStyle) override {}
    void Text(ui::Point, const std::string& text, ui::Color, ui::TextAlign) override { texts.push_back(text); }
};

bool Draws(ui::CDialog& window, const std::string& text)
{
    TextRecorder recorder;
    window.DrawItem(IDC_TREND_PLOT, recorder);
    return std::find(recorder.texts.begin(), recorder.texts.end(), text) != recorder.texts.end();
}

TEST_F(TransferWindowTest, TrendWindowShowsTheLevelsOfTheLastReadOrWrittenSet)
{
    Connect();
    dlg->SendSysCommand(IDM_TREND);
    CTrendDlg* trend = dlg->Trend();
    ASSERT_NE(trend, nullptr);
    EXPECT_TRUE(trend->IsWindowVisible());
    EXPECT_EQ(trend->GetWindowText(), "Messwertverlauf");
    // The relay's set: Sollwertbezug 110 V, U> 5 %.
    EXPECT_TRUE(Draws(*trend, "U> 115.5 V"));
    Tick();
    EXPECT_EQ(trend->GetItemText(IDC_TREND_CURRENT).rfind("Aktuell: 2", 0), 0u)
        << trend->GetItemText(IDC_TREND_CURRENT);

    // Typed, the set is not yet the relay's: the levels stay until it is written.
    TypeWorkedExample();
    Tick();
    EXPECT_TRUE(Draws(*trend, "U> 115.5 V"));
    PcToDeviceThroughPreview(ui::IDOK);
    EXPECT_TRUE(Draws(*trend, "U> 110.0 V"));
    EXPECT_TRUE(Draws(*trend, "U<< 80.0 V"));

    // A relay whose set fails the checks: no levels, and the window says why.
    RelayParameters odd = RelayValues();
    odd.HYS = 9.0;
    sim->SetParameters(odd);
    dlg->SendCommand(IDC_DEVICE_TO_PC);
    EXPECT_EQ(trend->GetItemText(IDC_TREND_NO_LEVELS), "Keine Schaltschwellen: Hysterese nicht im Bereich 0.5 ... 5%");
    EXPECT_FALSE(Draws(*trend, "U> 115.5 V"));

    // The main window's Ctrl+K is its own: pressed in the trend window it opens no prompt.
    ui::PressKey(*trend, IDC_TREND_SPAN, ui::Key::CtrlK);
    EXPECT_FALSE(dlg->IsTimerRunning(kPasswordTimer));

    // Asked for again, the open window comes forward; there is only ever one.
    dlg->SendSysCommand(IDM_TREND);
    EXPECT_EQ(dlg->Trend(), trend);
    EXPECT_TRUE(trend->IsWindowVisible());
}

} // namespace
