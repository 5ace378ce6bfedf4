// The trend's core: the history ring, the switching levels of a set, the CSV
// bytes and the picture's runs.

#include <cmath>
#include <ctime>
#include <gtest/gtest.h>

#include "tests/params/worked_example.h"
#include "trend/reading_csv.h"
#include "trend/trend_picture.h"

namespace {

using namespace std::chrono_literals;

// A local clock time, whatever the machine's time zone.
WallClock::time_point Local(int hour, int minute, int second)
{
    std::tm tm{};
    tm.tm_year = 2026 - 1900;
    tm.tm_mon = 11;
    tm.tm_mday = 8;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    return WallClock::from_time_t(std::mktime(&tm));
}

const WallClock::time_point kStart = Local(18, 0, 0);

TEST(ReadingHistoryTest, KeepsTheLastDayInOrderWithItsGaps)
{
    ReadingHistory history;
    EXPECT_FALSE(history.Latest());
    // Past a full ring: the oldest ticks make room, the rest stay in order.
    const std::size_t total = ReadingHistory::kCapacity + 5;
    for (std::size_t i = 0; i < total; ++i)
        history.Add(kStart + i * 1s, i % 7 == 3 ? std::nullopt : std::optional<double>(i * 0.5));
    EXPECT_EQ(history.Size(), ReadingHistory::kCapacity);
    const std::vector<Reading> all = history.Since(WallClock::time_point{});
    ASSERT_EQ(all.size(), ReadingHistory::kCapacity);
    EXPECT_EQ(all.front().time, kStart + 5s);
    EXPECT_EQ(all.back(), (Reading{kStart + (total - 1) * 1s, (total - 1) * 0.5}));
    EXPECT_EQ(history.Latest(), all.back());

    // A span: exactly the ticks from its start on, a missing answer kept as one.
    const std::vector<Reading> span = history.Since(kStart + (total - 10) * 1s);
    ASSERT_EQ(span.size(), 10u);
    for (std::size_t i = 0; i < span.size(); ++i) {
        const std::size_t n = total - 10 + i;
        EXPECT_EQ(span[i], (Reading{kStart + n * 1s, n % 7 == 3 ? std::nullopt : std::optional<double>(n * 0.5)}));
    }

    // The clock set back a minute: the span holds the ticks since, not those before.
    const WallClock::time_point back = kStart + (total - 60) * 1s;
    history.Add(back, 1.0);
    history.Add(back + 1s, 2.0);
    EXPECT_EQ(history.Since(back - 10s), (std::vector<Reading>{{back, 1.0}, {back + 1s, 2.0}}));
}

struct LevelsCase {
    const char* name;
    ParameterSet set;
    std::string reason;
    std::array<double, 8> volts; // switch and release, U>> U> U< U<<
};

class SwitchingLevelsTest : public testing::TestWithParam<LevelsCase> {};

TEST_P(SwitchingLevelsTest, FollowTheSetOrSayWhyNot)
{
    const SwitchingLevels levels = LevelsOf(GetParam().set);
    EXPECT_EQ(levels.reason, GetParam().reason);
    if (!levels.reason.empty())
        return;
    const char* names[] = {"U>>", "U>", "U<", "U<<"};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_STREQ(levels.levels[i].name, names[i]);
        EXPECT_NEAR(levels.levels[i].volts, GetParam().volts[2 * i], 1e-9) << names[i];
        EXPECT_NEAR(levels.levels[i].releaseVolts, GetParam().volts[2 * i + 1], 1e-9) << names[i];
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sets, SwitchingLevelsTest,
    testing::Values(LevelsCase{"WorkedExample", kWorkedExampleSet, "", {115, 113, 110, 108, 90, 92, 80, 82}},
                    // Read as the checks read: "2,5" is 2, and 1e1 is 10.
                    LevelsCase{"NumbersReadAsTheChecksDo",
                               {0, "2,5", "1.5", "-10", "-20", "1e1", "15", "120"},
                               "",
                               {138, 135.6, 132, 129.6, 108, 110.4, 96, 98.4}},
                    LevelsCase{"DelaySentAs100HasNoSay",
                               {0, "2.0", "100.0", "-10.0", "-20.0", "10.0", "20.0", "100.0"},
                               "",
                               {120, 118, 110, 108, 90, 92, 80, 82}},
                    LevelsCase{"FailingSet",
                               {0, "6", "1.5", "-10.0", "-20.0", "10.0", "15.0", "100.0"},
                               "Hysterese nicht im Bereich 0.5 ... 5%",
                               {}},
                    LevelsCase{"NoSet", {}, "keine Parameter angezeigt", {}}),
    [](const auto& param) { return param.param.name; });

TEST(ReadingCsvTest, IsWhatAGermanSpreadsheetOpens)
{
    const std::vector<Reading> readings{
        {Local(18, 5, 7), 230.4}, {Local(18, 5, 8), std::nullopt}, {Local(18, 5, 9), -0.125}, {Local(18, 5, 10), 99.0}};
    EXPECT_EQ(CsvText(readings), "\xEF\xBB\xBFZeit;Messwert [V]\r\n"
                                 "2026-12-08T18:05:07;230,4\r\n"
                                 "2026-12-08T18:05:08;\r\n"
                                 "2026-12-08T18:05:09;-0,125\r\n"
                                 "2026-12-08T18:05:10;99,0\r\n");

    // The clock set back: a file keeps what follows the step, a stream leaves that out.
    const std::vector<Reading> setBack{{Local(18, 5, 7), 1.0}, {Local(18, 5, 3), 2.0}};
    EXPECT_EQ(CsvText(setBack), CsvHeader() + "2026-12-08T18:05:03;2,0\r\n");
    CsvStream stream;
    EXPECT_TRUE(stream.Line(setBack[0]) && !stream.Line(setBack[1]) && stream.Line(setBack[0]));

    // A column per port, a device path with the separator in it quoted.
    EXPECT_EQ(CsvHeader({"COM1", "/dev/a;\"b"}) + CsvLine(Local(18, 5, 7), {std::nullopt, 2.5}),
              "\xEF\xBB\xBFZeit;Messwert COM1 [V];\"Messwert /dev/a;\"\"b [V]\"\r\n2026-12-08T18:05:07;;2,5\r\n");
}

TEST(TrendPictureTest, NeverJoinsAcrossAGapAndStaysSmallForADay)
{
    // A missing answer and a time without ticks both end a run.
    const std::vector<Reading> readings{{kStart, 230.0},      {kStart + 1s, 231.0}, {kStart + 2s, std::nullopt},
                                        {kStart + 3s, 229.0}, {kStart + 4s, 229.5}, {kStart + 12s, 230.0},
                                        {kStart + 13s, 230.5}};
    const TrendPicture picture = LayoutTrend(readings, kStart + 60s, 60s, LevelsOf({}), 600, 300, 13);
    ASSERT_EQ(picture.runs.size(), 3u);
    EXPECT_EQ(picture.runs[0].size(), 2u);
    EXPECT_EQ(picture.runs[1].size(), 2u);
    EXPECT_EQ(picture.runs[2].size(), 2u);
    EXPECT_TRUE(picture.levels.empty());

    // A day of ticks in one picture: at most four points a pixel column, and
    // every reading's column still spans its lowest and highest value.
    std::vector<Reading> day;
    for (int i = 0; i < 70000; ++i)
        day.push_back({kStart + i * 1230ms, 230.0 + (i % 100) / 10.0});
    const TrendPicture dayPicture = LayoutTrend(day, day.back().time, 24h, LevelsOf(kWorkedExampleSet), 600, 300, 13);
    ASSERT_EQ(dayPicture.runs.size(), 1u);
    EXPECT_LE(dayPicture.runs[0].size(), 4u * (dayPicture.plot.width + 1));
    EXPECT_EQ(dayPicture.levels.size(), 4u);
    EXPECT_EQ(dayPicture.levels[1].label, "U> 110.0 V");
}

TEST(TrendPictureTest, TakesTheSpanOnlyAndNeverRunsBackwards)
{
    const std::vector<Reading> readings{{kStart - 1s, 100.0},  {kStart + 40s, 230.0}, {kStart + 41s, 231.0},
                                        {kStart + 11s, 229.0}, {kStart + 12s, 229.5}, {kStart + 61s, 500.0}};
    const TrendPicture picture = LayoutTrend(readings, kStart + 60s, 60s, LevelsOf({}), 600, 300, 13);
    EXPECT_EQ(picture.runs.size(), 2u);
    EXPECT_EQ(picture.voltTicks.back().label, "231.5");
    EXPECT_EQ(SummaryOf(readings, kStart + 60s, 60s), (TrendSummary{229.5, 229.0, 231.0}));
}

TEST(TrendPictureTest, AnyReadingGivesABoundedPicture)
{
    // From about 4.5e15 on, adding the tick step once rounded away and the ticks
    // never ended; a value far beyond any relay's is drawn at the axis' end.
    for (const double volts : {5e15, -1e300, HUGE_VAL, std::nan("")}) {
        const TrendPicture picture = LayoutTrend({{kStart, volts}}, kStart + 60s, 60s, LevelsOf({}), 600, 300, 13);
        const std::vector<AxisTick>& ticks = picture.voltTicks;
        ASSERT_GE(ticks.size(), 2u) << volts;
        EXPECT_LE(ticks.size(), kMostTrendTicks) << volts;
        for (std::size_t i = 0; i < ticks.size(); ++i) {
            EXPECT_TRUE(std::isfinite(std::stod(ticks[i].label))) << volts << ": " << ticks[i].label;
            EXPECT_TRUE(i == 0 || (ticks[i].label != ticks[i - 1].label && ticks[i].position < ticks[i - 1].position))
                << volts << ": " << ticks[i].label;
        }
        // Every point inside the plot, and between the lowest and the highest tick.
        for (const std::vector<PlotPoint>& run : picture.runs) {
            for (const PlotPoint& point : run) {
                EXPECT_TRUE(point.x >= picture.plot.x && point.x <= picture.plot.x + picture.plot.width) << volts;
                EXPECT_TRUE(point.y <= ticks.front().position && point.y >= ticks.back().position) << volts;
            }
        }
    }
}

TEST(TrendPictureTest, ClockLabelsOfLongSpansStepByWholeHours)
{
    // Beyond seven hours a label every few whole hours: never more than eight.
    const std::pair<std::chrono::seconds, std::chrono::seconds> rows[] = {{8h, 2h}, {24h, 4h}};
    for (const auto& [span, step] : rows) {
        const TrendPicture picture = LayoutTrend({}, kStart + span, span, LevelsOf({}), 600, 300, 13);
        const std::vector<AxisTick>& ticks = picture.timeTicks;
        ASSERT_GE(ticks.size(), 3u) << span.count();
        EXPECT_LE(ticks.size(), kMostTrendTicks) << span.count();
        const double apart =
            picture.plot.width * std::chrono::duration<double>(step) / std::chrono::duration<double>(span);
        for (std::size_t i = 1; i < ticks.size(); ++i)
            EXPECT_NEAR(ticks[i].position - ticks[i - 1].position, apart, 1.0)
                << span.count() << ": " << ticks[i].label;
    }
}

} // namespace
