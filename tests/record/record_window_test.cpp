// The commissioning record as the main window keeps it: the entry of each kind
// of change, written before the operator is told the outcome; the set found on
// contact, noted once; and no change started while the record cannot be written.

#include <fstream>
#include <functional>

#include "record/commissioning_record.h"
#include "record/record_dlg.h"
#include "tests/params/worked_example.h"
#include "tests/support/window_fixture.h"

namespace {

// The relay's set of RelayValues() as the window shows it.
const ParameterSet kRelaySet{1, "1.0", "0.5", "-5.0", "-10.0", "5.0", "10.0", "110.0"};

class RecordWindowTest : public WindowTest {
protected:
    void Connect(const std::string& recordFile = "protokoll.csv")
    {
        extraIni = "[PROTOKOLL]\nDATEI=" + recordFile + "\n[DIR]\nTEST=3179\n";
        StartSim();
        sim->SetParameters(RelayValues());
        OpenWindow();
        Tick();
        ASSERT_TRUE(dlg->Connected());
        ui.messages.clear();
        sim->ClearReceivedFrames();
    }

    std::vector<std::vector<std::string>> Entries() const { return dlg->Record().LastEntries(10); }

    // Presses the button; the preview that opens is confirmed.
    void ThroughPreview(int button)
    {
        WhenModalOpens([](ui::CDialog& modal) { modal.SendCommand(ui::IDOK); });
        dlg->SendCommand(button);
    }
};

class RecordChangeTest;

struct ChangeCase {
    const char* name;
    std::function<void(RecordChangeTest&)> act;
    const char* action;
    std::string outcome;
    std::string file;
    std::optional<ParameterSet> set; // the set the entry shows (before: always the relay's)
};

class RecordChangeTest : public RecordWindowTest, public ::testing::WithParamInterface<ChangeCase> {
public:
    // What the rows do, as the operator does it.
    void WriteWorkedExample()
    {
        TypeSet(kWorkedExampleSet);
        ThroughPreview(IDC_PC_TO_DEVICE);
    }
    void LoadWorkedExample()
    {
        // A version text in the file is no relay's: the record keeps the relay's.
        const std::filesystem::path path = folder / PathFromUtf8("Anlage Süd.par");
        std::ofstream(path, std::ios::binary) << kWorkedExampleFile << "VER=1+2 fake;";
        ui.files = {PathToUtf8(path)};
        ThroughPreview(IDC_LOAD_PARAMS);
    }
    void Press(int button) { dlg->SendCommand(button); }
};

TEST_P(RecordChangeTest, IsNotedBeforeTheOperatorIsTold)
{
    const ChangeCase& row = GetParam();
    Connect();
    // The entry must be in the file when the outcome's box opens.
    std::vector<std::vector<std::string>> atTheBox;
    MessageWatch watch(ui, [&](const ui::MessageRequest&) { atTheBox = Entries(); });
    row.act(*this);

    ASSERT_FALSE(atTheBox.empty());
    const std::vector<std::string>& entry = atTheBox.front();
    EXPECT_EQ(entry[kActionColumn], row.action);
    EXPECT_EQ(entry[kOutcomeColumn], row.outcome);
    EXPECT_EQ(entry[kPortColumn], "COM1");
    EXPECT_EQ(entry[kVersionColumn], "V2.1 13.06.7");
    EXPECT_EQ(entry[kFileColumn], row.file);
    EXPECT_EQ(RecordedSet(entry, kSetColumns), row.set);
    EXPECT_EQ(RecordedSet(entry, kBeforeColumns), row.set ? std::optional<ParameterSet>(kRelaySet) : std::nullopt);
    EXPECT_EQ(Entries().size(), 2u) << "the set found at the start, and this one";
}

INSTANTIATE_TEST_SUITE_P(
    Record, RecordChangeTest,
    ::testing::Values(ChangeCase{"ParameterWrite", &RecordChangeTest::WriteWorkedExample, record::kParametersWritten,
                                 "Übertragung der Daten ok.", "", kWorkedExampleSet},
                      ChangeCase{"FileLoad", &RecordChangeTest::LoadWorkedExample, record::kParametersFromFile,
                                 "Übertragung der Daten ok.", "Anlage Süd.par", kWorkedExampleSet},
                      ChangeCase{"Calibration", [](RecordChangeTest& test) { test.Press(IDC_CALIBRATE_0V); },
                                 record::kCalibrated0V, "Kalibrierung 0V OK!", "", std::nullopt},
                      ChangeCase{"PortTest", [](RecordChangeTest& test) { test.Press(IDC_TEST_COM3); },
                                 record::kPortTest, "Test COM3 OK!", "", std::nullopt}),
    [](const ::testing::TestParamInfo<ChangeCase>& param) { return std::string(param.param.name); });

TEST_F(RecordWindowTest, TheSetFoundOnContactIsNotedWhenItIsNew)
{
    Connect();
    ASSERT_EQ(Entries().size(), 1u);
    EXPECT_EQ(Entries()[0][kActionColumn], record::kFound);
    EXPECT_EQ(RecordedSet(Entries()[0], kSetColumns), kRelaySet);

    // The line comes and goes: the same set again is not noted again.
    sim->Update([](SimOptions& o) { o.silent = true; });
    Tick();
    sim->Update([](SimOptions& o) { o.silent = false; });
    Tick();
    EXPECT_EQ(Entries().size(), 1u);

    // Changed by someone else meanwhile: noted at the next contact.
    RelayParameters changed = RelayValues();
    changed.SWB = 230.0;
    sim->SetParameters(changed);
    sim->Update([](SimOptions& o) { o.silent = true; });
    Tick();
    sim->Update([](SimOptions& o) { o.silent = false; });
    Tick();
    ASSERT_EQ(Entries().size(), 2u);
    EXPECT_EQ(Entries()[0][kSetColumns], "230,0");
    EXPECT_TRUE(ui.messages.empty());
}

// A record on a folder that is not there: every change is refused, nothing is sent.
TEST_F(RecordWindowTest, NoChangeStartsWhileTheRecordCannotBeWritten)
{
    Connect("fehlt/protokoll.csv");
    const std::string box = RecordNotWritableMessage(dlg->Record().Path());
    const std::string par = PathToUtf8(folder / "anlage.par");
    std::ofstream(folder / "anlage.par", std::ios::binary) << kWorkedExampleFile;
    for (const int button :
         {IDC_PC_TO_DEVICE, IDC_LOAD_PARAMS, IDC_CALIBRATE_0V, IDC_CALIBRATE_100V, IDC_TEST_COM3, IDC_FIRMWARE}) {
        ui.messages.clear();
        ui.files = {par};
        NoModalExpected noWindow;
        dlg->SendCommand(button);
        EXPECT_EQ(ui.Texts(), std::vector<std::string>{box}) << button;
        EXPECT_FALSE(noWindow.opened) << button;
    }
    EXPECT_TRUE(sim->ReceivedFrames().empty());
}

TEST_F(RecordWindowTest, TheWindowSwitchesTheRecordOnAndOff)
{
    StartSim();
    OpenWindow();
    EXPECT_FALSE(dlg->Record().On());
    const std::string chosen = PathToUtf8(folder / PathFromUtf8("Protokoll Nord.csv"));
    ui.files = {chosen};
    WhenModalOpens([&](ui::CDialog& window) {
        EXPECT_EQ(window.GetWindowText(), "Inbetriebnahmeprotokoll");
        window.SendCommand(IDC_RECORD_CHOOSE);
        EXPECT_EQ(window.GetItemText(IDC_RECORD_FILE), chosen);
        window.SendCommand(ui::IDCANCEL);
    });
    dlg->SendSysCommand(IDM_RECORD);
    EXPECT_TRUE(dlg->Record().On());
    EXPECT_TRUE(IniHasLine("DATEI=" + chosen));
    Tick(); // first contact: the set found is noted
    EXPECT_EQ(dlg->Record().LastEntries(5).size(), 1u);

    WhenModalOpens([](ui::CDialog& window) {
        EXPECT_NE(window.GetItemText(IDC_RECORD_ENTRIES).find(record::kFound), std::string::npos);
        window.SendCommand(IDC_RECORD_OFF);
        window.SendCommand(ui::IDCANCEL);
    });
    dlg->SendSysCommand(IDM_RECORD);
    EXPECT_FALSE(dlg->Record().On());
}

} // namespace
