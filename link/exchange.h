#pragma once
// One conversation with the relay: optionally drain stale input, write one
// frame, pause, read once, judge the reply.

#include <chrono>
#include <string>
#include <string_view>

class CSerialPort;

enum class ReplyForm {
    Framed,          // a frame whose checksum must be right
    Acknowledgement, // exactly one ACK byte
    Ignored,         // whatever comes is thrown away
};

enum class ExchangeOutcome {
    Accepted,    // framed reply with right checksum, or the single ACK
    NoAnswer,    // nothing came
    Refused,     // the single byte NAK
    BadReply,    // wrong checksum, or bytes other than a single ACK/NAK
    NotJudged,   // ReplyForm::Ignored
};

struct ExchangeResult {
    std::string reply; // the bytes of the single read (may contain any byte)
    ExchangeOutcome outcome = ExchangeOutcome::NoAnswer;
    bool ok() const { return outcome == ExchangeOutcome::Accepted; }
};

inline constexpr std::chrono::milliseconds kPause{100};
inline constexpr std::chrono::milliseconds kBlockPause{30};

// Reads until a read returns 0 bytes, bounded so that a line that never falls
// silent cannot hold the program: at most about one second or 4096 bytes.
void DrainPort(CSerialPort& port);

ExchangeResult RunExchange(CSerialPort& port, std::string_view text, bool drain,
                           std::chrono::milliseconds pause, ReplyForm form);
