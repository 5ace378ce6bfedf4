#pragma once
// Printing behind a seam: the default printer or a PDF file through Qt, or a
// recording stand-in in tests. A device only draws the lines the layout gives
// it, in character cells of its font.

#include <QDate>
#include <QLocale>
#include <QTime>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "params/printout.h"

class QPrinter;

class PrintDevice {
public:
    virtual ~PrintDevice() = default;
    // Lines of the device's font that fit a page; nothing when no printer can be had.
    virtual std::optional<int> LinesPerPage() = 0;
    // Prints the pages as one document; false when the job failed.
    virtual bool Print(const std::string& documentName, const std::vector<PrintedPage>& pages) = 0;
};

// The device in force: the system's default printer unless a test installed its own.
PrintDevice& CurrentPrintDevice();
// Installs device (not owned); nullptr restores the default printer.
void SetPrintDevice(PrintDevice* device);

// The system's default printer (CUPS on Linux), or a PDF file when given a path.
class QtPrintDevice : public PrintDevice {
public:
    QtPrintDevice() = default;
    explicit QtPrintDevice(std::string pdfPath) : m_pdfPath(std::move(pdfPath)) {}

    std::optional<int> LinesPerPage() override;
    bool Print(const std::string& documentName, const std::vector<PrintedPage>& pages) override;

private:
    std::unique_ptr<QPrinter> OpenPrinter() const;
    std::string m_pdfPath;
};

// The printout's date, "ddd, d. MMM yyyy", and time, "HH:mm:ss", in locale; the
// abbreviations without a trailing dot (So, 6. Dez 2026). Empty when invalid.
std::string PrintDate(const QLocale& locale, const QDate& date);
std::string PrintTime(const QLocale& locale, const QTime& time);

// Prints table through the template Maske.txt beside the settings file on the
// current device, with the margins of the settings file and the current date
// and time. 0 when printed; -1, after telling the operator, when there is no
// printer, the template cannot be read or the job failed.
int PrintParameters(const std::string& iniPath, const ValueTable& table);
