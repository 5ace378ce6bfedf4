// Placeholder until the GDI printer lands.
#include "ui/print.h"

namespace ui {
namespace {
class NoPrinter final : public PrintDevice {
public:
    std::optional<int> LinesPerPage() override { return std::nullopt; }
    bool Print(const std::string&, const std::vector<PrintedPage>&) override { return false; }
};
} // namespace
PrintDevice& DefaultPrintDevice()
{
    static NoPrinter printer;
    return printer;
}
PrintStamp NowForPrintout()
{
    return {};
}
} // namespace ui
