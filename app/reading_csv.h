#pragma once
// Live readings as a CSV file that a German spreadsheet opens as it stands:
// UTF-8 with a byte-order mark, ';' between the fields, a decimal comma, the
// local time in ISO 8601 form and an empty value where the relay gave no answer.

#include <string>
#include <vector>

#include "app/reading_history.h"

// The byte-order mark and the header line "Zeit;Messwert [V]".
std::string CsvHeader();
// One line: "2026-12-08T18:05:07;230,4", the value with as many decimals as it
// needs (at least one, at most three).
std::string CsvLine(const Reading& reading);
// The header and one line per reading.
std::string CsvText(const std::vector<Reading>& readings);
