// The printout of button 1035: the values as they stand in the fields, through
// the template Maske.txt beside the settings file, on the default printer.

#include <algorithm>
#include <cstdio>

#include "app/main_dlg.h"
#include "params/parameter_file.h"
#include "params/print.h"
#include "ui/print.h"

using namespace ui;

namespace {

constexpr const char* kDocumentName = "Test";
constexpr const char* kNoDeviceLine = "Kann keinen Devicekontext erhalten\r\n";
constexpr const char* kNoPrinter =
    "Es ist kein Standarddrucker eingerichtet.\r\nDie Parameter können nicht gedruckt werden.";
constexpr const char* kPrintFailed = "Die Parameter konnten nicht gedruckt werden.";

// The layout's lines as the device takes them, each at its line of the page.
std::vector<PrintPage> DevicePages(const std::vector<PrintedPage>& laidOut)
{
    std::vector<PrintPage> pages;
    for (const PrintedPage& page : laidOut) {
        PrintPage& lines = pages.emplace_back();
        for (const PrintedLine& line : page) {
            const auto at = static_cast<std::size_t>(line.line);
            lines.resize(std::max(lines.size(), at + 1));
            lines[at] = line.text;
        }
    }
    return pages;
}

} // namespace

int PrintParameters(const std::string& iniPath, const ValueTable& table)
{
    PrintDevice& device = CurrentPrintDevice();
    const std::optional<int> linesPerPage = device.LinesPerPage();
    if (!linesPerPage) {
        std::fputs(kNoDeviceLine, stdout);
        std::fflush(stdout);
        AfxMessageBox(kNoPrinter, MB_OK | MB_ICONEXCLAMATION);
        return -1;
    }
    // Read before the job starts: a missing template never sends an empty page.
    const std::string templatePath = TemplatePathFor(iniPath);
    const std::optional<std::string> maske = ReadTemplateFile(templatePath);
    if (!maske) {
        AfxMessageBox(CannotReadMessage(templatePath), MB_OK | MB_ICONEXCLAMATION);
        return -1;
    }
    const PrintStamp now = NowForPrintout();
    const PrintValues values{table, now.date, now.time};
    const std::vector<PrintedPage> laidOut = LayOutPrintout(*maske, values, ReadPrintMargins(iniPath), *linesPerPage);
    if (!device.Print(kDocumentName, DevicePages(laidOut))) {
        AfxMessageBox(kPrintFailed, MB_OK | MB_ICONEXCLAMATION);
        return -1;
    }
    return 0;
}

void CMainDlg::OnPrintParams()
{
    // Nothing is checked and no relay is needed: the fields are printed as they stand.
    UpdateData(true);
    PrintParameters(m_szIniPath, BuildValueTable(shownSet));
}
