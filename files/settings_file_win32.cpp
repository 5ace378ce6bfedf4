// Settings file on Windows: the platform's own profile functions.

#include "files/settings_file.h"

#include "files/profile_file.h"

#include <windows.h>

// <windows.h> makes WriteProfileString a macro for the win.ini function WriteProfileStringA;
// without this the function below would be defined under that name and callers would not find it.
#undef WriteProfileString

int ReadProfileInt(const std::string& section, const std::string& key, int def, const std::string& path)
{
    return static_cast<int>(GetPrivateProfileIntA(section.c_str(), key.c_str(), def, path.c_str()));
}

std::string ReadProfileString(const std::string& section, const std::string& key, const std::string& def,
                              const std::string& path)
{
    char buffer[profile::kMaxValueLength + 1] = {};
    const DWORD length = GetPrivateProfileStringA(section.c_str(), key.c_str(), def.c_str(), buffer,
                                                  static_cast<DWORD>(sizeof buffer), path.c_str());
    // The file's 8-bit text (or a UTF-8 value this program wrote) becomes UTF-8.
    return profile::DecodeValue(std::string_view(buffer, length));
}

bool WriteProfileString(const std::string& section, const std::string& key, const std::string& value,
                        const std::string& path)
{
    return WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), path.c_str()) != FALSE;
}
