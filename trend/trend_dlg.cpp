#include "trend/trend_dlg.h"

#include <array>

#include "app/main_dlg.h"
#include "files/atomic_file.h"
#include "params/parameter_file.h"
#include "params/switching_levels.h"
#include "res/resource_ids.h"
#include "trend/reading_csv.h"
#include "trend/trend_picture.h"

using namespace ui;

namespace {

constexpr std::array<std::chrono::minutes, 3> kSpans{std::chrono::minutes(1), std::chrono::minutes(10),
                                                     std::chrono::minutes(60)};
constexpr int kDefaultSpan = 1;

constexpr Color kBackground{255, 255, 255};
constexpr Color kFrame{128, 128, 128};
constexpr Color kGrid{228, 228, 228};
constexpr Color kText{0, 0, 0};
constexpr Color kReadings{0, 0, 170};
// The outer levels (U>>, U<<) in red, the inner ones (U>, U<) in orange; their
// hysteresis bands in a pale tint of the same.
constexpr Color kOuterLevel{200, 0, 0};
constexpr Color kInnerLevel{225, 120, 0};
constexpr Color kOuterBand{255, 225, 225};
constexpr Color kInnerBand{255, 238, 214};

// U>> and U<< are the outer levels of four, from the top down.
bool IsOuter(std::size_t index, std::size_t count)
{
    return index == 0 || index + 1 == count;
}

std::string VoltText(const char* name, const std::optional<double>& volts, const char* none)
{
    return std::string(name) + ": " + (volts ? FormatFixed(*volts, 0, 1) + " V" : none);
}

} // namespace

const DialogTemplate& TrendDialogTemplate()
{
    static const DialogTemplate tpl{
        0,
        "Messwertverlauf",
        400,
        250,
        8,
        SystemMenu | MinimizeBox,
        {
            {IDC_TREND_PLOT, Kind::Canvas, "", 7, 7, 386, 186, NoTabStop},
            {IDC_STATIC, Kind::Label, "Zeitraum:", 7, 202, 34, 8},
            {IDC_TREND_SPAN, Kind::ComboBox, "", 42, 200, 52, 60, 0, 0, {"1 Minute", "10 Minuten", "60 Minuten"}},
            {IDC_TREND_CURRENT, Kind::Label, "", 104, 202, 92, 8},
            {IDC_TREND_LOWEST, Kind::Label, "", 200, 202, 92, 8},
            {IDC_TREND_HIGHEST, Kind::Label, "", 296, 202, 97, 8},
            {IDC_TREND_NO_LEVELS, Kind::Label, "", 7, 216, 386, 8},
            {IDC_TREND_SAVE, Kind::PushButton, "Speichern...", 287, 229, 50, 14},
            {IDCANCEL, Kind::PushButton, "Schließen", 343, 229, 50, 14},
        },
    };
    return tpl;
}

CTrendDlg::CTrendDlg(CMainDlg& main) : CDialog(TrendDialogTemplate(), &main), m_main(main)
{
    OnDraw(IDC_TREND_PLOT, [this](Painter& painter) { Draw(painter); });
    OnSelChange(IDC_TREND_SPAN, [this] { Refresh(); });
    OnClicked(IDC_TREND_SAVE, [this] { OnSave(); });
}

bool CTrendDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    SetIcon(IDI_PROGRAM);
    SetCurSel(IDC_TREND_SPAN, kDefaultSpan);
    return true;
}

// Enter does not close the window.
void CTrendDlg::OnOK() {}

void CTrendDlg::Open()
{
    InitDialog();
    Show();
    Refresh();
}

std::chrono::seconds CTrendDlg::Span() const
{
    const int index = GetCurSel(IDC_TREND_SPAN);
    return kSpans[static_cast<std::size_t>(index >= 0 && index < static_cast<int>(kSpans.size()) ? index
                                                                                                 : kDefaultSpan)];
}

void CTrendDlg::Refresh()
{
    if (!IsWindowVisible())
        return;
    const WallClock::time_point now = WallClock::now();
    const TrendSummary summary = SummaryOf(m_main.History().Since(now - Span()), now, Span());
    SetItemText(IDC_TREND_CURRENT, VoltText("Aktuell", summary.current, "keine Antwort"));
    SetItemText(IDC_TREND_LOWEST, VoltText("Minimum", summary.lowest, "-"));
    SetItemText(IDC_TREND_HIGHEST, VoltText("Maximum", summary.highest, "-"));
    const SwitchingLevels levels = LevelsOf(m_main.SettledSet());
    SetItemText(IDC_TREND_NO_LEVELS, levels.reason.empty() ? "" : "Keine Schaltschwellen: " + levels.reason);
    InvalidateItem(IDC_TREND_PLOT);
}

void CTrendDlg::Draw(Painter& painter) const
{
    const WallClock::time_point now = WallClock::now();
    const std::chrono::seconds span = Span();
    const TrendPicture picture =
        LayoutTrend(m_main.History().Since(now - span), now, span, LevelsOf(m_main.SettledSet()), painter.Width(),
                    painter.Height(), painter.TextHeight());
    const PlotRect& plot = picture.plot;
    const int textHeight = painter.TextHeight();

    painter.FillRect({0, 0, painter.Width(), painter.Height()}, kBackground);
    for (std::size_t i = 0; i < picture.levels.size(); ++i) {
        const TrendLevel& level = picture.levels[i];
        const bool outer = IsOuter(i, picture.levels.size());
        const int top = std::min(level.y, level.releaseY);
        painter.FillRect({plot.x, top, plot.width, std::max(level.y, level.releaseY) - top},
                         outer ? kOuterBand : kInnerBand);
    }
    for (const AxisTick& tick : picture.voltTicks) {
        painter.Polyline({{plot.x, tick.position}, {plot.x + plot.width, tick.position}}, kGrid);
        painter.Text({plot.x - 4, tick.position - textHeight / 2}, tick.label, kText, TextAlign::Right);
    }
    for (const AxisTick& tick : picture.timeTicks) {
        painter.Polyline({{tick.position, plot.y}, {tick.position, plot.y + plot.height}}, kGrid);
        painter.Text({tick.position, plot.y + plot.height + 3}, tick.label, kText, TextAlign::Center);
    }
    painter.Text({2, 0}, "V", kText);
    for (std::size_t i = 0; i < picture.levels.size(); ++i) {
        const TrendLevel& level = picture.levels[i];
        const bool outer = IsOuter(i, picture.levels.size());
        const Color color = outer ? kOuterLevel : kInnerLevel;
        painter.Polyline({{plot.x, level.y}, {plot.x + plot.width, level.y}}, color, LineStyle::Dashed);
        // Upper labels above their line, lower ones below it: away from the band.
        // The outer levels are labelled at the right end, the inner ones at the
        // left, so that two levels close together keep readable labels.
        const int y = level.upper ? level.y - textHeight - 1 : level.y + 2;
        if (outer)
            painter.Text({plot.x + plot.width - 3, y}, level.label, color, TextAlign::Right);
        else
            painter.Text({plot.x + 3, y}, level.label, color, TextAlign::Left);
    }
    for (const std::vector<PlotPoint>& run : picture.runs) {
        std::vector<Point> points;
        points.reserve(run.size());
        for (const PlotPoint& point : run)
            points.push_back({point.x, point.y});
        painter.Polyline(points, kReadings);
    }
    painter.Polyline({{plot.x, plot.y},
                      {plot.x + plot.width, plot.y},
                      {plot.x + plot.width, plot.y + plot.height},
                      {plot.x, plot.y + plot.height},
                      {plot.x, plot.y}},
                     kFrame);
}

void CTrendDlg::OnSave()
{
    // The readings of the span as it stood when the button was pressed.
    const std::vector<Reading> readings = m_main.History().Since(WallClock::now() - Span());
    FileDialogRequest request;
    request.owner = this;
    request.save = true;
    request.title = "Messwerte speichern";
    request.filterDescription = "Messwerte(*.csv)";
    request.filterPattern = "*.csv";
    request.startFolder = m_main.WorkingDir();
    request.overwritePrompt = true;
    request.defaultExtension = "csv";
    const std::optional<std::string> chosen = Ui().ChooseFile(request);
    if (!chosen)
        return;
    if (!files::WriteFileAtomically(*chosen, CsvText(readings)))
        AfxMessageBox(CannotWriteMessage(*chosen), MB_OK | MB_ICONEXCLAMATION);
}
