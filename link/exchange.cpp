#include "link/exchange.h"

#include "link/frame.h"
#include "port/serial_port.h"
#include "link/trace.h"
#include "link/whole_reply.h"

#include <algorithm>
#include <thread>

std::size_t DrainPort(CSerialPort& port)
{
    return DrainPort(port, kDrainTimeLimit);
}

std::size_t DrainPort(CSerialPort& port, std::chrono::milliseconds timeLimit)
{
    const auto start = std::chrono::steady_clock::now();
    unsigned char buffer[CSerialPort::kReadSize];
    std::size_t discarded = 0;
    std::string traced; // what the drain threw away, for the trace only
    for (;;) {
        unsigned count = 0;
        // A failed read (no port, vanished device) returns at once: stop, or we would spin.
        if (port.Read(buffer, count) != 0 || count == 0)
            break;
        discarded += count;
        if (trace::Active())
            traced.append(reinterpret_cast<const char*>(buffer), count);
        if (discarded >= kDrainByteLimit || std::chrono::steady_clock::now() - start >= timeLimit)
            break;
    }
    if (!traced.empty())
        trace::Record(trace::Direction::Received, traced, "drained");
    return discarded;
}

std::string_view TerminatedReply(std::string_view reply)
{
    return reply.substr(0, reply.find('\0'));
}

ExchangeOutcome JudgeReply(std::string_view reply, ReplyForm form)
{
    switch (form) {
    case ReplyForm::Ignored:
        return ExchangeOutcome::NotJudged;
    case ReplyForm::Framed:
        if (reply.empty())
            return ExchangeOutcome::NoAnswer;
        return CheckReply(TerminatedReply(reply)) == 0 ? ExchangeOutcome::Accepted : ExchangeOutcome::BadReply;
    case ReplyForm::Acknowledgement:
        if (reply.empty())
            return ExchangeOutcome::NoAnswer;
        // Only a lone byte counts: ACK followed by anything is not an acknowledgement.
        if (reply.size() == 1 && static_cast<unsigned char>(reply[0]) == ACK)
            return ExchangeOutcome::Accepted;
        if (reply.size() == 1 && static_cast<unsigned char>(reply[0]) == NAK)
            return ExchangeOutcome::Refused;
        return ExchangeOutcome::BadReply;
    }
    return ExchangeOutcome::BadReply;
}

const char* OutcomeName(ExchangeOutcome outcome)
{
    switch (outcome) {
    case ExchangeOutcome::Accepted:
        return "accepted";
    case ExchangeOutcome::NoAnswer:
        return "no answer";
    case ExchangeOutcome::Refused:
        return "refused";
    case ExchangeOutcome::BadReply:
        return "bad reply";
    case ExchangeOutcome::NotJudged:
        return "not judged";
    }
    return "bad reply";
}

namespace {

using std::chrono::milliseconds;

std::function<std::unique_ptr<ExchangeWait>()>& WaitMaker()
{
    static std::function<std::unique_ptr<ExchangeWait>()> makeWait;
    return makeWait;
}

// A network port as the source of a whole reply. With a wait of the program's,
// the port is asked in slices, and the program served between them.
class PortReplySource final : public ReplySource {
public:
    PortReplySource(CSerialPort& port, ExchangeWait* wait) : m_port(port), m_wait(wait) {}
    bool Receive(std::string& into, milliseconds wait) override
    {
        if (m_wait == nullptr)
            return m_port.Receive(into, wait) == 0;
        const auto end = ReadClock::now() + wait;
        for (;;) {
            const std::size_t before = into.size();
            const auto left = std::chrono::ceil<milliseconds>(end - ReadClock::now());
            if (m_port.Receive(into, std::clamp(left, milliseconds{0}, kServeInterval)) != 0)
                return false;
            if (into.size() != before || ReadClock::now() >= end)
                return true;
            if (!m_wait->Serve()) {
                m_abandoned = true;
                return false;
            }
        }
    }
    ReadClock::time_point Now() const override { return ReadClock::now(); }
    bool Abandoned() const { return m_abandoned; }

private:
    CSerialPort& m_port;
    ExchangeWait* m_wait;
    bool m_abandoned = false;
};

// The pause after the frame, with the program served meanwhile (first at once:
// the drain before the frame has just kept it waiting); false when it is ending.
bool PauseServing(ExchangeWait& wait, ReadClock::time_point until)
{
    while (ReadClock::now() < until) {
        if (!wait.Serve())
            return false;
        const auto left = std::chrono::ceil<milliseconds>(until - ReadClock::now());
        if (left > milliseconds{0})
            std::this_thread::sleep_for(std::min(left, kServeInterval));
    }
    return true;
}

// The single read of a serial line.
std::string ReadOnce(CSerialPort& port)
{
    unsigned char buffer[CSerialPort::kReadSize];
    unsigned count = 0;
    if (port.Read(buffer, count) != 0)
        count = 0;
    count = std::min<unsigned>(count, CSerialPort::kReadSize);
    return std::string(reinterpret_cast<const char*>(buffer), count);
}

} // namespace

void SetExchangeWaits(std::function<std::unique_ptr<ExchangeWait>()> makeWait)
{
    WaitMaker() = std::move(makeWait);
}

ExchangeResult RunExchange(CSerialPort& port, std::string_view text, bool drain, std::chrono::milliseconds pause,
                           ReplyForm form)
{
    if (drain)
        DrainPort(port);
    // Over a network a reply may come after its exchange gave up: it is no answer to this one.
    if (const std::string late = port.TakeLate(); !late.empty())
        trace::Record(trace::Direction::Received, late, "late");

    const std::string frame = BuildFrame(text);
    // A failed write is not looked at: the read that follows finds nothing.
    const bool written = port.Write(frame.data(), static_cast<int>(frame.size())) == 0;
    const auto sent = ReadClock::now();
    trace::Record(trace::Direction::Sent, frame, written ? "" : "write failed");

    ExchangeResult result;
    if (port.ReadsWhole()) {
        // The reply comes late and in pieces: read it whole, up to the pause and the link's allowance.
        const std::unique_ptr<ExchangeWait> wait = WaitMaker() ? WaitMaker()() : nullptr;
        PortReplySource source(port, wait.get());
        if (wait == nullptr)
            std::this_thread::sleep_for(pause);
        const bool ending = wait != nullptr && !PauseServing(*wait, sent + pause);
        if (!ending)
            result.reply = ReadWholeReply(source, form, sent + pause + port.LinkAllowance());
        if (ending || source.Abandoned()) {
            // The program ends: what came is no answer any more, and nothing else goes out.
            port.Close();
            result.reply.clear();
            trace::Record(trace::Direction::Received, "", "abandoned: the program is ending");
            return result;
        }
    } else {
        std::this_thread::sleep_for(pause);
        result.reply = ReadOnce(port);
    }
    result.outcome = JudgeReply(result.reply, form);
    // Our own frame coming back (a loop-back plug, an echoing line) carries a right
    // checksum but is no answer: a read reported as done would have read nothing.
    if (form == ReplyForm::Framed && TerminatedReply(result.reply) == frame)
        result.outcome = ExchangeOutcome::NoAnswer;
    trace::Record(trace::Direction::Received, result.reply, OutcomeName(result.outcome));
    return result;
}
