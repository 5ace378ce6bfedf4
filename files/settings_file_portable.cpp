// Settings file on platforms without the Windows profile functions.

#include "files/settings_file.h"

#include "files/profile_file.h"
#include "files/utf8_path.h"

// Paths are made absolute from the current folder, as on Windows.

int ReadProfileInt(const std::string& section, const std::string& key, int def, const std::string& path)
{
    return profile::ReadInt(section, key, def, AbsolutePathUtf8(path));
}

std::string ReadProfileString(const std::string& section, const std::string& key, const std::string& def,
                              const std::string& path)
{
    return profile::ReadString(section, key, def, AbsolutePathUtf8(path));
}

bool WriteProfileString(const std::string& section, const std::string& key, const std::string& value,
                        const std::string& path)
{
    return profile::WriteString(section, key, value, AbsolutePathUtf8(path));
}
