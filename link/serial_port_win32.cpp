// Win32 part of CSerialPort: the communications functions, with the driver's own
// read time-outs doing what poll() does on POSIX.

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
        return ok != FALSE;
    }

    bool Write(const unsigned char* data, std::size_t length) override
    {
        // The handle is not overlapped, so the write completes before WriteFile returns.
        DWORD written = 0;
        return WriteFile(m_hPort, data, static_cast<DWORD>(length), &written, &m_overlapped) != FALSE;
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
    // The \\.\ form opens COM10 and up as well.
    return "\\\\.\\COM" + std::to_string(port);
}

std::unique_ptr<SerialDevice> OpenSerialDevice(const std::string& path)
{
    // Exclusive (no sharing), only if it exists, not overlapped.
    const HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    return std::make_unique<Win32SerialDevice>(handle);
}
