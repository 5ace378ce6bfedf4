#include "sim/relay.h"

#include "link/frame.h"
#include "sim/control.h"

#include <charconv>
#include <cmath>
#include <vector>

namespace {

constexpr std::string_view kGmwt = "GMWT:";
constexpr std::string_view kGpar = "GPAR:";
constexpr std::string_view kSpar = "SPAR:";
constexpr std::string_view kKal0 = "KAL0:";
constexpr std::string_view kK100 = "K100:";
constexpr std::string_view kTcm3 = "TCM3:";
constexpr std::string_view kFwup = "FWUP:";
constexpr std::size_t kCommandWordLength = 4; // "GMWT" without its colon
constexpr std::size_t kAddressDigits = 4;

// One decimal, '.' whatever the locale, no "-0.0".
std::string FormatTenths(double value)
{
    double rounded = std::round(value * 10.0) / 10.0;
    if (rounded == 0.0)
        rounded = 0.0;
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, rounded, std::chars_format::fixed, 1);
    return std::string(buffer, result.ptr);
}

std::string FormatFixed3(double value)
{
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 3);
    return std::string(buffer, result.ptr);
}

// Hex digits to bytes; nullopt if any character is not a hex digit.
std::optional<std::string> HexToBytes(std::string_view digits)
{
    if (digits.size() % 2 != 0)
        return std::nullopt;
    std::string bytes;
    bytes.reserve(digits.size() / 2);
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        const int high = HexDigit(digits[i]);
        const int low = HexDigit(digits[i + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes += static_cast<char>(high * 16 + low);
    }
    return bytes;
}

// The word address of a block text ('P'/'V' + 4 digits + 192 digits), if well formed.
std::optional<unsigned> BlockAddress(std::string_view text)
{
    if (text.size() != RelayModel::kBlockTextLength || (text[0] != 'P' && text[0] != 'V'))
        return std::nullopt;
    const auto address = HexToBytes(text.substr(1, kAddressDigits));
    if (!address)
        return std::nullopt;
    const unsigned value = static_cast<unsigned char>((*address)[0]) * 256u + static_cast<unsigned char>((*address)[1]);
    if (value % RelayModel::kAddressStep != 0 || value / RelayModel::kAddressStep >= RelayModel::kBlockCount)
        return std::nullopt;
    return value;
}

std::string_view TextOf(std::string_view frame)
{
    // STX, text, two digits, ETX.
    return frame.size() >= 4 ? frame.substr(1, frame.size() - 4) : std::string_view();
}

bool IsListed(const std::set<std::string>& list, const std::string& key)
{
    if (key.empty())
        return false;
    if (list.count(key) != 0)
        return true;
    // P* and V* stand for every block of a pass.
    const bool isBlock = (key[0] == 'P' || key[0] == 'V') && key.size() > 1 && key[1] >= '0' && key[1] <= '9';
    return isBlock && list.count(std::string(1, key[0]) + "*") != 0;
}

} // namespace

std::string RequestKey(std::string_view text)
{
    for (std::string_view word : {kGmwt, kGpar, kKal0, kK100, kTcm3, kFwup}) {
        if (text == word)
            return std::string(word.substr(0, kCommandWordLength));
    }
    if (text.substr(0, kSpar.size()) == kSpar)
        return std::string(kSpar.substr(0, kCommandWordLength));
    if (const auto address = BlockAddress(text))
        return std::string(1, text[0]) + std::to_string(*address / RelayModel::kAddressStep);
    // Any other text after a P or V is a firmware block gone wrong: refused, not ignored.
    if (!text.empty() && (text[0] == 'P' || text[0] == 'V'))
        return std::string(1, text[0]);
    return {};
}

bool ParseSparItems(std::string_view items, RelayParameters& params)
{
    RelayParameters parsed = params;
    bool any = false;
    while (!items.empty()) {
        const std::size_t end = items.find(';');
        const std::string_view item = items.substr(0, end);
        items.remove_prefix(end == std::string_view::npos ? items.size() : end + 1);
        if (item.empty())
            continue;
        if (item.size() < 4)
            return false;
        const std::string_view key = item.substr(0, 3);
        const auto value = ParseDecimal(item.substr(3));
        if (!value || std::fabs(*value) > RelayModel::kValueLimit)
            return false;
        if (key == "INV") {
            if (*value != std::trunc(*value) || std::fabs(*value) > RelayModel::kInvLimit)
                return false;
            parsed.INV = static_cast<int>(*value);
        } else if (key == "HYS") {
            parsed.HYS = *value;
        } else if (key == "SWB") {
            parsed.SWB = *value;
        } else if (key == "UPL") {
            parsed.UPL = *value;
        } else if (key == "UPP") {
            parsed.UPP = *value;
        } else if (key == "UMI") {
            parsed.UMI = *value;
        } else if (key == "UMM") {
            parsed.UMM = *value;
        } else if (key == "SVZ") {
            parsed.SVZ = *value;
        } else {
            return false;
        }
        any = true;
    }
    if (!any)
        return false;
    params = parsed;
    return true;
}

std::string Printable(std::string_view bytes)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b < 0x7F && b != '<') {
            out += c;
        } else {
            out += '<';
            out += kHex[b >> 4];
            out += kHex[b & 0x0F];
            out += '>';
        }
    }
    return out;
}

std::string RelayModel::GparText() const
{
    std::string version = m_params.VER.substr(0, kVersionLength);
    version.resize(kVersionLength, ' ');
    return std::string(kGpar) + "HYS" + FormatTenths(m_params.HYS) + ";SWB" + FormatTenths(m_params.SWB) + ";UPL" +
           FormatTenths(m_params.UPL) + ";UPP" + FormatTenths(m_params.UPP) + ";UMI" + FormatTenths(m_params.UMI) +
           ";UMM" + FormatTenths(m_params.UMM) + ";INV" + std::to_string(m_params.INV) + ";SVZ" +
           FormatTenths(m_params.SVZ) + ";KAL" + FormatFixed3(m_params.KAL) + ";VER" + version + ";K0V" +
           FormatTenths(m_params.K0V) + ";";
}

std::string RelayModel::NextReadingText(const std::optional<SimWander>& wander)
{
    const unsigned count = m_readings++;
    double volts = 0;
    if (wander) {
        // The phase from the count within the period, so that it stays exact however long the sim runs.
        constexpr double kTwoPi = 6.283185307179586;
        volts = wander->centre + wander->amplitude * std::sin(kTwoPi * (count % wander->readings) / wander->readings);
    } else {
        // A mains reading wandering slowly within about a volt of 230 V.
        const double n = count;
        volts = 230.0 + 0.5 * std::sin(n * 0.21) + 0.3 * std::sin(n * 0.047);
    }
    return std::string(kGmwt) + FormatTenths(volts);
}

RelayReply RelayModel::Ack(const SimOptions& options, std::string note) const
{
    RelayReply reply{std::string(1, static_cast<char>(ACK)), std::move(note)};
    if (options.extraByte)
        reply.bytes += static_cast<char>(options.extraByteValue);
    return reply;
}

RelayReply RelayModel::Framed(std::string_view text, const SimOptions& options) const
{
    std::string frame = BuildFrame(text);
    if (options.badChecksum) {
        // Change the low digit so that it is still a valid hex digit, only the wrong one.
        char& low = frame[frame.size() - 2];
        low = low == '0' ? '1' : '0';
    }
    return {frame, options.badChecksum ? "framed, wrong checksum" : "framed"};
}

RelayReply RelayModel::Handle(std::string_view frame, const SimOptions& options)
{
    if (options.silent)
        return {"", "silent"};
    const std::string_view text = TextOf(frame);
    const std::string key = RequestKey(text);
    if (key.empty())
        return {"", "unknown request"};
    if (IsListed(options.drop, key))
        return {"", "dropped"};
    const RelayReply nak{std::string(1, static_cast<char>(NAK)), "NAK"};
    if (CheckReply(frame) != 0)
        return {nak.bytes, "NAK: bad checksum"};
    if (IsListed(options.nak, key))
        return {nak.bytes, "NAK: refused by fault mode"};

    if (text == kGmwt) {
        if (m_updateMode) {
            m_updateMode = false;
            ++m_restarts;
        }
        return Framed(options.value ? std::string(kGmwt) + *options.value : NextReadingText(options.wander), options);
    }
    if (text == kGpar)
        return Framed(GparText(), options);
    if (text.substr(0, kSpar.size()) == kSpar) {
        if (!ParseSparItems(text.substr(kSpar.size()), m_params))
            return {nak.bytes, "NAK: malformed parameters"};
        return Ack(options, "ACK: parameters stored");
    }
    if (text == kKal0 || text == kK100 || text == kTcm3)
        return Ack(options, "ACK");
    if (text == kFwup) {
        m_updateMode = true;
        return Ack(options, "ACK: update mode");
    }
    return HandleBlock(text, options);
}

RelayReply RelayModel::HandleBlock(std::string_view text, const SimOptions& options)
{
    const RelayReply nak{std::string(1, static_cast<char>(NAK)), "NAK"};
    const auto address = BlockAddress(text);
    const auto data = HexToBytes(text.substr(1 + kAddressDigits));
    if (!address || !data)
        return {nak.bytes, "NAK: malformed block"};
    if (!m_updateMode)
        return {nak.bytes, "NAK: not in update mode"};
    if (text[0] == 'P') {
        m_blocks[*address] = *data;
        return Ack(options, "ACK: block stored");
    }
    const auto stored = m_blocks.find(*address);
    if (stored == m_blocks.end())
        return {nak.bytes, "NAK: block never programmed"};
    if (stored->second != *data)
        return {nak.bytes, "NAK: block differs"};
    return Ack(options, "ACK: block verified");
}

bool RelayModel::PresetFromFile(std::string_view bytes, std::string* error)
{
    if (!bytes.empty() && bytes.front() == STX)
        bytes.remove_prefix(1);
    while (!bytes.empty() && (bytes.back() == '\n' || bytes.back() == '\r'))
        bytes.remove_suffix(1);
    if (bytes.substr(0, kSpar.size()) != kSpar) {
        if (error)
            *error = "not a parameter file: it does not start with SPAR:";
        return false;
    }
    if (!ParseSparItems(bytes.substr(kSpar.size()), m_params)) {
        if (error)
            *error = "malformed parameter items";
        return false;
    }
    return true;
}
