#include "params/parameter_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/params/print_parameter_set.h"

namespace {

using namespace std::string_literals;

// What a target holds before the scan, so that untouched members stay visible.
ParameterSet OldSet()
{
    return ParameterSet{7, "oldHYS", "oldSVZ", "oldUMI", "oldUMM", "oldUPL", "oldUPP", "oldSWB"};
}

DeviceInfo OldInfo()
{
    return DeviceInfo{"oldKAL", "oldVER", "oldK0V"};
}

struct ScanCase {
    const char* name;
    std::string text;
    ScanMode mode;
    ParameterSet expectedSet;
    DeviceInfo expectedInfo;
};

ParameterSet With(ParameterSet set, std::string ParameterSet::*member, const std::string& value)
{
    set.*member = value;
    return set;
}

ParameterSet WithInv(std::int32_t inv)
{
    ParameterSet set = OldSet();
    set.INV = inv;
    return set;
}

DeviceInfo WithInfo(std::string DeviceInfo::*member, const std::string& value)
{
    DeviceInfo info = OldInfo();
    info.*member = value;
    return info;
}

TEST(ParseParameterText, ScanTable)
{
    const auto Full = ScanMode::Full;
    const auto SetOnly = ScanMode::SetOnly;
    const std::string fullReply = "\x02GPAR:HYS2.0;SWB100.0;UPL10.0;UPP20.0;UMI-10.0;UMM-20.0;INV1;SVZ1.5;"
                                  "KAL1.234;VER123456789012;K0V51.2;";
    const ParameterSet fullSet{1, "  2.0", "  1.5", "-10.0", "-20.0", " 10.0", " 20.0", "100.0"};
    const ParameterSet untouched = OldSet();
    const DeviceInfo noInfo = OldInfo();

    const std::vector<ScanCase> cases = {
        {"full reply", fullReply, Full, fullSet, DeviceInfo{" 12.3", "123456789012", "0x200"}},
        {"full reply, set only", fullReply, SetOnly, fullSet, noInfo},
        {"three keys only", "\x02GPAR:HYS2.0;SWB100.0;INV1;", Full,
         ParameterSet{1, "  2.0", "oldSVZ", "oldUMI", "oldUMM", "oldUPL", "oldUPP", "100.0"}, noInfo},
        {"lower-case key", "\x02GPAR:hys2.0;", Full, untouched, noInfo},
        {"later duplicate wins", "\x02GPAR:HYS2.0;HYS3.0;", SetOnly, With(OldSet(), &ParameterSet::HYS, "  3.0"),
         noInfo},
        {"blanks after the key", "\x02GPAR:HYS  2.5;", SetOnly, With(OldSet(), &ParameterSet::HYS, "  2.5"), noInfo},
        {"wide value keeps its width", "\x02GPAR:SWB12345.67;", SetOnly, With(OldSet(), &ParameterSet::SWB, "12345.7"),
         noInfo},
        {"INV truncates 1.9", "\x02GPAR:INV1.9;", Full, WithInv(1), noInfo},
        {"INV truncates -1.9 toward zero", "\x02GPAR:INV-1.9;", Full, WithInv(-1), noInfo},
        {"INV without digits", "\x02GPAR:INV;", Full, WithInv(0), noInfo},
        {"INV 1e12 clamps", "\x02GPAR:INV1e12;", Full, WithInv(2147483647), noInfo},
        {"INV -1e400 clamps", "\x02GPAR:INV-1e400;", Full, WithInv(-2147483647 - 1), noInfo},
        {"INV just inside the range", "\x02GPAR:INV-2147483648.5;", Full, WithInv(-2147483647 - 1), noInfo},
        {"KAL keeps its blank", "\x02GPAR:KAL1.234;", Full, untouched, WithInfo(&DeviceInfo::KAL, " 12.3")},
        {"K0V in hexadecimal", "\x02GPAR:K0V51.2;", Full, untouched, WithInfo(&DeviceInfo::K0V, "0x200")},
        {"K0V negative as two's complement", "\x02GPAR:K0V-0.1;", Full, untouched,
         WithInfo(&DeviceInfo::K0V, "0xFFFFFFFF")},
        {"K0V 1e30 clamps", "\x02GPAR:K0V1e30;", Full, untouched, WithInfo(&DeviceInfo::K0V, "0x7FFFFFFF")},
        {"K0V -1e30 clamps", "\x02GPAR:K0V-1e30;", Full, untouched, WithInfo(&DeviceInfo::K0V, "0x80000000")},
        {"K0V infinite clamps", "\x02GPAR:K0V1e400;", Full, untouched, WithInfo(&DeviceInfo::K0V, "0x7FFFFFFF")},
        {"device keys ignored in set-only mode", "\x02GPAR:KAL1.2;K0V5;VER123456789012;", SetOnly, untouched, noInfo},
        // A short version text swallows the separator and the start of the next item.
        {"VER overrun", "\x02GPAR:VER1.0;HYS2.0;SWB100.0;UPL5;", Full, With(OldSet(), &ParameterSet::UPL, "  5.0"),
         WithInfo(&DeviceInfo::VER, "1.0;HYS2.0;S")},
        {"VER cut by the end", "\x02GPAR:VER1.2", Full, untouched, WithInfo(&DeviceInfo::VER, "1.2")},
        {"VER at the very end", "\x02GPAR:VER", Full, untouched, WithInfo(&DeviceInfo::VER, "")},
        // In set-only mode the version text is scanned like any other text.
        {"key inside a version, set only", "\x02GPAR:VERHYS4.0;abc", SetOnly,
         With(OldSet(), &ParameterSet::HYS, "  4.0"), noInfo},
        {"key inside a version, full", "\x02GPAR:VERHYS4.0;abc", Full, untouched,
         WithInfo(&DeviceInfo::VER, "HYS4.0;abc")},
        // The scan goes on five characters after a key's first letter.
        {"key too close after INV", "\x02GPAR:INV1HYS2.0;", Full, WithInv(1), noInfo},
        {"key two after a value", "\x02GPAR:INV1;HYS2.0;", Full,
         ParameterSet{1, "  2.0", "oldSVZ", "oldUMI", "oldUMM", "oldUPL", "oldUPP", "oldSWB"}, noInfo},
        // The first five characters are never part of a key.
        {"key inside the first five", "abcdHYS2.0;", Full, untouched, noInfo},
        {"key at index five", "abcdeHYS2.0;", Full, With(OldSet(), &ParameterSet::HYS, "  2.0"), noInfo},
        {"key at index zero", "HYS2.0;", SetOnly, untouched, noInfo},
        {"exactly five characters", "\x02GPAR", Full, untouched, noInfo},
        {"five characters that look like a key", "HYS2.", Full, untouched, noInfo},
        {"empty", "", Full, untouched, noInfo},
        {"key at the very end", "\x02GPAR:HYS", Full, With(OldSet(), &ParameterSet::HYS, "  0.0"), noInfo},
        {"part of a key at the end", "\x02GPAR:IN", Full, untouched, noInfo},
        {"INV at the very end", "\x02GPAR:INV", Full, WithInv(0), noInfo},
        {"overflowing number", "\x02GPAR:HYS1e400;UPL-1e400;", Full,
         ParameterSet{7, "  inf", "oldSVZ", "oldUMI", "oldUMM", " -inf", "oldUPP", "oldSWB"}, noInfo},
        // Nothing after a NUL counts; bytes above 0x7F are plain text that ends a number.
        {"NUL ends the text", "\x02GPAR:HYS2.0;\0SWB150.0;"s, Full, With(OldSet(), &ParameterSet::HYS, "  2.0"),
         noInfo},
        {"NUL inside the first five", "\x02G\0AR:HYS2.0;"s, Full, untouched, noInfo},
        {"bytes 0xFF", "\x02GPAR:\xFF\xFFHYS\3772.0;SWB1\xFF;UMI-\xFF", SetOnly,
         ParameterSet{7, "  0.0", "oldSVZ", "  0.0", "oldUMM", "oldUPL", "oldUPP", "  1.0"}, noInfo},
    };
    for (const ScanCase& c : cases) {
        ParameterSet set = OldSet();
        DeviceInfo info = OldInfo();
        ParseParameterText(c.text, c.mode, set, &info);
        EXPECT_EQ(set, c.expectedSet) << c.name;
        EXPECT_EQ(info.KAL, c.expectedInfo.KAL) << c.name;
        EXPECT_EQ(info.VER, c.expectedInfo.VER) << c.name;
        EXPECT_EQ(info.K0V, c.expectedInfo.K0V) << c.name;
    }
}

TEST(ParseParameterText, FullModeWithoutInfoStoresNoDeviceTexts)
{
    ParameterSet set = OldSet();
    ParseParameterText("\x02GPAR:KAL1.0;K0V2;VER123456789012;UPL3;", ScanMode::Full, set, nullptr);
    EXPECT_EQ(set, With(OldSet(), &ParameterSet::UPL, "  3.0"));
}

TEST(ParseParameterText, ReadsTheSavedFile)
{
    const std::string file = "\x02SPAR:HYS2.0;SWB100.0;UPL10.0;UPP15.0;UMI-10.0;UMM-20.0;INV0;SVZ1.5;";
    ASSERT_EQ(file.size(), 68u);
    ParameterSet set = OldSet();
    ParseParameterText(file, ScanMode::SetOnly, set, nullptr);
    NormalizeTexts(set);
    EXPECT_EQ(set, (ParameterSet{0, "2.0", "1.5", "-10.0", "-20.0", "10.0", "15.0", "100.0"}));
}

TEST(BuildSparText, WorkedExample)
{
    const ParameterSet set{0, "2.0", "1.5", "-10.0", "-20.0", "10.0", "20.0", "100.0"};
    const std::string text = BuildSparText(set);
    EXPECT_EQ(text, "SPAR:HYS2.0;SWB100.0;UPL10.0;UPP20.0;UMI-10.0;UMM-20.0;INV0;SVZ1.5;");
    // Framed with STX, two checksum digits and ETX this is the 71-byte request with checksum 21.
    EXPECT_EQ(text.size() + 4, 71u);
    unsigned char checksum = 0;
    for (const char c : text) {
        checksum ^= static_cast<unsigned char>(c);
    }
    EXPECT_EQ(checksum, 0x21);
}

TEST(BuildSparText, InsertsTextsAsTheyStand)
{
    const ParameterSet set{-3, " 2.0", "", "x", "-20.0", "1e1", "20.0 ", "100,0"};
    EXPECT_EQ(BuildSparText(set), "SPAR:HYS 2.0;SWB100,0;UPL1e1;UPP20.0 ;UMIx;UMM-20.0;INV-3;SVZ;");
}

TEST(BuildSparText, ScannerReadsBackWhatWasBuilt)
{
    const ParameterSet sent{1, "0.5", "99.9", "-25.0", "-35.0", "25.0", "35.0", "150.0"};
    ParameterSet read;
    std::string framed = "\x02";
    framed += BuildSparText(sent); // appended: gcc 12 takes "\x02" + std::string for an overlapping copy
    ParseParameterText(framed, ScanMode::SetOnly, read, nullptr);
    NormalizeTexts(read);
    EXPECT_EQ(read, sent);
}

} // namespace
