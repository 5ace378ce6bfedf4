#pragma once
// The platform part of CSerialPort: serial_port_posix.cpp or serial_port_win32.cpp,
// chosen by CMake. CSerialPort holds one open device and delegates to it.

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

// Why a device could not be opened.
enum class OpenFailure {
    None,
    Missing,      // no such device: not plugged in, or another name
    Busy,         // another program holds it
    NotPermitted, // the user may not open it
    NotSerial,    // something is there, but no serial port (a file, a folder, a terminal without a line)
    Other,        // the system refused it for another reason
    // Network ports (net_address.h):
    BadAddress,    // the address is malformed
    UnknownHost,   // the name does not resolve
    NobodyListens, // the host refuses the connection: nothing listens on that port, or it is held
    NoAnswer,      // the host does not answer
    NotRfc2217,    // an rfc2217:// server that never took the COM-PORT-OPTION
    LineSettings,  // the device server set the line otherwise than asked (another baud rate)
    PortInUse,     // the device server's port is held by another client
};

// What a device reached over a network adds: its replies come late and in
// pieces, so the exchange reads them whole (link/exchange.cpp).
class ReplyStream {
public:
    virtual ~ReplyStream() = default;
    // Waits at most wait for data and appends what came, possibly nothing, as
    // soon as some came. false when the connection is gone.
    virtual bool Receive(std::string& into, std::chrono::milliseconds wait) = 0;
    // The data that came and was not read, taken without waiting: a reply that
    // came after its exchange had given up.
    virtual std::string TakeLate() = 0;
    // How long past its pause an exchange waits for the whole reply.
    virtual std::chrono::milliseconds LinkAllowance() const = 0;
};

class SerialDevice {
public:
    virtual ~SerialDevice() = default; // closes the device

    // Sets 8 data bits, no parity, 1 stop bit, no flow control, the read
    // time-outs and baudRate (already one of 9600, 19200, 38400). false when the
    // device refuses the settings; it then stays open.
    virtual bool Configure(int baudRate) = 0;

    // One read of up to size bytes under the read time-outs. count is 0 on failure.
    virtual bool Read(unsigned char* buffer, unsigned size, unsigned& count) = 0;

    // Hands all length bytes to the driver. false on failure.
    virtual bool Write(const unsigned char* data, std::size_t length) = 0;

    // Asks the handle itself whether its device is still there, for drivers whose
    // reads of a removed device just come back empty. false marks it gone.
    virtual bool StillThere() = 0;

    // A device reached over a network, whose replies the exchange reads whole;
    // null for a serial device, which reads as it always has.
    virtual ReplyStream* Replies() { return nullptr; }

    // Whether a read, a write or StillThere found the device gone (a hang-up, an
    // adapter pulled out). The handle is then good for nothing but closing.
    bool Gone() const { return m_gone; }

protected:
    bool m_gone = false;
};

// The device the platform opens for COM<port>. On Windows the \\.\COMn form, or
// the [PORTS] entry of COMn where it names a network port (net_address.h); on
// POSIX the path under key COMn in section [PORTS] of the settings file (a key
// present but empty names no device), else /dev/ttyS<n-1>.
std::string SerialDevicePath(int port);
// The serial device of COM<port> when the settings name none: /dev/ttyS<n-1>, \\.\COMn.
std::string DefaultSerialDevice(int port);

struct DeviceOpening {
    std::unique_ptr<SerialDevice> device; // null when the open failed
    OpenFailure failure = OpenFailure::None;
    std::string detail; // what the failure knows beyond its kind (FailureDetail in net_device.h)
};

// Opens the device at path (SerialDevicePath of a COM number, or a path given as
// it is) for exclusive use; no device, and why, when it is missing, busy, not
// permitted or not a serial port.
DeviceOpening OpenSerialDevice(const std::string& path);

// The device as the user knows it: the path on POSIX, COMn on Windows.
std::string DeviceDisplayName(const std::string& path);
// The reason line for a device the user may not open, with what to do about it.
std::string NotPermittedReason(const std::string& device);

// One line that says why the device at path did not open and what to do about
// it, for the line under "Kann Schnittstelle COMn nicht öffnen". detail is what
// a network port's failure knows beyond its kind (NetworkDevice::FailureDetail).
std::string OpenFailureReason(OpenFailure failure, const std::string& path, const std::string& detail = {});

// The line speed for a requested baud rate: 9600, 19200 and 38400 are taken,
// anything else gives 9600.
inline int LineBaudRate(int requested)
{
    return requested == 9600 || requested == 19200 || requested == 38400 ? requested : 9600;
}
