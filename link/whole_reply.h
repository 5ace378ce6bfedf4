#pragma once
// Reading a reply whole, for a device whose replies come late and in pieces (a
// network port): the exchange reads until the reply is complete for its form or
// a deadline passes. Kept apart from the port so that a table of arrivals can
// test it without a connection.

#include "link/exchange.h"
#include "port/read_timing.h"

#include <chrono>
#include <string>
#include <string_view>

// Where the bytes come from, and the time.
class ReplySource {
public:
    virtual ~ReplySource() = default;
    // Waits at most wait for bytes and appends what came, as soon as some came.
    // false when the connection is gone.
    virtual bool Receive(std::string& into, std::chrono::milliseconds wait) = 0;
    virtual ReadClock::time_point Now() const = 0;
};

// A reply that is not judged is over once the line has been quiet this long
// after it: as long as a serial read waits on a silent line.
inline constexpr std::chrono::milliseconds kQuietAfterReply{128};

// Whether reply is complete: a frame once its ETX is in, an acknowledgement
// with its byte; as much as a serial read takes (128 bytes) in any case. A reply
// that is not judged is never complete by its bytes, only by a quiet line.
bool ReplyComplete(std::string_view reply, ReplyForm form);

// Reads until the reply is complete for form, the line is quiet after a reply
// that is not judged, the connection is gone, or deadline passes. Every byte of
// the read that completed it is part of the reply (a frame with bytes after its
// ETX is a bad reply, as on a serial line), up to 128 bytes.
std::string ReadWholeReply(ReplySource& source, ReplyForm form, ReadClock::time_point deadline);
