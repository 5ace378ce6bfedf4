#pragma once
// Printing behind a seam: the system's default printer through the backend (Qt
// PrintSupport or GDI), or a recording stand-in in tests. A device only draws
// the lines the layout gives it, in character cells of its font.

#include <optional>
#include <string>
#include <vector>

namespace ui {

// A page as a device prints it: its lines from the top of the printable area,
// one line of the device's font each, drawn from column 0 (UTF-8).
using PrintPage = std::vector<std::string>;

class PrintDevice {
public:
    virtual ~PrintDevice() = default;
    // Lines of the device's font that fit a page; nothing when no printer can be had.
    virtual std::optional<int> LinesPerPage() = 0;
    // Prints the pages as one document; false when the job failed.
    virtual bool Print(const std::string& documentName, const std::vector<PrintPage>& pages) = 0;
};

// The backend's default printer, asked at every printout so that a printer set
// up meanwhile is found.
PrintDevice& DefaultPrintDevice();
// The device in force: the default printer unless a test installed its own.
PrintDevice& CurrentPrintDevice();
// Installs device (not owned); nullptr restores the default printer.
void SetPrintDevice(PrintDevice* device);

// The printout's date, "ddd, d. MMM yyyy", and time, "HH:mm:ss", now, in the
// user's locale; day and month abbreviations without a trailing dot (So, 6. Dez 2026).
struct PrintStamp {
    std::string date; // UTF-8
    std::string time;
};
PrintStamp NowForPrintout();

} // namespace ui
