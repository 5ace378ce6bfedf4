#pragma once
// Text crosses into Windows as UTF-16, through the W functions; inside the
// program it is UTF-8.

#include <string>
#include <string_view>

namespace ui {

// Invalid UTF-8 becomes U+FFFD; an unpaired surrogate in UTF-16 likewise.
std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);

} // namespace ui
