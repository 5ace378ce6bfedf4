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

// Scans text (up to its first NUL) from index 5 for three-letter keys. In full
// mode KAL, VER and K0V go into info (which must then be given).
void ParseParameterText(std::string_view text, ScanMode mode, ParameterSet& target, DeviceInfo* info);

// "SPAR:HYS..;SWB..;UPL..;UPP..;UMI..;UMM..;INV..;SVZ..;" (without STX).
std::string BuildSparText(const ParameterSet& set);
