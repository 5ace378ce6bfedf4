#include "port/telnet.h"

using namespace telnet;

namespace {

// A subnegotiation longer than this is no COM-PORT-OPTION message: its bytes are dropped.
constexpr std::size_t kMaxSubnegotiation = 64;

bool OursToOffer(unsigned char option)
{
    return option == kBinary || option == kSuppressGoAhead || option == kComPortOption;
}

bool TheirsToAccept(unsigned char option)
{
    return option == kBinary || option == kSuppressGoAhead;
}

std::string Command(unsigned char verb, unsigned char option)
{
    return {static_cast<char>(IAC), static_cast<char>(verb), static_cast<char>(option)};
}

std::string Subnegotiation(unsigned char command, std::string_view value)
{
    std::string bytes{static_cast<char>(IAC), static_cast<char>(SB), static_cast<char>(kComPortOption),
                      static_cast<char>(command)};
    bytes += ComPortSession::Escape(value);
    bytes += static_cast<char>(IAC);
    bytes += static_cast<char>(SE);
    return bytes;
}

} // namespace

ComPortSession::ComPortSession(unsigned baudRate) : m_baudRate(baudRate) {}

std::string ComPortSession::Start()
{
    m_us[kBinary] = OptionState::WantYes;
    m_him[kBinary] = OptionState::WantYes;
    m_us[kComPortOption] = OptionState::WantYes;
    return Command(WILL, kBinary) + Command(DO, kBinary) + Command(WILL, kComPortOption);
}

std::string ComPortSession::Escape(std::string_view data)
{
    std::string escaped;
    escaped.reserve(data.size());
    for (const char c : data) {
        escaped += c;
        if (static_cast<unsigned char>(c) == IAC)
            escaped += c;
    }
    return escaped;
}

std::string ComPortSession::SetBaudRate(unsigned baudRate)
{
    const std::string value{static_cast<char>(baudRate >> 24 & 0xFF), static_cast<char>(baudRate >> 16 & 0xFF),
                            static_cast<char>(baudRate >> 8 & 0xFF), static_cast<char>(baudRate & 0xFF)};
    return Subnegotiation(kSetBaudRate, value);
}

std::string ComPortSession::ChangeBaudRate(unsigned baudRate)
{
    m_baudRate = baudRate;
    return SetBaudRate(baudRate);
}

bool ComPortSession::Ready() const
{
    constexpr unsigned kLine = 1u << kSetBaudRate | 1u << kSetDataSize | 1u << kSetParity | 1u << kSetStopSize;
    return m_us[kComPortOption] == OptionState::Yes && (m_answered & kLine) == kLine && m_mismatch.command == 0;
}

void ComPortSession::Receive(std::string_view bytes, std::string& data, std::string& reply)
{
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        switch (m_parse) {
        case Parse::Data:
            if (byte == IAC)
                m_parse = Parse::Command;
            else
                data += c;
            break;
        case Parse::Command:
            m_parse = Parse::Data;
            if (byte == IAC) {
                data += c; // a doubled 0xFF is one data byte
            } else if (byte == DO || byte == DONT || byte == WILL || byte == WONT) {
                m_verb = byte;
                m_parse = Parse::Option;
            } else if (byte == SB) {
                m_sub.clear();
                m_subOverflow = false;
                m_parse = Parse::Sub;
            }
            // NOP, go-ahead and the other two-byte commands carry nothing for us; nor
            // does the data mark (DM) of a Synch, which comes in line with the data.
            break;
        case Parse::Option:
            m_parse = Parse::Data;
            OnOption(m_verb, byte, reply);
            break;
        case Parse::Sub:
            if (byte == IAC)
                m_parse = Parse::SubCommand;
            else if (m_sub.size() < kMaxSubnegotiation)
                m_sub += c;
            else
                m_subOverflow = true;
            break;
        case Parse::SubCommand:
            if (byte == IAC) { // a doubled 0xFF inside the value
                m_parse = Parse::Sub;
                if (m_sub.size() < kMaxSubnegotiation)
                    m_sub += c;
                else
                    m_subOverflow = true;
                break;
            }
            // IAC SE ends it; any other command ends it too, and is then taken as such.
            if (!m_subOverflow)
                OnSubnegotiation();
            m_parse = Parse::Data;
            if (byte != SE) {
                m_parse = Parse::Command;
                Receive(std::string_view(&c, 1), data, reply);
            }
            break;
        }
    }
}

void ComPortSession::OnOption(unsigned char verb, unsigned char option, std::string& reply)
{
    // Each side answers a request only when it changes the option's state, so
    // that two sides that both insist never loop.
    switch (verb) {
    case DO:
        if (!OursToOffer(option)) {
            reply += Command(WONT, option);
        } else if (m_us[option] != OptionState::Yes) {
            if (m_us[option] == OptionState::No)
                reply += Command(WILL, option);
            m_us[option] = OptionState::Yes;
            if (option == kComPortOption)
                SendLineSettings(reply);
        }
        break;
    case DONT:
        if (m_us[option] == OptionState::Yes)
            reply += Command(WONT, option);
        if (option == kComPortOption && m_us[option] != OptionState::No)
            m_refused = true;
        m_us[option] = OptionState::No;
        break;
    case WILL:
        if (!TheirsToAccept(option)) {
            reply += Command(DONT, option);
        } else if (m_him[option] != OptionState::Yes) {
            if (m_him[option] == OptionState::No)
                reply += Command(DO, option);
            m_him[option] = OptionState::Yes;
        }
        break;
    case WONT:
        if (m_him[option] == OptionState::Yes)
            reply += Command(DONT, option);
        m_him[option] = OptionState::No;
        break;
    default:
        break;
    }
}

void ComPortSession::SendLineSettings(std::string& reply)
{
    m_refused = false;
    reply += SetBaudRate(m_baudRate);
    reply += Subnegotiation(kSetDataSize, std::string(1, 8));
    reply += Subnegotiation(kSetParity, std::string(1, static_cast<char>(kParityNone)));
    reply += Subnegotiation(kSetStopSize, std::string(1, static_cast<char>(kOneStopBit)));
    reply += Subnegotiation(kSetControl, std::string(1, static_cast<char>(kNoFlowControl)));
}

void ComPortSession::OnSubnegotiation()
{
    if (m_sub.size() < 2 || static_cast<unsigned char>(m_sub[0]) != kComPortOption)
        return;
    const auto command = static_cast<unsigned char>(m_sub[1]);
    if (command <= kServerOffset || command > kServerOffset + kSetControl)
        return; // notifications and answers we never asked for
    const unsigned asked = command - kServerOffset;
    m_answered |= 1u << asked;
    // The answer carries the value the server took: a server that cannot give
    // what was asked (a port fixed at another speed) says so here, and the relay
    // would then never be understood. The value of an answer of the wrong length
    // is not judged.
    unsigned wanted = 0;
    unsigned taken = 0;
    if (asked == kSetBaudRate && m_sub.size() == 6) {
        m_serverBaudRate = 0;
        for (std::size_t i = 2; i < 6; ++i)
            m_serverBaudRate = m_serverBaudRate << 8 | static_cast<unsigned char>(m_sub[i]);
        wanted = m_baudRate;
        taken = m_serverBaudRate;
    } else if (asked != kSetBaudRate && asked != kSetControl && m_sub.size() == 3) {
        wanted = asked == kSetDataSize ? 8u : asked == kSetParity ? kParityNone : kOneStopBit;
        taken = static_cast<unsigned char>(m_sub[2]);
    }
    if (wanted != taken && m_mismatch.command == 0)
        m_mismatch = {static_cast<unsigned char>(asked), wanted, taken};
}
