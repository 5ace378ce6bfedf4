// Printing on Qt: the date texts in a locale, and the Qt print device against
// a PDF file read back with pdftotext.

#include <QLocale>
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>

#include "tests/params/worked_example.h"
#include "tests/support/window_fixture.h"
#include "ui/qt/print_qt.h"

namespace {

using namespace ui;

TEST(PrintDate, PicturesInTheLocaleWithoutTheAbbreviationsDots)
{
    EXPECT_EQ(PrintDate(QLocale("de_DE"), QDate(2026, 12, 6)), "So, 6. Dez 2026");
    EXPECT_EQ(PrintDate(QLocale("de_DE"), QDate(2026, 9, 1)), "Di, 1. Sept 2026");
    EXPECT_EQ(PrintDate(QLocale("en_US"), QDate(2026, 12, 6)), "Sun, 6. Dec 2026");
    EXPECT_EQ(PrintTime(QLocale("de_DE"), QTime(8, 30, 0)), "08:30:00");
}

class QtPrintWindowTest : public WindowTest {
protected:
    void StoreMaske(const std::string& text) const { std::ofstream(folder / "Maske.txt", std::ios::binary) << text; }
};

// Each page's words as pdftotext -bbox places them: text, x and y in points.
struct PdfWord {
    std::string text;
    double x;
    double y;
};

// With the point whatever the locale (stod would stop at it under a German one).
double Number(const std::string& text)
{
    double value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

std::vector<std::vector<PdfWord>> PdfWords(const std::string& pdf)
{
    std::string html;
    if (FILE* pipe = popen(("pdftotext -bbox '" + pdf + "' -").c_str(), "r")) {
        char buffer[4096];
        while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe))
            html.append(buffer, n);
        pclose(pipe);
    }
    std::vector<std::vector<PdfWord>> pages;
    const std::regex item(R"re(<page |<word xMin="([0-9.]+)" yMin="([0-9.]+)"[^>]*>([^<]*)</word>)re");
    for (auto it = std::sregex_iterator(html.begin(), html.end(), item); it != std::sregex_iterator(); ++it) {
        if ((*it)[1].length() == 0)
            pages.emplace_back();
        else if (!pages.empty())
            pages.back().push_back({(*it)[3], Number((*it)[1]), Number((*it)[2])});
    }
    return pages;
}

TEST_F(QtPrintWindowTest, QtBackendPrintsTheLinesInCellsWithMarginsOverPages)
{
    if (std::system("command -v pdftotext > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    std::string maske = kWorkedExampleMaske;
    for (int i = 1; i <= 150; ++i)
        maske += "Zeile\n";
    StoreMaske(maske);
    StartSim();
    OpenWindow();
    TypeSet({0, "2", "1.5", "-10", "-20", "10", "15", "100"});
    const std::string ini = ReadIni();
    const std::string pdf = PathToUtf8(folder / "print.pdf");
    QtPrintDevice device(pdf);
    SetPrintDevice(&device);
    std::vector<std::vector<std::vector<PdfWord>>> prints;
    for (const char* margins : {"MARGINTOP=0\nMARGINLEFT=0\n", "MARGINTOP=3\nMARGINLEFT=2\n"}) {
        WriteIni(ini + "[PARAMS]\n" + margins);
        dlg->SendCommand(IDC_PRINT);
        prints.push_back(PdfWords(pdf));
    }
    SetPrintDevice(nullptr);
    EXPECT_TRUE(ui.messages.empty()) << testing::PrintToString(ui.Texts());
    EXPECT_EQ(Text(IDC_SWB), "100") << "the fields are printed, not normalized";

    ASSERT_GE(prints[0].size(), 2u) << "a long template continues on page 2";
    ASSERT_FALSE(prints[1].empty());
    EXPECT_EQ(prints[0][1].front().text, "Zeile");
    const std::vector<PdfWord>& page = prints[0][0];
    const auto at = [](const std::vector<PdfWord>& words, const std::string& text) {
        const auto found = std::find_if(words.begin(), words.end(), [&](const PdfWord& w) { return w.text == text; });
        return found != words.end() ? *found : PdfWord{text + " missing", -1000, -1000};
    };
    // Cell and line from the page itself: "100.0" stands 17 columns right of
    // "Sollwertbezug", "Uhrzeit" one line below "Parameter".
    const double cell = (at(page, "100.0").x - at(page, "Sollwertbezug").x) / 17;
    const double line = at(page, "Uhrzeit").y - at(page, "Parameter").y;
    const struct {
        const char* text;
        int column;
        int line;
    } expected[] = {{"Sollwertbezug", 0, 3}, {"V", 25, 3},   {"Hysterese", 0, 4}, {"2.0", 17, 4}, {"%", 25, 4},
                    {"nein", 17, 5},         {"Zeile", 0, 6}};
    const PdfWord origin = at(page, "Parameter");
    for (const auto& word : expected) {
        EXPECT_NEAR(at(page, word.text).x - origin.x, word.column * cell, 0.1 * cell) << word.text;
        EXPECT_NEAR(at(page, word.text).y - origin.y, word.line * line, 0.1 * line) << word.text;
    }
    // Two more blanks and three more lines.
    EXPECT_NEAR(at(prints[1][0], "Parameter").x - origin.x, 2 * cell, 0.1 * cell);
    EXPECT_NEAR(at(prints[1][0], "Parameter").y - origin.y, 3 * line, 0.1 * line);
}

} // namespace
