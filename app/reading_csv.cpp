#include "app/reading_csv.h"

#include <cstdio>
#include <ctime>

#include "params/parameter_set.h"

namespace {

// Windows line ends: what a spreadsheet on the relay's home platform expects,
// and what every other one reads.
constexpr const char* kLineEnd = "\r\n";

std::string LocalIsoTime(WallClock::time_point time)
{
    const std::time_t seconds = WallClock::to_time_t(time);
    // The program reads and writes on one thread only.
    const std::tm* local = std::localtime(&seconds);
    if (local == nullptr)
        return {};
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", local);
    return text;
}

// Three decimals at most, trailing zeros dropped down to one, ',' for the point.
std::string DecimalComma(double value)
{
    std::string text = FormatFixed(value, 0, 3);
    const std::size_t point = text.find('.');
    if (point == std::string::npos)
        return text;
    while (text.size() > point + 2 && text.back() == '0')
        text.pop_back();
    text[point] = ',';
    return text;
}

} // namespace

std::string CsvHeader()
{
    return std::string("\xEF\xBB\xBF") + "Zeit;Messwert [V]" + kLineEnd;
}

std::string CsvLine(const Reading& reading)
{
    return LocalIsoTime(reading.time) + ";" + (reading.volts ? DecimalComma(*reading.volts) : "") + kLineEnd;
}

std::string CsvText(const std::vector<Reading>& readings)
{
    std::string text = CsvHeader();
    for (const Reading& reading : readings)
        text += CsvLine(reading);
    return text;
}
