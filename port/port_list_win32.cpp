// Win32 part of the candidate ports: COM1 to COM16, the system's COM port list
// (HKLM\HARDWARE\DEVICEMAP\SERIALCOMM) and what Plug and Play knows of each port
// (SetupAPI: friendly name, manufacturer, USB ids, serial number).

#include "port/port_list.h"

#include "files/wide.h"

#include <iterator>
#include <map>
#include <string>

#include <windows.h>

#include <setupapi.h>

namespace {

constexpr int kListedComPorts = 16;

// The device setup class of serial and parallel ports, {4D36E978-E325-11CE-BFC1-08002BE10318}.
constexpr GUID kPortsClass = {0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

// A text value of an open registry key; empty where there is none.
std::string RegistryText(HKEY key, const wchar_t* name)
{
    wchar_t value[256] = {};
    DWORD size = sizeof value - sizeof(wchar_t); // room for the terminator the value may lack
    DWORD type = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return {};
    return Narrow(value);
}

// A text property of a device; the first string of a list property.
std::string DeviceProperty(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property)
{
    wchar_t value[512] = {};
    if (!SetupDiGetDeviceRegistryPropertyW(set, &device, property, nullptr, reinterpret_cast<BYTE*>(value),
                                           sizeof value - 2 * sizeof(wchar_t), nullptr))
        return {};
    return Narrow(value);
}

// The four hexadecimal digits after tag ("VID_") in a hardware id such as
// USB\VID_0403&PID_6001&REV_0600.
std::string IdAfter(const std::string& hardwareId, const std::string& tag)
{
    const auto at = hardwareId.find(tag);
    return at == std::string::npos ? std::string() : hardwareId.substr(at + tag.size(), 4);
}

// Whether a hardware id begins with prefix, in any case.
bool HasPrefix(const std::string& hardwareId, const std::string& prefix)
{
    return hardwareId.size() >= prefix.size() &&
           CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, hardwareId.c_str(), static_cast<int>(prefix.size()),
                          prefix.c_str(), static_cast<int>(prefix.size())) == CSTR_EQUAL;
}

// Adds what Plug and Play knows of each port it lists.
void ReadDeviceInfo(std::map<int, PortCandidate>& ports)
{
    const HDEVINFO set = SetupDiGetClassDevsW(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE)
        return;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; SetupDiEnumDeviceInfo(set, index, &device); ++index) {
        const HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key == INVALID_HANDLE_VALUE)
            continue;
        const std::string portName = RegistryText(key, L"PortName");
        RegCloseKey(key);
        const auto found = ports.find(ComNumberOf(portName));
        if (found == ports.end())
            continue; // a printer port, or a port the system does not list
        PortCandidate& port = found->second;
        port.friendlyName = DeviceProperty(set, device, SPDRP_FRIENDLYNAME);
        port.manufacturer = DeviceProperty(set, device, SPDRP_MFG);
        const std::string hardwareId = DeviceProperty(set, device, SPDRP_HARDWAREID);
        port.vendorId = IdAfter(hardwareId, "VID_");
        port.productId = IdAfter(hardwareId, "PID_");
        // The serial port of a paired Bluetooth device: BTHENUM\{00001101-...}_LOCALMFG&000F.
        port.bluetooth = HasPrefix(hardwareId, "BTHENUM\\");
        // The socket: PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(2), the first of the device's location paths.
        port.usbPath = DeviceProperty(set, device, SPDRP_LOCATION_PATHS);
        // USB\VID_2341&PID_0043\85736323838351F0C1A1: a USB device with a serial
        // number has it as the last part of its instance id; without one that part
        // is made up by the system and carries an '&'.
        wchar_t instance[256] = {};
        if (hardwareId.rfind("USB\\", 0) == 0 &&
            SetupDiGetDeviceInstanceIdW(set, &device, instance, static_cast<DWORD>(std::size(instance) - 1), nullptr)) {
            const std::string id = Narrow(instance);
            const std::string last = id.substr(id.rfind('\\') + 1);
            if (last.find('&') == std::string::npos)
                port.serialNumber = last;
        }
    }
    SetupDiDestroyDeviceInfoList(set);
}

} // namespace

std::vector<PortCandidate> SystemPorts()
{
    std::map<int, PortCandidate> ports;
    for (int n = 1; n <= kListedComPorts; ++n) {
        ports[n] = PortCandidate("COM" + std::to_string(n), n, SerialDevicePath(n));
        ports[n].assumed = true;
    }

    // The system's list: \Device\Serial0 = COM1, \Device\VCP0 = COM4 ...
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) == ERROR_SUCCESS) {
        for (DWORD index = 0;; ++index) {
            wchar_t name[256] = {};
            wchar_t value[64] = {};
            DWORD nameLength = static_cast<DWORD>(std::size(name));
            DWORD valueSize = sizeof value - sizeof(wchar_t);
            DWORD type = 0;
            const LONG result = RegEnumValueW(key, index, name, &nameLength, nullptr, &type,
                                              reinterpret_cast<BYTE*>(value), &valueSize);
            if (result == ERROR_NO_MORE_ITEMS)
                break;
            const int n = result == ERROR_SUCCESS && type == REG_SZ ? ComNumberOf(Narrow(value)) : 0;
            if (n == 0)
                continue;
            ports[n] = PortCandidate("COM" + std::to_string(n), n, SerialDevicePath(n), Narrow(name));
        }
        RegCloseKey(key);
    }
    ReadDeviceInfo(ports);

    std::vector<PortCandidate> candidates;
    for (auto& [n, port] : ports)
        candidates.push_back(std::move(port));
    return candidates;
}

std::string ResolvedDevice(const std::string& path)
{
    return path;
}
