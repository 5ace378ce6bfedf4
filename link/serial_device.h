#pragma once
// The platform part of CSerialPort: serial_port_posix.cpp or serial_port_win32.cpp,
// chosen by CMake. CSerialPort holds one open device and delegates to it.

#include <cstddef>
#include <memory>
#include <string>

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
};

// The device the platform opens for COM<port>. On Windows the \\.\COMn form; on
// POSIX the path under key COMn in section [PORTS] of the settings file (a key
// present but empty names no device), else /dev/ttyS<n-1>.
std::string SerialDevicePath(int port);

// Opens the device at path (SerialDevicePath of a COM number, or a path given as
// it is) for exclusive use; null when it is missing, busy or not a serial port.
std::unique_ptr<SerialDevice> OpenSerialDevice(const std::string& path);

// The line speed for a requested baud rate: 9600, 19200 and 38400 are taken,
// anything else gives 9600.
inline int LineBaudRate(int requested)
{
    return requested == 9600 || requested == 19200 || requested == 38400 ? requested : 9600;
}
