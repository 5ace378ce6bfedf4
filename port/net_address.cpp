#include "port/net_address.h"

#include "files/settings_file.h"
#include "port/serial_port.h"

#include <algorithm>
#include <cctype>

namespace {

constexpr std::string_view kSchemeMark = "://";
constexpr int kHighestPort = 65535;

std::string Lower(std::string_view text)
{
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    return lower;
}

bool Fails(std::string* problem, const char* text)
{
    if (problem != nullptr)
        *problem = text;
    return false;
}

// A host name or IPv4 address: letters, digits, '-', '.' and '_'.
bool IsHostName(std::string_view host)
{
    return std::all_of(host.begin(), host.end(),
                       [](unsigned char c) { return std::isalnum(c) || c == '-' || c == '.' || c == '_'; });
}

// The inside of an IPv6 address's brackets: hex digits, ':' and '.' (an IPv4 tail).
bool IsIpv6(std::string_view host)
{
    return host.find(':') != std::string_view::npos && std::all_of(host.begin(), host.end(), [](unsigned char c) {
               return std::isxdigit(c) || c == ':' || c == '.';
           });
}

// A link-local IPv6 address names the interface it is reached through after a
// '%' ("fe80::1%eth0"), which a URL writes as "%25". The host keeps the plain
// '%' form, as the system's name look-up takes it.
bool TakeIpv6(std::string_view inside, std::string& host)
{
    const auto percent = inside.find('%');
    if (!IsIpv6(inside.substr(0, percent)))
        return false;
    host = std::string(inside.substr(0, percent));
    if (percent == std::string_view::npos)
        return true;
    std::string_view zone = inside.substr(percent + 1);
    if (zone.substr(0, 2) == "25" && zone.size() > 2)
        zone.remove_prefix(2);
    if (zone.empty() || !IsHostName(zone))
        return false;
    host += '%';
    host += zone;
    return true;
}

bool ParseHostAndPort(std::string_view rest, NetAddress& address, std::string* problem)
{
    std::string_view portText;
    if (!rest.empty() && rest.front() == '[') {
        const auto close = rest.find(']');
        if (close == std::string_view::npos)
            return Fails(problem, "Die eckige Klammer um die IPv6-Adresse ist nicht geschlossen.");
        if (!TakeIpv6(rest.substr(1, close - 1), address.host))
            return Fails(problem, "In den eckigen Klammern steht keine IPv6-Adresse.");
        rest.remove_prefix(close + 1);
        if (rest.empty() || rest.front() != ':')
            return Fails(problem, "Die Portnummer fehlt (rfc2217://rechner:4001).");
        portText = rest.substr(1);
    } else {
        const auto colon = rest.rfind(':');
        if (colon == std::string_view::npos)
            return Fails(problem, "Die Portnummer fehlt (rfc2217://rechner:4001).");
        address.host = std::string(rest.substr(0, colon));
        portText = rest.substr(colon + 1);
        if (address.host.empty())
            return Fails(problem, "Der Rechnername fehlt (rfc2217://rechner:4001).");
        if (address.host.find(':') != std::string::npos)
            return Fails(problem, "Eine IPv6-Adresse gehört in eckige Klammern: rfc2217://[::1]:4001.");
        if (!IsHostName(address.host))
            return Fails(problem,
                         "Der Rechnername enthält ein Zeichen, das in keinem Namen vorkommt (ein Leerzeichen?).");
    }
    if (portText.empty())
        return Fails(problem, "Die Portnummer fehlt (rfc2217://rechner:4001).");
    if (portText.find('/') != std::string_view::npos)
        return Fails(problem, "Nach der Portnummer folgt ein „/“: die Adresse endet mit der Portnummer "
                              "(rfc2217://rechner:4001).");
    if (!std::all_of(portText.begin(), portText.end(), [](unsigned char c) { return std::isdigit(c); }))
        return Fails(problem, "Die Portnummer ist keine Zahl.");
    // More than five digits is out of range whatever they are; no overflow on the way.
    const std::string_view digits = portText.substr(std::min(portText.find_first_not_of('0'), portText.size()));
    address.port = digits.size() > 5 ? kHighestPort + 1 : (digits.empty() ? 0 : std::stoi(std::string(digits)));
    if (address.port < 1 || address.port > kHighestPort)
        return Fails(problem, "Die Portnummer muss zwischen 1 und 65535 liegen.");
    return true;
}

} // namespace

bool IsNetworkPath(std::string_view path)
{
    return path.find(kSchemeMark) != std::string_view::npos;
}

std::optional<NetAddress> ParseNetAddress(std::string_view text, std::string* problem)
{
    const auto mark = text.find(kSchemeMark);
    if (mark == std::string_view::npos) {
        Fails(problem, "Eine Netzwerk-Schnittstelle beginnt mit rfc2217:// oder tcp://.");
        return std::nullopt;
    }
    NetAddress address;
    const std::string scheme = Lower(text.substr(0, mark));
    if (scheme == "rfc2217") {
        address.scheme = NetScheme::Rfc2217;
    } else if (scheme == "tcp") {
        address.scheme = NetScheme::Raw;
    } else {
        Fails(problem, "Unbekannte Art der Verbindung: rfc2217:// oder tcp:// verwenden.");
        return std::nullopt;
    }
    if (!ParseHostAndPort(text.substr(mark + kSchemeMark.size()), address, problem))
        return std::nullopt;
    return address;
}

std::string ServerName(const NetAddress& address)
{
    const bool bracketed = address.host.find(':') != std::string::npos;
    return (bracketed ? "[" + address.host + "]" : address.host) + ":" + std::to_string(address.port);
}

std::string FormatNetAddress(const NetAddress& address)
{
    return std::string(address.scheme == NetScheme::Rfc2217 ? "rfc2217://" : "tcp://") + ServerName(address);
}

std::string NetworkPortEntry(int port)
{
    const std::string& settings = CSerialPort::GetHooks().settingsPath;
    if (settings.empty())
        return {};
    std::string entry = ReadProfileString("PORTS", "COM" + std::to_string(port), "", settings);
    return IsNetworkPath(entry) ? entry : std::string();
}

bool IsNetworkFailure(OpenFailure failure)
{
    switch (failure) {
    case OpenFailure::BadAddress:
    case OpenFailure::UnknownHost:
    case OpenFailure::NobodyListens:
    case OpenFailure::NoAnswer:
    case OpenFailure::NotRfc2217:
    case OpenFailure::LineSettings:
    case OpenFailure::PortInUse:
        return true;
    default:
        return false;
    }
}

std::string NetworkFailureReason(OpenFailure failure, const std::string& path, const std::string& detail)
{
    std::string problem;
    const std::optional<NetAddress> address = ParseNetAddress(path, &problem);
    if (!address)
        return path + " ist keine gültige Netzwerkadresse: " + problem;
    const std::string server = ServerName(*address);
    // With a detail, a step went unanswered until the wait was over: it is named
    // with the time waited, as it may well answer later.
    switch (failure) {
    case OpenFailure::UnknownHost:
        if (!detail.empty())
            return "Der Name " + address->host + " ist nicht aufgelöst: keine Antwort vom Namensserver nach " + detail +
                   ". Den Rechnernamen und das Netzwerk prüfen.";
        return "Der Name " + address->host + " lässt sich nicht auflösen: den Rechnernamen prüfen.";
    case OpenFailure::NobodyListens:
        return "Auf " + server +
               " nimmt niemand Verbindungen an: ist der Port des Geräteservers eingeschaltet, oder hält ihn ein "
               "anderer Client?";
    case OpenFailure::NoAnswer:
        return "Keine Antwort von " + address->host + (detail.empty() ? "" : " nach " + detail) +
               ": die Adresse und das Netzwerk prüfen.";
    case OpenFailure::LineSettings:
        return "Der Geräteserver auf " + server + " " + detail +
               ": die Einstellungen dieses Ports am Geräteserver prüfen.";
    case OpenFailure::NotRfc2217:
        if (!detail.empty())
            return "Der Server auf " + server + " gibt keine Antwort auf die RFC-2217-Aushandlung nach " + detail +
                   ": spricht er kein RFC 2217, als tcp:// eintragen, oder den Port am Server auf RFC 2217 stellen.";
        return "Der Server auf " + server +
               " spricht kein RFC 2217: als tcp:// eintragen, oder den Port am Server auf RFC 2217 stellen.";
    case OpenFailure::PortInUse:
        return server + " wird von einem anderen Programm am Geräteserver benutzt: warten, bis es fertig ist, oder "
                        "es beenden.";
    default:
        break;
    }
    return "Die Verbindung zu " + server + " lässt sich nicht aufbauen.";
}
