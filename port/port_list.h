#pragma once
// The serial ports of this system as candidates for the relay's line, in the
// order a search tries them, with what the system says of each. The search
// window and korvenctl ports both use it; tests put a list of their own in
// place of the system's (SetPortLister), and the POSIX scan takes a folder that
// stands for the root (port_list_posix.h).

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "port/serial_device.h"

struct PortCandidate {
    PortCandidate() = default;
    PortCandidate(std::string name_, int comNumber_, std::string device_, std::string target_ = {})
        : name(std::move(name_)), comNumber(comNumber_), device(std::move(device_)), target(std::move(target_))
    {
    }

    std::string name;   // "COM4", or the device path where no COMn names the device
    int comNumber = 0;  // n of COMn; 0 where no COMn names the device
    std::string device; // what is opened: \\.\COM4, /dev/ttyS0, a /dev/serial/by-id/ name
    std::string target; // the device behind it: /dev/ttyUSB0 for a by-id name, \Device\Serial0 on Windows
    // What the system says it is; empty where it says nothing.
    std::string friendlyName; // Windows: "USB Serial Port (COM4)"
    std::string manufacturer;
    std::string product;
    std::string vendorId;  // USB ids as four hexadecimal digits: "0403"
    std::string productId; // "6001"
    std::string serialNumber;
    // The USB socket it is plugged into, for an adapter without a serial number:
    // the port path with the interface on Linux ("1-1.2:1.0"), the location path on Windows.
    std::string usbPath;
    std::string byIdName; // Linux: its name in /dev/serial/by-id, which the system keeps for the adapter
    // Windows: the serial port of a paired Bluetooth device, whose open can block
    // for half a minute; searched only where the user names it.
    bool bluetooth = false;
    // A COMn the program's list offers that the system does not list: a search
    // that finds nothing there need not mention it.
    bool assumed = false;
    // What an open attempt found (ProbePortStates); None: it opened.
    OpenFailure state = OpenFailure::None;
};

// The candidates: on Windows COM1 to COM16 and every other COM port the system
// lists; on POSIX the device of each COM1 to COM16 that exists (its [PORTS]
// entry, or /dev/ttyS<n-1> where that has a UART), then every serial device
// that no COMn names. Nothing is opened.
std::vector<PortCandidate> ListPorts();

// The platform's own list, which ListPorts gives unless a test installed another.
std::vector<PortCandidate> SystemPorts();

// Makes ListPorts call lister from now on; an empty function restores the system's list.
void SetPortLister(std::function<std::vector<PortCandidate>()> lister);

// Sets each candidate's state from an open attempt that is closed at once. Our
// open is exclusive, so a port another program holds is only reported busy. A
// Bluetooth port is not opened.
void ProbePortStates(std::vector<PortCandidate>& candidates);

// The candidates a search tries: all but the Bluetooth ports, except the one
// selected (COM<selectedCom>; 0 for none).
std::vector<PortCandidate> SearchCandidates(std::vector<PortCandidate> candidates, int selectedCom);

// Whether two candidates are the same USB adapter, under whatever name: the same
// ids and serial number (and interface, for an adapter with several ports); for
// one without a serial number the same ids in the same USB socket; where the
// system says nothing of either but its by-id name, that name.
bool SameAdapter(const PortCandidate& a, const PortCandidate& b);

// The listed candidate that is the device at path, where it is an adapter that
// can be known again (SameAdapter); nothing otherwise.
std::optional<PortCandidate> AdapterAt(const std::string& path);

// Where the adapter is listed now under a name other than path's; nothing where
// it is not.
std::optional<PortCandidate> FindAdapter(const PortCandidate& adapter, const std::string& path);

// The device a path leads to, for comparing: links followed on POSIX; the path
// itself on Windows.
std::string ResolvedDevice(const std::string& path);

// What the system says of the port in one line ("FTDI FT232R USB UART, USB
// 0403:6001, Seriennummer A10K1234"); empty where it says nothing.
std::string PortDescription(const PortCandidate& candidate);

// The candidate's name, and on POSIX the device a COMn stands for: "COM2
// (/dev/ttyUSB0)".
std::string PortLabel(const PortCandidate& candidate);

// n for "COMn" (any case, n from 1); 0 for anything else.
int ComNumberOf(const std::string& name);
