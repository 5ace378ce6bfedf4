#include "link/network_setup.h"

#include "app/live_reply.h"
#include "files/settings_file.h"
#include "port/net_address.h"
#include "port/net_device.h"
#include "link/port_search.h"
#include "port/serial_port.h"
#include "params/parameter_set.h"

#include <algorithm>
#include <cctype>

namespace {

// Default for a look-up that no value can have, to tell a missing key from an empty one.
const std::string kNoKey = "\n";

std::string Key(int comPort)
{
    return "COM" + std::to_string(comPort);
}

std::string AllowanceKey(int comPort)
{
    return LinkAllowanceKey(comPort);
}

std::string Trimmed(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t");
    const auto last = text.find_last_not_of(" \t");
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

} // namespace

PortSetup ReadPortSetup(int comPort, const std::string& settings)
{
    PortSetup setup;
    setup.comPort = comPort;
    const std::string entry = ReadProfileString("PORTS", Key(comPort), "", settings);
    setup.allowance = ReadProfileString("PORTS", AllowanceKey(comPort), "", settings);
    setup.serialDevice = DefaultSerialDevice(comPort);
    if (const auto address = ParseNetAddress(entry)) {
        setup.kind = address->scheme == NetScheme::Rfc2217 ? PortKind::Rfc2217 : PortKind::Raw;
        setup.host = address->host;
        setup.port = std::to_string(address->port);
    } else if (IsNetworkPath(entry)) {
        // Malformed: shown as it is, to be mended.
        setup.host = entry.substr(entry.find("://") + 3);
    } else if (!entry.empty()) {
        setup.serialDevice = entry;
    }
    return setup;
}

std::optional<std::string> PortEntry(const PortSetup& setup, std::string* problem)
{
    // The same check as the port's own when it reads the key.
    if (!ParseLinkAllowance(setup.allowance)) {
        if (problem != nullptr)
            *problem = "Der Zuschlag ist eine Zahl von Millisekunden, von 0 bis 60000.";
        return std::nullopt;
    }
    const std::string host = Trimmed(setup.host);
    if (setup.kind == PortKind::Serial)
        return host;
    const bool ipv6 = host.find(':') != std::string::npos && host.front() != '[';
    const std::string entry = std::string(setup.kind == PortKind::Rfc2217 ? "rfc2217://" : "tcp://") +
                              (ipv6 ? "[" + host + "]" : host) + ":" + Trimmed(setup.port);
    if (!ParseNetAddress(entry, problem))
        return std::nullopt;
    return entry;
}

bool WritePortSetup(const PortSetup& setup, const std::string& entry, const std::string& settings)
{
    if (!WriteProfileString("PORTS", Key(setup.comPort), entry, settings))
        return false;
    const std::string allowance = Trimmed(setup.allowance);
    if (allowance.empty() && ReadProfileString("PORTS", AllowanceKey(setup.comPort), kNoKey, settings) == kNoKey)
        return true;
    return WriteProfileString("PORTS", AllowanceKey(setup.comPort), allowance, settings);
}

std::string TestPort(const std::string& entry)
{
    // Tried once, at the user's request: a slow name server or device server has its time.
    CSerialPort port;
    if (port.TryPath(entry, 19200, kOneShotOpenWait) != 0)
        return "Keine Verbindung: " + OpenFailureReason(port.LastOpenFailure(), entry, port.LastOpenDetail());
    DrainPort(port, kSearchDrainLimit);
    const auto reading = LiveReading(RunExchange(port, kLiveRequest, false, kPause, ReplyForm::Framed));
    if (!reading)
        return "Verbunden, aber kein Gerät antwortet.";
    std::string value = FormatFixed(*reading, 4, 1);
    value.erase(0, value.find_first_not_of(' '));
    return "Verbunden: das Gerät antwortet mit " + value + " V.";
}

std::string WrapLines(const std::string& text, std::size_t width)
{
    const auto characters = [](const std::string& part) {
        return static_cast<std::size_t>(
            std::count_if(part.begin(), part.end(), [](unsigned char c) { return (c & 0xC0) != 0x80; }));
    };
    std::string wrapped;
    std::size_t lineLength = 0;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = std::min(text.find(' ', at), text.size());
        const std::string word = text.substr(at, end - at);
        if (lineLength > 0 && lineLength + 1 + characters(word) > width) {
            wrapped += "\r\n";
            lineLength = 0;
        } else if (lineLength > 0) {
            wrapped += ' ';
            ++lineLength;
        }
        wrapped += word;
        lineLength += characters(word);
        at = end + 1;
    }
    return wrapped;
}
