// The candidate ports, neutral part: the seam for tests, the open attempts and
// the texts. The platform's scan is in port_list_posix.cpp or port_list_win32.cpp.

#include "port/port_list.h"

#include "port/net_address.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace {

std::function<std::vector<PortCandidate>()>& Lister()
{
    static std::function<std::vector<PortCandidate>()> lister;
    return lister;
}

} // namespace

std::vector<PortCandidate> ListPorts()
{
    std::vector<PortCandidate> ports = Lister() ? Lister()() : SystemPorts();
    // A network port that [PORTS] names stands for itself: no device is behind it.
    for (PortCandidate& port : ports) {
        if (port.target.empty() && IsNetworkPath(port.device))
            port.target = port.device;
    }
    return ports;
}

void SetPortLister(std::function<std::vector<PortCandidate>()> lister)
{
    Lister() = std::move(lister);
}

void ProbePortStates(std::vector<PortCandidate>& candidates)
{
    for (PortCandidate& candidate : candidates) {
        // The device, if we get it, closes again at once; nothing is set or sent.
        if (!candidate.bluetooth)
            candidate.state = OpenSerialDevice(candidate.device).failure;
    }
}

std::vector<PortCandidate> SearchCandidates(std::vector<PortCandidate> candidates, int selectedCom)
{
    candidates.erase(std::remove_if(candidates.begin(), candidates.end(),
                                    [selectedCom](const PortCandidate& candidate) {
                                        return candidate.bluetooth && candidate.comNumber != selectedCom;
                                    }),
                     candidates.end());
    return candidates;
}

bool SameAdapter(const PortCandidate& a, const PortCandidate& b)
{
    if (a.vendorId.empty() && b.vendorId.empty())
        return !a.byIdName.empty() && a.byIdName == b.byIdName;
    if (a.vendorId != b.vendorId || a.productId != b.productId)
        return false;
    // The interface tells the ports of one adapter with several apart: "1-1.2:1.0" and "1-1.2:1.1".
    const auto interface = [](const std::string& usbPath) {
        const auto colon = usbPath.rfind(':');
        return colon == std::string::npos ? std::string() : usbPath.substr(colon);
    };
    if (!a.serialNumber.empty() || !b.serialNumber.empty())
        return a.serialNumber == b.serialNumber && interface(a.usbPath) == interface(b.usbPath);
    // Two adapters of one kind without serial numbers differ only by their socket.
    return !a.usbPath.empty() && a.usbPath == b.usbPath;
}

namespace {

// Whether the candidate is the device at path.
bool IsDeviceAt(const PortCandidate& candidate, const std::string& path, const std::string& resolved)
{
    return candidate.device == path || (!candidate.target.empty() && candidate.target == resolved);
}

} // namespace

std::optional<PortCandidate> AdapterAt(const std::string& path)
{
    const std::string resolved = ResolvedDevice(path);
    for (const PortCandidate& candidate : ListPorts()) {
        // Only an adapter that can be known again (the same as itself) is worth remembering.
        if (IsDeviceAt(candidate, path, resolved))
            return SameAdapter(candidate, candidate) ? std::optional(candidate) : std::nullopt;
    }
    return std::nullopt;
}

std::optional<PortCandidate> FindAdapter(const PortCandidate& adapter, const std::string& path)
{
    const std::string resolved = ResolvedDevice(path);
    for (const PortCandidate& candidate : ListPorts()) {
        if (!IsDeviceAt(candidate, path, resolved) && SameAdapter(candidate, adapter))
            return candidate;
    }
    return std::nullopt;
}

std::string PortDescription(const PortCandidate& candidate)
{
    std::vector<std::string> parts;
    const auto add = [&parts](std::string part) {
        if (!part.empty())
            parts.push_back(std::move(part));
    };
    add(candidate.friendlyName);
    std::string maker = candidate.manufacturer;
    // A friendly name usually carries the product already.
    if (!candidate.product.empty() && candidate.friendlyName.find(candidate.product) == std::string::npos)
        maker += (maker.empty() ? "" : " ") + candidate.product;
    add(maker);
    if (!candidate.vendorId.empty() || !candidate.productId.empty())
        add("USB " + candidate.vendorId + ":" + candidate.productId);
    if (!candidate.serialNumber.empty())
        add("Seriennummer " + candidate.serialNumber);
    std::string text;
    for (const std::string& part : parts)
        text += (text.empty() ? "" : ", ") + part;
    return text;
}

std::string PortLabel(const PortCandidate& candidate)
{
    const std::string device = DeviceDisplayName(candidate.device);
    if (candidate.comNumber == 0 || device == candidate.name)
        return candidate.name;
    return candidate.name + " (" + device + ")";
}

int ComNumberOf(const std::string& name)
{
    if (name.size() < 4 || name.size() > 6)
        return 0;
    std::string word = name.substr(0, 3);
    std::transform(word.begin(), word.end(), word.begin(), [](unsigned char c) { return std::toupper(c); });
    if (word != "COM" || !std::all_of(name.begin() + 3, name.end(), [](unsigned char c) { return std::isdigit(c); }))
        return 0;
    return std::stoi(name.substr(3));
}
