// The trend window with a day of readings: how long one drawing takes, and how
// much the program's resident memory grows.
//
// The main window and its trend window run offscreen; a day of ticks (one every
// 1.23 s, the live reading's floor) is fed into the reading history at once,
// as the live reading would have fed it. Then the plot is drawn into a pixmap
// as the window system would have it drawn, over the 60-minute span (the
// longest the window offers) and, to show that the drawing does not grow with
// the readings, over the whole day. Targets: a drawing in under 16 ms, and
// under 4 MB more resident memory after the day than before it.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <QWidget>

#include "app/main_dlg.h"
#include "params/switching_levels.h"
#include "trend/trend_dlg.h"
#include "trend/trend_picture.h"
#include "ui/app.h"
#include "ui/qt/qt_access.h"

namespace {

using Clock = std::chrono::steady_clock;
using Millis = std::chrono::duration<double, std::milli>;

constexpr double kTargetDrawMs = 16.0;
constexpr double kTargetGrowthMb = 4.0;
constexpr int kDraws = 25;
constexpr auto kTick = std::chrono::milliseconds(1230);

// The resident set of this process in megabytes (VmRSS of /proc/self/status).
double ResidentMb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atof(line.c_str() + 6) / 1024.0;
    }
    return 0.0;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

// The main window with a way to feed its history as the live ticks do.
class FedMainDlg : public CMainDlg {
public:
    void FeedDay(WallClock::time_point end)
    {
        const int ticks = static_cast<int>(std::chrono::hours(24) / kTick);
        for (int i = ticks; i-- > 0;) {
            // A wandering mains reading with a missing answer now and then.
            const double volts = 100.0 + 18.0 * std::sin(i * 0.1);
            MutableHistory().Add(end - i * kTick, i % 500 == 0 ? std::nullopt : std::optional<double>(volts));
        }
    }
};

double DrawMs(CTrendDlg& trend, int spanIndex)
{
    trend.SetCurSel(IDC_TREND_SPAN, spanIndex);
    QWidget* plot = ui::QtItem(trend, IDC_TREND_PLOT);
    std::vector<double> times;
    for (int i = 0; i < kDraws; ++i) {
        const auto start = Clock::now();
        plot->grab(); // one whole paint of the plot, as the window system asks for it
        times.push_back(Millis(Clock::now() - start).count());
    }
    return Median(times);
}

} // namespace

int main(int argc, char** argv)
{
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ui::Application app(argc, argv);

    FedMainDlg main;
    main.SendSysCommand(IDM_TREND);
    CTrendDlg& trend = *main.Trend();
    ui::PumpMessages();
    // One drawing first, so that fonts and caches count as the program's before.
    DrawMs(trend, 2);
    const double before = ResidentMb();

    const auto feedStart = Clock::now();
    main.FeedDay(WallClock::now());
    const double feedMs = Millis(Clock::now() - feedStart).count();
    trend.Refresh();
    const double hourMs = DrawMs(trend, 2);
    const double after = ResidentMb();

    // The whole day in one picture, without the window: the layout alone.
    const auto layoutStart = Clock::now();
    const auto day = main.History().Since(WallClock::time_point{});
    const TrendPicture picture = LayoutTrend(day, day.back().time, std::chrono::hours(24), LevelsOf({}), 579, 302, 13);
    const double dayLayoutMs = Millis(Clock::now() - layoutStart).count();
    std::size_t points = 0;
    for (const auto& run : picture.runs)
        points += run.size();

    const double growth = after - before;
    std::printf("trend window with a day of readings (%zu ticks, 1.23 s apart), offscreen\n", main.History().Size());
    std::printf("  feeding the day into the history:   %.1f ms\n", feedMs);
    std::printf("  drawing the 60-minute span, median of %d: %.2f ms (target under %.0f ms)\n", kDraws, hourMs,
                kTargetDrawMs);
    std::printf("  laying out the whole day at once:   %.2f ms, %zu points for %zu ticks\n", dayLayoutMs, points,
                day.size());
    std::printf("  resident memory: %.1f MB before, %.1f MB after: %+.2f MB (target under %.0f MB)\n", before, after,
                growth, kTargetGrowthMb);
    const bool met = hourMs < kTargetDrawMs && growth < kTargetGrowthMb;
    std::printf("  %s\n", met ? "targets met" : "TARGETS NOT MET");
    return 0;
}
