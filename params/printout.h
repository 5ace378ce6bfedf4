#pragma once
// The printout: a text template (Maske.txt) printed line by line, its
// placeholders replaced by the eight values, the date and the time, and the
// lines laid out on pages in character cells. No printing interface here: a
// backend draws the lines where the layout puts them.

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "files/text_fields.h"
#include "params/parameter_set.h"

// Twenty slots; the printout fills 0 to 7.
inline constexpr std::size_t kValueSlots = 20;
using ValueTable = std::array<std::string, kValueSlots>;

// Slots 0 to 6: HYS, SVZ, UMI, UMM, UPL, UPP, SWB as normalized texts, computed
// for the table only; slot 7: "ja  " when INV is not 0, else "nein".
ValueTable BuildValueTable(const ParameterSet& set);

// What the placeholders stand for: "$0" to "$19" the slots, "$D" the date, "$T" the time.
struct PrintValues {
    ValueTable table;
    std::string date; // UTF-8
    std::string time;
};

// A printed line, with its indent and values, holds at most this many characters.
inline constexpr std::size_t kMaxPrintLine = 511;

// The reading of a template's lines, one per call; a new cursor starts over.
struct TemplateCursor {
    explicit TemplateCursor(std::u32string_view whole) : text(whole) {}
    std::u32string_view text;
    std::size_t position = 0;
};

// Copies the next line of the template, with its LF, into line, and returns the
// line's offset in the template; -1 with an empty line when none is left. Of a
// longer line the first kMaxPrintLine characters are taken, the rest is skipped.
long long NextTemplateLine(std::u32string& line, TemplateCursor& cursor);

// Replaces every placeholder of line in place. A value overwrites the "$" and the
// characters after it one for one (lengthening the line where it ends), and
// the character right after it, if not a blank, becomes one. An empty value (a
// slot other than 0 to 7, "$" before anything else) blanks the "$" and
// everything up to the next blank. The line never grows beyond kMaxPrintLine.
void SubstitutePlaceholders(std::u32string& line, const PrintValues& values);

// Removes trailing white space (blank, tab, CR, LF, VT, FF).
void StripTrailingBlanks(std::u32string& line);

// From section PARAMS of the settings file, read at each printout.
struct PrintMargins {
    int top = 1;    // lines above the first printed line
    int bottom = 1; // lines kept free at the foot of each page
    int left = 1;   // blanks before each printed line
};
PrintMargins ReadPrintMargins(const std::string& iniPath);

// The template lies beside the settings file.
std::string TemplatePathFor(const std::string& iniPath);

// The whole template file; nothing when it is missing, a folder or unreadable.
std::optional<std::string> ReadTemplateFile(const std::string& path);

// A line on a page: its line number from the top of the printable area (in
// lines of the printer's font) and its text, drawn from column 0.
struct PrintedLine {
    int line;
    std::string text; // UTF-8
    bool operator==(const PrintedLine&) const = default;
};
using PrintedPage = std::vector<PrintedLine>;

// Lays the template out on pages of linesPerPage lines. The template is text up
// to its first NUL, UTF-8 where valid and Windows-1252 otherwise. Lines starting
// with ";" are comments and take no line; every other line, an empty one too,
// is indented, substituted, stripped and put on the next line. The first line
// of each page is margins.top, the last linesPerPage - 1 - margins.bottom (at
// least one line a page); the rest goes on the next page. Always one page at least.
std::vector<PrintedPage> LayOutPrintout(std::string_view templateBytes, const PrintValues& values,
                                        const PrintMargins& margins, int linesPerPage);
