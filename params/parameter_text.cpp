#include "params/parameter_text.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <limits>

namespace {

// The first five characters (STX and four more) are never part of a key.
constexpr std::size_t kScanStart = 5;
constexpr std::size_t kKeyLength = 3;
// After a number item the scan resumes five characters after the key's first letter.
constexpr std::size_t kNumberItemStep = 5;
// The relay's version text is always twelve characters; the scan skips key and text.
constexpr std::size_t kVersionLength = 12;
constexpr std::size_t kVersionItemStep = kKeyLength + kVersionLength;

// Truncates toward zero into the int32 range. Converting an out-of-range double
// to an integer is undefined, and a garbled reply must not be able to cause that.
std::int32_t TruncateToInt32(double value)
{
    if (std::isnan(value)) {
        return 0;
    }
    const double truncated = std::trunc(value);
    if (truncated >= static_cast<double>(std::numeric_limits<std::int32_t>::max())) {
        return std::numeric_limits<std::int32_t>::max();
    }
    if (truncated <= static_cast<double>(std::numeric_limits<std::int32_t>::min())) {
        return std::numeric_limits<std::int32_t>::min();
    }
    return static_cast<std::int32_t>(truncated);
}

// "0x%X" of the value's 32-bit two's complement: -1 shows as 0xFFFFFFFF.
std::string FormatHex32(std::int32_t value)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%X", static_cast<unsigned>(static_cast<std::uint32_t>(value)));
    return buffer;
}

struct NumberKey {
    const char* key;
    std::string ParameterSet::*member;
};

constexpr NumberKey kNumberKeys[] = {
    {"HYS", &ParameterSet::HYS}, {"SWB", &ParameterSet::SWB}, {"UPL", &ParameterSet::UPL}, {"UPP", &ParameterSet::UPP},
    {"UMI", &ParameterSet::UMI}, {"UMM", &ParameterSet::UMM}, {"SVZ", &ParameterSet::SVZ},
};

} // namespace

void ParseParameterText(std::string_view text, ScanMode mode, ParameterSet& target, DeviceInfo* info)
{
    // Replies and file lines are zero-terminated in their buffers: nothing after a NUL counts.
    const std::size_t n = std::min(text.find('\0'), text.size());
    text = text.substr(0, n);
    const bool full = mode == ScanMode::Full;

    std::size_t i = kScanStart;
    while (i < n) {
        const std::string_view key = text.substr(i, kKeyLength); // shorter near the end: matches nothing
        // The value starts right after the key and may run to the end of the text.
        const std::string_view value = i + kKeyLength <= n ? text.substr(i + kKeyLength) : std::string_view();

        const auto numberKey = std::find_if(std::begin(kNumberKeys), std::end(kNumberKeys),
                                            [&](const NumberKey& k) { return key == k.key; });
        if (numberKey != std::end(kNumberKeys)) {
            target.*(numberKey->member) = FormatFixed1(ReadNumber(value));
            i += kNumberItemStep;
        } else if (key == "INV") {
            target.INV = TruncateToInt32(ReadNumber(value));
            i += kNumberItemStep;
        } else if (full && key == "KAL") {
            if (info != nullptr) {
                info->KAL = FormatFixed1(ReadNumber(value) * 10.0);
            }
            i += kNumberItemStep;
        } else if (full && key == "K0V") {
            if (info != nullptr) {
                info->K0V = FormatHex32(TruncateToInt32(ReadNumber(value) * 10.0));
            }
            i += kNumberItemStep;
        } else if (full && key == "VER") {
            if (info != nullptr) {
                info->VER = std::string(value.substr(0, kVersionLength));
            }
            i += kVersionItemStep;
        } else {
            ++i;
        }
    }
}

std::string BuildSparText(const ParameterSet& set)
{
    // Field order of the relay's write command; every item, the last too, ends with ';'.
    std::string text = "SPAR:";
    text += "HYS" + set.HYS + ';';
    text += "SWB" + set.SWB + ';';
    text += "UPL" + set.UPL + ';';
    text += "UPP" + set.UPP + ';';
    text += "UMI" + set.UMI + ';';
    text += "UMM" + set.UMM + ';';
    text += "INV" + std::to_string(set.INV) + ';';
    text += "SVZ" + set.SVZ + ';';
    return text;
}
