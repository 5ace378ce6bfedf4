#pragma once
// The eleven plausibility rows a set must pass before it is sent or saved.

#include <string>

#include "params/parameter_set.h"

enum class CheckFamily { Transfer, Save };

// 0 when every row passes, otherwise the number (1..11) of the first failing row.
int FirstFailingRow(const ParameterSet& set);

// The same over the ten rows that bear on the switching levels: Sollwertbezug,
// the four thresholds and the hysteresis (every row but the delay's).
int FirstFailingLevelRow(const ParameterSet& set);

// The full message of a failing row: first line, "\r\n\r\n", the family's last
// line. Empty for a row number outside 1..11.
std::string CheckMessage(int row, CheckFamily family);

// The first line of a failing row's message (what is wrong, without the family's
// last line). Empty for a row number outside 1..11.
std::string CheckRowText(int row);

// The id of the main-window control that gets the focus after the row's message;
// 0 for a row number outside 1..11.
int FocusControlForRow(int row);
