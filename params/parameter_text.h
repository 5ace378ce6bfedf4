#pragma once
// Parameter texts: the key scanner shared by relay replies and parameter files,
// and the SPAR text the program sends and saves.

#include <string>
#include <string_view>

#include "params/parameter_set.h"

// The three device-information texts that only the full scan fills.
struct DeviceInfo {
    std::string KAL; // "Kal.-Faktor", edit 1010
    std::string VER; // "Version", edit 1030
    std::string K0V; // "Mittenspannung", edit 1022
};

enum class ScanMode { Full, SetOnly };

// Scans text (up to its first NUL) from index 5 for three-letter keys and stores
// each value found in target; keys that do not occur leave their members as they
// were, and a later duplicate wins. The seven texts get "%5.1f" with its blanks,
// INV the number truncated toward zero (clamped to the int32 range). In full mode
// KAL, VER and K0V go into info; with info null they are still skipped as items
// but stored nowhere. In set-only mode those three are not keys at all.
void ParseParameterText(std::string_view text, ScanMode mode, ParameterSet& target, DeviceInfo* info);

// "SPAR:HYS..;SWB..;UPL..;UPP..;UMI..;UMM..;INV..;SVZ..;" (without STX).
std::string BuildSparText(const ParameterSet& set);
