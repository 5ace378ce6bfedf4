// The Win32 kit's text conversion, the printout's date and time in several
// locales, and the default printer when none is set up.

#include "ui/win32/print_win32.h"
#include "files/wide.h"

#include <gtest/gtest.h>

namespace {

struct WideCase {
    const char* name;
    std::string utf8;
    std::wstring utf16;
    bool roundTrip; // whether Narrow gives utf8 back
};

TEST(Wide, ConvertsBetweenUtf8AndUtf16)
{
    const WideCase cases[] = {
        {"empty", "", L"", true},
        {"umlauts of a path", "C:\\Prüfung\\anlage.par", L"C:\\Pr\u00FCfung\\anlage.par", true},
        {"outside the BMP, a surrogate pair", "\xF0\x9D\x84\x9E", L"\xD834\xDD1E", true},
        {"an invalid byte becomes U+FFFD",
         "a\xFF"
         "b",
         L"a\uFFFDb", false},
    };
    for (const WideCase& c : cases) {
        EXPECT_EQ(Widen(c.utf8), c.utf16) << c.name;
        if (c.roundTrip) {
            EXPECT_EQ(Narrow(c.utf16), c.utf8) << c.name;
        }
    }
}

struct StampCase {
    LCID locale;
    SYSTEMTIME when;
    const char* date;
    const char* time;
};

TEST(PrintStamp, FormatsTheDateAndTimeOfTheLocale)
{
    const StampCase cases[] = {
        {MAKELCID(MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), SORT_DEFAULT),
         {2026, 12, 0, 6, 8, 30, 0, 0},
         "So, 6. Dez 2026",
         "08:30:00"},
        // Its abbreviations end with a dot ("mar.", "déc."), which the printout leaves out.
        {MAKELCID(MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH), SORT_DEFAULT),
         {2026, 12, 2, 8, 23, 5, 9, 0},
         "mar, 8. déc 2026",
         "23:05:09"},
    };
    for (const StampCase& c : cases) {
        const ui::PrintStamp stamp = ui::PrintStampFor(c.locale, c.when);
        EXPECT_EQ(stamp.date, c.date);
        EXPECT_EQ(stamp.time, c.time);
    }
}

TEST(GdiPrinter, WithoutADefaultPrinterThereIsNoPageAndNoJob)
{
    wchar_t entry[512] = {};
    if (GetProfileStringW(L"windows", L"device", L"", entry, 512) != 0)
        GTEST_SKIP() << "a default printer is set up";
    EXPECT_FALSE(ui::DefaultPrintDevice().LinesPerPage().has_value());
    EXPECT_FALSE(ui::DefaultPrintDevice().Print("Test", {{"Parameter"}}));
}

} // namespace
