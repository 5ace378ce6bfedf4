// Settings file on Windows: integers through the platform's own profile
// functions, text values and writes through the program's own profile file.

#include "files/settings_file.h"

#include "files/profile_file.h"
#include "files/utf8_path.h"
#include "files/wide.h"

#include <windows.h>

// <windows.h> makes WriteProfileString a macro for the win.ini function WriteProfileStringW;
// without this the function below would be defined under that name and callers would not find it.
#undef WriteProfileString

// The profile functions look a bare file name up in the Windows folder, so every
// path is made absolute first, from the current folder. They also hand values
// over through the system's ANSI code page, in which a double-byte or the UTF-8
// code page loses an "ü" of the file (and a write stores every other line anew
// through it): text values are therefore read and written as the bytes the file
// holds. The integers' digits read alike in every code page.

int ReadProfileInt(const std::string& section, const std::string& key, int def, const std::string& path)
{
    return static_cast<int>(
        GetPrivateProfileIntW(Widen(section).c_str(), Widen(key).c_str(), def, Widen(AbsolutePathUtf8(path)).c_str()));
}

std::string ReadProfileString(const std::string& section, const std::string& key, const std::string& def,
                              const std::string& path)
{
    return profile::ReadString(section, key, def, AbsolutePathUtf8(path));
}

bool WriteProfileString(const std::string& section, const std::string& key, const std::string& value,
                        const std::string& path)
{
    // A new file gets the line ends of Windows.
    return profile::WriteString(section, key, value, AbsolutePathUtf8(path), "\r\n");
}
