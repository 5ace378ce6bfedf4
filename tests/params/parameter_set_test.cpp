#include "params/parameter_set.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "tests/params/print_parameter_set.h"

namespace {

using namespace std::string_literals;

struct NumberCase {
    std::string text;
    double expected;
};

TEST(ReadNumber, ReadsLikeAtofWithThePoint)
{
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<NumberCase> cases = {
        {"", 0.0},
        {"2", 2.0},
        {"2.5", 2.5},
        {"-10.0", -10.0},
        {"+.5", 0.5},
        {".5", 0.5},
        {"5.", 5.0},
        {"-.25x", -0.25},
        {" \t\n\v\f\r7", 7.0},
        {"  -1.5e+2x", -150.0},
        {"1e1", 10.0},
        {"1E-1", 0.1},
        {"5.e3", 5000.0},
        {"1e", 1.0}, // 'e' without digits ends the number
        {"1e+", 1.0},
        {"1e-x", 1.0},
        {"2,5", 2.0}, // the comma is never a decimal separator
        {"12.5;HYS", 12.5},
        {".", 0.0},
        {"-", 0.0},
        {"+", 0.0},
        {"..5", 0.0},
        {".e5", 0.0},
        {"- 5", 0.0}, // no blank between sign and digits
        {"--5", 0.0},
        {"abc", 0.0},
        {"inf", inf}, // as normalizing writes a value beyond the single range
        {"-Infinity", -inf},
        {"nan", 0.0},
        {"0x1A", 0.0}, // hexadecimal is not read: the 'x' ends "0"
        {"0x10", 0.0},
        {"1e400", inf},
        {"-1e400", -inf},
        {"10000e305", inf},                 // overflow decided by the digits before the point too
        {"1e99999999999999999999999", inf}, // exponent digits beyond any integer type
        {"1e-400", 0.0},
        {"100000e-330", 0.0},
        {"0.0000000000000000000001e-310", 0.0},
        {"1e-99999999999999999999999", 0.0},
        {"0e999999", 0.0},
        {"1000e305", 1e308},
        {"4.9e-324", 4.9e-324}, // smallest subnormal still reads
        {"1234567890123456789012345678901234567890", 1234567890123456789012345678901234567890.0},
        // Just above the midpoint between two doubles: correct rounding goes up.
        {"9007199254740993.000000000000000000000001", 9007199254740994.0},
        {"9007199254740993", 9007199254740992.0}, // an exact tie rounds to even
        {"\2405", 0.0},                           // 0xA0 '5': a non-breaking space is no white space here
        {"5\xC3\xA4", 5.0},
        {"\2055", 0.0},   // 0x85 '5'
        {"1\0002"s, 1.0}, // a NUL ends the number
        {"\0005"s, 0.0},
    };
    for (const NumberCase& c : cases) {
        const double value = ReadNumber(c.text);
        EXPECT_EQ(value, c.expected) << "text \"" << c.text << "\"";
        EXPECT_EQ(std::signbit(value), std::signbit(c.expected)) << "text \"" << c.text << "\"";
    }
}

TEST(ReadNumber, KeepsTheSignOfZero)
{
    EXPECT_TRUE(std::signbit(ReadNumber("-0")));
    EXPECT_TRUE(std::signbit(ReadNumber("-1e-400")));
    EXPECT_FALSE(std::signbit(ReadNumber("0")));
}

TEST(ReadNumber, NeverReadsPastTheView)
{
    // The digits after the view's end must not be taken into the number.
    const std::string buffer = "12345e5";
    EXPECT_EQ(ReadNumber(std::string_view(buffer).substr(0, 3)), 123.0);
    EXPECT_EQ(ReadNumber(std::string_view(buffer).substr(0, 6)), 12345.0); // "12345e" without exponent digits
}

TEST(FormatFixed, MatchesPrintfInTheCLocale)
{
    const std::vector<double> values = {0.0,   -0.0,     -0.04,   0.05,    0.15,   0.25,      2.25,
                                        2.35,  99.95,    99.96,   -10.0,   12.345, 1.005,     123456.7,
                                        1e20,  -1e-300,  1.5,     2.5,     -2.5,   0.125,     9.995,
                                        1e308, 4.9e-324, -1.75e3, 0.03125, 5e-2,   1.0 / 3.0, 2.0 / 3.0};
    const int formats[][2] = {{5, 1}, {4, 1}, {5, 2}, {0, 0}, {8, 3}, {1, 6}, {-7, 1}, {20, 17}};
    for (const double value : values) {
        for (const auto& format : formats) {
            char expected[512];
            std::snprintf(expected, sizeof expected, "%*.*f", format[0], format[1], value);
            EXPECT_EQ(FormatFixed(value, format[0], format[1]), expected)
                << "value " << value << " width " << format[0] << " precision " << format[1];
        }
    }
}

TEST(FormatFixed, FixedCases)
{
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        double value;
        int width;
        int precision;
        const char* expected;
    };
    const Case cases[] = {
        {-0.0, 5, 1, " -0.0"},
        {-0.04, 5, 1, " -0.0"},
        {2.25, 5, 1, "  2.2"},
        {99.95, 5, 1, "100.0"},
        {12.345, 5, 2, "12.35"},
        {3.14159, 4, 1, " 3.1"},
        {inf, 5, 1, "  inf"},
        {-inf, 5, 1, " -inf"},
        {inf, 4, 1, " inf"},
        {-inf, 2, 1, "-inf"},
        {123456.7, 5, 1, "123456.7"},
        {2.0, -6, 1, "2.0   "},
        {2.0, 0, -1, "2.000000"},
        {0.5, 0, 0, "0"},
        {1.5, 0, 0, "2"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FormatFixed(c.value, c.width, c.precision), c.expected) << "value " << c.value;
    }
    EXPECT_EQ(FormatFixed1(2.0), "  2.0");
    // Beyond the digits a double can have, only zeros follow.
    EXPECT_EQ(FormatFixed(0.5, 0, 1200), "0.5" + std::string(1199, '0'));
}

TEST(StripLeadingBlanks, RemovesOnlyLeadingCLocaleWhiteSpace)
{
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"   ", ""},
        {"  2.0", "2.0"},
        {" \t\n\v\f\rabc ", "abc "},
        {"a b ", "a b "},
        {"\xA0 x", "\xA0 x"}, // stops at the first byte of 0x80 or more
        {" \x85x", "\x85x"},
        {" \xC3\xA4", "\xC3\xA4"},
        {"\0 x"s, "\0 x"s},
    };
    for (const auto& [input, expected] : cases) {
        std::string text = input;
        StripLeadingBlanks(text);
        EXPECT_EQ(text, expected) << "input \"" << input << "\"";
    }
}

TEST(NormalizeTexts, RewritesEveryTextAsSinglePrecisionWithOneDecimal)
{
    const std::pair<std::string, std::string> cases[] = {
        {"99.95", "99.9"}, // just below 99.95 in single precision; double precision would give 100.0
        {"0.15", "0.2"},   // single precision lies above, double below
        {"0.45", "0.4"},
        {"0.05", "0.1"},
        {"2.25", "2.2"}, // an exact tie rounds to even
        {"12345678.9", "12345679.0"},
        {"-0.04", "-0.0"},
        {"-1e-50", "-0.0"},
        {"1e-50", "0.0"},
        {"2", "2.0"},
        {"-10", "-10.0"},
        {"   100", "100.0"},
        {"\t5 ", "5.0"},
        {"2,5", "2.0"},
        {"1e1", "10.0"},
        {"99.96", "100.0"},
        {"", "0.0"},
        {"abc", "0.0"},
        {"1e400", "inf"},
        {"-1e400", "-inf"},
        {"1e39", "inf"}, // beyond the float range
        {"-3.5e38", "-inf"},
        {"340282350000000000000000000000000000000", "340282346638528859811704183484516925440.0"},
        {"340282356779733661637539395458142568448", "inf"}, // midpoint between FLT_MAX and 2^128
        {"340282356779733623858607532500980858880",
         "340282346638528859811704183484516925440.0"}, // the double just below it
    };
    for (const auto& [input, expected] : cases) {
        ParameterSet set;
        set.INV = -3;
        set.HYS = set.SVZ = set.UMI = set.UMM = set.UPL = set.UPP = set.SWB = input;
        NormalizeTexts(set);
        for (const std::string* text : {&set.HYS, &set.SVZ, &set.UMI, &set.UMM, &set.UPL, &set.UPP, &set.SWB}) {
            EXPECT_EQ(*text, expected) << "input \"" << input << "\"";
        }
        EXPECT_EQ(set.INV, -3);
    }
}

TEST(NormalizeTexts, TreatsEachMemberOnItsOwn)
{
    ParameterSet set{1, "2", "1.5", "-10", "-20", "10", "20", "100"};
    NormalizeTexts(set);
    EXPECT_EQ(set, (ParameterSet{1, "2.0", "1.5", "-10.0", "-20.0", "10.0", "20.0", "100.0"}));
}

// The window program runs with the user's locale, where printf and strtod use ','.
TEST(ParameterSetLocale, GermanLocaleStillUsesThePoint)
{
    const char* german = nullptr;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE"}) {
        if (std::setlocale(LC_ALL, name) != nullptr) {
            german = name;
            break;
        }
    }
    if (german == nullptr) {
        GTEST_SKIP() << "no German locale installed";
    }
    const double readDecimal = ReadNumber("2.5");
    const double readComma = ReadNumber("2,5");
    const std::string formatted = FormatFixed(2.5, 5, 2);
    ParameterSet set{0, "99.95", "1,5", "", "", "", "", ""};
    NormalizeTexts(set);
    std::setlocale(LC_ALL, "C");

    EXPECT_EQ(readDecimal, 2.5);
    EXPECT_EQ(readComma, 2.0);
    EXPECT_EQ(formatted, " 2.50");
    EXPECT_EQ(set.HYS, "99.9");
    EXPECT_EQ(set.SVZ, "1.0");
}

} // namespace
