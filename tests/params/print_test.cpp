// The printout from the main window: the date and time texts, the handler with a
// recording printer, and the Qt backend against a PDF file read back with
// pdftotext.

#include <QLocale>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>

#include "params/print_device.h"
#include "tests/params/worked_example.h"
#include "tests/support/window_fixture.h"

namespace {

TEST(PrintDate, PicturesInTheLocaleWithoutTheAbbreviationsDots)
{
    struct Row {
        const char* locale;
        QDate date;
        const char* text;
    } const rows[] = {
        {"de_DE", QDate(2026, 12, 6), "So, 6. Dez 2026"},
        {"de_DE", QDate(2026, 9, 1), "Di, 1. Sept 2026"},
        {"de_DE", QDate(2026, 5, 13), "Mi, 13. Mai 2026"},
        {"en_US", QDate(2026, 12, 6), "Sun, 6. Dec 2026"},
        {"de_DE", QDate(), ""},
    };
    for (const Row& row : rows)
        EXPECT_EQ(PrintDate(QLocale(row.locale), row.date), row.text) << row.text;
    EXPECT_EQ(PrintTime(QLocale("de_DE"), QTime(8, 30, 0)), "08:30:00");
    EXPECT_EQ(PrintTime(QLocale("en_US"), QTime(20, 5, 9)), "20:05:09");
    EXPECT_EQ(PrintTime(QLocale("de_DE"), QTime()), "");
}

// Records what would have gone to the printer.
class RecordingPrinter : public PrintDevice {
public:
    RecordingPrinter() { SetPrintDevice(this); }
    ~RecordingPrinter() override { SetPrintDevice(nullptr); }
    RecordingPrinter(const RecordingPrinter&) = delete;
    RecordingPrinter& operator=(const RecordingPrinter&) = delete;

    std::optional<int> LinesPerPage() override { return lines; }
    bool Print(const std::string& documentName, const std::vector<PrintedPage>& pages) override
    {
        names.push_back(documentName);
        jobs.push_back(pages);
        return succeeds;
    }

    std::optional<int> lines = 60;
    bool succeeds = true;
    std::vector<std::string> names;
    std::vector<std::vector<PrintedPage>> jobs;
};

class PrintWindowTest : public WindowTest {
protected:
    void StoreMaske(const std::string& text) const { std::ofstream(folder / "Maske.txt", std::ios::binary) << text; }
};

TEST_F(PrintWindowTest, PrintsTheFieldsAsTheyStandWithTheSettingsMargins)
{
    extraIni = "[PARAMS]\nMARGINTOP=0\nMARGINLEFT=2\n";
    StartSim();
    OpenWindow();
    StoreMaske("; Kopf\nHyst. $0     SWB $6     Inv. $7    U< $2\n");
    Type(IDC_HYS, "abc");
    Type(IDC_SWB, " 999.95");
    Type(IDC_UMI, "-10");
    dlg->Item<QCheckBox>(IDC_INVERT)->setChecked(true);
    RecordingPrinter printer;

    dlg->SendCommand(IDC_PRINT);

    EXPECT_TRUE(ui.messages.empty()) << testing::PrintToString(ui.Texts());
    ASSERT_EQ(printer.jobs.size(), 1u);
    EXPECT_EQ(printer.names[0], "Test");
    ASSERT_EQ(printer.jobs[0].size(), 1u);
    ASSERT_EQ(printer.jobs[0][0].size(), 1u);
    EXPECT_EQ(printer.jobs[0][0][0].line, 0);
    EXPECT_EQ(printer.jobs[0][0][0].text, "  Hyst. 0.0    SWB 1000.0 Inv. ja    U< -10.0");
    EXPECT_EQ(Text(IDC_HYS), "abc") << "the fields are not normalized";
    EXPECT_EQ(Text(IDC_SWB), " 999.95");
    EXPECT_EQ(sim->ReceivedFrames().size(), 0u) << "no relay is needed";
}

TEST_F(PrintWindowTest, FailuresAreToldAndNothingHalfIsPrinted)
{
    StartSim();
    OpenWindow();
    RecordingPrinter printer;
    struct Row {
        const char* name;
        std::optional<int> lines;
        bool succeeds;
        bool maske;
        std::string message;
        std::string output;
        std::size_t jobs;
    } const rows[] = {
        {"no default printer", std::nullopt, true, true,
         "Es ist kein Standarddrucker eingerichtet.\r\nDie Parameter können nicht gedruckt werden.",
         "Kann keinen Devicekontext erhalten\r\n", 0},
        {"no template", 60, true, false, "File " + (folder / "Maske.txt").string() + " kann nicht gelesen werden", "",
         0},
        {"job failed", 60, false, true, "Die Parameter konnten nicht gedruckt werden.", "", 1},
    };
    for (const Row& row : rows) {
        std::filesystem::remove(folder / "Maske.txt");
        if (row.maske)
            StoreMaske("x\n");
        printer.lines = row.lines;
        printer.succeeds = row.succeeds;
        printer.jobs.clear();
        ui.messages.clear();

        testing::internal::CaptureStdout();
        dlg->SendCommand(IDC_PRINT);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), row.output) << row.name;

        ASSERT_EQ(ui.messages.size(), 1u) << row.name;
        EXPECT_EQ(ui.messages[0].text, row.message) << row.name;
        EXPECT_EQ(ui.messages[0].type, ui::MB_OK | ui::MB_ICONEXCLAMATION) << row.name;
        EXPECT_EQ(printer.jobs.size(), row.jobs) << row.name;
    }
}

// A word on a PDF page as pdftotext -bbox places it, in points from the corner.
struct PdfWord {
    double x;
    double y;
    std::string text;
};

std::string RunCommand(const std::string& command)
{
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe))
            out.append(buffer, n);
        pclose(pipe);
    }
    return out;
}

std::vector<std::vector<PdfWord>> PdfWords(const std::string& pdf)
{
    const std::string html = RunCommand("pdftotext -bbox '" + pdf + "' -");
    std::vector<std::vector<PdfWord>> pages;
    const std::regex item(R"re(<page |<word xMin="([0-9.]+)" yMin="([0-9.]+)"[^>]*>([^<]*)</word>)re");
    for (auto it = std::sregex_iterator(html.begin(), html.end(), item); it != std::sregex_iterator(); ++it) {
        if ((*it)[1].length() == 0)
            pages.emplace_back();
        else if (!pages.empty())
            pages.back().push_back({std::stod((*it)[1]), std::stod((*it)[2]), (*it)[3]});
    }
    return pages;
}

// The lines of one page of pdftotext -layout, their words joined by single blanks.
std::vector<std::string> LayoutLines(const std::string& pageText)
{
    std::vector<std::string> lines;
    std::istringstream in(pageText);
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        std::string joined;
        for (std::string word; words >> word;)
            joined += (joined.empty() ? "" : " ") + word;
        if (!joined.empty())
            lines.push_back(joined);
    }
    return lines;
}

TEST_F(PrintWindowTest, QtBackendWritesThePagesIntoAPdf)
{
    if (std::system("command -v pdftotext > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    std::string maske = kWorkedExampleMaske;
    for (int i = 1; i <= 150; ++i)
        maske += "Zeile " + std::to_string(i) + "\n";
    StoreMaske(maske);
    StartSim();
    OpenWindow();
    Type(IDC_SWB, "100");
    Type(IDC_HYS, "2");
    // The same printout without margins and with three lines and two blanks.
    std::vector<std::vector<std::vector<PdfWord>>> prints;
    const std::string ini = ReadIni();
    for (const char* margins : {"MARGINTOP=0\nMARGINLEFT=0\n", "MARGINTOP=3\nMARGINLEFT=2\n"}) {
        WriteIni(ini + "[PARAMS]\n" + margins);
        const std::string pdf = (folder / "print.pdf").string();
        QtPrintDevice device(pdf);
        SetPrintDevice(&device);
        dlg->SendCommand(IDC_PRINT);
        SetPrintDevice(nullptr);
        EXPECT_TRUE(ui.messages.empty()) << testing::PrintToString(ui.Texts());
        prints.push_back(PdfWords(pdf));

        std::string text = RunCommand("pdftotext -layout '" + pdf + "' -");
        const std::size_t pageBreak = text.find('\f');
        ASSERT_NE(pageBreak, std::string::npos) << "a long template continues on page 2";
        const std::vector<std::string> first = LayoutLines(text.substr(0, pageBreak));
        ASSERT_GE(first.size(), 6u);
        EXPECT_EQ(first[0].rfind("Parameter ", 0), 0u) << first[0];
        EXPECT_EQ(first[1].rfind("Uhrzeit ", 0), 0u) << first[1];
        EXPECT_EQ(
            std::vector<std::string>(first.begin() + 2, first.begin() + 6),
            (std::vector<std::string>{"Sollwertbezug 100.0 V", "Hysterese 2.0 %", "Invertieren nein", "Zeile 1"}));
        const std::vector<std::string> second = LayoutLines(text.substr(pageBreak + 1));
        ASSERT_FALSE(second.empty());
        EXPECT_EQ(second[0], "Zeile " + std::to_string(first.size() - 4)) << "page 2 goes on where page 1 ended";
    }
    ASSERT_EQ(prints.size(), 2u);
    ASSERT_FALSE(prints[0].empty());
    ASSERT_FALSE(prints[1].empty());
    // Character cell and line height from the first print: "100.0" stands 17 columns
    // right of "Sollwertbezug", "Uhrzeit" one line below "Parameter".
    const std::vector<PdfWord>& plain = prints[0][0];
    const auto find = [](const std::vector<PdfWord>& words, const std::string& text) {
        for (const PdfWord& word : words) {
            if (word.text == text)
                return word;
        }
        ADD_FAILURE() << text << " not printed";
        return PdfWord{};
    };
    const double cell = (find(plain, "100.0").x - find(plain, "Sollwertbezug").x) / 17;
    const double line = find(plain, "Uhrzeit").y - find(plain, "Parameter").y;
    const PdfWord moved = find(prints[1][0], "Parameter");
    EXPECT_NEAR(moved.x - find(plain, "Parameter").x, 2 * cell, 0.1 * cell);
    EXPECT_NEAR(moved.y - find(plain, "Parameter").y, 3 * line, 0.1 * line);
}

} // namespace
