#include "trend/reading_csv.h"

#include "params/parameter_set.h"

namespace {

// Windows line ends: what a spreadsheet on the relay's home platform expects,
// and what every other one reads.
constexpr const char* kLineEnd = "\r\n";

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

std::string CsvHeader(const std::vector<std::string>& columns)
{
    std::string header = "\xEF\xBB\xBFZeit";
    for (const std::string& column : columns) {
        const std::string caption = "Messwert " + column + " [V]";
        // A device path may hold the separator or a quote: such a caption is quoted.
        if (caption.find_first_of(";\"\r\n") == std::string::npos) {
            header += ";" + caption;
            continue;
        }
        header += ";\"";
        for (const char c : caption)
            header += c == '"' ? std::string("\"\"") : std::string(1, c);
        header += "\"";
    }
    return header + kLineEnd;
}

std::string CsvLine(const Reading& reading)
{
    return CsvLine(reading.time, {reading.volts});
}

std::string CsvLine(WallClock::time_point time, const std::vector<std::optional<double>>& values)
{
    std::string line = LocalTimeText(time, "%Y-%m-%dT%H:%M:%S");
    for (const std::optional<double>& volts : values) {
        line += ';';
        if (volts)
            line += DecimalComma(*volts);
    }
    return line + kLineEnd;
}

std::string CsvText(const std::vector<Reading>& readings)
{
    std::size_t first = readings.empty() ? 0 : readings.size() - 1;
    while (first > 0 && readings[first - 1].time <= readings[first].time)
        --first;
    std::string text = CsvHeader();
    for (std::size_t i = first; i < readings.size(); ++i)
        text += CsvLine(readings[i]);
    return text;
}

std::optional<std::string> CsvStream::Line(const Reading& reading)
{
    return Line(reading.time, {reading.volts});
}

std::optional<std::string> CsvStream::Line(WallClock::time_point time, const std::vector<std::optional<double>>& values)
{
    if (m_last && time < *m_last)
        return std::nullopt;
    m_last = time;
    return CsvLine(time, values);
}
