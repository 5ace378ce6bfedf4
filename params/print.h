#pragma once
// The printout of button 1035.

#include <string>

#include "params/printout.h"

// Prints table through the template Maske.txt beside the settings file on the
// current device, with the margins of the settings file and the current date
// and time. 0 when printed; -1, after telling the operator, when there is no
// printer, the template cannot be read or the job failed.
int PrintParameters(const std::string& iniPath, const ValueTable& table);
