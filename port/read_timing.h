#pragma once
// Deadline arithmetic of one port read, kept apart from the port so that it can be
// tested without a device. A read asks for a number of bytes; it ends as soon as
// they are all in, when the line has been silent for the inter-byte gap after the
// first byte, and in any case 1 ms per requested byte after it began.

#include <chrono>

using ReadClock = std::chrono::steady_clock;

// Overall bound of a read: 1 ms per requested byte, so a read of 128 bytes on a
// silent line comes back after about 128 ms with nothing.
inline constexpr std::chrono::milliseconds kReadTimePerByte{1};

// Silence after the first byte that ends a read early. Every exchange's single
// read pays it once (480 times in a firmware update), so it must stay short; it
// must still keep a reply together that is streaming in at 19200 baud, whether
// the driver hands it over a character at a time (0.52 ms apart) or once per USB
// frame (1 ms apart). 2 ms covers both with room for wake-up delay. Longer
// holes (a UART's FIFO threshold, a USB adapter's latency timer, a busy system's
// scheduling) no short silence covers; the protocol does not read a reply while
// it streams: its pauses let every reply arrive before the read.
inline constexpr std::chrono::milliseconds kInterByteGap{2};

class ReadDeadline {
public:
    ReadDeadline(ReadClock::time_point start, unsigned requested);

    // Bytes came in at now: the read may end once the line has been silent for
    // kInterByteGap after them, but never later than the overall bound.
    void BytesArrived(ReadClock::time_point now);

    // The moment the read ends unless more bytes come first.
    ReadClock::time_point End() const;

    bool Expired(ReadClock::time_point now) const { return now >= End(); }

    // How long poll() may wait at now, in whole milliseconds rounded up (so that
    // a wait never wakes before the deadline and spins); 0 once the read is over.
    int PollTimeoutMs(ReadClock::time_point now) const;

private:
    ReadClock::time_point m_overall;                                // start + 1 ms per byte
    ReadClock::time_point m_silence = ReadClock::time_point::max(); // last byte + gap
};
