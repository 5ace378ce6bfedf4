#pragma once
// Printing on Qt: the default printer or a PDF file through Qt PrintSupport,
// and the printout's date and time in a locale.

#include <QDate>
#include <QLocale>
#include <QTime>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ui/print.h"

class QPrinter;

namespace ui {

// The system's default printer (CUPS on Linux), or a PDF file when given a path.
class QtPrintDevice final : public PrintDevice {
public:
    QtPrintDevice() = default;
    explicit QtPrintDevice(std::string pdfPath) : m_pdfPath(std::move(pdfPath)) {}

    std::optional<int> LinesPerPage() override;
    bool Print(const std::string& documentName, const std::vector<PrintPage>& pages) override;

private:
    std::unique_ptr<QPrinter> OpenPrinter() const;
    std::string m_pdfPath;
};

// The printout's date, "ddd, d. MMM yyyy", and time, "HH:mm:ss", in locale; the
// abbreviations without a trailing dot (So, 6. Dez 2026). Empty when invalid.
std::string PrintDate(const QLocale& locale, const QDate& date);
std::string PrintTime(const QLocale& locale, const QTime& time);

} // namespace ui
