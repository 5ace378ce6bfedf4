#pragma once
// The voltages at which the relay switches, as a parameter set gives them: each
// of the four thresholds is a percentage of the reference voltage (Sollwertbezug),
// and the hysteresis, also a percentage of it, sets how far the voltage must come
// back before the relay switches back.

#include <array>
#include <string>

#include "params/parameter_set.h"

struct SwitchingLevel {
    const char* name;    // "U>", "U>>", "U<", "U<<"
    double volts;        // where the relay switches
    double releaseVolts; // where it switches back: the hysteresis towards the reference
};

struct SwitchingLevels {
    // Empty when the set has levels; otherwise why it has none (a set that fails
    // a check on its reference, thresholds or hysteresis describes no levels the
    // relay could hold; its delay has no say in them).
    std::string reason;
    std::array<SwitchingLevel, 4> levels{}; // U>>, U>, U<, U<<: from the top down
};

// The levels of set, with the numbers read as the checks read them.
SwitchingLevels LevelsOf(const ParameterSet& set);
