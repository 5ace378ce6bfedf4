#include "trend/trend_picture.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

#include "params/parameter_set.h"

namespace {

using std::chrono::duration;
using std::chrono::seconds;

struct VoltRange {
    double low = 0.0, high = 0.0, step = 1.0;
};

// The volt axis ends here, and a value beyond it, an infinity included, is drawn
// as one at this limit: no relay measures such a voltage, and far below it doubles
// still tell the ticks of the finest step (0.5 V) apart. A NaN has no place on it.
constexpr double kAxisLimit = 1e9;

std::optional<double> OnAxis(double volts)
{
    if (std::isnan(volts))
        return std::nullopt;
    return std::clamp(volts, -kAxisLimit, kAxisLimit);
}

// Sizes beyond any screen are taken at these, so that the arithmetic stays within int.
constexpr int kLargestSize = 1 << 16;
constexpr int kLargestTextHeight = 1 << 10;

bool InSpan(const Reading& reading, WallClock::time_point end, seconds span)
{
    return reading.time >= end - span && reading.time <= end;
}

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

// A clock step that gives six or seven labels over the span, and never more than
// eight: beyond seven hours, whole hours.
seconds TimeStep(seconds span)
{
    constexpr std::array<int, 11> kSteps{5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600};
    for (const int step : kSteps) {
        if (seconds(step) * 7 >= span)
            return seconds(step);
    }
    constexpr seconds kSevenHours = std::chrono::hours(7);
    return std::chrono::hours((span + kSevenHours - seconds(1)) / kSevenHours);
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
    width = std::clamp(width, 0, kLargestSize);
    height = std::clamp(height, 0, kLargestSize);
    textHeight = std::clamp(textHeight, 0, kLargestTextHeight);
    span = std::max(span, seconds(1));

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
    const auto include = [&](double volts) {
        low = std::min(low, volts);
        high = std::max(high, volts);
    };
    for (const Reading& reading : readings) {
        if (reading.volts && InSpan(reading, end, span)) {
            if (const std::optional<double> volts = OnAxis(*reading.volts))
                include(*volts);
        }
    }
    // A level is drawn with its band or not at all.
    std::vector<std::pair<const SwitchingLevel*, std::array<double, 2>>> shownLevels;
    if (levels.reason.empty()) {
        for (const SwitchingLevel& level : levels.levels) {
            const std::optional<double> volts = OnAxis(level.volts), release = OnAxis(level.releaseVolts);
            if (volts && release) {
                shownLevels.push_back({&level, {*volts, *release}});
                include(*volts);
                include(*release);
            }
        }
    }
    if (!(low <= high)) {
        // Nothing to show yet: a mains range.
        low = 0.0;
        high = 250.0;
    }
    const VoltRange range = NiceRange(low, high);
    const auto yOf = [&](double volts) {
        const double share = (range.high - volts) / (range.high - range.low);
        return plot.y + static_cast<int>(std::lround(std::clamp(share, 0.0, 1.0) * plot.height));
    };
    const auto xOf = [&](WallClock::time_point time) {
        const double share = duration<double>(time - start) / duration<double>(span);
        return plot.x + static_cast<int>(std::lround(std::clamp(share, 0.0, 1.0) * plot.width));
    };

    // Counted, not summed up: a sum would stop growing where the step rounds away.
    const int decimals = range.step >= 1.0 ? 0 : range.step >= 0.1 ? 1 : 2;
    const long intervals = std::lround((range.high - range.low) / range.step);
    for (long i = 0; i <= intervals; ++i) {
        const double volts = range.low + static_cast<double>(i) * range.step;
        picture.voltTicks.push_back({yOf(volts), FormatFixed(volts, 0, decimals)});
    }

    const seconds step = TimeStep(span);
    const auto startSeconds = std::chrono::ceil<seconds>(start.time_since_epoch());
    for (auto tick = (startSeconds + step - seconds(1)) / step * step; tick <= end.time_since_epoch(); tick += step) {
        const WallClock::time_point time(std::chrono::duration_cast<WallClock::duration>(tick));
        picture.timeTicks.push_back({xOf(time), LocalTimeText(time, step < seconds(60) ? "%H:%M:%S" : "%H:%M")});
    }

    for (const auto& [level, volts] : shownLevels) {
        picture.levels.push_back({std::string(level->name) + " " + FormatFixed(level->volts, 0, 1) + " V",
                                  yOf(volts[0]), yOf(volts[1]), level->volts >= level->releaseVolts});
    }

    const Reading* last = nullptr; // the run's last reading; none after a gap
    std::optional<ColumnReducer> reducer;
    for (const Reading& reading : readings) {
        if (!InSpan(reading, end, span))
            continue;
        const std::optional<double> volts = reading.volts ? OnAxis(*reading.volts) : std::nullopt;
        if (!volts) {
            last = nullptr;
            continue;
        }
        // A clock set back ends a run as a time without ticks does: the line never runs backwards.
        if (last == nullptr || reading.time < last->time || reading.time - last->time > kTrendGap) {
            if (reducer)
                reducer->Flush();
            picture.runs.emplace_back();
            reducer.emplace(picture.runs.back());
        }
        reducer->Add({xOf(reading.time), yOf(*volts)});
        last = &reading;
    }
    if (reducer)
        reducer->Flush();
    return picture;
}

TrendSummary SummaryOf(const std::vector<Reading>& readings, WallClock::time_point end, seconds span)
{
    TrendSummary summary;
    for (const Reading& reading : readings) {
        if (!InSpan(reading, end, span))
            continue;
        summary.current = reading.volts;
        if (!reading.volts || std::isnan(*reading.volts))
            continue;
        summary.lowest = std::min(summary.lowest.value_or(*reading.volts), *reading.volts);
        summary.highest = std::max(summary.highest.value_or(*reading.volts), *reading.volts);
    }
    return summary;
}
