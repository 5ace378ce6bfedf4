#pragma once
// The trend window's picture as geometry: where the readings, the switching
// levels and the axes go in a plot of a given size. Plain arithmetic, so that it
// is tested and measured without a window; the window only draws it.

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "params/switching_levels.h"
#include "trend/reading_history.h"

struct PlotPoint {
    int x = 0, y = 0;
    bool operator==(const PlotPoint&) const = default;
};

struct PlotRect {
    int x = 0, y = 0, width = 0, height = 0;
};

struct TrendLevel {
    std::string label; // "U> 110.0 V"
    int y = 0;
    int releaseY = 0;   // the other edge of the hysteresis band
    bool upper = false; // U> and U>>
};

struct AxisTick {
    int position = 0; // y on the volt axis, x on the time axis
    std::string label;
};

struct TrendPicture {
    PlotRect plot; // the area inside the axes
    // The readings, one line per run without a gap: a tick without an answer, or
    // a time without ticks, ends a run. A run may be a single point.
    std::vector<std::vector<PlotPoint>> runs;
    std::vector<TrendLevel> levels;
    std::vector<AxisTick> voltTicks;
    std::vector<AxisTick> timeTicks;
};

// Two ticks further apart than this have a gap between them: the program was
// not reading (the tick itself is about 1.25 s).
inline constexpr std::chrono::seconds kTrendGap{5};

// The picture of the readings of the span that ends at end (those whose time
// lies in it), in a plot of width by height pixels whose texts are textHeight
// pixels high. Many readings to a pixel column become that column's first,
// lowest, highest and last value, so that a day of readings draws no more points
// than a minute's. A reading earlier than the one before it (the clock was set
// back) starts a new run. Whatever the readings and levels, the axes have at
// most kMostTrendTicks ticks each, and every point, level and tick lies in the
// plot. A span shorter than a second is taken as one.
inline constexpr std::size_t kMostTrendTicks = 8;
TrendPicture LayoutTrend(const std::vector<Reading>& readings, WallClock::time_point end, std::chrono::seconds span,
                         const SwitchingLevels& levels, int width, int height, int textHeight);

struct TrendSummary {
    std::optional<double> current; // nothing when the latest tick had no answer
    std::optional<double> lowest;
    std::optional<double> highest;
    bool operator==(const TrendSummary&) const = default;
};

// The same span's latest, lowest and highest reading.
TrendSummary SummaryOf(const std::vector<Reading>& readings, WallClock::time_point end, std::chrono::seconds span);
