#pragma once
// Texts are UTF-8 inside the program and UTF-16 at the Win32 boundary (Windows only).

#include <string>
#include <string_view>

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);
