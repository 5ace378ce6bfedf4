#include "files/utf8_path.h"

std::FILE* OpenFileUtf8(const std::string& path, const char* mode)
{
    return std::fopen(path.c_str(), mode);
}
