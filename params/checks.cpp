#include "params/checks.h"

#include <array>
#include <cstddef>

namespace {

// Comparisons are written so that a NaN would fail them; an infinity fails its range.
bool InRange(double value, double low, double high)
{
    return low <= value && value <= high;
}

bool NotAbove(const std::string& lower, const std::string& upper)
{
    return ReadNumber(lower) <= ReadNumber(upper);
}

struct CheckRow {
    const char* firstLine;
    int focusId;
    bool (*passes)(const ParameterSet&);
};

// Control ids of the main window's edit fields.
constexpr int kEditSWB = 1011;
constexpr int kEditHYS = 1012;
constexpr int kEditUPL = 1013;
constexpr int kEditUPP = 1014;
constexpr int kEditUMI = 1015;
constexpr int kEditUMM = 1016;
constexpr int kEditSVZ = 1017;

// Tested in this order; the first failing row is the one reported. The ranges
// come before the cross checks, which is not the order of the fields on screen.
constexpr std::array<CheckRow, 11> kRows{{
    {"Hysterese nicht im Bereich 0.5 ... 5%", kEditHYS,
     [](const ParameterSet& s) { return InRange(ReadNumber(s.HYS), 0.5, 5.0); }},
    {"U< nicht im Bereich -25% ... +10%", kEditUMI,
     [](const ParameterSet& s) { return InRange(ReadNumber(s.UMI), -25.0, 10.0); }},
    {"U> nicht im Bereich 0 ... 25%", kEditUPL,
     [](const ParameterSet& s) { return InRange(ReadNumber(s.UPL), 0.0, 25.0); }},
    {"U<< nicht im Bereich -35% ... +10%", kEditUMM,
     [](const ParameterSet& s) { return InRange(ReadNumber(s.UMM), -35.0, 10.0); }},
    {"U>> nicht im Bereich 0 ... 35%", kEditUPP,
     [](const ParameterSet& s) { return InRange(ReadNumber(s.UPP), 0.0, 35.0); }},
    {"Sollwertbezug nicht im Bereich 50 ... 150V", kEditSWB,
     [](const ParameterSet& s) { return InRange(ReadNumber(s.SWB), 50.0, 150.0); }},
    // 100 itself fails, although the message names 99.9 as the limit.
    {"Schaltverzögerung nicht im Bereich 0 ... 99.9sec", kEditSVZ,
     [](const ParameterSet& s) {
         const double value = ReadNumber(s.SVZ);
         return 0.0 <= value && value < 100.0;
     }},
    {"U>> ist kleiner als U> ", kEditUPP, [](const ParameterSet& s) { return NotAbove(s.UPL, s.UPP); }},
    {"U<< ist größer als U< ", kEditUMM, [](const ParameterSet& s) { return NotAbove(s.UMM, s.UMI); }},
    {"U<< ist größer als U> ", kEditUMM, [](const ParameterSet& s) { return NotAbove(s.UMM, s.UPL); }},
    {"U< ist größer als U> ", kEditUMI, [](const ParameterSet& s) { return NotAbove(s.UMI, s.UPL); }},
}};

const CheckRow* RowByNumber(int row)
{
    if (row < 1 || row > static_cast<int>(kRows.size())) {
        return nullptr;
    }
    return &kRows[static_cast<std::size_t>(row - 1)];
}

int FirstFailing(const ParameterSet& set, bool levelsOnly)
{
    for (std::size_t i = 0; i < kRows.size(); ++i) {
        // Only the delay's row has no say in the levels.
        if (levelsOnly && kRows[i].focusId == kEditSVZ) {
            continue;
        }
        if (!kRows[i].passes(set)) {
            return static_cast<int>(i + 1);
        }
    }
    return 0;
}

} // namespace

int FirstFailingRow(const ParameterSet& set)
{
    return FirstFailing(set, false);
}

int FirstFailingLevelRow(const ParameterSet& set)
{
    return FirstFailing(set, true);
}

std::string CheckRowText(int row)
{
    const CheckRow* entry = RowByNumber(row);
    return entry == nullptr ? std::string() : std::string(entry->firstLine);
}

std::string CheckMessage(int row, CheckFamily family)
{
    const std::string firstLine = CheckRowText(row);
    if (firstLine.empty()) {
        return {};
    }
    const char* lastLine = family == CheckFamily::Transfer ? "Daten werden nicht an KORVEN übertragen!"
                                                           : "Daten werden nicht gespeichert!";
    return firstLine + "\r\n\r\n" + lastLine;
}

int FocusControlForRow(int row)
{
    const CheckRow* entry = RowByNumber(row);
    return entry == nullptr ? 0 : entry->focusId;
}
