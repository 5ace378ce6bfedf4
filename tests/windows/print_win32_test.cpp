// The Win32 kit's text conversion and labels, the printout's date and time in
// several locales, and the default printer when none is set up.

#include "files/wide.h"
#include "firmware/firmware_dlg.h"
#include "ui/win32/print_win32.h"
#include "ui/win32/win32_access.h"

#include <gtest/gtest.h>

#include <vector>

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

// The pixels of a control as it draws itself.
std::vector<COLORREF> Picture(HWND item)
{
    RECT area{};
    GetClientRect(item, &area);
    HDC screen = GetDC(item);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, area.right, area.bottom);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    SendMessageW(item, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory), PRF_CLIENT | PRF_ERASEBKGND);
    std::vector<COLORREF> pixels;
    for (int y = 0; y < area.bottom; ++y) {
        for (int x = 0; x < area.right; ++x)
            pixels.push_back(GetPixel(memory, x, y));
    }
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(item, screen);
    return pixels;
}

// A label shows its text as it is, a file's path with "R&D" too: "&&" is two
// characters there, not one that a mnemonic's mark stands before.
TEST(Win32Label, ShowsAmpersandsAsTheyAre)
{
    CFirmwareDlg dlg(nullptr, "");
    const auto shown = [&dlg](const char* text) {
        dlg.SetItemText(IDC_FIRMWARE_STATUS, text);
        return Picture(ui::ItemWindow(dlg, IDC_FIRMWARE_STATUS));
    };
    EXPECT_TRUE(shown("&&") != shown("&")) << "\"&&\" shows as \"&\"";
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
