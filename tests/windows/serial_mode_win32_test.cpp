// The mode string through the platform's own parser: whichever of its two forms
// the platform takes, the line is 9600 baud 8N1 with write time-outs.

#include "link/serial_mode.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

TEST(ModeStringWin32, PlatformParserGives8N1WithWriteTimeOuts)
{
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    COMMTIMEOUTS timeouts{};
    ASSERT_TRUE(
        ApplyModeString([&](const char* mode) { return BuildCommDCBAndTimeoutsA(mode, &dcb, &timeouts) != FALSE; }));
    EXPECT_EQ(dcb.BaudRate, 9600u);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, NOPARITY);
    EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
    EXPECT_FALSE(dcb.fOutX);
    EXPECT_FALSE(dcb.fInX);
    EXPECT_NE(timeouts.WriteTotalTimeoutConstant, 0u);
}

} // namespace
