#include "params/checks.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/params/print_parameter_set.h"

namespace {

using Override = std::pair<std::string ParameterSet::*, std::string>;

// Valid in every row, with room around the boundaries each case moves.
ParameterSet ValidSet()
{
    ParameterSet set;
    set.HYS = "2.0";
    set.UMI = "-10.0";
    set.UPL = "10.0";
    set.UMM = "-35.0";
    set.UPP = "30.0";
    set.SWB = "100.0";
    set.SVZ = "1.5";
    return set;
}

struct VerdictCase {
    const char* name;
    std::vector<Override> overrides;
    int expectedRow; // 0: passes
};

TEST(Checks, FirstFailingRowTable)
{
    const auto HYS = &ParameterSet::HYS;
    const auto UMI = &ParameterSet::UMI;
    const auto UPL = &ParameterSet::UPL;
    const auto UMM = &ParameterSet::UMM;
    const auto UPP = &ParameterSet::UPP;
    const auto SWB = &ParameterSet::SWB;
    const auto SVZ = &ParameterSet::SVZ;
    const std::vector<VerdictCase> cases = {
        {"valid", {}, 0},
        // Both sides of every bound.
        {"HYS lower bound", {{HYS, "0.5"}}, 0},
        {"HYS upper bound", {{HYS, "5"}}, 0},
        {"HYS below", {{HYS, "0.49"}}, 1},
        {"HYS above", {{HYS, "5.01"}}, 1},
        {"UMI lower bound", {{UMI, "-25"}}, 0},
        {"UMI upper bound", {{UMI, "10"}}, 0},
        {"UMI below", {{UMI, "-25.1"}}, 2},
        {"UMI above", {{UMI, "10.01"}}, 2},
        {"UPL lower bound", {{UPL, "0"}}, 0},
        {"UPL upper bound", {{UPL, "25"}}, 0},
        {"UPL below", {{UPL, "-0.01"}}, 3},
        {"UPL above", {{UPL, "25.01"}}, 3},
        {"UMM lower bound", {{UMM, "-35"}}, 0},
        {"UMM upper bound", {{UMM, "10"}, {UMI, "10"}}, 0},
        {"UMM below", {{UMM, "-35.01"}}, 4},
        {"UMM above", {{UMM, "10.01"}, {UMI, "10"}}, 4},
        {"UPP lower bound", {{UPP, "0"}, {UPL, "0"}}, 0},
        {"UPP upper bound", {{UPP, "35"}}, 0},
        {"UPP below", {{UPP, "-0.01"}, {UPL, "0"}}, 5},
        {"UPP above", {{UPP, "35.01"}}, 5},
        {"SWB lower bound", {{SWB, "50"}}, 0},
        {"SWB upper bound", {{SWB, "150"}}, 0},
        {"SWB below", {{SWB, "49.9"}}, 6},
        {"SWB just below", {{SWB, "49.999999"}}, 6},
        {"SWB above", {{SWB, "150.1"}}, 6},
        {"SVZ lower bound", {{SVZ, "0"}}, 0},
        {"SVZ negative zero", {{SVZ, "-0"}}, 0},
        {"SVZ 99.9", {{SVZ, "99.9"}}, 0},
        {"SVZ 99.96 below 100", {{SVZ, "99.96"}}, 0},
        {"SVZ 100 fails", {{SVZ, "100"}}, 7},
        {"SVZ below", {{SVZ, "-0.1"}}, 7},
        // Infinities fail their range instead of slipping through a comparison.
        {"HYS infinite", {{HYS, "1e400"}}, 1},
        {"SWB infinite", {{SWB, "1e999"}}, 6},
        {"SVZ infinite", {{SVZ, "1e400"}}, 7},
        {"UMI minus infinite", {{UMI, "-1e400"}}, 2},
        {"UMI normalized infinity", {{UMI, "-inf"}}, 2}, // what normalizing -1e39 shows
        // How texts read.
        {"HYS 2,5 reads 2", {{HYS, "2,5"}}, 0},
        {"HYS 0,5 reads 0", {{HYS, "0,5"}}, 1},
        {"UPL 1e1 reads 10", {{UPL, "1e1"}}, 0},
        {"UPL 1e2 reads 100", {{UPL, "1e2"}}, 3},
        {"UMI letters read 0", {{UMI, "abc"}}, 0},
        {"HYS inf is not a number", {{HYS, "inf"}}, 1},
        {"HYS nan is not a number", {{HYS, "nan"}}, 1},
        {"HYS with blanks and a tail", {{HYS, "  2.0 %"}}, 0},
        // Cross rows; equal values pass.
        {"U> = U>>", {{UPL, "2.3"}, {UPP, "2.3"}}, 0},
        {"U<< = U<", {{UMM, "-10.1"}, {UMI, "-10.1"}}, 0},
        {"U< = U>", {{UMI, "0.1"}, {UPL, "0.1"}}, 0},
        {"U<< = U>", {{UMM, "0.1"}, {UMI, "0.1"}, {UPL, "0.1"}}, 0},
        {"U>> below U>", {{UPL, "10"}, {UPP, "5"}}, 8},
        {"U<< above U<", {{UMM, "-5"}, {UMI, "-10"}}, 9},
        {"U<< above U> before U< above U>", {{UPL, "0"}, {UMI, "5"}, {UMM, "3"}}, 10},
        {"U< above U>", {{UMI, "5"}, {UPL, "3"}}, 11},
        // Order: the first failing row in table order wins; ranges before cross rows.
        {"all empty", {{HYS, ""}, {UMI, ""}, {UPL, ""}, {UMM, ""}, {UPP, ""}, {SWB, ""}, {SVZ, ""}}, 1},
        {"HYS and SWB wrong", {{HYS, "6"}, {SWB, "10"}}, 1},
        {"UPP range before UMM range", {{UPP, "40"}, {UMM, "-40"}}, 4},
        {"SVZ range before U>> below U>", {{SVZ, "100"}, {UPL, "10"}, {UPP, "5"}}, 7},
        {"U>> below U> before U<< above U<", {{UPL, "10"}, {UPP, "5"}, {UMM, "-5"}}, 8},
    };
    for (const VerdictCase& c : cases) {
        ParameterSet set = ValidSet();
        for (const auto& [member, text] : c.overrides) {
            set.*member = text;
        }
        const ParameterSet before = set;
        EXPECT_EQ(FirstFailingRow(set), c.expectedRow) << c.name;
        EXPECT_EQ(set, before) << c.name;
    }
}

TEST(Checks, PassingSvzJustBelowTheLimitNormalizesTo100)
{
    ParameterSet set = ValidSet();
    set.SVZ = "99.96";
    ASSERT_EQ(FirstFailingRow(set), 0);
    NormalizeTexts(set);
    EXPECT_EQ(set.SVZ, "100.0");
}

TEST(Checks, MessagesAndFocusPerRow)
{
    struct Row {
        const char* firstLine;
        int focusId;
    };
    const Row rows[] = {
        {"Hysterese nicht im Bereich 0.5 ... 5%", 1012},
        {"U< nicht im Bereich -25% ... +10%", 1015},
        {"U> nicht im Bereich 0 ... 25%", 1013},
        {"U<< nicht im Bereich -35% ... +10%", 1016},
        {"U>> nicht im Bereich 0 ... 35%", 1014},
        {"Sollwertbezug nicht im Bereich 50 ... 150V", 1011},
        {"Schaltverzögerung nicht im Bereich 0 ... 99.9sec", 1017},
        {"U>> ist kleiner als U> ", 1014},
        {"U<< ist größer als U< ", 1016},
        {"U<< ist größer als U> ", 1016},
        {"U< ist größer als U> ", 1015},
    };
    for (int row = 1; row <= 11; ++row) {
        const Row& expected = rows[row - 1];
        EXPECT_EQ(CheckMessage(row, CheckFamily::Transfer),
                  std::string(expected.firstLine) + "\r\n\r\nDaten werden nicht an KORVEN übertragen!")
            << "row " << row;
        EXPECT_EQ(CheckMessage(row, CheckFamily::Save),
                  std::string(expected.firstLine) + "\r\n\r\nDaten werden nicht gespeichert!")
            << "row " << row;
        EXPECT_EQ(FocusControlForRow(row), expected.focusId) << "row " << row;
    }
    // The two quoted examples, byte for byte (UTF-8 umlauts included).
    EXPECT_EQ(CheckMessage(1, CheckFamily::Transfer),
              "Hysterese nicht im Bereich 0.5 ... 5%\r\n\r\nDaten werden nicht an KORVEN \303\274bertragen!");
    EXPECT_EQ(CheckMessage(8, CheckFamily::Save), "U>> ist kleiner als U> \r\n\r\nDaten werden nicht gespeichert!");
}

TEST(Checks, RowNumbersOutsideTheTableGiveNothing)
{
    for (const int row : {0, -1, 12, 1000}) {
        EXPECT_EQ(CheckMessage(row, CheckFamily::Transfer), "") << "row " << row;
        EXPECT_EQ(CheckMessage(row, CheckFamily::Save), "") << "row " << row;
        EXPECT_EQ(FocusControlForRow(row), 0) << "row " << row;
    }
}

} // namespace
