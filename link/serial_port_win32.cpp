// Win32 part of CSerialPort: the communications functions, with the driver's own
// read time-outs doing what poll() does on POSIX.

#include "link/net_address.h"
#include "link/net_device.h"
#include "link/serial_device.h"
#include "link/serial_mode.h"

#include <windows.h>

namespace {

// Software flow control thresholds, in bytes.
constexpr WORD kXonLimit = 10;
constexpr WORD kXoffLimit = 10;

// A read ends when more than 1 ms passes between two bytes, and after 1 ms per requested byte.
constexpr DWORD kReadIntervalTimeout = 1;
constexpr DWORD kReadTotalTimeoutMultiplier = 1;
constexpr DWORD kReadTotalTimeoutConstant = 0;

class Win32SerialDevice final : public SerialDevice {
public:
    explicit Win32SerialDevice(HANDLE handle) : m_hPort(handle) {}
    ~Win32SerialDevice() override { CloseHandle(m_hPort); }
    Win32SerialDevice(const Win32SerialDevice&) = delete;
    Win32SerialDevice& operator=(const Win32SerialDevice&) = delete;

    bool Configure(int baudRate) override
    {
        // Start from what the device has; these results do not matter, the mode string sets what counts.
        GetCommTimeouts(m_hPort, &m_timeouts);
        GetCommState(m_hPort, &m_dcb);
        if (!ApplyModeString(
                [this](const char* mode) { return BuildCommDCBAndTimeoutsA(mode, &m_dcb, &m_timeouts) != FALSE; }))
            return false;
        m_dcb.BaudRate = static_cast<DWORD>(baudRate);
        // No CTS or DSR output flow control and no DSR sensitivity (flag bits 2, 3 and 6, mask 0x4C);
        // every other flag stays as the mode string left it.
        m_dcb.fOutxCtsFlow = FALSE;
        m_dcb.fOutxDsrFlow = FALSE;
        m_dcb.fDsrSensitivity = FALSE;
        m_dcb.DCBlength = static_cast<DWORD>(sizeof(DCB));
        m_dcb.XonLim = kXonLimit;
        m_dcb.XoffLim = kXoffLimit;
        // The write time-outs keep what "TO=ON" gave them.
        m_timeouts.ReadIntervalTimeout = kReadIntervalTimeout;
        m_timeouts.ReadTotalTimeoutMultiplier = kReadTotalTimeoutMultiplier;
        m_timeouts.ReadTotalTimeoutConstant = kReadTotalTimeoutConstant;
        if (!SetCommTimeouts(m_hPort, &m_timeouts))
            return false;
        return SetCommState(m_hPort, &m_dcb) != FALSE;
    }

    bool Read(unsigned char* buffer, unsigned size, unsigned& count) override
    {
        DWORD got = 0;
        const BOOL ok = ReadFile(m_hPort, buffer, static_cast<DWORD>(size), &got, nullptr);
        count = ok ? static_cast<unsigned>(got) : 0;
        if (!ok)
            StillThere();
        return ok != FALSE;
    }

    bool Write(const unsigned char* data, std::size_t length) override
    {
        // The handle is not overlapped, so the write completes before WriteFile returns.
        DWORD written = 0;
        const BOOL ok = WriteFile(m_hPort, data, static_cast<DWORD>(length), &written, &m_overlapped);
        if (!ok)
            StillThere();
        return ok != FALSE;
    }

    bool StillThere() override
    {
        // A removed USB-serial device fails every call on its handle (access denied, a
        // command the device does not know, a general failure, not connected); a
        // line error on a device that is there clears with this call.
        DWORD errors = 0;
        COMSTAT status{};
        if (!ClearCommError(m_hPort, &errors, &status))
            m_gone = true;
        return !m_gone;
    }

private:
    HANDLE m_hPort;
    OVERLAPPED m_overlapped{}; // zero-filled, never changed, passed to every write
    DCB m_dcb{};               // line settings as applied by Configure
    COMMTIMEOUTS m_timeouts{}; // time-outs as applied by Configure
};

} // namespace

std::string SerialDevicePath(int port)
{
    // A [PORTS] entry that names a network port takes the place of the COM port;
    // any other entry is ignored here.
    if (std::string network = NetworkPortEntry(port); !network.empty())
        return network;
    return DefaultSerialDevice(port);
}

std::string DefaultSerialDevice(int port)
{
    // The \\.\ form opens COM10 and up as well.
    return "\\\\.\\COM" + std::to_string(port);
}

DeviceOpening OpenSerialDevice(const std::string& path)
{
    if (IsNetworkPath(path)) // a port of a device server
        return OpenNetworkDevice(path);
    DeviceOpening opening;
    // Exclusive (no sharing), only if it exists, not overlapped.
    const HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        opening.device = std::make_unique<Win32SerialDevice>(handle);
        return opening;
    }
    switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_NETPATH:
    case ERROR_INVALID_NAME:
        opening.failure = OpenFailure::Missing;
        break;
    // A COM port that another program has open refuses access to everyone else.
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        opening.failure = OpenFailure::Busy;
        break;
    default:
        opening.failure = OpenFailure::Other;
        break;
    }
    return opening;
}

std::string DeviceDisplayName(const std::string& path)
{
    // The device \\.\COM4 is COM4 to the user.
    return path.rfind("\\\\.\\", 0) == 0 ? path.substr(4) : path;
}

std::string NotPermittedReason(const std::string& device)
{
    return "Keine Berechtigung für " + device + ".";
}
