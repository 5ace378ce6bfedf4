// Saving and loading parameter files from the main window, offscreen, with the
// file dialogs scripted and a simulated relay.

#include <fstream>
#include <iterator>

#include "tests/params/print_parameter_set.h"
#include "tests/params/worked_example.h"
#include "tests/support/window_fixture.h"

namespace {

const ParameterSet kRelaySet{1, "1.0", "0.5", "-5.0", "-10.0", "5.0", "10.0", "110.0"};

class FileWindowTest : public WindowTest {
protected:
    // A window with a relay holding RelayValues(), found by a first tick when connected.
    void Open(bool connected, SimOptions options = {})
    {
        StartSim(options);
        sim->SetParameters(RelayValues());
        OpenWindow();
        if (connected)
            Tick();
        ASSERT_EQ(dlg->Connected(), connected);
        ui.messages.clear();
        sim->ClearReceivedFrames();
    }

    std::string Path(const std::string& name) const { return PathToUtf8(folder / name); }

    std::string Contents(const std::string& name) const
    {
        std::ifstream in(folder / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
};

TEST_F(FileWindowTest, SavesUnderTheTypedNameAsksAboutThatFileAndReportsAFailedWrite)
{
    Open(false);
    TypeSet(kWorkedExampleSet);
    ui.files = {Path("anlage")};
    dlg->SendCommand(IDC_SAVE_PARAMS);

    EXPECT_TRUE(ui.messages.empty()) << testing::PrintToString(ui.Texts());
    EXPECT_EQ(Contents("anlage.par"), kWorkedExampleFile);
    ASSERT_EQ(ui.fileDialogs.size(), 1u);
    EXPECT_EQ(ui.fileDialogs[0].title, "Parameter speichern");
    EXPECT_EQ(ui.fileDialogs[0].filterDescription, "Parameter-Datensatz(*.par)");
    EXPECT_EQ(ui.fileDialogs[0].startFolder, PathToUtf8(folder) + kSeparator);
    EXPECT_EQ(dlg->GetWindowText(), "KorvenCtrl - anlage");
    EXPECT_TRUE(IniHasLine("WORKINGDIR=" + PathToUtf8(folder))) << ReadIni();

    // "anlage" again: the dialog asked about a file that does not exist.
    for (const int answer : {ui::IDCANCEL, ui::IDOK}) {
        std::ofstream(folder / "anlage.par", std::ios::binary) << "old";
        ui.messages.clear();
        ui.files = {Path("anlage")};
        ui.answers = {answer};
        dlg->SendCommand(IDC_SAVE_PARAMS);
        EXPECT_EQ(ui.Texts(), std::vector<std::string>{Path("anlage.par") +
                                                       " ist bereits vorhanden.\r\nMöchten Sie die Datei ersetzen?"});
        EXPECT_EQ(Contents("anlage.par"), answer == ui::IDOK ? kWorkedExampleFile : "old");
    }

    // A live reading that finds the relay during the dialog fills the fields; the checked set is written.
    ui.files = {Path("live")};
    ui.whileFileDialogOpen = [this] { Tick(); };
    dlg->SendCommand(IDC_SAVE_PARAMS);
    EXPECT_TRUE(dlg->Connected());
    EXPECT_EQ(Contents("live.par"), kWorkedExampleFile);

    ui.messages.clear();
    ui.files = {Path("gone/anlage")};
    dlg->SendCommand(IDC_SAVE_PARAMS);
    EXPECT_EQ(ui.Texts(),
              std::vector<std::string>{"File " + Path("gone/anlage.par") + " kann nicht geschrieben werden"});
    EXPECT_EQ(ui.messages[0].type, ui::MB_OK | ui::MB_ICONEXCLAMATION);
}

struct LoadCase {
    const char* name;
    bool connected;
    std::string file;  // empty: the chosen file does not exist
    int previewButton; // 0: no preview may open
    bool refused;      // the relay answers the write with NAK
    std::string message;
    ParameterSet fields;
    std::size_t writes;
    ParameterSet settled; // whose levels the trend draws: only what the relay holds
};

void PrintTo(const LoadCase& row, std::ostream* os)
{
    *os << row.name;
}

class FileLoadTest : public FileWindowTest, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(FileLoadTest, Flow)
{
    const LoadCase& row = GetParam();
    SimOptions options;
    if (row.refused)
        options.nak.insert("SPAR");
    Open(row.connected, options);
    if (!row.file.empty())
        std::ofstream(folder / "anlage.par", std::ios::binary) << row.file;
    ui.files = {Path("anlage.par")};
    const ParameterSet before = Fields();

    auto opened = std::make_shared<std::string>();
    std::unique_ptr<NoModalExpected> noPreview;
    if (row.previewButton != 0) {
        WhenModalOpens([opened, &row](ui::CDialog& modal) {
            *opened = modal.GetItemText(ui::IDOK);
            modal.SendCommand(row.previewButton);
        });
    } else {
        noPreview = std::make_unique<NoModalExpected>();
    }

    dlg->SendCommand(IDC_LOAD_PARAMS);

    if (row.previewButton != 0)
        EXPECT_EQ(*opened, "Datei-->KORVEN");
    else
        EXPECT_FALSE(noPreview->opened);
    // The one file a dialog could offer but not be read is one removed meanwhile.
    const std::string message =
        row.file.empty() ? "File " + Path("anlage.par") + " kann nicht gelesen werden" : row.message;
    EXPECT_EQ(ui.Texts(), message.empty() ? std::vector<std::string>{} : std::vector<std::string>{message});
    EXPECT_EQ(Fields(), row.file.empty() ? before : row.fields);
    EXPECT_EQ(FramesStartingWith("SPAR:"), row.writes);
    EXPECT_EQ(dlg->SettledSet(), row.settled);
    EXPECT_EQ(FramesStartingWith("GPAR:"), row.connected ? 1u : 0u) << "the relay is read before the dialog";
    EXPECT_EQ(IniHasLine("WORKINGDIR=" + PathToUtf8(folder)), !row.file.empty());
}

const std::string kOutOfRangeFile = "\x02SPAR:HYS6.0;SWB100.0;UPL10.0;UPP15.0;UMI-10.0;UMM-20.0;INV0;SVZ1.5;";

INSTANTIATE_TEST_SUITE_P(
    ParameterFile, FileLoadTest,
    ::testing::Values(LoadCase{"NotConnected", false, kWorkedExampleFile, 0, false, "", kWorkedExampleSet, 0, {}},
                      LoadCase{"Confirmed", true, kWorkedExampleFile, ui::IDOK, false, "Übertragung der Daten ok.",
                               kWorkedExampleSet, 1, kWorkedExampleSet},
                      LoadCase{"Cancelled", true, kWorkedExampleFile, ui::IDCANCEL, false, "", kRelaySet, 0, kRelaySet},
                      LoadCase{"OutOfRange", true, kOutOfRangeFile, ui::IDOK, false,
                               "Hysterese nicht im Bereich 0.5 ... 5%\r\n\r\nDaten werden nicht an KORVEN übertragen!",
                               ParameterSet{0, "6.0", "1.5", "-10.0", "-20.0", "10.0", "15.0", "100.0"}, 0, kRelaySet},
                      LoadCase{"NotAcknowledged", true, kWorkedExampleFile, ui::IDOK, true,
                               "Die Daten konnten nicht übertragen werden!", kRelaySet, 1, kRelaySet},
                      LoadCase{"CannotBeRead", false, "", 0, false, "", {}, 0, {}}),
    [](const ::testing::TestParamInfo<LoadCase>& param) { return std::string(param.param.name); });

} // namespace
