#pragma once
// Readable gtest output for ParameterSet instead of a byte dump.

#include <ostream>

#include "params/parameter_set.h"

inline void PrintTo(const ParameterSet& set, std::ostream* os)
{
    *os << "{INV " << set.INV << ", HYS \"" << set.HYS << "\", SVZ \"" << set.SVZ << "\", UMI \"" << set.UMI
        << "\", UMM \"" << set.UMM << "\", UPL \"" << set.UPL << "\", UPP \"" << set.UPP << "\", SWB \"" << set.SWB
        << "\"}";
}
