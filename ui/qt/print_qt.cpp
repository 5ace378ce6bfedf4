#include "ui/qt/print_qt.h"

#include <QDateTime>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <algorithm>

namespace ui {
namespace {

// A printer's own default font is a fixed-pitch one, so that a template's
// columns line up; the system's fixed-pitch font at 10 points stands for it.
QFont PrinterFont()
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSize(10);
    return font;
}

QString WithoutTrailingDot(QString text)
{
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text;
}

} // namespace

PrintDevice& DefaultPrintDevice()
{
    static QtPrintDevice defaultPrinter;
    return defaultPrinter;
}

PrintStamp NowForPrintout()
{
    const QDateTime now = QDateTime::currentDateTime();
    return PrintStamp{PrintDate(QLocale(), now.date()), PrintTime(QLocale(), now.time())};
}

std::unique_ptr<QPrinter> QtPrintDevice::OpenPrinter() const
{
    if (!m_pdfPath.empty()) {
        auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(QString::fromStdString(m_pdfPath));
        return printer;
    }
    // Asked at every printout, so that a printer set up meanwhile is found.
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull())
        return nullptr;
    auto printer = std::make_unique<QPrinter>(info, QPrinter::HighResolution);
    if (!printer->isValid())
        return nullptr;
    return printer;
}

std::optional<int> QtPrintDevice::LinesPerPage()
{
    const std::unique_ptr<QPrinter> printer = OpenPrinter();
    if (!printer)
        return std::nullopt;
    const QFontMetricsF metrics(PrinterFont(), printer.get());
    const double pageHeight = printer->pageRect(QPrinter::DevicePixel).height();
    return std::max(1, static_cast<int>(pageHeight / metrics.height()));
}

bool QtPrintDevice::Print(const std::string& documentName, const std::vector<PrintPage>& pages)
{
    const std::unique_ptr<QPrinter> printer = OpenPrinter();
    if (!printer)
        return false;
    printer->setDocName(QString::fromStdString(documentName));
    QPainter painter;
    if (!painter.begin(printer.get()))
        return false;
    painter.setFont(PrinterFont());
    // One line is one character cell high; the origin is the printable area's corner.
    const QFontMetricsF metrics(painter.font(), printer.get());
    for (std::size_t i = 0; i < pages.size(); ++i) {
        if (i > 0 && !printer->newPage()) {
            painter.end();
            return false;
        }
        for (std::size_t line = 0; line < pages[i].size(); ++line)
            painter.drawText(QPointF(0, static_cast<double>(line) * metrics.height() + metrics.ascent()),
                             QString::fromStdString(pages[i][line]));
    }
    return painter.end();
}

std::string PrintDate(const QLocale& locale, const QDate& date)
{
    if (!date.isValid())
        return {};
    const QString text = WithoutTrailingDot(locale.dayName(date.dayOfWeek(), QLocale::ShortFormat)) +
                         QStringLiteral(", ") + locale.toString(date, QStringLiteral("d")) + QStringLiteral(". ") +
                         WithoutTrailingDot(locale.monthName(date.month(), QLocale::ShortFormat)) + QLatin1Char(' ') +
                         locale.toString(date, QStringLiteral("yyyy"));
    return text.toStdString();
}

std::string PrintTime(const QLocale& locale, const QTime& time)
{
    return time.isValid() ? locale.toString(time, QStringLiteral("HH:mm:ss")).toStdString() : std::string();
}

} // namespace ui
