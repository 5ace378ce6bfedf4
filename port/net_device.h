#pragma once
// The network port: a SerialDevice that reaches the relay's line through a
// device server, over RFC 2217 or a raw TCP socket. Its open goes in steps
// (looking the name up, connecting, negotiating), so that a window's tick can
// work on it for a short while and come back to it at the next. Each device has
// its own connection and look-up; nothing is shared between devices.

#include "port/net_address.h"
#include "port/net_socket.h"
#include "port/serial_device.h"
#include "port/telnet.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace net {
struct PendingLookup;
} // namespace net

// How long past its pause an exchange waits for a whole reply, unless the
// settings file says otherwise ([PORTS] COMn_ZUSCHLAG, in milliseconds).
inline constexpr std::chrono::milliseconds kDefaultLinkAllowance{1000};
// The most a link allowance may be.
inline constexpr std::chrono::milliseconds kMaxLinkAllowance{60000};

// "COM5_ZUSCHLAG": the key in [PORTS] of the settings file that holds COM<port>'s allowance.
std::string LinkAllowanceKey(int comPort);
// An allowance as the settings file writes it: a whole number of milliseconds
// from 0 to kMaxLinkAllowance, blanks around it allowed; empty text is the
// default. Nothing for any other text: a typo must not switch the allowance off.
std::optional<std::chrono::milliseconds> ParseLinkAllowance(std::string_view text);

// The wait for a connection at start-up and at a change of selection, which the
// user asked for.
inline constexpr std::chrono::milliseconds kNetworkOpenWait{2000};
// The wait for a connection at a tick of the live reading.
inline constexpr std::chrono::milliseconds kNetworkTickWait{100};
// The wait of an open that is tried once, with no tick to go on with it
// (korvenctl, the network dialog's test): a slow name server or device server
// still answers within it.
inline constexpr std::chrono::milliseconds kOneShotOpenWait{10000};
// A connect that has not finished after this gets no answer; a server that has
// not taken the COM-PORT-OPTION after this does not speak it. An open given a
// longer wait waits as long for both.
inline constexpr std::chrono::milliseconds kConnectLimit{5000};
inline constexpr std::chrono::milliseconds kNegotiationLimit{3000};
// A raw port is taken once the server has kept the connection this long.
inline constexpr std::chrono::milliseconds kSettleTime{100};
// The pause before a server that closed the connection at once is asked again.
inline constexpr std::chrono::milliseconds kRetryPause{100};

enum class OpenStep { Ready, Pending, Failed };

// The pause before a network port whose session the server closed is taken up
// again: a device server that lets the newest client take its port over closes
// the old session without a word, and two programs that both came back at once
// would take the port from each other at every tick. The pause doubles with
// each such close in a row, and starts again from the first once a session has
// held for a while. A server that refuses a connection or is away is no close
// of a session: the port is tried again as before.
inline constexpr std::chrono::milliseconds kFirstReconnectPause{1000};
inline constexpr std::chrono::milliseconds kLongestReconnectPause{60000};
inline constexpr std::chrono::milliseconds kSessionHeld{60000};

class ReconnectPause {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    // A session stood at now.
    void SessionStarted(TimePoint now) { m_sessionStart = now; }
    // The server closed the session at now.
    void SessionClosed(TimePoint now);
    // Whether the pause after the last close has passed.
    bool MayTry(TimePoint now) const { return now >= m_until; }

private:
    int m_closesInARow = 0;
    TimePoint m_sessionStart{};
    TimePoint m_until{};
};

class NetworkDevice final : public SerialDevice, public ReplyStream {
public:
    // Starts opening the network port at path; a malformed path fails at once.
    // patience: the wait the caller gives the whole open, where longer than the
    // connect's and the negotiation's own limits.
    NetworkDevice(std::string path, std::chrono::milliseconds allowance, int baudRate,
                  std::chrono::milliseconds patience = {});
    ~NetworkDevice() override;
    NetworkDevice(const NetworkDevice&) = delete;
    NetworkDevice& operator=(const NetworkDevice&) = delete;

    const std::string& Path() const { return m_path; }

    // Works on the open for at most budget.
    OpenStep Continue(std::chrono::milliseconds budget);
    // Why the open failed; while it is still under way, why it would fail if it
    // were given up now (the name has not resolved, the host has not answered,
    // the server has not negotiated).
    OpenFailure Failure() const;
    // What the failure knows beyond its kind, for its reason line: how long the
    // step under way went unanswered ("10 s"), or the line setting the server
    // took instead of the one asked ("stellt 9600 Baud ein statt 19200 Baud").
    std::string FailureDetail() const;

    bool Configure(int baudRate) override;
    bool Read(unsigned char* buffer, unsigned size, unsigned& count) override;
    bool Write(const unsigned char* data, std::size_t length) override;
    bool StillThere() override;
    ReplyStream* Replies() override { return this; }

    bool Receive(std::string& into, std::chrono::milliseconds wait) override;
    std::string TakeLate() override;
    std::chrono::milliseconds LinkAllowance() const override { return m_allowance; }

private:
    enum class Phase { Resolving, Connecting, Negotiating, Settling, Retrying, Ready, Failed };

    OpenStep Fail(OpenFailure failure, std::string detail = {});
    // "10 s": how long the open has been under way.
    std::string Waited() const;
    // The server closed the connection at once: again after a pause, while the
    // attempt's bound allows; false (failed) when it does not.
    bool RetryLater();
    // Connects to the next address of the host; false when none is left.
    bool ConnectNext();
    // One wait of at most wait for bytes from the server, Telnet taken out; false
    // when the connection has ended.
    bool Pump(std::chrono::milliseconds wait);
    bool SendRaw(std::string_view bytes);

    std::string m_path;
    std::optional<NetAddress> m_address;
    std::chrono::milliseconds m_allowance;
    int m_baudRate;
    Phase m_phase = Phase::Resolving;
    OpenFailure m_failure = OpenFailure::None;
    std::string m_failureDetail;
    std::chrono::milliseconds m_connectLimit;
    std::chrono::milliseconds m_negotiationLimit;
    std::chrono::steady_clock::time_point m_openStart;
    std::shared_ptr<net::PendingLookup> m_lookup; // a name being looked up on a thread of its own
    std::vector<net::Endpoint> m_endpoints;
    std::size_t m_nextEndpoint = 0;
    std::unique_ptr<net::Socket> m_socket;
    std::chrono::steady_clock::time_point m_phaseStart;
    std::chrono::steady_clock::time_point m_attemptStart{}; // the first connection that stood
    std::unique_ptr<ComPortSession> m_telnet;               // rfc2217:// only
    std::string m_data;                                     // data from the server not read yet
    std::size_t m_rawReceived = 0;                          // bytes from the server, Telnet included
    bool m_heldByAnother = false; // the server's last refusal said another client holds the port
};

// Opens the network port at path, waiting at most wait: for the port list's
// probe (whose short wait bounds each port it tries).
DeviceOpening OpenNetworkDevice(const std::string& path, std::chrono::milliseconds wait = kNetworkOpenWait,
                                int baudRate = 19200);
