#pragma once
// The platform part of CSerialPort: serial_port_posix.cpp or serial_port_win32.cpp,
// chosen by CMake. CSerialPort holds one open device and delegates to it.

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

    // Whether a read, a write or StillThere found the device gone (a hang-up, an
    // adapter pulled out). The handle is then good for nothing but closing.
    bool Gone() const { return m_gone; }

protected:
    bool m_gone = false;
};

// The device the platform opens for COM<port>. On Windows the \\.\COMn form; on
// POSIX the path under key COMn in section [PORTS] of the settings file (a key
// present but empty names no device), else /dev/ttyS<n-1>.
std::string SerialDevicePath(int port);

struct DeviceOpening {
    std::unique_ptr<SerialDevice> device; // null when the open failed
    OpenFailure failure = OpenFailure::None;
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
// it, for the line under "Kann Schnittstelle COMn nicht öffnen".
std::string OpenFailureReason(OpenFailure failure, const std::string& path);

// The line speed for a requested baud rate: 9600, 19200 and 38400 are taken,
// anything else gives 9600.
inline int LineBaudRate(int requested)
{
    return requested == 9600 || requested == 19200 || requested == 38400 ? requested : 9600;
}
