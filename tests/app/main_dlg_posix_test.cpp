// The main window on a POSIX system: the port it opens at start is set up as the
// relay's line needs it, and held for this program alone.

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include "tests/support/window_fixture.h"

namespace {

using MainWindowPosixTest = WindowTest;

TEST_F(MainWindowPosixTest, OpensTheMappedPortExclusivelyAt19200Raw)
{
    StartSim();
    // Opened before the window holds it: once it does, only root could open it.
    const int fd = ::open(sim->DevicePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    OpenWindow();
    EXPECT_TRUE(ui.messages.empty());
    ASSERT_NE(g_pPort, nullptr);
    EXPECT_TRUE(g_pPort->IsOpen());

    termios settings{};
    ASSERT_EQ(tcgetattr(fd, &settings), 0);
    ::close(fd);
    EXPECT_EQ(cfgetispeed(&settings), B19200);
    EXPECT_EQ(cfgetospeed(&settings), B19200);
    EXPECT_EQ(settings.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(settings.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(settings.c_iflag & (IXON | IXOFF | ICRNL), 0u);
    EXPECT_EQ(settings.c_lflag & (ICANON | ECHO), 0u);

    // A second program can't share the port.
    CSerialPort second;
    EXPECT_EQ(second.Open(1, 19200), -1);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Kann Schnittstelle COM1 nicht öffnen\r\n" + sim->DevicePath() +
                                       " wird von einem anderen Programm benutzt: das andere Programm beenden.");
}

} // namespace
