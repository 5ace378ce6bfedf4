#include "params/preview_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/params/print_parameter_set.h"

namespace {

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end = text.find("\r\n"); end != std::string::npos; end = text.find("\r\n", start)) {
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    EXPECT_EQ(start, text.size()) << "the last line must end with CR LF";
    return lines;
}

// Instrument values and file values of the worked example.
const ParameterSet kDevice{1, "1.0", "0.5", "-5.0", "-10.0", "5.0", "10.0", "110.0"};
const ParameterSet kFile{0, "2.0", "1.5", "-10.0", "-20.0", "10.0", "15.0", "100.0"};

TEST(BuildPreviewText, WorkedExample)
{
    const std::string text = BuildPreviewText("Datei", kDevice, kFile);
    EXPECT_EQ(text, "                  KORVEN       Datei\r\n"
                    "--------------------------------------\r\n"
                    "Sollwertbezug     110.0        100.0\r\n"
                    "U>                  5.0         10.0\r\n"
                    "U>>                10.0         15.0\r\n"
                    "U<                 -5.0        -10.0\r\n"
                    "U<<               -10.0        -20.0\r\n"
                    "Schaltverz.         0.5          1.5\r\n"
                    "Hysterese           1.0          2.0\r\n"
                    "Invertieren          ja         nein\r\n");
    EXPECT_EQ(text.size(), 382u);
}

TEST(BuildPreviewText, PcTitle)
{
    const std::vector<std::string> lines = Lines(BuildPreviewText("  PC  ", kDevice, kFile));
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines[0], std::string(18, ' ') + "KORVEN" + std::string(9, ' ') + "PC" + std::string(2, ' '));
    EXPECT_EQ(lines[0].size(), 37u);
}

TEST(BuildPreviewText, ValueWidths)
{
    ParameterSet device = kDevice;
    ParameterSet fresh = kFile;
    device.SWB = "";           // eight blanks
    fresh.SWB = "12345678";    // fills its field exactly
    device.HYS = "10000000.0"; // longer than the field: shown whole
    fresh.UPL = "123456789012";
    device.INV = -3; // any non-zero value is "ja"
    fresh.INV = 2;
    const std::vector<std::string> lines = Lines(BuildPreviewText("Datei", device, fresh));
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines[2], "Sollwertbezug  " + std::string(8, ' ') + "     12345678");
    EXPECT_EQ(lines[3], "U>                  5.0     123456789012");
    EXPECT_EQ(lines[8], "Hysterese      10000000.0          2.0");
    EXPECT_EQ(lines[9], "Invertieren          ja           ja");
    // The other lines are as in the worked example.
    const std::vector<std::string> example = Lines(BuildPreviewText("Datei", kDevice, kFile));
    for (const std::size_t i : {0u, 1u, 4u, 5u, 6u, 7u}) {
        EXPECT_EQ(lines[i], example[i]) << "line " << i;
    }
}

} // namespace
