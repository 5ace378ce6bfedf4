#pragma once
// The splitting of a text at a delimiter, one field per call: the printout's
// parameters and the printer's device entry ("name,driver,port") are split so.

#include <cstddef>
#include <optional>
#include <string_view>

// A cursor made from a text starts at its beginning; a default one has no text
// in progress.
struct FieldCursor {
    FieldCursor() = default;
    explicit FieldCursor(std::string_view whole) : text(whole), next(0) {}
    std::string_view text;
    std::optional<std::size_t> next; // where the next field starts; nothing once the text is used up
};

// The next field up to the first character of delimiters or the end of the text;
// an empty field between two delimiters is returned empty, not skipped. Nothing
// when the field would start at the end of the text or no text is in progress.
std::optional<std::string_view> NextField(FieldCursor& cursor, std::string_view delimiters);
