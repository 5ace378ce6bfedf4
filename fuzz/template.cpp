// Any bytes as a print template, laid out with any margins and page length and
// any values: every line stays on its page, within its length, with its
// placeholders replaced; no line is lost or made up.

#include "files/text_encoding.h"
#include "fuzz/support.h"
#include "params/printout.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

// A value as the printout gets it: one line of text without a "$" (dates, times, numbers).
std::string ValueText(FuzzedDataProvider& input)
{
    std::string text = input.ConsumeRandomLengthString(24);
    for (char& c : text) {
        if (c == '$' || c == '\n')
            c = '?';
    }
    return text;
}

// Lines the layout must print: every line of the text up to its first NUL that
// does not start with ';', a last line without LF included.
std::size_t PrintableLines(std::u32string_view text)
{
    std::size_t lines = 0;
    while (!text.empty()) {
        const std::size_t lf = text.find(U'\n');
        lines += text.front() == U';' ? 0 : 1;
        text.remove_prefix(lf == std::u32string_view::npos ? text.size() : lf + 1);
    }
    return lines;
}

bool IsWhiteSpace(char32_t c)
{
    return c == U' ' || (c >= U'\t' && c <= U'\r');
}

void CheckLineFunctions(std::u32string_view text, const PrintValues& values)
{
    TemplateCursor cursor(text);
    std::u32string line;
    long long last = -1;
    while (true) {
        const long long offset = NextTemplateLine(line, cursor);
        if (offset < 0) {
            FUZZ_REQUIRE(line.empty());
            break;
        }
        FUZZ_REQUIRE(offset > last && static_cast<std::size_t>(offset) < text.size());
        FUZZ_REQUIRE(line.size() <= kMaxPrintLine &&
                     text.substr(static_cast<std::size_t>(offset), line.size()) == line);
        last = offset;

        SubstitutePlaceholders(line, values);
        FUZZ_REQUIRE(line.size() <= kMaxPrintLine);
        FUZZ_REQUIRE(line.find(U'$') == std::u32string::npos);
        StripTrailingBlanks(line);
        FUZZ_REQUIRE(line.empty() || !IsWhiteSpace(line.back()));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    PrintValues values;
    for (std::string& slot : values.table)
        slot = ValueText(input);
    values.date = ValueText(input);
    values.time = ValueText(input);
    PrintMargins margins;
    margins.top = input.ConsumeIntegral<int>();
    margins.bottom = input.ConsumeIntegral<int>();
    margins.left = input.ConsumeIntegral<int>();
    const int linesPerPage = input.ConsumeIntegral<int>();
    const std::string bytes = input.ConsumeRemainingBytesAsString();

    const std::string_view beforeNul = std::string_view(bytes).substr(0, bytes.find('\0'));
    // A leading byte-order mark is not part of the template's text.
    const std::u32string text = files::Utf8ToCodePoints(files::DecodeEightBitText(files::WithoutUtf8Bom(beforeNul)));
    CheckLineFunctions(text, values);

    const std::vector<PrintedPage> pages = LayOutPrintout(bytes, values, margins, linesPerPage);
    FUZZ_REQUIRE(!pages.empty());
    const int pageLines = linesPerPage < 1 ? 1 : linesPerPage;
    std::size_t printed = 0;
    for (std::size_t p = 0; p < pages.size(); ++p) {
        FUZZ_REQUIRE(p == 0 || !pages[p].empty());
        for (std::size_t i = 0; i < pages[p].size(); ++i) {
            const PrintedLine& line = pages[p][i];
            FUZZ_REQUIRE(line.line >= 0 && line.line < pageLines);
            FUZZ_REQUIRE(i == 0 || line.line == pages[p][i - 1].line + 1);
            const std::u32string chars = files::Utf8ToCodePoints(line.text);
            FUZZ_REQUIRE(chars.size() <= kMaxPrintLine);
            FUZZ_REQUIRE_SAYING(chars.find_first_of(U"$\n") == std::u32string::npos,
                                "template " + Escaped(bytes) + " printed " + Escaped(line.text));
            FUZZ_REQUIRE(chars.empty() || !IsWhiteSpace(chars.back()));
        }
        printed += pages[p].size();
    }
    FUZZ_REQUIRE(printed == PrintableLines(text));
    return 0;
}
