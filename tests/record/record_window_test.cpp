// The commissioning record as the main window keeps it: the entry of each kind
// of change, written before the operator is told the outcome; the set found on
// contact, noted once; and no change started while the record cannot be written.

#include <fstream>
#include <functional>

#include "files/append_file.h"
#include "firmware/firmware_dlg.h"
#include "record/commissioning_record.h"
#include "record/compare_dlg.h"
#include "record/record_dlg.h"
#include "tests/params/worked_example.h"
#include "tests/support/window_fixture.h"

namespace {

// The relay's set of RelayValues() as the window shows it.
const ParameterSet kRelaySet{1, "1.0", "0.5", "-5.0", "-10.0", "5.0", "10.0", "110.0"};

class RecordWindowTest : public WindowTest {
protected:
    void TearDown() override
    {
        files::SetAppendMedium({});
        WindowTest::TearDown();
    }

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
    const char* frame; // the change's frame: the relay must not have it before the start's entry is on the disk
    const char* action;
    std::string outcome;
    std::string file;
    std::optional<ParameterSet> set; // the set the entry shows (before: always the relay's)
};

void PrintTo(const ChangeCase& row, std::ostream* out)
{
    *out << row.name;
}

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
    // The start's entry is synced before the change's frame goes out, the outcome's after it.
    std::vector<std::size_t> changeFramesAtSync;
    files::SetAppendMedium({[&](files::SyncOf, const std::function<bool()>& sync) {
                                changeFramesAtSync.push_back(FramesStartingWith(row.frame));
                                return sync();
                            },
                            {}});
    // The outcome's entry must be in the file when its box opens.
    std::vector<std::vector<std::string>> atTheBox;
    MessageWatch watch(ui, [&](const ui::MessageRequest&) { atTheBox = Entries(); });
    row.act(*this);

    EXPECT_EQ(changeFramesAtSync, (std::vector<std::size_t>{0, 1}));
    ASSERT_EQ(atTheBox.size(), 3u) << "the set found at the start, and the change's start and outcome";
    for (const std::vector<std::string>& entry : {atTheBox[1], atTheBox[0]}) {
        EXPECT_EQ(entry[kActionColumn], row.action);
        EXPECT_EQ(entry[kPortColumn], "COM1");
        EXPECT_EQ(entry[kVersionColumn], "V2.1 13.06.7");
        EXPECT_EQ(entry[kFileColumn], row.file);
        EXPECT_EQ(RecordedSet(entry, kSetColumns), row.set);
        EXPECT_EQ(RecordedSet(entry, kBeforeColumns), row.set ? std::optional<ParameterSet>(kRelaySet) : std::nullopt);
    }
    EXPECT_EQ(atTheBox[1][kOutcomeColumn], record::kStarted);
    EXPECT_EQ(atTheBox[0][kOutcomeColumn], row.outcome);
}

INSTANTIATE_TEST_SUITE_P(
    Record, RecordChangeTest,
    ::testing::Values(ChangeCase{"ParameterWrite", &RecordChangeTest::WriteWorkedExample, "SPAR",
                                 record::kParametersWritten, "Übertragung der Daten ok.", "", kWorkedExampleSet},
                      ChangeCase{"FileLoad", &RecordChangeTest::LoadWorkedExample, "SPAR", record::kParametersFromFile,
                                 "Übertragung der Daten ok.", "Anlage Süd.par", kWorkedExampleSet},
                      ChangeCase{"Calibration", [](RecordChangeTest& test) { test.Press(IDC_CALIBRATE_0V); }, "KAL0",
                                 record::kCalibrated0V, "Kalibrierung 0V OK!", "", std::nullopt},
                      ChangeCase{"PortTest", [](RecordChangeTest& test) { test.Press(IDC_TEST_COM3); }, "TCM3",
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

// Every change is refused while the record cannot take its entry, and nothing
// of it is sent: with a missing folder at once, with a sync that fails once the
// preview or the firmware dialog is confirmed.
TEST_F(RecordWindowTest, NoChangeStartsWhileTheRecordCannotTakeIt)
{
    const std::string par = PathToUtf8(folder / "anlage.par"), hex = PathToUtf8(folder / "fw.hex");
    std::ofstream(folder / "anlage.par", std::ios::binary) << kWorkedExampleFile;
    std::ofstream(folder / "fw.hex", std::ios::binary) << ":020000040000FA\n:0400000011223344AA\n";
    for (const bool failingSync : {false, true}) {
        Connect(failingSync ? "protokoll.csv" : "fehlt/protokoll.csv");
        if (failingSync)
            files::SetAppendMedium({[](files::SyncOf, const std::function<bool()>&) { return false; }, {}});
        for (const int button :
             {IDC_PC_TO_DEVICE, IDC_LOAD_PARAMS, IDC_CALIBRATE_0V, IDC_CALIBRATE_100V, IDC_TEST_COM3, IDC_FIRMWARE}) {
            ui.messages.clear();
            ui.files = {button == IDC_FIRMWARE ? hex : par};
            // Confirms the preview, or starts the update once the file is loaded.
            bool opened = false;
            const auto confirm = Every(10, [&opened] {
                ui::CDialog* modal = ui::ActiveModalDialog();
                opened = opened || modal != nullptr;
                if (modal != nullptr &&
                    (modal->GetWindowText() == "Parameter Vorschau" || modal->IsItemVisible(IDC_UPLOAD))) {
                    if (modal->IsItemVisible(IDC_UPLOAD))
                        modal->SendCommand(IDC_UPLOAD);
                    modal->SendCommand(ui::IDOK);
                }
                return false;
            });
            dlg->SendCommand(button);
            const auto why = failingSync ? RecordProblem::CannotWrite : RecordProblem::NoFolder;
            EXPECT_EQ(ui.Texts(), std::vector{RecordNotWritableMessage(dlg->Record().Path(), why)}) << button;
            EXPECT_EQ(opened, failingSync &&
                                  (button == IDC_PC_TO_DEVICE || button == IDC_LOAD_PARAMS || button == IDC_FIRMWARE))
                << button;
        }
        files::SetAppendMedium({});
        for (const char* frame : {"SPAR", "KAL0", "K100", "TCM3", "FWUP"})
            EXPECT_EQ(FramesStartingWith(frame), 0u) << frame;
        // The window never deletes the port; the tests do, between windows.
        dlg.reset();
        delete g_pPort;
        g_pPort = nullptr;
        sim.reset();
    }
}

// The relay changed behind the program's back: the comparison shows it against
// the commissioned set (the record's, or a file's without a record), and restores
// that set through the preview; the trend's levels follow.
TEST_F(RecordWindowTest, TheComparisonShowsADifferenceAndRestoresIt)
{
    for (const bool withRecord : {true, false}) {
        Connect(withRecord ? "protokoll.csv" : "");
        const std::string par = PathToUtf8(folder / "anlage.par");
        // A file without Invertieren leaves the relay's in place, as when it is written.
        std::ofstream(folder / "anlage.par", std::ios::binary)
            << (withRecord ? kWorkedExampleFile : "\x02SPAR:HYS2.0;SWB100.0;UPL10.0;UPP15.0;UMI-10.0;UMM-20.0;SVZ1.5;");
        ParameterSet expected = kWorkedExampleSet;
        expected.INV = withRecord ? 0 : 1;
        if (withRecord) {
            TypeSet(kWorkedExampleSet);
            ThroughPreview(IDC_PC_TO_DEVICE);
            sim->SetParameters(RelayValues());
        }
        ui.files = {par};
        std::string source, before, after;
        bool restoreOffered = false, previewed = false;
        WhenModalOpens([&](ui::CDialog& window) {
            if (!withRecord)
                window.SendCommand(IDC_COMPARE_FILE);
            source = window.GetItemText(IDC_COMPARE_SOURCE);
            before = window.GetItemText(IDC_COMPARE_TABLE);
            restoreOffered = window.IsItemVisible(IDC_COMPARE_RESTORE);
            const auto confirm = Every(10, [&previewed] {
                ui::CDialog* modal = ui::ActiveModalDialog();
                if (modal == nullptr || modal->GetWindowText() != "Parameter Vorschau")
                    return false;
                previewed = true;
                modal->SendCommand(ui::IDOK);
                return true;
            });
            window.SendCommand(IDC_COMPARE_RESTORE);
            after = window.GetItemText(IDC_COMPARE_VERDICT);
            EXPECT_FALSE(window.IsItemVisible(IDC_COMPARE_RESTORE));
            window.SendCommand(ui::IDCANCEL);
        });
        dlg->SendSysCommand(IDM_COMPARE);

        EXPECT_NE(source.find(withRecord ? "Übertragung der Daten ok." : "anlage.par"), std::string::npos) << source;
        EXPECT_NE(before.find("Sollwertbezug     110.0        100.0  *"), std::string::npos) << before;
        EXPECT_TRUE(restoreOffered);
        EXPECT_TRUE(previewed);
        EXPECT_EQ(after, "Das Gerät hält diesen Parametersatz.");
        EXPECT_EQ(dlg->SettledSet(), expected);
        if (withRecord) {
            const auto entries = Entries();
            ASSERT_GE(entries.size(), 2u);
            EXPECT_EQ(entries[0][kActionColumn], record::kParametersRestored);
            EXPECT_EQ(entries[0][kOutcomeColumn], "Übertragung der Daten ok.");
            EXPECT_EQ(entries[0][kFileColumn], "Protokoll " + entries[2][kTimeColumn]);
            EXPECT_EQ(RecordedSet(entries[0], kBeforeColumns), kRelaySet);
        }
        dlg.reset();
        delete g_pPort;
        g_pPort = nullptr;
        sim.reset();
    }
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
