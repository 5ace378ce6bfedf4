#include "ui/print.h"

namespace ui {
namespace {

PrintDevice* g_installed = nullptr;

} // namespace

PrintDevice& CurrentPrintDevice()
{
    return g_installed != nullptr ? *g_installed : DefaultPrintDevice();
}

void SetPrintDevice(PrintDevice* device)
{
    g_installed = device;
}

} // namespace ui
