// The printout from the main window: the failures with a recording printer.

#include <fstream>

#include "tests/support/window_fixture.h"
#include "ui/print.h"

namespace {

using ui::PrintDevice;
using ui::SetPrintDevice;

// Stands in for the printer: how many lines a page holds (none: no printer),
// whether the job succeeds, and how many jobs came.
class RecordingPrinter : public PrintDevice {
public:
    RecordingPrinter() { SetPrintDevice(this); }
    ~RecordingPrinter() override { SetPrintDevice(nullptr); }
    RecordingPrinter(const RecordingPrinter&) = delete;
    RecordingPrinter& operator=(const RecordingPrinter&) = delete;

    std::optional<int> LinesPerPage() override { return lines; }
    bool Print(const std::string&, const std::vector<ui::PrintPage>&) override
    {
        ++jobs;
        return succeeds;
    }

    std::optional<int> lines;
    bool succeeds = false;
    int jobs = 0;
};

class PrintWindowTest : public WindowTest {
protected:
    void StoreMaske(const std::string& text) const { std::ofstream(folder / "Maske.txt", std::ios::binary) << text; }
};

TEST_F(PrintWindowTest, FailuresAreToldAndNothingHalfIsPrinted)
{
    StartSim();
    OpenWindow();
    RecordingPrinter printer;
    struct Row {
        std::optional<int> lines;
        bool maske;
        std::string message;
        std::string output;
        int jobs;
    } const rows[] = {
        {std::nullopt, true, "Es ist kein Standarddrucker eingerichtet.\r\nDie Parameter können nicht gedruckt werden.",
         "Kann keinen Devicekontext erhalten\r\n", 0},
        {60, false, "File " + PathToUtf8(folder / "Maske.txt") + " kann nicht gelesen werden", "", 0},
        {60, true, "Die Parameter konnten nicht gedruckt werden.", "", 1},
    };
    for (const Row& row : rows) {
        std::filesystem::remove(folder / "Maske.txt");
        if (row.maske)
            StoreMaske("x\n");
        printer.lines = row.lines;
        printer.jobs = 0;
        ui.messages.clear();

        testing::internal::CaptureStdout();
        dlg->SendCommand(IDC_PRINT);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), row.output);
        EXPECT_EQ(ui.Texts(), std::vector<std::string>{row.message});
        EXPECT_EQ(printer.jobs, row.jobs) << row.message;
    }
}

} // namespace
