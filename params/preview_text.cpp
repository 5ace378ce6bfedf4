#include "params/preview_text.h"

#include <cstddef>

namespace {

constexpr const char* kLineEnd = "\r\n";
// Every value is right-aligned in a field this wide; a longer text is shown whole.
constexpr std::size_t kValueWidth = 8;
constexpr const char* kColumnGap = "     ";

std::string RightAligned(const std::string& value)
{
    if (value.size() >= kValueWidth) {
        return value;
    }
    return std::string(kValueWidth - value.size(), ' ') + value;
}

const char* InvertText(std::int32_t inv)
{
    return inv != 0 ? "  ja" : "nein";
}

struct PreviewRow {
    const char* label; // 15 characters wide
    std::string ParameterSet::*member;
};

// Row order of the table; neither the protocol's order nor that of the window.
constexpr PreviewRow kRows[] = {
    {"Sollwertbezug  ", &ParameterSet::SWB}, {"U>             ", &ParameterSet::UPL},
    {"U>>            ", &ParameterSet::UPP}, {"U<             ", &ParameterSet::UMI},
    {"U<<            ", &ParameterSet::UMM}, {"Schaltverz.    ", &ParameterSet::SVZ},
    {"Hysterese      ", &ParameterSet::HYS},
};

} // namespace

std::string BuildPreviewText(const std::string& columnTitle, const ParameterSet& deviceSet, const ParameterSet& newSet)
{
    std::string text;
    text += "                  KORVEN       " + columnTitle + kLineEnd;
    text += std::string(38, '-') + kLineEnd;
    for (const PreviewRow& row : kRows) {
        text += row.label;
        text += RightAligned(deviceSet.*(row.member));
        text += kColumnGap;
        text += RightAligned(newSet.*(row.member));
        text += kLineEnd;
    }
    // The four-character texts end in the same columns as the values above them.
    text += "Invertieren        ";
    text += InvertText(deviceSet.INV);
    text += "         ";
    text += InvertText(newSet.INV);
    text += kLineEnd;
    return text;
}
