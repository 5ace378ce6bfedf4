#include "files/utf8_path.h"

#include <string>

std::FILE* OpenFileUtf8(const std::string& path, const char* mode)
{
    const std::wstring wideMode(mode, mode + std::char_traits<char>::length(mode));
    return _wfopen(PathFromUtf8(path).c_str(), wideMode.c_str());
}
