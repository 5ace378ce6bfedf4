#pragma once
// The client's side of a Telnet session with the COM-PORT-OPTION, as a device
// server speaks it: no sockets here, bytes in and bytes out, so that it can be
// fed bytes split anywhere. The client offers binary transmission both ways and
// the COM-PORT-OPTION; once the server takes the option, the client sets the
// line (baud rate, 8 data bits, no parity, 1 stop bit, no flow control). Data
// bytes 0xFF travel doubled both ways. Server notifications (line state, modem
// state) may come at any time, also between two bytes of a reply, and are taken
// out of the data.

#include <array>
#include <string>
#include <string_view>

namespace telnet {

inline constexpr unsigned char IAC = 255;
inline constexpr unsigned char DONT = 254;
inline constexpr unsigned char DO = 253;
inline constexpr unsigned char WONT = 252;
inline constexpr unsigned char WILL = 251;
inline constexpr unsigned char SB = 250;
inline constexpr unsigned char SE = 240;
inline constexpr unsigned char NOP = 241;
inline constexpr unsigned char DM = 242; // the data mark of a Synch, sent as urgent data

inline constexpr unsigned char kBinary = 0;
inline constexpr unsigned char kSuppressGoAhead = 3;
inline constexpr unsigned char kComPortOption = 44;

// Commands of the COM-PORT-OPTION as the client sends them; the server answers
// each with the command plus kServerOffset and the value it took.
enum ComPortCommand : unsigned char {
    kSetBaudRate = 1,
    kSetDataSize = 2,
    kSetParity = 3,
    kSetStopSize = 4,
    kSetControl = 5,
    kNotifyLineState = 6,
    kNotifyModemState = 7,
};
inline constexpr unsigned char kServerOffset = 100;

inline constexpr unsigned char kParityNone = 1;
inline constexpr unsigned char kOneStopBit = 1;
inline constexpr unsigned char kNoFlowControl = 1;

} // namespace telnet

class ComPortSession {
public:
    explicit ComPortSession(unsigned baudRate);

    // What the client sends as soon as the connection stands: its offers.
    std::string Start();

    // Takes bytes as the server sent them, split anywhere. Appends the data bytes
    // (a doubled 0xFF as one) to data, and what must go back to the server to reply.
    void Receive(std::string_view bytes, std::string& data, std::string& reply);

    // Data as it goes to the server: every 0xFF doubled.
    static std::string Escape(std::string_view data);

    // The subnegotiation that sets the baud rate.
    static std::string SetBaudRate(unsigned baudRate);
    // The subnegotiation that sets another baud rate once the line is set; the
    // server's answer is then checked against it.
    std::string ChangeBaudRate(unsigned baudRate);

    // A line setting the server answered with another value than the one asked.
    struct LineAnswer {
        unsigned char command = 0; // kSetBaudRate ... kSetStopSize; 0: none so far
        unsigned asked = 0;
        unsigned taken = 0;
    };

    // The server took the COM-PORT-OPTION and answered the line settings with
    // the values asked. The flow-control setting is not waited for: a server in
    // front of a device without modem lines may leave it unanswered, or refuse it.
    bool Ready() const;
    // The first line setting the server took otherwise than asked.
    const LineAnswer& Mismatch() const { return m_mismatch; }
    // The server refused the COM-PORT-OPTION.
    bool Refused() const { return m_refused; }
    // The baud rate the server reports; 0 until it has said.
    unsigned ServerBaudRate() const { return m_serverBaudRate; }

private:
    enum class OptionState : unsigned char { No, WantYes, Yes };
    enum class Parse : unsigned char { Data, Command, Option, Sub, SubCommand };

    void OnOption(unsigned char verb, unsigned char option, std::string& reply);
    void OnSubnegotiation();
    void SendLineSettings(std::string& reply);

    unsigned m_baudRate;
    Parse m_parse = Parse::Data;
    unsigned char m_verb = 0;
    std::string m_sub; // the subnegotiation being read, without IAC SB and IAC SE
    bool m_subOverflow = false;
    std::array<OptionState, 256> m_us{};  // options on our side (WILL/WONT we send)
    std::array<OptionState, 256> m_him{}; // options on the server's side (DO/DONT we send)
    unsigned m_answered = 0;              // bit n: the server answered command n
    bool m_refused = false;
    unsigned m_serverBaudRate = 0;
    LineAnswer m_mismatch;
};
