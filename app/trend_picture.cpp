#include "app/trend_picture.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "params/parameter_set.h"

namespace {

using std::chrono::duration;
using std::chrono::seconds;

struct VoltRange {
    double low = 0.0, high = 0.0, step = 1.0;
};

// A step of 1, 2 or 5 times a power of ten that gives about five lines.
VoltRange NiceRange(double low, double high)
{
    constexpr double kLeastRange = 2.0;
    if (high - low < kLeastRange) {
        const double middle = (low + high) / 2.0;
        low = middle - kLeastRange / 2.0;
        high = middle + kLeastRange / 2.0;
    }
    const double margin = (high - low) * 0.08;
    low -= margin;
    high += margin;
    const double raw = (high - low) / 5.0;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    double step = magnitude * 10.0;
    for (const double factor : {1.0, 2.0, 5.0}) {
        if (magnitude * factor >= raw) {
            step = magnitude * factor;
            break;
        }
    }
    return {std::floor(low / step) * step, std::ceil(high / step) * step, step};
}

// A clock step that gives six or seven labels over the span.
seconds TimeStep(seconds span)
{
    constexpr std::array<int, 11> kSteps{5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600};
    for (const int step : kSteps) {
        if (seconds(step) * 7 >= span)
            return seconds(step);
    }
    return seconds(kSteps.back());
}

// One pixel column's first, lowest, highest and last value, in that order of
// drawing; equal neighbours are drawn once.
class ColumnReducer {
public:
    explicit ColumnReducer(std::vector<PlotPoint>& run) : m_run(run) {}
    void Add(PlotPoint point)
    {
        if (m_count > 0 && point.x != m_first.x)
            Flush();
        if (m_count == 0)
            m_first = m_low = m_high = point;
        m_low = point.y > m_low.y ? point : m_low; // y grows downwards
        m_high = point.y < m_high.y ? point : m_high;
        m_last = point;
        ++m_count;
    }
    void Flush()
    {
        for (const PlotPoint point : {m_first, m_low, m_high, m_last}) {
            if (m_count > 0 && (m_run.empty() || !(m_run.back() == point)))
                m_run.push_back(point);
        }
        m_count = 0;
    }

private:
    std::vector<PlotPoint>& m_run;
    PlotPoint m_first, m_low, m_high, m_last;
    int m_count = 0;
};

} // namespace

TrendPicture LayoutTrend(const std::vector<Reading>& readings, WallClock::time_point end, seconds span,
                         const SwitchingLevels& levels, int width, int height, int textHeight)
{
    TrendPicture picture;
    // Room for the volt labels on the left and the clock labels below.
    const int left = textHeight * 7 / 2;
    const int top = textHeight;
    const int bottom = textHeight * 3 / 2;
    const int right = textHeight;
    picture.plot = {left, top, std::max(1, width - left - right), std::max(1, height - top - bottom)};
    const PlotRect& plot = picture.plot;
    const WallClock::time_point start = end - span;

    // The volt range holds the span's readings and every level with its band.
    double low = INFINITY, high = -INFINITY;
    for (const Reading& reading : readings) {
        if (reading.volts && reading.time >= start) {
            low = std::min(low, *reading.volts);
            high = std::max(high, *reading.volts);
        }
    }
    const bool withLevels = levels.reason.empty();
    if (withLevels) {
        for (const SwitchingLevel& level : levels.levels) {
            low = std::min({low, level.volts, level.releaseVolts});
            high = std::max({high, level.volts, level.releaseVolts});
        }
    }
    if (!(low <= high)) {
        // Nothing to show yet: a mains range.
        low = 0.0;
        high = 250.0;
    }
    const VoltRange range = NiceRange(low, high);
    const auto yOf = [&](double volts) {
        return plot.y + static_cast<int>(std::lround((range.high - volts) / (range.high - range.low) * plot.height));
    };
    const auto xOf = [&](WallClock::time_point time) {
        const double share = duration<double>(time - start) / duration<double>(span);
        return plot.x + static_cast<int>(std::lround(std::clamp(share, 0.0, 1.0) * plot.width));
    };

    const int decimals = range.step >= 1.0 ? 0 : range.step >= 0.1 ? 1 : 2;
    for (double volts = range.low; volts <= range.high + range.step / 2; volts += range.step)
        picture.voltTicks.push_back({yOf(volts), FormatFixed(volts, 0, decimals)});

    const seconds step = TimeStep(span);
    const auto startSeconds = std::chrono::ceil<seconds>(start.time_since_epoch());
    for (auto tick = (startSeconds + step - seconds(1)) / step * step; tick <= end.time_since_epoch(); tick += step) {
        const WallClock::time_point time(std::chrono::duration_cast<WallClock::duration>(tick));
        picture.timeTicks.push_back({xOf(time), LocalTimeText(time, step < seconds(60) ? "%H:%M:%S" : "%H:%M")});
    }

    if (withLevels) {
        for (const SwitchingLevel& level : levels.levels) {
            picture.levels.push_back({std::string(level.name) + " " + FormatFixed(level.volts, 0, 1) + " V",
                                      yOf(level.volts), yOf(level.releaseVolts), level.volts >= level.releaseVolts});
        }
    }

    const Reading* previous = nullptr;
    std::optional<ColumnReducer> reducer;
    for (const Reading& reading : readings) {
        if (reading.time < start || reading.time > end)
            continue;
        const bool joined = previous != nullptr && previous->volts && reading.time - previous->time <= kTrendGap;
        if (reading.volts) {
            if (!joined) {
                if (reducer)
                    reducer->Flush();
                picture.runs.emplace_back();
                reducer.emplace(picture.runs.back());
            }
            reducer->Add({xOf(reading.time), yOf(*reading.volts)});
        }
        previous = &reading;
    }
    if (reducer)
        reducer->Flush();
    return picture;
}

TrendSummary SummaryOf(const std::vector<Reading>& readings)
{
    TrendSummary summary;
    if (!readings.empty())
        summary.current = readings.back().volts;
    for (const Reading& reading : readings) {
        if (!reading.volts)
            continue;
        summary.lowest = std::min(summary.lowest.value_or(*reading.volts), *reading.volts);
        summary.highest = std::max(summary.highest.value_or(*reading.volts), *reading.volts);
    }
    return summary;
}
