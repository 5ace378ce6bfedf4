#pragma once
// One conversation with the relay: optionally drain stale input, write one
// frame, pause, read once, judge the reply.

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

class CSerialPort;

enum class ReplyForm {
    Framed,          // a frame whose checksum must be right
    Acknowledgement, // exactly one ACK byte
    Ignored,         // whatever comes is thrown away
};

enum class ExchangeOutcome {
    Accepted,  // framed reply with right checksum, or the single ACK
    NoAnswer,  // nothing came, or only our own request echoed
    Refused,   // the single byte NAK
    BadReply,  // wrong checksum, or bytes other than a single ACK/NAK
    NotJudged, // ReplyForm::Ignored
};

struct ExchangeResult {
    std::string reply; // the bytes of the single read (may contain any byte)
    ExchangeOutcome outcome = ExchangeOutcome::NoAnswer;
    bool ok() const { return outcome == ExchangeOutcome::Accepted; }
};

inline constexpr std::chrono::milliseconds kPause{100};
inline constexpr std::chrono::milliseconds kBlockPause{30};

// Bounds of the drain: a line that never falls silent (a chattering device, a
// loop of some kind) must not hold the program. Whichever comes first ends it.
inline constexpr std::chrono::milliseconds kDrainTimeLimit{1000};
inline constexpr std::size_t kDrainByteLimit = 4096;

// Reads until a read returns 0 bytes (or fails), bounded by kDrainTimeLimit and
// kDrainByteLimit. Returns the number of bytes thrown away.
std::size_t DrainPort(CSerialPort& port);
// The same with a time bound of the caller's (the port search's is one read).
std::size_t DrainPort(CSerialPort& port, std::chrono::milliseconds timeLimit);

// A framed reply as the program reads it: a terminated string, so the bytes up
// to the first NUL (a break on a raw line reads as NUL).
std::string_view TerminatedReply(std::string_view reply);

// Judges the bytes of the single read in the given form: a frame as its
// terminated string, an acknowledgement by its byte count. Pure: no port involved.
ExchangeOutcome JudgeReply(std::string_view reply, ReplyForm form);

// A short English name of the outcome for traces and logs: "accepted", "no answer" ...
const char* OutcomeName(ExchangeOutcome outcome);

// A wait for a relay behind a device server may last seconds (a relay that is
// off, a slow link). A program with windows keeps them served meanwhile: the
// exchange asks it for a wait when it begins to wait on a network port, and
// calls Serve about every kServeInterval until the reply is whole or its time is
// up. A serial line waits as it always has, without asking.
class ExchangeWait {
public:
    virtual ~ExchangeWait() = default; // the wait is over
    // Handles what the program has to do meanwhile; false when the program is
    // ending: the exchange then gives up at once and closes the port, so that
    // nothing more is sent on it.
    virtual bool Serve() = 0;
};
inline constexpr std::chrono::milliseconds kServeInterval{20};
// Set once by a program with windows (its window thread alone runs exchanges);
// none: exchanges just wait.
void SetExchangeWaits(std::function<std::unique_ptr<ExchangeWait>()> makeWait);

// Every exchange passes the protocol trace (link/trace.h): the frame sent and the
// reply read, with the outcome.
ExchangeResult RunExchange(CSerialPort& port, std::string_view text, bool drain, std::chrono::milliseconds pause,
                           ReplyForm form);
