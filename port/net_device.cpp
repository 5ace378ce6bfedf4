#include "port/net_device.h"

#include "port/read_timing.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <string_view>
#include <thread>
#include <utility>

namespace net {

// A name looked up on a thread of its own: a name server may keep the answer
// for many seconds, and the window must not wait for it. The thread holds the
// state as long as it runs, so a device closed meanwhile leaves it nothing to
// write into but this.
struct PendingLookup {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    Lookup result;
};

} // namespace net

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Bound of a write whose bytes the connection does not take: 1 s plus 1 ms per byte.
constexpr milliseconds kWriteTimeBase{1000};
// The most a look for late bytes takes in at once.
constexpr std::size_t kLateByteLimit = 4096;
// What ser2net sends, after the Telnet negotiation, to a client it turns away
// because another one holds the port; then it closes the connection.
constexpr std::string_view kPortInUseText = "Port already in use";

// "stellt 9600 Baud ein statt 19200 Baud": a line setting taken otherwise than asked.
std::string MismatchText(const ComPortSession::LineAnswer& answer)
{
    const auto setting = [&answer](unsigned value) -> std::string {
        switch (answer.command) {
        case telnet::kSetBaudRate:
            return std::to_string(value) + " Baud";
        case telnet::kSetDataSize:
            return std::to_string(value) + " Datenbits";
        case telnet::kSetParity: {
            static const char* const kParities[] = {"keine Parität", "ungerade Parität", "gerade Parität",
                                                    "Parität Mark", "Parität Space"};
            return value >= 1 && value <= 5 ? kParities[value - 1] : "Parität " + std::to_string(value);
        }
        default: // the stop bits: 1, 2, and 3 for one and a half
            return value == 1   ? "1 Stoppbit"
                   : value == 3 ? "anderthalb Stoppbits"
                                : std::to_string(value) + " Stoppbits";
        }
    };
    return "stellt " + setting(answer.taken) + " ein statt " + setting(answer.asked);
}

std::string_view Trimmed(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

milliseconds Left(Clock::time_point end)
{
    const auto left = std::chrono::ceil<milliseconds>(end - Clock::now());
    return left.count() > 0 ? left : milliseconds{0};
}

} // namespace

std::string LinkAllowanceKey(int comPort)
{
    return "COM" + std::to_string(comPort) + "_ZUSCHLAG";
}

std::optional<milliseconds> ParseLinkAllowance(std::string_view text)
{
    text = Trimmed(text);
    if (text.empty())
        return kDefaultLinkAllowance;
    // More than five digits is out of range whatever they are; no overflow on the way.
    if (text.size() > 5 || !std::all_of(text.begin(), text.end(), [](unsigned char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    const milliseconds allowance{std::stoi(std::string(text))};
    if (allowance > kMaxLinkAllowance)
        return std::nullopt;
    return allowance;
}

NetworkDevice::NetworkDevice(std::string path, milliseconds allowance, int baudRate, milliseconds patience)
    : m_path(std::move(path)), m_address(ParseNetAddress(m_path)), m_allowance(allowance), m_baudRate(baudRate),
      m_connectLimit(std::max(kConnectLimit, patience)), m_negotiationLimit(std::max(kNegotiationLimit, patience)),
      m_openStart(Clock::now()), m_phaseStart(m_openStart)
{
    if (!m_address) {
        Fail(OpenFailure::BadAddress);
        return;
    }
    net::Lookup lookup = net::Resolve(m_address->host, m_address->port, true);
    if (!lookup.isName) {
        if (lookup.failure != OpenFailure::None) {
            Fail(lookup.failure);
            return;
        }
        m_endpoints = std::move(lookup.endpoints);
        m_phase = Phase::Connecting;
        if (!ConnectNext())
            Fail(m_failure);
        return;
    }
    m_lookup = std::make_shared<net::PendingLookup>();
    std::thread([lookup = m_lookup, host = m_address->host, port = m_address->port] {
        net::Lookup result = net::Resolve(host, port, false);
        const std::lock_guard<std::mutex> lock(lookup->mutex);
        lookup->result = std::move(result);
        lookup->finished = true;
        lookup->done.notify_all();
    }).detach();
}

NetworkDevice::~NetworkDevice() = default;

OpenStep NetworkDevice::Fail(OpenFailure failure, std::string detail)
{
    m_phase = Phase::Failed;
    m_failure = failure;
    m_failureDetail = std::move(detail);
    m_socket.reset();
    return OpenStep::Failed;
}

bool NetworkDevice::ConnectNext()
{
    m_socket.reset();
    while (m_nextEndpoint < m_endpoints.size()) {
        OpenFailure failure = OpenFailure::None;
        m_socket = net::StartConnect(m_endpoints[m_nextEndpoint++], failure);
        if (m_socket) {
            m_phaseStart = Clock::now();
            return true;
        }
        m_failure = failure;
    }
    if (m_failure == OpenFailure::None)
        m_failure = OpenFailure::UnknownHost;
    return false;
}

OpenFailure NetworkDevice::Failure() const
{
    switch (m_phase) {
    case Phase::Resolving:
        return OpenFailure::UnknownHost;
    case Phase::Connecting:
        return OpenFailure::NoAnswer;
    case Phase::Negotiating:
        return OpenFailure::NotRfc2217;
    case Phase::Settling:
        return OpenFailure::NobodyListens;
    case Phase::Retrying:
        return m_heldByAnother ? OpenFailure::PortInUse : OpenFailure::NobodyListens;
    case Phase::Ready:
        return OpenFailure::None;
    case Phase::Failed:
        break;
    }
    return m_failure;
}

std::string NetworkDevice::FailureDetail() const
{
    switch (m_phase) {
    case Phase::Resolving:
    case Phase::Connecting:
    case Phase::Negotiating:
        return Waited();
    case Phase::Failed:
        return m_failureDetail;
    default:
        return {};
    }
}

std::string NetworkDevice::Waited() const
{
    // Whole seconds where it is a second or more: "nach 10 s", not "nach 10.004 s".
    const auto waited = std::chrono::duration_cast<milliseconds>(Clock::now() - m_openStart).count();
    if (waited >= 1000)
        return std::to_string((waited + 500) / 1000) + " s";
    return std::to_string(waited) + " ms";
}

bool NetworkDevice::RetryLater()
{
    // A device server closes a connection at once while its device is still held
    // (by another client, or by the session that just ended: ser2net lets go of
    // it some 0.4 s later). Within the attempt's bound it is asked again.
    // ser2net says why before it closes: another client holds the port.
    m_heldByAnother = m_data.find(kPortInUseText) != std::string::npos;
    m_socket.reset();
    m_telnet.reset();
    m_data.clear();
    m_gone = false;
    if (Clock::now() + kRetryPause >= m_attemptStart + kNegotiationLimit) {
        Fail(m_heldByAnother ? OpenFailure::PortInUse : OpenFailure::NobodyListens);
        return false;
    }
    m_phase = Phase::Retrying;
    m_phaseStart = Clock::now();
    return true;
}

OpenStep NetworkDevice::Continue(milliseconds budget)
{
    const Clock::time_point end = Clock::now() + budget;
    for (;;) {
        switch (m_phase) {
        case Phase::Resolving: {
            std::unique_lock<std::mutex> lock(m_lookup->mutex);
            if (!m_lookup->done.wait_until(lock, end, [this] { return m_lookup->finished; }))
                return OpenStep::Pending;
            net::Lookup result = std::move(m_lookup->result);
            lock.unlock();
            m_lookup.reset();
            if (result.failure != OpenFailure::None)
                return Fail(result.failure);
            m_endpoints = std::move(result.endpoints);
            m_phase = Phase::Connecting;
            if (!ConnectNext())
                return Fail(m_failure);
            break;
        }
        case Phase::Connecting: {
            OpenFailure failure = OpenFailure::None;
            const auto limit = m_phaseStart + m_connectLimit;
            switch (m_socket->FinishConnect(Left(std::min(end, limit)), failure)) {
            case net::Progress::Pending:
                if (Clock::now() >= limit)
                    return Fail(OpenFailure::NoAnswer, Waited());
                return OpenStep::Pending;
            case net::Progress::Failed:
                // The host may have other addresses (IPv6 and IPv4): try the next.
                m_failure = failure;
                if (!ConnectNext())
                    return Fail(failure);
                break;
            case net::Progress::Done:
                m_phaseStart = Clock::now();
                if (m_attemptStart == Clock::time_point{})
                    m_attemptStart = m_phaseStart;
                if (m_address->scheme == NetScheme::Raw) {
                    // Nothing to negotiate: the server's own settings hold. A moment
                    // shows whether the server keeps the connection.
                    m_phase = Phase::Settling;
                    break;
                }
                m_telnet = std::make_unique<ComPortSession>(static_cast<unsigned>(m_baudRate));
                m_phase = Phase::Negotiating;
                if (!SendRaw(m_telnet->Start()) && !RetryLater())
                    return OpenStep::Failed;
                break;
            }
            break;
        }
        case Phase::Negotiating: {
            const auto limit = m_attemptStart + m_negotiationLimit;
            const auto until = std::min(end, limit);
            const bool due = Clock::now() >= until;
            const bool decided = m_telnet->Ready() || m_telnet->Refused() || m_telnet->Mismatch().command != 0;
            // Answers already in the socket when a bound passes are read before judging.
            if (!decided && !Pump(due ? milliseconds{0} : Left(until))) {
                if (!RetryLater())
                    return OpenStep::Failed;
                break;
            }
            if (m_telnet->Mismatch().command != 0)
                return Fail(OpenFailure::LineSettings, MismatchText(m_telnet->Mismatch()));
            if (m_telnet->Ready()) {
                m_phase = Phase::Ready;
                break;
            }
            if (m_telnet->Refused())
                return Fail(OpenFailure::NotRfc2217);
            if (!due)
                break;
            if (until == limit)
                return Fail(OpenFailure::NotRfc2217, Waited());
            return OpenStep::Pending;
        }
        case Phase::Settling: {
            const auto settled = m_phaseStart + kSettleTime;
            if (Clock::now() >= settled) {
                m_phase = Phase::Ready;
                break;
            }
            if (Clock::now() >= end)
                return OpenStep::Pending;
            if (!Pump(Left(std::min(end, settled))) && !RetryLater())
                return OpenStep::Failed;
            break;
        }
        case Phase::Retrying: {
            const auto again = m_phaseStart + kRetryPause;
            if (Clock::now() < again) {
                if (end <= again)
                    return OpenStep::Pending;
                std::this_thread::sleep_until(again);
            }
            m_nextEndpoint = 0;
            m_phase = Phase::Connecting;
            if (!ConnectNext())
                return Fail(m_failure);
            break;
        }
        case Phase::Ready:
            return OpenStep::Ready;
        case Phase::Failed:
            return OpenStep::Failed;
        }
    }
}

bool NetworkDevice::SendRaw(std::string_view bytes)
{
    bool gone = false;
    const milliseconds bound = kWriteTimeBase + milliseconds(bytes.size());
    if (m_socket && m_socket->Send(bytes, bound, gone))
        return true;
    if (gone || !m_socket)
        m_gone = true;
    return false;
}

bool NetworkDevice::Pump(milliseconds wait)
{
    if (m_gone || !m_socket)
        return false;
    std::string raw;
    if (!m_socket->Receive(raw, wait)) {
        m_gone = true;
        // What came before the end is still data.
    }
    m_rawReceived += raw.size();
    if (m_telnet) {
        std::string reply;
        m_telnet->Receive(raw, m_data, reply);
        // A server that takes the COM-PORT-OPTION back no longer sets the line
        // nor passes it on as asked: the session is over.
        if (m_phase == Phase::Ready && m_telnet->Refused())
            m_gone = true;
        if (!reply.empty() && !m_gone)
            SendRaw(reply);
    } else {
        m_data += raw;
    }
    return !m_gone;
}

bool NetworkDevice::Configure(int baudRate)
{
    // The line was set while negotiating; another rate is set now, without waiting for the answer.
    if (m_telnet && baudRate != m_baudRate) {
        m_baudRate = baudRate;
        return SendRaw(m_telnet->ChangeBaudRate(static_cast<unsigned>(baudRate)));
    }
    return !m_gone;
}

bool NetworkDevice::Read(unsigned char* buffer, unsigned size, unsigned& count)
{
    // The timing of a serial read: as soon as size bytes are in, after the
    // inter-byte gap once data came, and at the latest 1 ms per requested byte.
    count = 0;
    ReadDeadline deadline(ReadClock::now(), size);
    for (;;) {
        if (!m_data.empty()) {
            const std::size_t take = std::min<std::size_t>(size - count, m_data.size());
            std::copy_n(m_data.begin(), take, buffer + count);
            m_data.erase(0, take);
            count += static_cast<unsigned>(take);
            deadline.BytesArrived(ReadClock::now());
        }
        const int wait = deadline.PollTimeoutMs(ReadClock::now());
        if (count == size || wait == 0)
            return true;
        if (!Pump(milliseconds(wait)) && m_data.empty())
            return count > 0; // gone: what came before is still a reply
    }
}

bool NetworkDevice::Write(const unsigned char* data, std::size_t length)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), length);
    return SendRaw(m_telnet ? ComPortSession::Escape(bytes) : std::string(bytes));
}

bool NetworkDevice::StillThere()
{
    // A closed or reset connection shows at a look without waiting; one that
    // died quietly shows once keep-alive has found it so.
    Pump(milliseconds{0});
    return !m_gone;
}

bool NetworkDevice::Receive(std::string& into, milliseconds wait)
{
    const Clock::time_point end = Clock::now() + wait;
    // Telnet commands alone wake the wait without data: wait on until data or the end.
    while (m_data.empty() && !m_gone && Pump(Left(end)) && m_data.empty() && Clock::now() < end) {
    }
    into += m_data;
    m_data.clear();
    return !m_gone;
}

std::string NetworkDevice::TakeLate()
{
    // What is there already, but not for ever: a server that never falls silent
    // would keep this loop going.
    // Telnet commands alone (a Synch's mark, where a read stops) are no reason to stop looking.
    const std::size_t start = m_rawReceived;
    std::size_t before = 0;
    do {
        before = m_rawReceived;
    } while (m_rawReceived - start < kLateByteLimit && Pump(milliseconds{0}) && m_rawReceived != before);
    return std::exchange(m_data, {});
}

void ReconnectPause::SessionClosed(TimePoint now)
{
    if (now - m_sessionStart >= kSessionHeld)
        m_closesInARow = 0;
    const auto pause = std::min(kFirstReconnectPause * (1 << m_closesInARow), kLongestReconnectPause);
    if (pause < kLongestReconnectPause)
        ++m_closesInARow;
    m_until = now + pause;
}

DeviceOpening OpenNetworkDevice(const std::string& path, milliseconds wait, int baudRate)
{
    auto device = std::make_unique<NetworkDevice>(path, kDefaultLinkAllowance, baudRate);
    DeviceOpening opening;
    if (device->Continue(wait) == OpenStep::Ready) {
        opening.device = std::move(device);
    } else {
        opening.failure = device->Failure();
        opening.detail = device->FailureDetail();
    }
    return opening;
}
