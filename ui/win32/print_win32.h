#pragma once
// The printout's date and time through the locale functions of Windows.

#include <windows.h>

#include "ui/print.h"

namespace ui {

// when in locale as the printout shows it: "ddd, d. MMM yyyy" and "HH:mm:ss",
// the abbreviations without a trailing dot; an empty text where one cannot be formatted.
PrintStamp PrintStampFor(LCID locale, const SYSTEMTIME& when);

} // namespace ui
