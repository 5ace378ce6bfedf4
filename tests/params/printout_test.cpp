// The printout's logic without a printer: placeholders, splitting, and the page
// layout byte for byte.

#include <gtest/gtest.h>

#include "files/text_encoding.h"
#include "params/printout.h"
#include "tests/params/worked_example.h"

// Readable gtest output: line number and text between bars.
void PrintTo(const PrintedLine& line, std::ostream* os)
{
    *os << line.line << ": |" << line.text << "|";
}

namespace {

using namespace std::string_literals;

const PrintValues kValues{BuildValueTable(kWorkedExampleSet), "So, 6. Dez 2026", "08:30:00"};

TEST(Printout, WorkedExamplePage)
{
    const std::vector<PrintedPage> expected = {{{1, " Parameter        So, 6. Dez 2026"},
                                                {2, " Uhrzeit          08:30:00"},
                                                {3, ""},
                                                {4, " Sollwertbezug    100.0   V"},
                                                {5, " Hysterese        2.0     %"},
                                                {6, " Invertieren      nein"}}};
    EXPECT_EQ(LayOutPrintout(kWorkedExampleMaske, kValues, PrintMargins{1, 1, 1}, 60), expected);
}

TEST(Printout, Placeholders)
{
    const std::u32string wide(509, U'.');
    const std::pair<std::u32string, std::u32string> rows[] = {
        {U"$D", U"So, 6. Dez 2026"},
        {U"$t", U"08:30:00"},
        {U"$0   $1   $7", U"2.0  1.5  nein"},
        {U"a $8 b", U"a    b"},               // slot 8 is empty
        {U"Wert $12 Ende", U"Wert     Ende"}, // every digit counts
        {U"$999999999999 x", U"              x"},
        {U"Wert $x Ende", U"Wert    Ende"},
        {U"Wert $", U"Wert  "},
        {U"$6 V", U"100.0"},          // longer than the blanks after it
        {U"Wert $0", U"Wert 2.0"},    // at the end: the line grows
        {U"$0V", U"2.0"},             // the letter after it becomes a blank
        {wide + U"$6", wide + U"10"}, // never beyond 511 characters
    };
    for (const auto& [line, printed] : rows) {
        std::u32string text = line;
        SubstitutePlaceholders(text, kValues);
        EXPECT_EQ(files::CodePointsToUtf8(text), files::CodePointsToUtf8(printed)) << files::CodePointsToUtf8(line);
    }
}

TEST(Printout, NextFieldKeepsEmptyFields)
{
    FieldCursor cursor("HP,,Ne00:,");
    std::vector<std::string> fields;
    while (const auto field = NextField(cursor, ",;"))
        fields.emplace_back(*field);
    EXPECT_EQ(fields, (std::vector<std::string>{"HP", "", "Ne00:"}));
    EXPECT_FALSE(NextField(cursor, ","));
}

TEST(Printout, LayoutMarginsPagesAndOddTemplates)
{
    struct Row {
        const char* name;
        std::string maske;
        PrintMargins margins;
        int linesPerPage;
        std::vector<PrintedPage> pages;
    };
    const std::string wide(2000, 'w');
    const Row rows[] = {
        {"only comments", ";a\n;b", {1, 1, 1}, 60, {{}}},
        {"no margins, CRLF", "a\r\n\r\n;c\r\nb", {0, 1, 0}, 60, {{{0, "a"}, {1, ""}, {2, "b"}}}},
        {"page break above the bottom margin",
         "1\n2\n3\n4\n5",
         {1, 1, 2},
         5,
         {{{1, "  1"}, {2, "  2"}, {3, "  3"}}, {{1, "  4"}, {2, "  5"}}}},
        {"margins larger than the page", "1\n2", {99999, 99999, 0}, 5, {{{4, "1"}}, {{4, "2"}}}},
        {"long line cut with its indent", wide, {0, 0, 2}, 60, {{{0, "  " + wide.substr(0, 509)}}}},
        {"text ends at a NUL", "a\nb\0c\nd"s, {0, 0, 0}, 60, {{{0, "a"}, {1, "b"}}}},
        {"Windows-1252", "Schaltverz\xF6gerung $1  s", {0, 0, 0}, 60, {{{0, "Schaltverzögerung 1.5 s"}}}},
        {"UTF-8 with byte-order mark", "\xEF\xBB\xBF;c\nGröße", {0, 0, 0}, 60, {{{0, "Größe"}}}},
        {"UTF-8 counts characters", "Größe   $6 V", {0, 0, 0}, 60, {{{0, "Größe   100.0"}}}},
    };
    for (const Row& row : rows)
        EXPECT_EQ(LayOutPrintout(row.maske, kValues, row.margins, row.linesPerPage), row.pages) << row.name;
}

} // namespace
