// The reconnect: the main window runs offscreen with its real timer against an
// in-process korven-sim behind a link, and the relay's line is pulled out and
// plugged in again a number of times, as an adapter is.
//
// Prints, over the cycles, how long it took from the moment the device was back
// to the first valid reading (target: under 2.5 s, two ticks), and how long a
// tick takes while the device is missing beyond its fixed 100 ms pause: the
// silent reopen, the drain and the read that fail at once (a few milliseconds).
// Usage: reconnect [cycles]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "app/main_dlg.h"
#include "bench/printing_ui.h"
#include "link/exchange.h"
#include "port/serial_port.h"
#include "sim/sim.h"
#include "ui/app.h"
#include "ui/message_seam.h"

namespace {

using Clock = std::chrono::steady_clock;
using Millis = std::chrono::duration<double, std::milli>;

constexpr double kTargetBackMs = 2500.0;
constexpr double kTargetMissingTickMs = 20.0;

// Pulls the line out once the window is connected, plugs it in two ticks later,
// and times the way back.
class ReconnectDlg : public CMainDlg {
public:
    ReconnectDlg(KorvenSim& sim, int cycles) : m_sim(sim), m_cycles(cycles) {}

    void OnTimer(int id) override
    {
        if (id != kLiveReadingTimer) {
            CMainDlg::OnTimer(id);
            return;
        }
        const bool unplugged = m_unpluggedTicks >= 0;
        const auto start = Clock::now();
        CMainDlg::OnTimer(id);
        if (unplugged && !Connected() && m_unpluggedTicks > 0)
            missingTicks.push_back(Millis(Clock::now() - start - kPause).count());
        if (Connected() && m_pluggedAt) {
            backTimes.push_back(Millis(Clock::now() - *m_pluggedAt).count());
            m_pluggedAt.reset();
            m_unpluggedTicks = -1;
            if (static_cast<int>(backTimes.size()) >= m_cycles) {
                KillTimer(kLiveReadingTimer);
                ui::RunLater(0, [] { ui::ExitProgram(0); });
            }
        } else if (Connected() && m_unpluggedTicks < 0) {
            m_sim.Unplug();
            m_unpluggedTicks = 0;
        } else if (unplugged && !m_pluggedAt && ++m_unpluggedTicks == 2) {
            // Back at a moment the tick does not know of: half-way to the next one.
            ui::RunLater(600, [this] {
                std::string error;
                if (!m_sim.Plug(&error))
                    std::fprintf(stderr, "cannot plug the relay in: %s\n", error.c_str());
                m_pluggedAt = Clock::now();
            });
        }
    }

    std::vector<double> backTimes;
    std::vector<double> missingTicks;

private:
    KorvenSim& m_sim;
    int m_cycles;
    int m_unpluggedTicks = -1; // -1 while plugged in
    std::optional<Clock::time_point> m_pluggedAt;
};

double Median(std::vector<double> values)
{
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ui::Application app(argc, argv);
    const int cycles = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;

    char pattern[] = "/tmp/korven-bench-reconnect-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::filesystem::path folder = pattern;
    const std::filesystem::path previousFolder = std::filesystem::current_path();
    std::filesystem::current_path(folder);

    KorvenSim sim;
    std::string error;
    const std::string link = (folder / "relay").string();
    if (!sim.Start(&error) || !sim.MakeLink(link, &error)) {
        std::fprintf(stderr, "cannot start the relay: %s\n", error.c_str());
        return 1;
    }
    std::ofstream(folder / "KorvenCtrl.ini") << "[PORTS]\nCOM1=" << link << "\n";

    PrintingUi counting;
    ui::SetUi(&counting);
    std::vector<double> back, missing;
    {
        ReconnectDlg dlg(sim, cycles);
        dlg.DoModal();
        back = dlg.backTimes;
        missing = dlg.missingTicks;
    }
    ui::SetUi(nullptr);
    delete g_pPort;
    g_pPort = nullptr;
    sim.Stop();
    std::filesystem::current_path(previousFolder);
    std::filesystem::remove_all(folder);

    const double worstBack = back.empty() ? 0.0 : *std::max_element(back.begin(), back.end());
    const double worstMissing = missing.empty() ? 0.0 : *std::max_element(missing.begin(), missing.end());
    std::printf("reconnect, %d cycles of pulling the relay's line out and plugging it in again\n", cycles);
    std::printf("  message boxes:                              %d (target 0)\n", counting.shown);
    std::printf("  device back to first reading, median:      %.0f ms\n", Median(back));
    std::printf("  device back to first reading, worst:       %.0f ms (target under %.0f ms)\n", worstBack,
                kTargetBackMs);
    std::printf("  tick with the device missing, beyond its pause, worst of %zu: %.1f ms (target under %.0f ms)\n",
                missing.size(), worstMissing, kTargetMissingTickMs);
    const bool met = counting.shown == 0 && static_cast<int>(back.size()) == cycles && worstBack < kTargetBackMs &&
                     worstMissing < kTargetMissingTickMs;
    std::printf("  %s\n", met ? "targets met" : "TARGETS NOT MET");
    return 0;
}
