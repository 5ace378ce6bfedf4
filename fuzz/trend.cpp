// Any history of readings (any values, NaN and the infinities included, with
// gaps and a clock set back or forward), any levels, any span, size and text
// height through the trend's layout: a bounded number of ticks and points, every
// one inside the plot, and no run that goes back in time.

#include "fuzz/support.h"
#include "trend/trend_picture.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

// Any double, bit for bit: every NaN, infinity and subnormal is one.
double AnyDouble(FuzzedDataProvider& input)
{
    const auto bits = input.ConsumeIntegral<std::uint64_t>();
    double value = 0.0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

bool Inside(const PlotRect& plot, int x, int y)
{
    return x >= plot.x && x <= plot.x + plot.width && y >= plot.y && y <= plot.y + plot.height;
}

std::string Where(int x, int y)
{
    return "at " + std::to_string(x) + "," + std::to_string(y);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    // The span ends at a time of this century; the span itself is anything up to a year.
    const WallClock::time_point end =
        WallClock::time_point(seconds(1'800'000'000)) + milliseconds(input.ConsumeIntegral<std::int32_t>());
    const seconds span(input.ConsumeIntegralInRange<std::int64_t>(-10, 366LL * 24 * 3600));
    const int width = input.ConsumeIntegral<int>();
    const int height = input.ConsumeIntegral<int>();
    const int textHeight = input.ConsumeIntegral<int>();

    SwitchingLevels levels;
    if (!input.ConsumeBool())
        levels.reason = "keine Parameter angezeigt";
    for (SwitchingLevel& level : levels.levels)
        level = {"U>", AnyDouble(input), AnyDouble(input)};

    // Each reading a step from the one before: mostly a tick on, at times a gap
    // or a clock set back.
    std::vector<Reading> readings;
    WallClock::time_point time = end - milliseconds(input.ConsumeIntegral<std::uint32_t>());
    while (input.remaining_bytes() > 0) {
        time += milliseconds(input.ConsumeIntegral<std::int16_t>()) * 10;
        const bool answered = input.ConsumeBool();
        readings.push_back({time, answered ? std::optional<double>(AnyDouble(input)) : std::nullopt});
    }

    const TrendPicture picture = LayoutTrend(readings, end, span, levels, width, height, textHeight);
    const PlotRect& plot = picture.plot;
    FUZZ_REQUIRE(plot.width >= 1 && plot.height >= 1);
    FUZZ_REQUIRE(picture.voltTicks.size() >= 2 && picture.voltTicks.size() <= kMostTrendTicks);
    FUZZ_REQUIRE(picture.timeTicks.size() <= kMostTrendTicks);
    for (const AxisTick& tick : picture.voltTicks)
        FUZZ_REQUIRE_SAYING(Inside(plot, plot.x, tick.position), "volt tick " + tick.label);
    for (const AxisTick& tick : picture.timeTicks)
        FUZZ_REQUIRE_SAYING(Inside(plot, tick.position, plot.y), "time tick " + tick.label);
    FUZZ_REQUIRE(picture.levels.size() <= (levels.reason.empty() ? levels.levels.size() : 0));
    for (const TrendLevel& level : picture.levels)
        FUZZ_REQUIRE_SAYING(Inside(plot, plot.x, level.y) && Inside(plot, plot.x, level.releaseY), level.label);

    // Within a run x never goes back, and a pixel column has at most its first,
    // lowest, highest and last value: four points a reading at the very most.
    std::size_t inSpan = 0;
    for (const Reading& reading : readings)
        inSpan += reading.time >= end - std::max(span, seconds(1)) && reading.time <= end ? 1 : 0;
    std::size_t points = 0;
    for (const std::vector<PlotPoint>& run : picture.runs) {
        FUZZ_REQUIRE(!run.empty());
        std::size_t inColumn = 0;
        for (std::size_t i = 0; i < run.size(); ++i) {
            FUZZ_REQUIRE_SAYING(Inside(plot, run[i].x, run[i].y), Where(run[i].x, run[i].y));
            FUZZ_REQUIRE_SAYING(i == 0 || run[i].x >= run[i - 1].x, Where(run[i].x, run[i].y));
            inColumn = i > 0 && run[i].x == run[i - 1].x ? inColumn + 1 : 1;
            FUZZ_REQUIRE(inColumn <= 4);
        }
        points += run.size();
    }
    FUZZ_REQUIRE(points <= 4 * inSpan);

    const TrendSummary summary = SummaryOf(readings, end, span);
    FUZZ_REQUIRE(summary.lowest.has_value() == summary.highest.has_value());
    FUZZ_REQUIRE(!summary.lowest || *summary.lowest <= *summary.highest);
    return 0;
}
