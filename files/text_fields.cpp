#include "files/text_fields.h"

std::optional<std::string_view> NextField(FieldCursor& cursor, std::string_view delimiters)
{
    if (!cursor.next || *cursor.next >= cursor.text.size()) {
        cursor.next.reset();
        return std::nullopt;
    }
    const std::size_t start = *cursor.next;
    const std::size_t end = delimiters.empty() ? std::string_view::npos : cursor.text.find(delimiters[0], start);
    if (end == std::string_view::npos) {
        cursor.next.reset();
        return cursor.text.substr(start);
    }
    cursor.next = end + 1;
    return cursor.text.substr(start, end - start);
}
