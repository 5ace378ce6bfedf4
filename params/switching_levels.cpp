#include "params/switching_levels.h"

#include "params/checks.h"

namespace {

constexpr const char* kNoSet = "keine Parameter angezeigt";

} // namespace

SwitchingLevels LevelsOf(const ParameterSet& set)
{
    SwitchingLevels result;
    // Before the first read, or after another port was chosen, the fields are empty.
    if ((set.HYS + set.SVZ + set.UMI + set.UMM + set.UPL + set.UPP + set.SWB).empty()) {
        result.reason = kNoSet;
        return result;
    }
    if (const int row = FirstFailingLevelRow(set); row != 0) {
        result.reason = CheckRowText(row);
        return result;
    }
    const double reference = ReadNumber(set.SWB);
    const double hysteresis = ReadNumber(set.HYS);
    const auto level = [&](const char* name, const std::string& percent, double towardsReference) {
        const double value = ReadNumber(percent);
        return SwitchingLevel{name, reference * (1.0 + value / 100.0),
                              reference * (1.0 + (value + towardsReference) / 100.0)};
    };
    result.levels = {level("U>>", set.UPP, -hysteresis), level("U>", set.UPL, -hysteresis),
                     level("U<", set.UMI, hysteresis), level("U<<", set.UMM, hysteresis)};
    return result;
}
