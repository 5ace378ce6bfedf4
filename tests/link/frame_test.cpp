#include "link/frame.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace std::string_literals;

// Request texts and the checksum digits the relay expects for them.
struct DigitsRow {
    std::string text;
    std::string digits;
};

const DigitsRow kDigitsRows[] = {
    {"GMWT:", "33"},
    {"GPAR:", "3E"},
    {"KAL0:", "4C"},
    {"K100:", "40"},
    {"TCM3:", "53"},
    {"FWUP:", "2E"},
    {"GMWT:230.4", "18"},
    {"SPAR:HYS2.0;SWB100.0;UPL10.0;UPP20.0;UMI-10.0;UMM-20.0;INV0;SVZ1.5;", "21"},
    {"", "00"},
    {"\xFF\x80"s, "7F"}, // bytes above 0x7F count as 8-bit values
    {"A\0B"s, "03"},     // a NUL is data, not an end
};

TEST(FrameTest, BuildFrameAppendsUpperCaseDigitsOfTheText)
{
    for (const auto& row : kDigitsRows) {
        SCOPED_TRACE(row.text);
        const std::string frame = BuildFrame(row.text);
        EXPECT_EQ(frame, "\x02"s + row.text + row.digits + "\x03");
        EXPECT_EQ(CheckReply(frame), 0);

        std::string underConstruction = "\x02"s + row.text;
        AppendChecksum(underConstruction);
        EXPECT_EQ(underConstruction, "\x02"s + row.text + row.digits);
    }
}

TEST(FrameTest, KnownFramesByteForByte)
{
    EXPECT_EQ(BuildFrame("GMWT:"), "\x02\x47\x4D\x57\x54\x3A\x33\x33\x03"s);
    EXPECT_EQ(BuildFrame("K100:"), "\x02\x4B\x31\x30\x30\x3A\x34\x30\x03"s);
    EXPECT_EQ(BuildFrame("KAL0:"), "\x02\x4B\x41\x4C\x30\x3A\x34\x43\x03"s);
    EXPECT_EQ(BuildFrame("GMWT:230.4"), "\x02\x47\x4D\x57\x54\x3A\x32\x33\x30\x2E\x34\x31\x38\x03"s);
    EXPECT_EQ(BuildFrame("SPAR:HYS2.0;SWB100.0;UPL10.0;UPP20.0;UMI-10.0;UMM-20.0;INV0;SVZ1.5;").size(), 71u);
}

TEST(FrameTest, AppendChecksumOnABareStx)
{
    std::string frame = "\x02";
    AppendChecksum(frame);
    EXPECT_EQ(frame, "\x02"
                     "00");
}

struct CheckRow {
    const char* name;
    std::string reply;
    int expected;
};

const CheckRow kCheckRows[] = {
    {"live-reading request", "\x02GMWT:33\x03"s, 0},
    {"wrong digits 34", "\x02GMWT:34\x03"s, -1},
    {"lower-case digits", "\x02GPAR:3e\x03"s, -1},
    {"upper-case digits", "\x02GPAR:3E\x03"s, 0},
    {"GMWT reply 230.4", "\x02GMWT:230.418\x03"s, 0},
    {"first and last byte not looked at", "XGMWT:33Y"s, 0},
    {"reply cut before its ETX", "\x02GMWT:230.418"s, -1},
    {"NUL inside the text", "\x02" "A\0B" "03\x03"s, 0},
    {"high bytes inside the text", "\x02\xFF\x80" "7F\x03"s, 0},
    {"NUL where a digit belongs", "\x02GMWT:3\0\x03"s, -1},
    {"4 bytes with 0 0", "\x02" "00\x03"s, 0},
    {"3 bytes with 0 0", "\x02" "00"s, 0},
    {"4 bytes with other digits", "\x02" "01\x03"s, -1},
    {"3 bytes with other digits", "\x02" "0A"s, -1},
    {"2 bytes", "00"s, -1},
    {"1 byte ACK", "\x06"s, -1},
    {"empty", ""s, -1},
    {"5 bytes: text of one byte", "\x02" "A41\x03"s, 0},
};

TEST(FrameTest, CheckReplyTable)
{
    for (const auto& row : kCheckRows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(CheckReply(row.reply), row.expected);
    }
}

TEST(FrameTest, CheckReplyStaysInsideTheGivenLength)
{
    // The view ends before the digits that follow in memory: they must not be used.
    const std::string backing = "\x02GMWT:33\x03";
    EXPECT_EQ(CheckReply(std::string_view(backing).substr(0, 2)), -1);
    EXPECT_EQ(CheckReply(std::string_view(backing).substr(0, 8)), -1);
}

} // namespace
