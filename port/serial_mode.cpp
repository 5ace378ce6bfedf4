#include "port/serial_mode.h"

#include <string>

bool ApplyModeString(const std::function<bool(const char* mode)>& parse)
{
    const std::string exact(kModeString);
    if (parse(exact.c_str()))
        return true;
    const std::string trimmed = exact.substr(0, exact.find_last_not_of(' ') + 1);
    return parse(trimmed.c_str());
}
