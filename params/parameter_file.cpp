#include "params/parameter_file.h"

#include <cstdio>

#include "files/atomic_file.h"
#include "files/utf8_path.h"
#include "files/text_encoding.h"
#include "link/frame.h"
#include "params/parameter_text.h"

namespace {

constexpr std::string_view kSuffix = ".PAR";

} // namespace

std::string FormatParameterRecord(const ParameterSet& set)
{
    return STX + BuildSparText(set);
}

ParameterFileResult WriteParameterFile(const std::string& path, const ParameterSet& set)
{
    return files::WriteFileAtomically(path, FormatParameterRecord(set)) ? ParameterFileResult::Ok
                                                                        : ParameterFileResult::CannotWrite;
}

ParameterFileResult ReadParameterLine(const std::string& path, std::string& line)
{
    std::FILE* file = OpenFileUtf8(path, "rb");
    if (file == nullptr)
        return ParameterFileResult::CannotOpen;
    char buffer[kMaxParameterLine];
    const std::size_t count = std::fread(buffer, 1, sizeof buffer, file);
    // A folder opens on POSIX but cannot be read.
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed)
        return ParameterFileResult::CannotOpen;
    const std::string_view bytes = files::WithoutUtf8Bom(std::string_view(buffer, count));
    line = bytes.substr(0, bytes.find('\n') == std::string_view::npos ? bytes.size() : bytes.find('\n') + 1);
    return ParameterFileResult::Ok;
}

std::string CannotReadMessage(std::string_view path)
{
    return "File " + std::string(path) + " kann nicht gelesen werden";
}

std::string CannotWriteMessage(std::string_view path)
{
    return "File " + std::string(path) + " kann nicht geschrieben werden";
}

std::string WithParameterSuffix(const std::string& path)
{
    std::string last = path.substr(path.size() < kSuffix.size() ? 0 : path.size() - kSuffix.size());
    for (char& c : last) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return last == kSuffix ? path : path + ".par";
}

std::string_view PathSeparators(PathStyle style)
{
    return style == PathStyle::Windows ? "\\/" : "/";
}

std::string FolderOf(const std::string& path, PathStyle style)
{
    const std::size_t last = path.find_last_of(PathSeparators(style));
    if (last == std::string::npos)
        return {};
    if (last == 0 && style == PathStyle::Posix)
        return "/";
    return path.substr(0, last);
}

std::string FileTitleOf(const std::string& path, PathStyle style)
{
    const std::size_t last = path.find_last_of(PathSeparators(style));
    const std::string name = last == std::string::npos ? path : path.substr(last + 1);
    const std::size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}
