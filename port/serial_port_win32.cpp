// Win32 part of CSerialPort: the communications functions, with the driver's own
// read time-outs doing what poll() does on POSIX.

#include "port/serial_port_win32.h"

#include "port/net_address.h"
#include "port/net_device.h"
#include "port/serial_mode.h"

#include <utility>

namespace {

// Software flow control thresholds, in bytes.
constexpr WORD kXonLimit = 10;
constexpr WORD kXoffLimit = 10;

// A read ends when more than 1 ms passes between two bytes, and after 1 ms per requested byte.
constexpr DWORD kReadIntervalTimeout = 1;
constexpr DWORD kReadTotalTimeoutMultiplier = 1;
constexpr DWORD kReadTotalTimeoutConstant = 0;

CommCalls& CallStore()
{
    static CommCalls calls;
    return calls;
}

// The calls the devices make: the seam's where a test set them, else the system's.
CommCalls Calls()
{
    CommCalls calls = CallStore();
    if (!calls.readFile)
        calls.readFile = [](HANDLE h, void* buffer, DWORD size, DWORD* got) {
            return ReadFile(h, buffer, size, got, nullptr);
        };
    if (!calls.writeFile)
        calls.writeFile = [](HANDLE h, const void* data, DWORD size, DWORD* written, OVERLAPPED* overlapped) {
            return WriteFile(h, data, size, written, overlapped);
        };
    if (!calls.clearCommError)
        calls.clearCommError = [](HANDLE h, DWORD* errors, COMSTAT* status) {
            return ClearCommError(h, errors, status);
        };
    return calls;
}

// The error codes with which drivers of a removed USB-serial adapter fail the
// calls on its handle, and with which Wine fails every call on a terminal that
// hung up (ERROR_INVALID_FUNCTION, and ERROR_NOT_READY once its link is gone).
// ClearCommError of a virtual port that is there fails with
// ERROR_INVALID_PARAMETER, which says nothing of the device.
bool MeansRemoved(DWORD error)
{
    switch (error) {
    case ERROR_INVALID_FUNCTION:
    case ERROR_NOT_READY:
    case ERROR_ACCESS_DENIED:
    case ERROR_BAD_COMMAND:
    case ERROR_GEN_FAILURE:
    case ERROR_OPERATION_ABORTED:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED:
        return true;
    default:
        return false;
    }
}

class Win32SerialDevice final : public SerialDevice {
public:
    explicit Win32SerialDevice(HANDLE handle) : m_hPort(handle), m_calls(Calls()) {}
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
        const BOOL ok = m_calls.readFile(m_hPort, buffer, static_cast<DWORD>(size), &got);
        count = ok ? static_cast<unsigned>(got) : 0;
        if (!ok)
            NoteFailure(GetLastError());
        return ok != FALSE;
    }

    bool Write(const unsigned char* data, std::size_t length) override
    {
        // The handle is not overlapped, so the write completes before WriteFile returns.
        DWORD written = 0;
        const BOOL ok = m_calls.writeFile(m_hPort, data, static_cast<DWORD>(length), &written, &m_overlapped);
        if (!ok)
            NoteFailure(GetLastError());
        return ok != FALSE;
    }

    bool StillThere() override
    {
        // Clears a line error of a device that is there; only an error of its own
        // that says the device is gone marks it so.
        DWORD errors = 0;
        COMSTAT status{};
        if (!m_calls.clearCommError(m_hPort, &errors, &status) && MeansRemoved(GetLastError()))
            m_gone = true;
        return !m_gone;
    }

private:
    // A read or write failed with error: whether the device is gone is decided by
    // that code, since ClearCommError of some removed adapters still succeeds.
    void NoteFailure(DWORD error)
    {
        if (error == ERROR_OPERATION_ABORTED) {
            // A driver set to abort on line errors fails every call so until
            // ClearCommError, which then names the line error: the device is there.
            DWORD errors = 0;
            COMSTAT status{};
            const bool lineError = m_calls.clearCommError(m_hPort, &errors, &status) && errors != 0;
            m_gone = !lineError;
        } else if (MeansRemoved(error)) {
            m_gone = true;
        } else {
            StillThere();
        }
    }

    HANDLE m_hPort;
    CommCalls m_calls;
    OVERLAPPED m_overlapped{}; // zero-filled, never changed, passed to every write
    DCB m_dcb{};               // line settings as applied by Configure
    COMMTIMEOUTS m_timeouts{}; // time-outs as applied by Configure
};

} // namespace

void SetCommCalls(CommCalls calls)
{
    CallStore() = std::move(calls);
}

std::unique_ptr<SerialDevice> SerialDeviceOfHandle(HANDLE handle)
{
    return std::make_unique<Win32SerialDevice>(handle);
}

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
