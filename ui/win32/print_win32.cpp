// The default printer through GDI, and the printout's date and time through the
// locale functions.

#include "ui/win32/print_win32.h"

#include <algorithm>

#include "files/text_fields.h" // the device entry's fields, split as the printout splits its own
#include "files/wide.h"

namespace ui {

namespace {

// The device context of the default printer, released whatever happens.
class PrinterContext {
public:
    PrinterContext();
    ~PrinterContext()
    {
        if (m_dc != nullptr)
            DeleteDC(m_dc);
        if (m_font != nullptr)
            DeleteObject(m_font);
    }
    PrinterContext(const PrinterContext&) = delete;
    PrinterContext& operator=(const PrinterContext&) = delete;

    HDC Get() const { return m_dc; }
    // Height of a line of the device's default font in device units; 0 when unknown.
    int LineHeight() const { return m_lineHeight; }

private:
    HDC m_dc = nullptr;
    HFONT m_font = nullptr; // our own font, where the device's will not do
    int m_lineHeight = 0;
};

PrinterContext::PrinterContext()
{
    // The default printer is the "device" entry of the "windows" section:
    // printer name, driver name and port, separated by commas.
    wchar_t entry[512] = {};
    const DWORD length = GetProfileStringW(L"windows", L"device", L"", entry, 512);
    const std::string device = Narrow(std::wstring_view(entry, length));
    FieldCursor cursor(device);
    const std::optional<std::string_view> name = NextField(cursor, ",");
    const std::optional<std::string_view> driver = NextField(cursor, ",");
    if (!name || name->empty())
        return;
    const std::wstring wideName = Widen(*name);
    const std::wstring wideDriver = driver ? Widen(*driver) : std::wstring();
    // GDI ignores the driver of a printer; an entry without one still names it.
    m_dc = CreateDCW(wideDriver.empty() ? nullptr : wideDriver.c_str(), wideName.c_str(), nullptr, nullptr);
    if (m_dc == nullptr)
        return;
    // A printer's own default font is a fixed-pitch one, so that a template's
    // columns line up. Where the device offers a proportional one instead (Wine's
    // PostScript driver gives the screen's system font, a few points high on
    // paper), Courier New at 10 points stands for it.
    SelectObject(m_dc, GetStockObject(DEVICE_DEFAULT_FONT));
    TEXTMETRICW metrics{};
    if (!GetTextMetricsW(m_dc, &metrics))
        return;
    if ((metrics.tmPitchAndFamily & TMPF_FIXED_PITCH) != 0) { // the bit means variable pitch
        m_font = CreateFontW(-MulDiv(10, GetDeviceCaps(m_dc, LOGPIXELSY), 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                             DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                             FIXED_PITCH | FF_MODERN, L"Courier New");
        if (m_font == nullptr || SelectObject(m_dc, m_font) == nullptr || !GetTextMetricsW(m_dc, &metrics))
            return;
    }
    // A line is one character cell of the font: its character height.
    if (metrics.tmHeight > 0)
        m_lineHeight = metrics.tmHeight;
}

class GdiPrintDevice : public PrintDevice {
public:
    std::optional<int> LinesPerPage() override
    {
        const PrinterContext printer;
        if (printer.Get() == nullptr || printer.LineHeight() == 0)
            return std::nullopt;
        return std::max(1, GetDeviceCaps(printer.Get(), VERTRES) / printer.LineHeight());
    }

    bool Print(const std::string& documentName, const std::vector<PrintPage>& pages) override
    {
        const PrinterContext printer;
        const HDC dc = printer.Get();
        if (dc == nullptr || printer.LineHeight() == 0)
            return false;
        const std::wstring name = Widen(documentName);
        DOCINFOW document{};
        document.cbSize = sizeof document;
        document.lpszDocName = name.c_str();
        if (StartDocW(dc, &document) <= 0)
            return false;
        for (const PrintPage& page : pages) {
            bool drawn = StartPage(dc) > 0;
            for (std::size_t line = 0; line < page.size(); ++line) {
                const std::wstring text = Widen(page[line]);
                // An empty line draws nothing; some drivers refuse a text of no characters.
                if (drawn && !text.empty())
                    drawn = TextOutW(dc, 0, static_cast<int>(line) * printer.LineHeight(), text.c_str(),
                                     static_cast<int>(text.size())) != FALSE;
            }
            if (!drawn || EndPage(dc) <= 0) {
                // Nothing of a broken job reaches the printer.
                AbortDoc(dc);
                return false;
            }
        }
        return EndDoc(dc) > 0;
    }
};

// A picture of GetDateFormatW or GetTimeFormatW as UTF-8; empty when it fails.
template <typename FormatFunction>
std::string Formatted(FormatFunction format, LCID locale, const SYSTEMTIME& when, const wchar_t* picture)
{
    wchar_t buffer[128];
    const int length = format(locale, 0, &when, picture, buffer, 128);
    return length > 1 ? Narrow(std::wstring_view(buffer, static_cast<std::size_t>(length - 1))) : std::string();
}

std::string WithoutTrailingDot(std::string text)
{
    if (!text.empty() && text.back() == '.')
        text.pop_back();
    return text;
}

} // namespace

PrintDevice& DefaultPrintDevice()
{
    static GdiPrintDevice printer;
    return printer;
}

PrintStamp PrintStampFor(LCID locale, const SYSTEMTIME& when)
{
    // "ddd, d. MMM yyyy" piece by piece, so that a locale whose abbreviations end
    // with a dot ("Di.", "Dez.") prints them without it.
    const std::string day = WithoutTrailingDot(Formatted(GetDateFormatW, locale, when, L"ddd"));
    const std::string dayOfMonth = Formatted(GetDateFormatW, locale, when, L"d");
    const std::string month = WithoutTrailingDot(Formatted(GetDateFormatW, locale, when, L"MMM"));
    const std::string year = Formatted(GetDateFormatW, locale, when, L"yyyy");
    PrintStamp stamp;
    if (!day.empty() && !dayOfMonth.empty() && !month.empty() && !year.empty())
        stamp.date = day + ", " + dayOfMonth + ". " + month + " " + year;
    stamp.time = Formatted(GetTimeFormatW, locale, when, L"HH:mm:ss");
    return stamp;
}

PrintStamp NowForPrintout()
{
    // One reading of the clock for both, so that date and time belong together.
    SYSTEMTIME now;
    GetLocalTime(&now);
    return PrintStampFor(LOCALE_USER_DEFAULT, now);
}

} // namespace ui
