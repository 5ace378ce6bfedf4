#pragma once
// Live readings as a CSV file that a German spreadsheet opens as it stands:
// UTF-8 with a byte-order mark, ';' between the fields, a decimal comma, the
// local time in ISO 8601 form and an empty value where the relay gave no answer.

#include <optional>
#include <string>
#include <vector>

#include "trend/reading_history.h"

// The byte-order mark and the header line "Zeit;Messwert [V]".
std::string CsvHeader();
// One line: "2026-12-08T18:05:07;230,4", the value with as many decimals as it
// needs (at least one, at most three).
std::string CsvLine(const Reading& reading);
// The same with a column per relay (korvenctl live over several ports): the
// header "Zeit;Messwert COM1 [V];Messwert COM2 [V]" for columns COM1 and COM2,
// and a line of the time and each relay's value, empty where it gave no answer.
std::string CsvHeader(const std::vector<std::string>& columns);
std::string CsvLine(WallClock::time_point time, const std::vector<std::optional<double>>& values);
// The header and one line per reading. Where the clock was set back between two
// readings, only those after the last such step are written: the readings of the
// clock as it now stands, as the trend window shows them.
std::string CsvText(const std::vector<Reading>& readings);

// The lines of a CSV written as the readings come, whose times never go
// backwards either: a reading earlier than the last line written (the clock was
// set back) is left out, as every one is until the clock has passed that line again.
class CsvStream {
public:
    // The reading's line, or nothing when it is left out.
    std::optional<std::string> Line(const Reading& reading);
    // A line of several relays' values at one time, likewise.
    std::optional<std::string> Line(WallClock::time_point time, const std::vector<std::optional<double>>& values);

private:
    std::optional<WallClock::time_point> m_last;
};
