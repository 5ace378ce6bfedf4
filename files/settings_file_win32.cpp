// Settings file on Windows: the platform's own profile functions.

#include "files/settings_file.h"

#include "files/profile_file.h"
#include "files/utf8_path.h"
#include "files/wide.h"

#include <windows.h>

// <windows.h> makes WriteProfileString a macro for the win.ini function WriteProfileStringW;
// without this the function below would be defined under that name and callers would not find it.
#undef WriteProfileString

namespace {

// Values keep the bytes the narrow profile functions would store: each byte
// stands for its character in the ANSI code page, which the profile functions
// use again to write the file. A value this program wrote as UTF-8 therefore
// comes back byte for byte. The file's path, though, is UTF-16, so that a
// folder named with any character is found, and absolute: the profile functions
// look a bare file name up in the Windows folder.
std::wstring AnsiToWide(const std::string& bytes)
{
    return Widen(bytes, CP_ACP);
}

std::string WideToAnsi(std::wstring_view wide)
{
    return Narrow(wide, CP_ACP);
}

} // namespace

int ReadProfileInt(const std::string& section, const std::string& key, int def, const std::string& path)
{
    return static_cast<int>(GetPrivateProfileIntW(AnsiToWide(section).c_str(), AnsiToWide(key).c_str(), def,
                                                  Widen(AbsolutePathUtf8(path)).c_str()));
}

std::string ReadProfileString(const std::string& section, const std::string& key, const std::string& def,
                              const std::string& path)
{
    wchar_t buffer[profile::kMaxValueLength + 1] = {};
    const DWORD length =
        GetPrivateProfileStringW(AnsiToWide(section).c_str(), AnsiToWide(key).c_str(), AnsiToWide(def).c_str(), buffer,
                                 static_cast<DWORD>(std::size(buffer)), Widen(AbsolutePathUtf8(path)).c_str());
    // The file's 8-bit text (or a UTF-8 value this program wrote) becomes UTF-8.
    return profile::DecodeValue(WideToAnsi(std::wstring_view(buffer, length)));
}

bool WriteProfileString(const std::string& section, const std::string& key, const std::string& value,
                        const std::string& path)
{
    return WritePrivateProfileStringW(AnsiToWide(section).c_str(), AnsiToWide(key).c_str(), AnsiToWide(value).c_str(),
                                      Widen(AbsolutePathUtf8(path)).c_str()) != FALSE;
}
