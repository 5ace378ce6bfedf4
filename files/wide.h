#pragma once
// Texts are UTF-8 inside the program and UTF-16 at the Win32 boundary (Windows only).

#include <string>
#include <string_view>

// From and to UTF-8, or another code page of the system's (CP_ACP for the ANSI one).
std::wstring Widen(std::string_view text, unsigned codePage = 65001);
std::string Narrow(std::wstring_view text, unsigned codePage = 65001);
