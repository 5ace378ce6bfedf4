#include "files/utf8_path.h"

#include <system_error>

std::filesystem::path PathFromUtf8(std::string_view utf8)
{
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string PathToUtf8(const std::filesystem::path& path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::string AbsolutePathUtf8(const std::string& path)
{
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(PathFromUtf8(path), error);
    return error || path.empty() ? path : PathToUtf8(absolute);
}
