#include "files/profile_file.h"

#include "files/atomic_file.h"
#include "files/text_encoding.h"
#include "files/utf8_path.h"

#include <algorithm>
#include <climits>
#include <filesystem>
#include <fstream>
#include <optional>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace profile {
namespace {

constexpr std::string_view kBlanks = " \t\v\f\r";
constexpr char kCommentMark = ';';

// One line of the file: [begin, end) is its text without the line end, next is where the following line starts.
struct Line {
    std::size_t begin;
    std::size_t end;
    std::size_t next;
};

enum class LineKind { Other, Section, Key };

// What a line says: a section header with its name, a key with its value, or nothing.
struct ParsedLine {
    LineKind kind = LineKind::Other;
    std::string_view name;
    std::size_t valueBegin = 0; // the trimmed value, as offsets into the whole text
    std::size_t valueEnd = 0;
};

std::string_view Trim(std::string_view s)
{
    const std::size_t first = s.find_first_not_of(kBlanks);
    if (first == std::string_view::npos)
        return {};
    const std::size_t last = s.find_last_not_of(kBlanks);
    return s.substr(first, last - first + 1);
}

char AsciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i]))
            return false;
    }
    return true;
}

std::vector<Line> SplitLines(std::string_view text)
{
    std::vector<Line> lines;
    // A byte-order mark in front of the first line is not part of it.
    std::size_t pos = text.size() - files::WithoutUtf8Bom(text).size();
    while (pos < text.size()) {
        std::size_t lf = text.find('\n', pos);
        const std::size_t next = lf == std::string_view::npos ? text.size() : lf + 1;
        std::size_t end = lf == std::string_view::npos ? text.size() : lf;
        if (end > pos && text[end - 1] == '\r')
            --end;
        lines.push_back({pos, end, next});
        pos = next;
    }
    return lines;
}

ParsedLine Parse(std::string_view text, const Line& line)
{
    ParsedLine parsed;
    const std::string_view content = Trim(text.substr(line.begin, line.end - line.begin));
    if (content.empty() || content.front() == kCommentMark)
        return parsed;
    if (content.front() == '[') {
        // The name runs to the closing bracket, or to the end of a line that lacks one.
        const std::string_view inner = content.substr(1);
        parsed.kind = LineKind::Section;
        parsed.name = Trim(inner.substr(0, inner.find(']')));
        return parsed;
    }
    const std::size_t eq = content.find('=');
    if (eq == std::string_view::npos)
        return parsed;
    parsed.kind = LineKind::Key;
    parsed.name = Trim(content.substr(0, eq));
    const std::string_view value = Trim(content.substr(eq + 1));
    // Offsets into the whole text, so that a write can replace exactly the value.
    // An empty value has no place of its own (its data() is null): it sits at the
    // end of the line's content.
    parsed.valueBegin = value.empty() ? static_cast<std::size_t>(content.data() - text.data()) + content.size()
                                      : static_cast<std::size_t>(value.data() - text.data());
    parsed.valueEnd = parsed.valueBegin + value.size();
    return parsed;
}

// Where a key is, or where it would go.
struct KeyPlace {
    std::optional<std::size_t> sectionLine; // header of the first matching section
    std::optional<ParsedLine> key;          // first matching key in it
    std::size_t lastLineWithKey = 0;        // last key line of that section, or its header
};

KeyPlace Locate(std::string_view text, const std::vector<Line>& lines, std::string_view section, std::string_view key)
{
    KeyPlace place;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const ParsedLine parsed = Parse(text, lines[i]);
        if (parsed.kind == LineKind::Section) {
            if (place.sectionLine)
                break; // the first matching section has ended
            if (SameName(parsed.name, section)) {
                place.sectionLine = i;
                place.lastLineWithKey = i;
            }
        } else if (parsed.kind == LineKind::Key && place.sectionLine) {
            place.lastLineWithKey = i;
            if (!place.key && SameName(parsed.name, key))
                place.key = parsed;
        }
    }
    return place;
}

// The whole file, or nothing when it cannot be read whole (missing, a folder, unreadable).
std::optional<std::string> ReadAll(const fs::path& path)
{
    std::error_code ec;
    if (!fs::is_regular_file(path, ec))
        return std::nullopt; // a folder "opens" but has no sensible size
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    const std::streamoff size = in ? static_cast<std::streamoff>(in.tellg()) : -1;
    if (size < 0 || !in.seekg(0))
        return std::nullopt;
    std::string bytes(static_cast<std::size_t>(size), '\0');
    in.read(bytes.data(), size);
    if (in.gcount() != size)
        return std::nullopt;
    return bytes;
}

// The raw value of the key, without one pair of enclosing quotes; nothing when missing.
std::optional<std::string> FindValue(std::string_view section, std::string_view key, const std::string& path)
{
    const std::optional<std::string> text = ReadAll(PathFromUtf8(path));
    if (!text)
        return std::nullopt;
    const KeyPlace place = Locate(*text, SplitLines(*text), section, key);
    if (!place.key)
        return std::nullopt;
    std::string_view value(text->data() + place.key->valueBegin, place.key->valueEnd - place.key->valueBegin);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return std::string(value);
}

// Names and values are stored on one line: no line ends, and nothing that would
// read back as a comment, a section header or a different key. Reading trims
// names, so a name with blanks at an end could never be found again.
bool StorableName(std::string_view name, std::string_view forbidden)
{
    const std::string_view trimmed = Trim(name);
    return !trimmed.empty() && trimmed.size() == name.size() && trimmed.front() != kCommentMark &&
           trimmed.front() != '[' && name.find_first_of(forbidden) == std::string_view::npos;
}

// Reading trims blanks at either end of a value and removes one pair of enclosing
// quotes. A value that would lose something that way is stored in double quotes,
// so that it reads back exactly as written (a folder whose name ends in a blank).
std::string StoredValue(std::string_view value)
{
    const bool blankAtAnEnd = Trim(value).size() != value.size();
    const bool enclosed =
        value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front();
    if (!blankAtAnEnd && !enclosed)
        return std::string(value);
    std::string quoted(1, '"');
    quoted.append(value).push_back('"');
    return quoted;
}

std::string LineEndOf(std::string_view text, std::string_view none)
{
    const std::size_t lf = text.find('\n');
    if (lf == std::string_view::npos)
        return std::string(none);
    return lf > 0 && text[lf - 1] == '\r' ? "\r\n" : "\n";
}

} // namespace

int ReadInt(std::string_view section, std::string_view key, int def, const std::string& path)
{
    const std::optional<std::string> value = FindValue(section, key, path);
    // Windows reads the value as a string first, so an empty value is as good as a missing one.
    if (!value || value->empty())
        return def;
    std::string_view digits = *value;
    const bool negative = digits.front() == '-';
    if (digits.front() == '-' || digits.front() == '+')
        digits.remove_prefix(1);
    long long number = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9')
            break;
        number = number * 10 + (c - '0');
        if (number > INT_MAX) // Windows wraps at 32 bits; a huge number stays huge here
            return negative ? INT_MIN : INT_MAX;
    }
    return static_cast<int>(negative ? -number : number);
}

std::string ReadString(std::string_view section, std::string_view key, const std::string& def, const std::string& path)
{
    const std::optional<std::string> value = FindValue(section, key, path);
    return value ? DecodeValue(*value) : def;
}

std::string DecodeValue(std::string_view raw)
{
    bool cutShort = false;
    if (files::ValidUtf8Prefix(raw, cutShort) == raw.size()) {
        // Valid UTF-8: at most 511 bytes, backed off to the start of a sequence.
        std::size_t length = std::min(raw.size(), kMaxValueLength);
        while (length < raw.size() && length > 0 && (static_cast<unsigned char>(raw[length]) & 0xC0) == 0x80)
            --length;
        return std::string(raw.substr(0, length));
    }
    const std::string_view text = raw.substr(0, kMaxValueLength);
    // UTF-8 that the 511-byte limit of the Windows functions cut inside a sequence: drop the broken end.
    const std::size_t valid = files::ValidUtf8Prefix(text, cutShort);
    if (raw.size() == kMaxValueLength && cutShort)
        return std::string(text.substr(0, valid));
    return files::Windows1252ToUtf8(text);
}

bool WriteString(std::string_view section, std::string_view key, std::string_view value, const std::string& path,
                 std::string_view newFileLineEnd)
{
    if (!StorableName(section, "\r\n]") || !StorableName(key, "\r\n=") ||
        value.find_first_of("\r\n") != std::string_view::npos)
        return false;

    std::error_code ec;
    fs::path target = PathFromUtf8(path);
    if (fs::is_symlink(target, ec)) {
        target = fs::canonical(target, ec); // read the file the link points to
        if (ec)
            return false;
    }
    std::string text;
    const fs::file_status status = fs::status(target, ec);
    if (fs::exists(status)) {
        if (!fs::is_regular_file(status))
            return false;
        std::optional<std::string> old = ReadAll(target);
        if (!old)
            return false; // never replace a file that could not be read
        text = std::move(*old);
    } else if (ec && ec != std::errc::no_such_file_or_directory) {
        return false;
    }

    const std::string eol = LineEndOf(text, newFileLineEnd);
    const std::string stored = StoredValue(value);
    const std::string keyLine = std::string(key) + "=" + stored;
    const std::vector<Line> lines = SplitLines(text);
    const KeyPlace place = Locate(text, lines, section, key);
    if (place.key) {
        text.replace(place.key->valueBegin, place.key->valueEnd - place.key->valueBegin, stored);
    } else if (place.sectionLine) {
        const Line& after = lines[place.lastLineWithKey];
        const bool ended = after.next > after.end && text[after.next - 1] == '\n';
        text.insert(after.next, (ended ? "" : eol) + keyLine + eol);
    } else {
        const bool ended = text.empty() || text.back() == '\n';
        text += (ended ? "" : eol) + "[" + std::string(section) + "]" + eol + keyLine + eol;
    }
    return files::WriteFileAtomically(PathToUtf8(target), text);
}

} // namespace profile
