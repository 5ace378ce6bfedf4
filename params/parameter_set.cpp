#include "params/parameter_set.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <limits>
#include <system_error>

namespace {

// isspace in the C locale; bytes of 0x80 and above never count, whatever the locale.
bool IsCSpace(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Exponents are summed with the mantissa's decimal position; capping them keeps
// the sum exact enough to tell overflow from underflow without risk of wrapping.
constexpr long long kExponentCap = 1'000'000'000'000LL;

// Decimal position of the first non-zero digit of "int.frac": 3 for 123.4, 0 for
// 0.5, -2 for 0.005. Only called when some digit is non-zero.
long long LeadingDigitPosition(std::string_view intPart, std::string_view fracPart)
{
    const auto firstInt = intPart.find_first_not_of('0');
    if (firstInt != std::string_view::npos) {
        return static_cast<long long>(intPart.size() - firstInt);
    }
    const auto firstFrac = fracPart.find_first_not_of('0');
    return -static_cast<long long>(firstFrac);
}

// Single precision of a double the way the FPU rounds it: a value beyond the
// float range becomes an infinity instead of being undefined in C++.
float ToSingle(double value)
{
    // Halfway between FLT_MAX and 2^128: from here on round-to-nearest gives infinity.
    constexpr double kOverflowFrom = 340282356779733661637539395458142568448.0; // 2^128 - 2^103
    constexpr float kInf = std::numeric_limits<float>::infinity();
    constexpr float kMax = std::numeric_limits<float>::max();
    if (std::isnan(value)) {
        return std::numeric_limits<float>::quiet_NaN();
    }
    if (value >= kOverflowFrom) {
        return kInf;
    }
    if (value <= -kOverflowFrom) {
        return -kInf;
    }
    if (value > static_cast<double>(kMax)) {
        return kMax;
    }
    if (value < -static_cast<double>(kMax)) {
        return -kMax;
    }
    return static_cast<float>(value);
}

} // namespace

double ReadNumber(std::string_view text)
{
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n && IsCSpace(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }

    // Normalizing a value beyond the single range shows "inf": it must read back as
    // the infinity it stands for, or a check would take it for 0 and pass it.
    if (n - i >= 3 && (text[i] | 0x20) == 'i' && (text[i + 1] | 0x20) == 'n' && (text[i + 2] | 0x20) == 'f') {
        const double inf = std::numeric_limits<double>::infinity();
        return negative ? -inf : inf;
    }

    // from_chars takes no leading '+', so the sign is applied here and the span starts at the digits.
    const std::size_t start = i;
    while (i < n && IsDigit(text[i])) {
        ++i;
    }
    const std::string_view intPart = text.substr(start, i - start);
    std::string_view fracPart;
    if (i < n && text[i] == '.') {
        const std::size_t fracStart = ++i;
        while (i < n && IsDigit(text[i])) {
            ++i;
        }
        fracPart = text.substr(fracStart, i - fracStart);
    }
    if (intPart.empty() && fracPart.empty()) {
        return 0.0; // "", "-", "." and the like: no number
    }

    // An 'e' belongs to the number only when at least one exponent digit follows.
    long long exponent = 0;
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        bool exponentNegative = false;
        if (j < n && (text[j] == '+' || text[j] == '-')) {
            exponentNegative = text[j] == '-';
            ++j;
        }
        const std::size_t digitsStart = j;
        while (j < n && IsDigit(text[j])) {
            exponent = std::min(exponent * 10 + (text[j] - '0'), kExponentCap);
            ++j;
        }
        if (j > digitsStart) {
            i = j;
            exponent = exponentNegative ? -exponent : exponent;
        } else {
            exponent = 0;
        }
    }

    double value = 0.0;
    const auto result = std::from_chars(text.data() + start, text.data() + i, value, std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range) {
        // Like strtod: too large gives HUGE_VAL, too small gives zero.
        const bool overflow = LeadingDigitPosition(intPart, fracPart) + exponent > 0;
        value = overflow ? HUGE_VAL : 0.0;
    } else if (result.ec != std::errc()) {
        value = 0.0; // cannot happen for the span accepted above; stay defined anyway
    }
    return negative ? -value : value;
}

std::string FormatFixed(double value, int width, int precision)
{
    if (precision < 0) {
        precision = 6; // as printf does with a negative precision argument
    }
    // A double has at most 1074 significant fractional digits; beyond that only
    // zeros follow, so they are appended instead of asking to_chars for them.
    constexpr int kMaxExactDigits = 1100;
    const int exactDigits = std::min(precision, kMaxExactDigits);
    // Room for 309 integer digits, sign, point and the fractional digits.
    std::string text(static_cast<std::size_t>(exactDigits) + 320, '\0');
    const auto result =
        std::to_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed, exactDigits);
    text.resize(static_cast<std::size_t>(result.ptr - text.data()));
    if (precision > exactDigits && std::isfinite(value)) {
        text.append(static_cast<std::size_t>(precision - exactDigits), '0');
    }

    // A negative width left-aligns, as the '-' flag would.
    const bool leftAlign = width < 0;
    const std::size_t fieldWidth =
        leftAlign ? static_cast<std::size_t>(-static_cast<long long>(width)) : static_cast<std::size_t>(width);
    if (text.size() < fieldWidth) {
        const std::size_t pad = fieldWidth - text.size();
        if (leftAlign) {
            text.append(pad, ' ');
        } else {
            text.insert(0, pad, ' ');
        }
    }
    return text;
}

std::string FormatFixed1(double value)
{
    return FormatFixed(value, 5, 1);
}

void StripLeadingBlanks(std::string& text)
{
    std::size_t skip = 0;
    while (skip < text.size() && IsCSpace(text[skip])) {
        ++skip;
    }
    text.erase(0, skip);
}

void NormalizeTexts(ParameterSet& set)
{
    // The seven texts in their declared order; INV is an integer and stays as it is.
    for (std::string ParameterSet::*member :
         {&ParameterSet::HYS, &ParameterSet::SVZ, &ParameterSet::UMI, &ParameterSet::UMM, &ParameterSet::UPL,
          &ParameterSet::UPP, &ParameterSet::SWB}) {
        std::string& text = set.*member;
        // The single-precision value is what is shown: 99.95 becomes 99.9, not 100.0.
        const float single = ToSingle(ReadNumber(text));
        text = FormatFixed1(static_cast<double>(single));
        StripLeadingBlanks(text);
    }
}
