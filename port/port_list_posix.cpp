// POSIX part of the candidate ports: the settings file's [PORTS], the default
// ttyS ports that have a UART, and every other serial device the system has,
// found in /dev and /sys.

#include "port/port_list_posix.h"

#include "files/settings_file.h"
#include "port/net_address.h"
#include "port/serial_port.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <map>
#include <set>

namespace fs = std::filesystem;

namespace {

constexpr int kListedComPorts = 16;
// The sysfs folders above a tty device that may hold the USB device's files.
constexpr int kUsbLevels = 6;
// Default for the [PORTS] look-up that no value in the file can have (values
// never hold a line end), so that a missing key is told apart from an empty one.
const std::string kNoPortsKey = "\n";

// The device a path ends at, all links followed, for comparing; the path itself
// where it leads nowhere.
std::string Resolved(const fs::path& path)
{
    std::error_code error;
    const fs::path canonical = fs::canonical(path, error);
    return (error ? path.lexically_normal() : canonical).string();
}

// The first line of a small sysfs file, without the blanks around it.
std::string FileText(const fs::path& path)
{
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    const auto first = line.find_first_not_of(" \t\r");
    const auto last = line.find_last_not_of(" \t\r");
    return first == std::string::npos ? std::string() : line.substr(first, last - first + 1);
}

// Whether the tty of that name has hardware behind it: a device in sysfs and,
// for the ports of a serial core, a UART (type 0: the kernel keeps a place for a
// port that is not there, as for most ttyS ports of a PC).
bool HasHardware(const fs::path& root, const std::string& name)
{
    const fs::path tty = root / "sys/class/tty" / name;
    std::error_code error;
    return fs::exists(tty / "device", error) && FileText(tty / "type") != "0";
}

// The USB device's ids and names, from the first folder above the tty's device
// that has them, and the socket: that folder's name (the port path), with the
// interface where the tty hangs below one ("1-1.2:1.0").
void ReadUsbDevice(const fs::path& root, const std::string& name, PortCandidate& candidate)
{
    std::error_code error;
    const std::string sys = Resolved(root / "sys");
    fs::path folder = fs::canonical(root / "sys/class/tty" / name / "device", error);
    std::string below; // the name of the folder we came up from
    for (int level = 0; !error && level < kUsbLevels && folder.string().rfind(sys, 0) == 0; ++level) {
        if (fs::exists(folder / "idVendor", error)) {
            candidate.vendorId = FileText(folder / "idVendor");
            candidate.productId = FileText(folder / "idProduct");
            candidate.manufacturer = FileText(folder / "manufacturer");
            candidate.product = FileText(folder / "product");
            candidate.serialNumber = FileText(folder / "serial");
            const std::string port = folder.filename().string();
            candidate.usbPath = below.rfind(port + ":", 0) == 0 ? below : port;
            return;
        }
        below = folder.filename().string();
        folder = folder.parent_path();
    }
}

// Names with their numbers in numeric order: ttyUSB2 before ttyUSB10.
bool NaturalLess(const std::string& a, const std::string& b)
{
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (std::isdigit(static_cast<unsigned char>(a[i])) && std::isdigit(static_cast<unsigned char>(b[j]))) {
            std::size_t endA = i;
            std::size_t endB = j;
            while (endA < a.size() && std::isdigit(static_cast<unsigned char>(a[endA])))
                ++endA;
            while (endB < b.size() && std::isdigit(static_cast<unsigned char>(b[endB])))
                ++endB;
            const std::string numberA = a.substr(i, endA - i);
            const std::string numberB = b.substr(j, endB - j);
            if (numberA.size() != numberB.size() || numberA != numberB)
                return numberA.size() != numberB.size() ? numberA.size() < numberB.size() : numberA < numberB;
            i = endA;
            j = endB;
        } else if (a[i] != b[j]) {
            return a[i] < b[j];
        } else {
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

bool IsUsbSerialName(const std::string& name)
{
    return name.rfind("ttyUSB", 0) == 0 || name.rfind("ttyACM", 0) == 0;
}

// A serial device that no COMn names, as found.
struct Found {
    fs::path path; // what is opened: its by-id name where it has one
    int rank = 0;  // by-id names first, then other USB adapters, then on-board ports
};

} // namespace

std::vector<PortCandidate> ScanPosixPorts(const fs::path& root)
{
    // The stable names of the devices, by the device each resolves to; the first by name where several do.
    std::map<std::string, fs::path> byId;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(root / "dev/serial/by-id", error)) {
        fs::path& link = byId[Resolved(entry.path())];
        if (link.empty() || entry.path() < link)
            link = entry.path();
    }
    // What the system says of the device a candidate resolves to.
    const auto describe = [&root, &byId](PortCandidate& candidate) {
        ReadUsbDevice(root, fs::path(candidate.target).filename().string(), candidate);
        if (const auto link = byId.find(candidate.target); link != byId.end())
            candidate.byIdName = link->second.filename().string();
    };

    std::vector<PortCandidate> candidates;
    std::set<std::string> listed; // resolved devices
    const std::string& settings = CSerialPort::GetHooks().settingsPath;
    for (int n = 1; n <= kListedComPorts; ++n) {
        const std::string key = "COM" + std::to_string(n);
        std::string device = settings.empty() ? kNoPortsKey : ReadProfileString("PORTS", key, kNoPortsKey, settings);
        if (device == kNoPortsKey) {
            // Not in the settings: /dev/ttyS<n-1>, where that is a real port.
            const std::string tty = "ttyS" + std::to_string(n - 1);
            if (!HasHardware(root, tty))
                continue;
            device = (root / "dev" / tty).string();
        }
        // A key present but empty names no device; a device named twice is tried once.
        // A network port is no file: it stands for itself.
        const std::string target = IsNetworkPath(device) ? device : Resolved(device);
        if (device.empty() || !listed.insert(target).second)
            continue;
        PortCandidate candidate(key, n, device, target);
        describe(candidate);
        candidates.push_back(std::move(candidate));
    }

    // Every other serial device, by the device it resolves to.
    std::map<std::string, Found> found;
    for (const auto& [device, link] : byId)
        found[device] = {link, 0};
    const auto addDevice = [&](const std::string& name, int rank) {
        const fs::path path = root / "dev" / name;
        std::error_code missing;
        if (fs::exists(path, missing))
            found.try_emplace(Resolved(path), Found{path, rank});
    };
    for (const auto& entry : fs::directory_iterator(root / "dev", error)) {
        if (const std::string name = entry.path().filename().string(); IsUsbSerialName(name))
            addDevice(name, 1);
    }
    for (const auto& entry : fs::directory_iterator(root / "sys/class/tty", error)) {
        if (const std::string name = entry.path().filename().string(); HasHardware(root, name))
            addDevice(name, IsUsbSerialName(name) ? 1 : 2);
    }

    std::vector<std::pair<std::string, Found>> others;
    for (const auto& [device, where] : found) {
        if (listed.count(device) == 0)
            others.emplace_back(device, where);
    }
    std::sort(others.begin(), others.end(), [](const auto& a, const auto& b) {
        return a.second.rank != b.second.rank ? a.second.rank < b.second.rank : NaturalLess(a.first, b.first);
    });
    for (const auto& [device, where] : others) {
        PortCandidate candidate(where.path.string(), 0, where.path.string(), device);
        describe(candidate);
        candidates.push_back(std::move(candidate));
    }
    return candidates;
}

std::vector<PortCandidate> SystemPorts()
{
    return ScanPosixPorts("/");
}

std::string ResolvedDevice(const std::string& path)
{
    return Resolved(path);
}
