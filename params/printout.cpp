#include "params/printout.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>

#include "files/settings_file.h"
#include "files/text_encoding.h"
#include "files/utf8_path.h"
#include "params/parameter_file.h"

namespace {

constexpr const char* kTemplateName = "Maske.txt";
constexpr char32_t kBlank = U' ';

bool IsDigit(char32_t c)
{
    return c >= U'0' && c <= U'9';
}

bool IsWhiteSpace(char32_t c)
{
    return c == U' ' || (c >= U'\t' && c <= U'\r');
}

// The value of the placeholder whose "$" stands just before pos.
std::u32string PlaceholderValue(const std::u32string& line, std::size_t pos, const PrintValues& values)
{
    if (pos >= line.size())
        return {};
    const char32_t c = line[pos];
    if (c == U'D' || c == U'd')
        return files::Utf8ToCodePoints(values.date);
    if (c == U'T' || c == U't')
        return files::Utf8ToCodePoints(values.time);
    if (!IsDigit(c))
        return {};
    // Every digit in a row counts; a number past the table is empty, however long.
    std::size_t slot = 0;
    for (std::size_t i = pos; i < line.size() && IsDigit(line[i]); ++i)
        slot = std::min<std::size_t>(slot * 10 + (line[i] - U'0'), kValueSlots);
    return slot < kValueSlots ? files::Utf8ToCodePoints(values.table[slot]) : std::u32string();
}

} // namespace

ValueTable BuildValueTable(const ParameterSet& set)
{
    ParameterSet normalized = set;
    NormalizeTexts(normalized);
    ValueTable table;
    table[0] = normalized.HYS;
    table[1] = normalized.SVZ;
    table[2] = normalized.UMI;
    table[3] = normalized.UMM;
    table[4] = normalized.UPL;
    table[5] = normalized.UPP;
    table[6] = normalized.SWB;
    table[7] = set.INV != 0 ? "ja  " : "nein";
    return table;
}

long long NextTemplateLine(std::u32string& line, TemplateCursor& cursor)
{
    line.clear();
    if (cursor.position >= cursor.text.size())
        return -1;
    const std::size_t start = cursor.position;
    const std::size_t lf = cursor.text.find(U'\n', start);
    const std::size_t end = lf == std::u32string_view::npos ? cursor.text.size() : lf + 1;
    line = cursor.text.substr(start, std::min(end - start, kMaxPrintLine));
    cursor.position = end;
    return static_cast<long long>(start);
}

void SubstitutePlaceholders(std::u32string& line, const PrintValues& values)
{
    // The scan also passes over the characters a value has just written.
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] != U'$')
            continue;
        const std::u32string value = PlaceholderValue(line, i + 1, values);
        if (value.empty()) {
            const std::size_t blank = line.find(kBlank, i);
            std::fill(line.begin() + static_cast<std::ptrdiff_t>(i),
                      blank == std::u32string::npos ? line.end() : line.begin() + static_cast<std::ptrdiff_t>(blank),
                      kBlank);
            continue;
        }
        const std::size_t length = std::min(value.size(), i < kMaxPrintLine ? kMaxPrintLine - i : 0);
        if (line.size() < i + length)
            line.resize(i + length);
        line.replace(i, length, value, 0, length);
        if (i + length < line.size() && line[i + length] != kBlank)
            line[i + length] = kBlank;
    }
}

void StripTrailingBlanks(std::u32string& line)
{
    while (!line.empty() && IsWhiteSpace(line.back()))
        line.pop_back();
}

PrintMargins ReadPrintMargins(const std::string& iniPath)
{
    PrintMargins margins;
    margins.top = ReadProfileInt("PARAMS", "MARGINTOP", margins.top, iniPath);
    margins.bottom = ReadProfileInt("PARAMS", "MARGINBOTTOM", margins.bottom, iniPath);
    margins.left = ReadProfileInt("PARAMS", "MARGINLEFT", margins.left, iniPath);
    return margins;
}

std::string TemplatePathFor(const std::string& iniPath)
{
    const std::size_t last = iniPath.find_last_of(PathSeparators());
    return (last == std::string::npos ? std::string() : iniPath.substr(0, last + 1)) + kTemplateName;
}

std::optional<std::string> ReadTemplateFile(const std::string& path)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(PathFromUtf8(path), error))
        return std::nullopt;
    std::ifstream in(PathFromUtf8(path), std::ios::binary);
    if (!in)
        return std::nullopt;
    try {
        std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        if (in.bad())
            return std::nullopt;
        return bytes;
    } catch (const std::bad_alloc&) {
        return std::nullopt; // no memory for a template this large: it cannot be read
    }
}

std::vector<PrintedPage> LayOutPrintout(std::string_view templateBytes, const PrintValues& values,
                                        const PrintMargins& margins, int linesPerPage)
{
    const std::u32string text = files::Utf8ToCodePoints(
        files::DecodeEightBitText(files::WithoutUtf8Bom(templateBytes.substr(0, templateBytes.find('\0')))));
    const int pageLines = std::max(linesPerPage, 1);
    const int first = std::clamp(margins.top, 0, pageLines - 1);
    const int last = std::max(first, pageLines - 1 - std::max(margins.bottom, 0));
    const std::u32string indent(
        std::min<std::size_t>(static_cast<std::size_t>(std::max(margins.left, 0)), kMaxPrintLine), kBlank);

    std::vector<PrintedPage> pages(1);
    int y = first;
    TemplateCursor cursor(text);
    std::u32string line;
    while (NextTemplateLine(line, cursor) >= 0) {
        if (!line.empty() && line.front() == U';')
            continue;
        if (y > last) {
            pages.emplace_back();
            y = first;
        }
        std::u32string printed = (indent + line).substr(0, kMaxPrintLine);
        SubstitutePlaceholders(printed, values);
        StripTrailingBlanks(printed);
        pages.back().push_back({y, files::CodePointsToUtf8(printed)});
        ++y;
    }
    return pages;
}
