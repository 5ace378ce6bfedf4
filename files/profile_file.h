#pragma once
// Profile files ([SECTION] lines and key=value lines) read and written by the
// program itself, with the semantics of the Windows profile functions: section
// and key names match without regard to case, whitespace around names and values
// is ignored, lines starting with ';' are comments, other lines without '=' are
// skipped, and lines before the first section belong to none. LF and CRLF line
// ends both read. The settings file on every platform: on Windows for the text
// values and every write, which it keeps to the bytes the file holds whatever the
// system's code page.

#include <cstddef>
#include <string>
#include <string_view>

namespace profile {

// A text value is read into a 512-character buffer: at most 511 characters of the file.
inline constexpr std::size_t kMaxValueLength = 511;

// The leading decimal digits of the value, after an optional sign (0 when no digit
// follows; INT_MAX or INT_MIN when they exceed an int); def when the file, section
// or key is missing or the value is empty.
int ReadInt(std::string_view section, std::string_view key, int def, const std::string& path);

// The value as UTF-8 (see DecodeValue), or def when the file, section or key is missing.
std::string ReadString(std::string_view section, std::string_view key, const std::string& def, const std::string& path);

// Replaces the value of the first matching key in the first matching section,
// adds the key after the last key of its section, or the section at the end of
// the file, and creates the file when missing. Every other byte stays as it was;
// a new line takes the file's line-end style, or newFileLineEnd in a file that
// has no line end yet. A value with blanks at either end, or
// enclosed in quotes, is stored in double quotes so that it reads back unchanged.
// The new content goes to a temporary file in the same folder that then replaces
// the old one, so the file is never left half-written. false when the file cannot
// be written, or when a name or the value cannot be stored on one line (a name
// with blanks at an end would never be found again).
bool WriteString(std::string_view section, std::string_view key, std::string_view value, const std::string& path,
                 std::string_view newFileLineEnd = "\n");

// A value as the file holds it (or its first 511 bytes, as the Windows profile
// functions hand it over) turned into UTF-8: valid UTF-8 stays as it is, anything
// else is Windows-1252. At most 511 bytes of the file's text are taken, and a
// UTF-8 sequence is never cut in half.
std::string DecodeValue(std::string_view raw);

} // namespace profile
