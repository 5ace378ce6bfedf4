#pragma once
// Texts that the program's files hold as 8-bit text (a settings file or a print
// template written on Windows) are read as UTF-8 where they are valid UTF-8 and
// as Windows-1252 otherwise. Inside the program text is UTF-8.

#include <cstddef>
#include <string>
#include <string_view>

namespace files {

// Length of the valid UTF-8 at the start of s. cutShort tells whether what follows
// is a sequence that is correct as far as it goes but ends with s.
std::size_t ValidUtf8Prefix(std::string_view s, bool& cutShort);

// Windows-1252 bytes as UTF-8; the five bytes the code page leaves undefined
// become the C1 controls, as Windows reads them.
std::string Windows1252ToUtf8(std::string_view text);

// The text without the UTF-8 byte-order mark that some editors write in front
// of it ("UTF-8 with BOM"); it is no character of the text's first line.
std::string_view WithoutUtf8Bom(std::string_view bytes);

// The bytes as they are where they are valid UTF-8, else read as Windows-1252.
std::string DecodeEightBitText(std::string_view bytes);

// Code points of UTF-8 text; a byte that starts no valid sequence reads U+FFFD.
std::u32string Utf8ToCodePoints(std::string_view utf8);
std::string CodePointsToUtf8(std::u32string_view codePoints);

} // namespace files
