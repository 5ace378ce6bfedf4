#include "port/read_timing.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;

const ReadClock::time_point kStart{};
const int kGapUs = static_cast<int>(microseconds(kInterByteGap).count());

struct EndRow {
    std::string name;
    unsigned requested;
    std::vector<int> arrivalsUs; // when bytes came, microseconds after the read began
    int expectedEndUs;
};

TEST(ReadDeadline, EndsAtOverallBoundOrAfterSilence)
{
    const std::vector<EndRow> rows = {
        {"silent line: 1 ms per requested byte", 128, {}, 128000},
        {"one byte request", 1, {}, 1000},
        {"one burst ends after the gap", 128, {10000}, 10000 + kGapUs},
        {"each arrival restarts the gap", 128, {10000, 11000, 12500}, 12500 + kGapUs},
        {"gap past the overall bound is capped", 128, {126000}, 128000},
        {"steady stream ends at the overall bound", 128, {20000, 40000, 60000, 80000, 100000, 120000, 127999}, 128000},
    };
    for (const EndRow& row : rows) {
        ReadDeadline deadline(kStart, row.requested);
        for (const int us : row.arrivalsUs)
            deadline.BytesArrived(kStart + microseconds(us));
        EXPECT_EQ(deadline.End(), kStart + microseconds(row.expectedEndUs)) << row.name;
        EXPECT_FALSE(deadline.Expired(kStart + microseconds(row.expectedEndUs - 1))) << row.name;
        EXPECT_TRUE(deadline.Expired(kStart + microseconds(row.expectedEndUs))) << row.name;
    }
}

TEST(ReadDeadline, PollWaitRoundsUpAndIsZeroOnlyWhenOver)
{
    struct Row {
        int nowUs;
        int expectedMs;
    };
    // A wait rounded down would wake before the deadline and poll again without waiting.
    const std::vector<Row> rows = {
        {0, 128}, {500, 128}, {1000, 127}, {127001, 1}, {127999, 1}, {128000, 0}, {500000, 0},
    };
    const ReadDeadline deadline(kStart, 128);
    for (const Row& row : rows)
        EXPECT_EQ(deadline.PollTimeoutMs(kStart + microseconds(row.nowUs)), row.expectedMs) << row.nowUs << " us";
}

TEST(ReadDeadline, AfterBytesWaitsOnlyTheGap)
{
    ReadDeadline deadline(kStart, 128);
    deadline.BytesArrived(kStart + milliseconds(5));
    EXPECT_EQ(deadline.PollTimeoutMs(kStart + milliseconds(5)), kInterByteGap.count());
}

} // namespace
