#pragma once
// The eight switching parameters as the program holds them: the invert flag as
// an integer, the seven numeric values as texts exactly as typed or received.

#include <cstdint>
#include <string>
#include <string_view>

struct ParameterSet {
    std::int32_t INV = 0;
    std::string HYS;
    std::string SVZ;
    std::string UMI;
    std::string UMM;
    std::string UPL;
    std::string UPP;
    std::string SWB;

    bool operator==(const ParameterSet&) const = default;
};

// Reads a number like atof, always with '.', whatever the locale: leading white
// space, sign, digits, fraction, exponent; stops at the first character that
// does not fit; no number reads 0. "inf" (or "infinity", in any case) reads as an
// infinity, as atof has it, so that the "inf" a normalized value beyond the single
// range shows reads back as out of range. "nan" and hex are not numbers here.
double ReadNumber(std::string_view text);

// Rewrites the seven texts as single-precision "%5.1f" without leading blanks.
void NormalizeTexts(ParameterSet& set);

// Removes leading white space (isspace in the C locale; stops at bytes >= 0x80).
void StripLeadingBlanks(std::string& text);

// "%*.*f" of a double with '.' whatever the locale: fixed notation with
// precision digits after the point, right-aligned with blanks in at least width
// characters; infinities read "inf" and "-inf". A negative precision means 6.
std::string FormatFixed(double value, int width, int precision);

// "%5.1f" of a double, with '.' whatever the locale.
std::string FormatFixed1(double value);
