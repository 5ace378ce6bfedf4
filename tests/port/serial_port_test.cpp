// CSerialPort on pseudo-terminals: the port opens the slave side, the test plays
// the relay on the master side.

#include "port/serial_device.h"
#include "port/serial_port.h"
#include "port/uucp_lock.h"
#include "tests/support/file_permissions.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <poll.h>
#include <string>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

namespace {

const std::string kOpenFailure = "Kann Schnittstelle COM1 nicht öffnen";

std::vector<std::pair<std::string, std::string>> g_messages;

class Pty {
public:
    Pty()
    {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (m_master >= 0 && ::grantpt(m_master) == 0 && ::unlockpt(m_master) == 0)
            m_slave = ::ptsname(m_master);
    }
    ~Pty() { CloseMaster(); }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    const std::string& SlavePath() const { return m_slave; }
    int Master() const { return m_master; }

    void Send(const std::string& bytes) const
    {
        ASSERT_EQ(::write(m_master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }

    // Whatever the port wrote, collected until the line stays quiet for 50 ms.
    std::string Receive() const
    {
        std::string got;
        pollfd pfd{m_master, POLLIN, 0};
        while (::poll(&pfd, 1, 50) > 0) {
            char chunk[256];
            const ssize_t n = ::read(m_master, chunk, sizeof chunk);
            if (n <= 0)
                break;
            got.append(chunk, static_cast<std::size_t>(n));
        }
        return got;
    }

    // The port's line settings: on Linux the master reports those of its slave.
    termios LineSettings() const
    {
        termios tio{};
        EXPECT_EQ(::tcgetattr(m_master, &tio), 0);
        return tio;
    }

    void CloseMaster()
    {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }

private:
    int m_master = -1;
    std::string m_slave;
};

class SerialPortTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(m_pty.SlavePath().empty()) << "no pseudo-terminal";
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_dir = fs::temp_directory_path() / (std::string("korven-port-") + info->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
        m_ini = (m_dir / "KorvenCtrl.ini").string();
        MapCom1(m_pty.SlavePath());
        // The lock files of the tests' terminals stay in the test's folder.
        fs::create_directory(m_dir / "lock");
        uucp::SetLockFolders({(m_dir / "lock").string()});
        g_messages.clear();
        CSerialPort::SetHooks(
            {[](const std::string& text, const std::string& caption) { g_messages.emplace_back(text, caption); },
             m_ini});
    }
    void TearDown() override
    {
        CSerialPort::SetHooks({});
        uucp::SetLockFolders({});
        fs::remove_all(m_dir);
    }

    void MapCom1(const std::string& device) const { std::ofstream(m_ini) << "[PORTS]\nCOM1=" << device << "\n"; }

    Pty m_pty;
    fs::path m_dir;
    std::string m_ini;
};

struct Timed {
    int result;
    std::string bytes;
    milliseconds elapsed;
};

Timed TimedRead(CSerialPort& port)
{
    unsigned char buffer[CSerialPort::kReadSize];
    unsigned count = 99;
    const auto start = Clock::now();
    const int result = port.Read(buffer, count);
    const auto elapsed = std::chrono::duration_cast<milliseconds>(Clock::now() - start);
    return {result, std::string(reinterpret_cast<const char*>(buffer), count), elapsed};
}

TEST_F(SerialPortTest, ReadTimeOuts)
{
    CSerialPort port;
    ASSERT_EQ(port.Open(1, 19200), 0);

    // A silent line: nothing, after a short bounded wait.
    Timed silent = TimedRead(port);
    EXPECT_EQ(silent.result, 0);
    EXPECT_EQ(silent.bytes, "");
    EXPECT_GT(silent.elapsed, milliseconds(50));
    EXPECT_LT(silent.elapsed, milliseconds(1000));

    // A reply already waiting comes back at once, not after the full time-out.
    m_pty.Send("\x02GMWT:230.418\x03");
    std::this_thread::sleep_for(milliseconds(20));
    Timed waiting = TimedRead(port);
    EXPECT_EQ(waiting.bytes, "\x02GMWT:230.418\x03");
    EXPECT_LT(waiting.elapsed, milliseconds(100));

    // A reply that starts 40 ms into the read comes back whole in that read.
    const std::string reply = "\x02GPAR:HYS2.0;SWB0.5;UPL110.0;UPP120.0;UMI90.0;UMM80.0;INV0;SVZ230.0;\x03";
    std::thread relay([&] {
        std::this_thread::sleep_for(milliseconds(40));
        m_pty.Send(reply);
    });
    Timed delayed = TimedRead(port);
    relay.join();
    EXPECT_EQ(delayed.result, 0);
    EXPECT_EQ(delayed.bytes, reply);
    EXPECT_LT(delayed.elapsed, milliseconds(1000));

    // A burst longer than one read: 128 bytes, then the rest.
    std::string burst;
    for (int i = 0; i < 200; ++i)
        burst += static_cast<char>('0' + i % 64);
    m_pty.Send(burst);
    std::this_thread::sleep_for(milliseconds(20));
    const Timed first = TimedRead(port);
    const Timed second = TimedRead(port);
    EXPECT_EQ(first.bytes, burst.substr(0, 128));
    EXPECT_EQ(second.bytes, burst.substr(128));
    EXPECT_TRUE(g_messages.empty());
}

TEST_F(SerialPortTest, WriteReachesTheOtherEnd)
{
    CSerialPort port;
    ASSERT_EQ(port.Open(1, 19200), 0);
    const std::string frame = "\x02GMWT:33\x03";
    EXPECT_EQ(port.Write(frame.data(), static_cast<int>(frame.size())), 0);
    EXPECT_EQ(m_pty.Receive(), frame);
}

TEST_F(SerialPortTest, WriteToALineThatTakesNothingGivesUp)
{
    CSerialPort port;
    ASSERT_EQ(port.Open(1, 19200), 0);
    // Nobody reads the master side, so the driver's queue fills and then takes nothing more.
    const std::string block(201, 'P');
    int result = 0;
    milliseconds lastWrite{};
    for (int i = 0; i < 5000 && result == 0; ++i) {
        const auto start = Clock::now();
        result = port.Write(block.data(), static_cast<int>(block.size()));
        lastWrite = std::chrono::duration_cast<milliseconds>(Clock::now() - start);
    }
    EXPECT_EQ(result, -1);
    EXPECT_GE(lastWrite, milliseconds(500));
    EXPECT_LT(lastWrite, milliseconds(5000));
}

TEST_F(SerialPortTest, LineSettingsAndBaudRule)
{
    const std::vector<std::pair<int, speed_t>> rows = {
        {19200, B19200}, {9600, B9600}, {38400, B38400}, {4800, B9600}, {115200, B9600}, {0, B9600},
    };
    for (const auto& [baud, speed] : rows) {
        CSerialPort port;
        ASSERT_EQ(port.Open(1, baud), 0) << baud;
        const termios tio = m_pty.LineSettings();
        EXPECT_EQ(cfgetospeed(&tio), speed) << baud;
        EXPECT_EQ(cfgetispeed(&tio), speed) << baud;
        EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8)) << baud;
        EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u) << baud;
        EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD)) << baud;
        EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | IXANY | ICRNL | ISTRIP), 0u) << baud;
        EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u) << baud;
        EXPECT_EQ(tio.c_oflag & OPOST, 0u) << baud;
        EXPECT_EQ(tio.c_cc[VMIN], 0) << baud;
        EXPECT_EQ(tio.c_cc[VTIME], 0) << baud;
    }
    EXPECT_TRUE(g_messages.empty());
}

TEST_F(SerialPortTest, RefusedDevicesReportOnceWithTheReasonAndStaySilent)
{
    std::ofstream(m_dir / "plain.txt") << "not a port\n";
    fs::create_directory(m_dir / "folder");
    const std::string notSerial = " ist keine serielle Schnittstelle.";
    struct Row {
        std::string name;
        int port;
        std::string ports;  // the [PORTS] section's lines
        std::string reason; // the message's second line
    };
    const std::vector<Row> rows = {
        {"regular file", 1, "COM1=" + (m_dir / "plain.txt").string(), (m_dir / "plain.txt").string() + notSerial},
        {"folder", 1, "COM1=" + (m_dir / "folder").string(), (m_dir / "folder").string() + notSerial},
        {"empty value", 1,
         "COM1=", "In [PORTS] von KorvenCtrl.ini ist für diese Schnittstelle kein Gerät eingetragen."},
        {"missing device", 1, "COM1=/dev/korven-no-such-device",
         "/dev/korven-no-such-device ist nicht vorhanden: den Adapter einstecken, oder die Schnittstelle wählen, an "
         "der das Gerät hängt."},
        {"character device that is no terminal", 1, "COM1=/dev/null", "/dev/null" + notSerial},
        {"port number in the message", 7, "COM7=/dev/null", "/dev/null" + notSerial},
    };
    for (const Row& row : rows) {
        std::ofstream(m_ini) << "[PORTS]\n" << row.ports << "\n";
        g_messages.clear();
        CSerialPort port;
        EXPECT_EQ(port.Open(row.port, 19200), -1) << row.name;
        const std::string text = "Kann Schnittstelle COM" + std::to_string(row.port) + " nicht öffnen\r\n" + row.reason;
        EXPECT_EQ(g_messages, (std::vector<std::pair<std::string, std::string>>{{text, "ERROR"}})) << row.name;

        // After a failed open every call fails quietly, like a silent relay.
        unsigned char buffer[CSerialPort::kReadSize];
        unsigned count = 99;
        EXPECT_EQ(port.Read(buffer, count), -1) << row.name;
        EXPECT_EQ(count, 0u) << row.name;
        EXPECT_EQ(port.Write("x", 1), -1) << row.name;
        EXPECT_FALSE(port.Reopen()) << row.name;
        port.Close();
        EXPECT_EQ(g_messages.size(), 1u) << row.name;
    }
}

// The usual reason on Linux: the user is not in the group that owns the device.
TEST_F(SerialPortTest, DeviceTheUserMayNotOpenNamesTheGroup)
{
    // Mode 0000 closes the terminal to its owner too, and to root without its overrides.
    ASSERT_EQ(::chmod(m_pty.SlavePath().c_str(), 0), 0);
    ASSERT_TRUE(FileOverrides(false));
    CSerialPort port;
    EXPECT_EQ(port.Open(1, 19200), -1);
    FileOverrides(true);
    const std::string text = g_messages.empty() ? "" : g_messages.back().first;
    EXPECT_EQ(text.rfind(kOpenFailure + "\r\nKeine Berechtigung für " + m_pty.SlavePath() + ": ", 0), 0u) << text;
    EXPECT_NE(text.find("Gruppe dialout"), std::string::npos) << text;
    EXPECT_NE(text.find("(sudo adduser "), std::string::npos) << text;
}

// Another program holds the terminal, at 115200 baud: by a UUCP lock file, as
// terminal programs do, or by nothing at all. A live lock keeps us from setting
// or sending anything; otherwise we hold it with a lock file of our own, and
// leave the terminal open for others when we let it go. Where the lock folder
// and the lock are another user's, we open as a user (without root's overrides).
TEST_F(SerialPortTest, LockFilesOfOtherProgramsAreHonouredAndOursWritten)
{
    constexpr uid_t kNobody = 65534;
    const pid_t ended = ::fork(); // a process id that no process has any more
    if (ended == 0)
        ::_exit(0);
    ::waitpid(ended, nullptr, 0);
    const pid_t othersLive = ::fork(); // a process of another user
    if (othersLive == 0)
        ::_exit(::setuid(kNobody) == 0 ? ::pause() : 1);
    const std::string name = fs::path(m_pty.SlavePath()).filename().string();
    const fs::path folder = m_dir / "lock";
    struct Row {
        std::string lockFile; // in the lock folder, empty for none
        pid_t holder;         // the process id it holds
        bool folderWritable;
        bool opens;
        bool othersFolder = false; // the folder (sticky) and the lock are another user's
        bool replaced = false;     // a live lock takes the stale one's place as we take it over
    } const rows[] = {
        {"LCK..pts_" + name, 1, true, false},
        {"LCK.." + name, 1, true, false},        // the two forms, live
        {"LCK..pts_" + name, ended, true, true}, // stale
        {"", 0, true, true},                     // no lock at all
        {"", 0, false, true},
        {"LCK..pts_" + name, othersLive, true, false, true}, // live, though we may not signal it
        {"LCK..pts_" + name, ended, true, true, true},       // stale, and stays: the device opens all the same
        {"LCK..pts_" + name, ended, true, false, false, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.lockFile + " " + std::to_string(row.holder));
        uucp::SetLockFolders({(row.folderWritable ? folder : m_dir / "missing").string()});
        if (!row.lockFile.empty())
            std::ofstream(folder / row.lockFile) << std::setw(10) << row.holder << "\n";
        ASSERT_TRUE(!row.othersFolder || (::chmod(folder.c_str(), 01777) | ::chown(folder.c_str(), kNobody, 0) |
                                          ::chown((folder / row.lockFile).c_str(), kNobody, 0)) == 0);
        // The faster of two programs that found the lock stale puts its own in its place.
        uucp::SetBeforeTakeOver([&row, &folder](const std::string& file) {
            if (row.replaced && std::ofstream(folder / "faster") << std::setw(10) << 1 << "\n")
                fs::rename(folder / "faster", file);
        });
        const int holder = ::open(m_pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        termios tio{};
        ::tcgetattr(holder, &tio);
        ::cfsetspeed(&tio, B115200);
        ASSERT_EQ(::tcsetattr(holder, TCSANOW, &tio), 0);
        const int opens = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC); // sees every open of the terminal
        ::inotify_add_watch(opens, m_pty.SlavePath().c_str(), IN_OPEN);

        auto port = std::make_unique<CSerialPort>();
        ASSERT_TRUE(!row.othersFolder || FileOverrides(false));
        EXPECT_EQ(port->Open(1, 19200), row.opens ? 0 : -1);
        FileOverrides(true);
        uucp::SetBeforeTakeOver({});
        EXPECT_EQ(port->LastOpenFailure(), row.opens ? OpenFailure::None : OpenFailure::Busy);
        char event[256];
        EXPECT_EQ(::read(opens, event, sizeof event) > 0, row.opens || row.replaced)
            << "a held terminal is not even opened";
        ::close(opens);
        const termios now = m_pty.LineSettings();
        EXPECT_EQ(cfgetospeed(&now) == B115200, !row.opens) << "nothing is set before we hold it";
        const bool stays = row.othersFolder && row.opens;
        for (const std::string& lock : uucp::LockNames(m_pty.SlavePath())) {
            pid_t pid = 0;
            EXPECT_EQ(std::ifstream(folder / lock) >> pid && pid == ::getpid(),
                      row.opens && row.folderWritable && !(stays && lock == row.lockFile));
        }
        port.reset();
        int exclusive = -1;
        ::ioctl(holder, TIOCGEXCL, &exclusive);
        EXPECT_EQ(exclusive, 0) << "a terminal left exclusive refuses its holder's next open";
        ::close(holder);
        // Another's lock stays; ours, and the stale one it replaced, are gone.
        for (const auto& entry : fs::directory_iterator(folder))
            EXPECT_EQ(entry.path().filename(), row.opens && !stays ? "" : row.lockFile);
        fs::remove_all(folder);
        fs::create_directory(folder);
    }
    ::kill(othersLive, SIGKILL);
    ::waitpid(othersLive, nullptr, 0);
}

TEST_F(SerialPortTest, NeverOpenedPortFailsQuietly)
{
    CSerialPort port;
    unsigned char buffer[CSerialPort::kReadSize];
    unsigned count = 99;
    EXPECT_EQ(port.Read(buffer, count), -1);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(port.Write("x", 1), -1);
    port.Close();
    port.Close();
    EXPECT_TRUE(g_messages.empty());
}

TEST_F(SerialPortTest, BusyDeviceIsRefusedUntilReleased)
{
    auto holder = std::make_unique<CSerialPort>();
    ASSERT_EQ(holder->Open(1, 19200), 0);
    CSerialPort second;
    EXPECT_EQ(second.Open(1, 19200), -1);
    const std::string busy = kOpenFailure + "\r\n" + m_pty.SlavePath() +
                             " wird von einem anderen Programm benutzt: das andere Programm beenden.";
    EXPECT_EQ(g_messages, (std::vector<std::pair<std::string, std::string>>{{busy, "ERROR"}}));

    holder.reset(); // the destructor closes the device
    CSerialPort third;
    EXPECT_EQ(third.Open(1, 19200), 0);
}

TEST_F(SerialPortTest, VanishedDeviceFailsPromptlyWithoutSpinning)
{
    CSerialPort port;
    ASSERT_EQ(port.Open(1, 19200), 0);
    m_pty.CloseMaster();

    const auto cpuStart = std::clock();
    const auto start = Clock::now();
    for (int i = 0; i < 20; ++i) {
        unsigned char buffer[CSerialPort::kReadSize];
        unsigned count = 99;
        EXPECT_EQ(port.Read(buffer, count), -1) << i;
        EXPECT_EQ(count, 0u) << i;
        EXPECT_EQ(port.Write("\x02GMWT:33\x03", 9), -1) << i;
    }
    // 20 reads that each waited out the 128 ms time-out would take over 2.5 s.
    EXPECT_LT(Clock::now() - start, milliseconds(1000));
    EXPECT_LT(std::clock() - cpuStart, CLOCKS_PER_SEC / 2);
    EXPECT_TRUE(g_messages.empty());
    EXPECT_FALSE(port.IsOpen()) << "closed by the read that found it gone, for the next tick to open again";

    // The check after a silent tick closes a device gone without a read.
    Pty other;
    MapCom1(other.SlavePath());
    ASSERT_EQ(port.Open(1, 19200), 0);
    other.CloseMaster();
    EXPECT_FALSE(port.CheckDevice());
    EXPECT_FALSE(port.IsOpen());
}

TEST_F(SerialPortTest, ComNumberToDevicePath)
{
    std::ofstream(m_ini) << "[CONNECTION]\nCOM=2\n[ports]\ncom2 = /dev/ttyACM0 \nCOM1=/dev/ttyUSB0\nCOM4=\n";
    const std::vector<std::pair<int, std::string>> rows = {
        {1, "/dev/ttyUSB0"}, // mapped
        {2, "/dev/ttyACM0"}, // key in other case, blanks around the value
        {3, "/dev/ttyS2"},   // no key: the n-th serial device
        {4, ""},             // present but empty: names no device
        {16, "/dev/ttyS15"},
    };
    for (const auto& [port, path] : rows)
        EXPECT_EQ(SerialDevicePath(port), path) << "COM" << port;

    CSerialPort::SetHooks({nullptr, (m_dir / "missing.ini").string()});
    EXPECT_EQ(SerialDevicePath(3), "/dev/ttyS2");
}

} // namespace
