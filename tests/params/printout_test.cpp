// The printout's logic without a printer: the value table, the placeholders, the
// template lines and the page layout, byte for byte.

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

PrintValues WorkedExampleValues()
{
    return PrintValues{BuildValueTable(kWorkedExampleSet), "So, 6. Dez 2026", "08:30:00"};
}

TEST(Printout, WorkedExamplePage)
{
    const auto pages = LayOutPrintout(kWorkedExampleMaske, WorkedExampleValues(), PrintMargins{1, 1, 1}, 60);

    const PrintedPage expected = {
        {1, " Parameter        So, 6. Dez 2026"}, {2, " Uhrzeit          08:30:00"},  {3, ""},
        {4, " Sollwertbezug    100.0   V"},       {5, " Hysterese        2.0     %"}, {6, " Invertieren      nein"}};
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0], expected);
}

TEST(Printout, ValueTableIsNormalizedForThePrintoutOnly)
{
    const ValueTable table = BuildValueTable(ParameterSet{1, " 2", "abc", "-10", "-20.04", "1e1", "15", "99.95"});
    const ValueTable expected = {"2.0", "0.0", "-10.0", "-20.0", "10.0", "15.0", "99.9", "ja  "};
    EXPECT_EQ(table, expected);
}

TEST(Printout, Placeholders)
{
    struct Row {
        const char* name;
        std::u32string line;
        std::u32string printed;
    } const rows[] = {
        {"date", U"$D", U"So, 6. Dez 2026"},
        {"time, lower case", U"$t", U"08:30:00"},
        {"slots 0 to 7", U"$0      $1      $2      $3      $4      $5      $6      $7",
         U"2.0     1.5     -10.0   -20.0   10.0    15.0    100.0   nein"},
        {"slot 8 is empty", U"a $8 b", U"a    b"},
        {"all digits count", U"Wert $12 Ende", U"Wert     Ende"},
        {"a leading zero", U"$07", U"nein"},
        {"a huge number", U"$999999999999 x", U"              x"},
        {"another letter", U"Wert $x Ende", U"Wert    Ende"},
        {"$ at the end", U"Wert $", U"Wert  "},
        {"value longer than the blanks", U"$6 V", U"100.0"},
        {"value at the end lengthens", U"Wert $0", U"Wert 2.0"},
        {"value before a letter", U"$0V", U"2.0"},
        {"value before a LF", U"$0\n", U"2.0"},
        {"line at its limit", std::u32string(509, U'.') + U"$6", std::u32string(509, U'.') + U"10"},
    };
    for (const Row& row : rows) {
        std::u32string line = row.line;
        SubstitutePlaceholders(line, WorkedExampleValues());
        EXPECT_EQ(files::CodePointsToUtf8(line), files::CodePointsToUtf8(row.printed)) << row.name;
    }
}

TEST(Printout, StripTrailingBlanksRemovesEveryKindOfWhiteSpace)
{
    std::u32string line = U" a b \t\r\n\v\f ";
    StripTrailingBlanks(line);
    EXPECT_EQ(line, U" a b");
}

TEST(Printout, NextFieldSplitsAtTheFirstDelimiterKeepingEmptyFields)
{
    struct Row {
        std::string text;
        std::string delimiters;
        std::vector<std::string> fields;
    } const rows[] = {
        {"HP LaserJet,winspool,Ne00:", ",", {"HP LaserJet", "winspool", "Ne00:"}},
        {"a,,b", ",;", {"a", "", "b"}},
        {"a,", ",", {"a"}},
        {"", ",", {}},
        {"a;b", "", {"a;b"}},
    };
    for (const Row& row : rows) {
        FieldCursor cursor(row.text);
        std::vector<std::string> fields;
        while (const auto field = NextField(cursor, row.delimiters))
            fields.emplace_back(*field);
        EXPECT_EQ(fields, row.fields) << row.text;
        EXPECT_FALSE(NextField(cursor, row.delimiters)) << "stays at its end";
    }
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
        {"empty template", "", {1, 1, 1}, 60, {{}}},
        {"only comments", ";a\n;b", {1, 1, 1}, 60, {{}}},
        {"no margins, CRLF", "a\r\n\r\n;c\r\nb", {0, 1, 0}, 60, {{{0, "a"}, {1, ""}, {2, "b"}}}},
        {"page break above the bottom margin",
         "1\n2\n3\n4\n5\n",
         {1, 1, 2},
         5,
         {{{1, "  1"}, {2, "  2"}, {3, "  3"}}, {{1, "  4"}, {2, "  5"}}}},
        {"margins larger than the page", "1\n2", {99999, 99999, 0}, 5, {{{4, "1"}}, {{4, "2"}}}},
        {"long line cut with its indent", wide, {0, 0, 2}, 60, {{{0, "  " + wide.substr(0, 509)}}}},
        {"indent no wider than a line", "x", {0, 0, 100000}, 60, {{{0, ""}}}},
        {"text ends at a NUL", "a\nb\0c\nd"s, {0, 0, 0}, 60, {{{0, "a"}, {1, "b"}}}},
        {"Windows-1252", "Schaltverz\xF6gerung $1  s", {0, 0, 0}, 60, {{{0, "Schaltverzögerung 1.5 s"}}}},
        {"UTF-8 counts characters", "Größe   $6 V", {0, 0, 0}, 60, {{{0, "Größe   100.0"}}}},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(LayOutPrintout(row.maske, WorkedExampleValues(), row.margins, row.linesPerPage), row.pages)
            << row.name;
    }
}

TEST(Printout, TenThousandLinesAreAllPrinted)
{
    std::string maske;
    for (int i = 0; i < 10000; ++i)
        maske += "Zeile $" + std::to_string(i % 10) + "\n";
    const auto pages = LayOutPrintout(maske, WorkedExampleValues(), PrintMargins{}, 66);
    std::size_t lines = 0;
    for (const PrintedPage& page : pages)
        lines += page.size();
    EXPECT_EQ(lines, 10000u);
    EXPECT_EQ(pages.size(), (10000u + 63) / 64);
    EXPECT_EQ(pages.back().back(), (PrintedLine{10000 - 64 * static_cast<int>(pages.size() - 1), " Zeile"}));
}

} // namespace
