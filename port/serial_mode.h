#pragma once
// The line settings as the mode string that the Win32 backend hands to the
// platform's parser (BuildCommDCBAndTimeoutsA), kept apart so that the retry can
// be tested without a port.

#include <functional>
#include <string_view>

// 9600 baud 8N1 and the standard write time-outs; the baud rate is set afterwards.
// The trailing blank belongs to the string.
inline constexpr std::string_view kModeString = "baud=9600 parity=N data=8 stop=1 TO=ON ";

// Applies kModeString through parse, which returns whether the platform took the
// string. Windows takes it as it is; Wine refuses the trailing blank, so a refused
// string is tried once more without it. false when both are refused.
bool ApplyModeString(const std::function<bool(const char* mode)>& parse);
