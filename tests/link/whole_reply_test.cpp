// Reading a reply whole, as a table of arrivals on a clock of the test's own.

#include "link/whole_reply.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using std::chrono::milliseconds;
using namespace std::string_literals;

struct Arrival {
    int atMs;
    std::string bytes;
};

// Bytes that arrive at given times after the read began (no bytes: the
// connection closes then); Receive advances the clock.
struct TimedArrivals final : ReplySource {
    explicit TimedArrivals(std::vector<Arrival> all) : arrivals(std::move(all)) {}
    bool Receive(std::string& into, milliseconds wait) override
    {
        const int until = nowMs + static_cast<int>(wait.count());
        if (next == arrivals.size() || arrivals[next].atMs > until) {
            nowMs = until;
            return true;
        }
        nowMs = std::max(nowMs, arrivals[next].atMs);
        into += arrivals[next].bytes;
        return !arrivals[next++].bytes.empty();
    }
    ReadClock::time_point Now() const override { return ReadClock::time_point(milliseconds(nowMs)); }

    std::vector<Arrival> arrivals;
    std::size_t next = 0;
    int nowMs = 0;
};

TEST(ReadWholeReplyTest, TableOfArrivals)
{
    const std::string frame = "\x02GMWT:230.418\x03";
    struct Row {
        const char* name;
        ReplyForm form;
        std::vector<Arrival> arrivals;
        std::string reply;
        ExchangeOutcome outcome;
        int endMs;          // when the read ended
        std::size_t unread; // arrivals left for the next exchange to throw away
    };
    const int deadline = 1000;
    // One row a line:
    // clang-format off
    const Row rows[] = {
        {"frame in one piece", ReplyForm::Framed, {{20, frame}}, frame, ExchangeOutcome::Accepted, 20, 0},
        {"frame in pieces", ReplyForm::Framed, {{20, "\x02GM"}, {50, "WT:230"}, {90, ".418\x03"}, {95, "\x06"}}, frame,
         ExchangeOutcome::Accepted, 90, 1},
        {"frame after the deadline", ReplyForm::Framed, {{1200, frame}}, "", ExchangeOutcome::NoAnswer, deadline, 1},
        {"nothing ever", ReplyForm::Framed, {}, "", ExchangeOutcome::NoAnswer, deadline, 0},
        {"two replies merged into one segment", ReplyForm::Framed, {{20, frame + frame}}, frame + frame,
         ExchangeOutcome::BadReply, 20, 0},
        {"connection closed in the middle of a frame", ReplyForm::Framed, {{20, "\x02GMWT:2"}, {50, ""}}, "\x02GMWT:2",
         ExchangeOutcome::BadReply, 50, 0},
        {"frame longer than a read", ReplyForm::Framed, {{20, std::string(100, 'x')}, {30, std::string(100, 'y')}},
         std::string(100, 'x') + std::string(28, 'y'), ExchangeOutcome::BadReply, 30, 0},
        {"acknowledgement is its byte", ReplyForm::Acknowledgement, {{30, "\x06"}, {40, "\x06"}}, "\x06",
         ExchangeOutcome::Accepted, 30, 1},
        {"acknowledgement with a stray byte in its segment", ReplyForm::Acknowledgement, {{30, "\x06\x00"s}},
         "\x06\x00"s, ExchangeOutcome::BadReply, 30, 0},
        {"refusal", ReplyForm::Acknowledgement, {{30, "\x15"}}, "\x15", ExchangeOutcome::Refused, 30, 0},
        {"not judged: until the line is quiet", ReplyForm::Ignored, {{30, "ab"}, {100, "cd"}}, "abcd",
         ExchangeOutcome::NotJudged, 100 + 128, 0},
        {"not judged and never answered", ReplyForm::Ignored, {}, "", ExchangeOutcome::NotJudged, deadline, 0},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TimedArrivals source(row.arrivals);
        const std::string reply = ReadWholeReply(source, row.form, ReadClock::time_point(milliseconds(deadline)));
        EXPECT_EQ(reply, row.reply);
        EXPECT_EQ(JudgeReply(reply, row.form), row.outcome);
        EXPECT_EQ(source.nowMs, row.endMs);
        EXPECT_EQ(source.arrivals.size() - source.next, row.unread);
    }
}

} // namespace
