// The live reading's rhythm and the program's idle CPU use: the main window runs
// offscreen with its real timer against korven-sim for a number of ticks.
//
// Prints the median tick period (between successive GMWT requests, as the
// relay receives them and as the window starts them) against its floor: the
// 1000 ms timer, restarted at the end of each tick, plus one drain read that
// finds a quiet line (its full time-out), the fixed pause, and the reply's
// arrival (the silence gap that ends the read, the reply being in by then).
// And the CPU time the program uses between ticks, as a share of that time.
//
// korven-sim runs as a separate process, so that the process's CPU time is the
// program's own. Usage: live [path to korven-sim]; by default the korven-sim
// built beside the bench folder. Without it the relay runs in-process and the
// CPU figure is that of the window's thread only. With --trend the trend window
// is open over the last 60 minutes, redrawn every tick; the rhythm must then stay
// within 2 % of the floor.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "app/main_dlg.h"
#include "bench/printing_ui.h"
#include "link/exchange.h"
#include "port/read_timing.h"
#include "port/serial_port.h"
#include "sim/sim.h"
#include "trend/trend_dlg.h"
#include "ui/app.h"
#include "ui/message_seam.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using Millis = std::chrono::duration<double, std::milli>;

// Ticks run; the first one also reads the parameters (first contact) and is
// left out, so the periods measured are those between the following ones.
constexpr int kTicks = 22;
constexpr double kTargetDeviationPercent = 1.0;
constexpr double kTargetDeviationWithTrendPercent = 2.0;
constexpr double kTargetIdleCpuPercent = 1.0;

// What the period cannot be shorter than.
double FloorMs()
{
    const auto drain = kReadTimePerByte * CSerialPort::kReadSize; // a read that finds nothing
    return Millis(std::chrono::milliseconds(kLiveReadingPeriodMs) + drain + kPause + kInterByteGap).count();
}

double CpuSeconds(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double Median(std::vector<double> values)
{
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const std::size_t mid = values.size() / 2;
    return values.size() % 2 != 0 ? values[mid] : (values[mid - 1] + values[mid]) / 2.0;
}

// The main window with a stopwatch on its live-reading ticks.
class TimedMainDlg : public CMainDlg {
public:
    TimedMainDlg(int ticks, int cpuWho) : m_ticks(ticks), m_cpuWho(cpuWho) {}

    void OnTimer(int id) override
    {
        if (id != kLiveReadingTimer || Finished()) {
            CMainDlg::OnTimer(id);
            return;
        }
        starts.push_back(Clock::now());
        cpuAtStart.push_back(CpuSeconds(m_cpuWho));
        CMainDlg::OnTimer(id);
        ends.push_back(Clock::now());
        cpuAtEnd.push_back(CpuSeconds(m_cpuWho));
        if (Finished()) {
            KillTimer(kLiveReadingTimer);
            // exit, not quit: quit would first try to close the window, which asks.
            ui::RunLater(0, [] { ui::ExitProgram(0); });
        }
    }

    bool Finished() const { return static_cast<int>(starts.size()) >= m_ticks; }

    std::vector<Clock::time_point> starts, ends;
    std::vector<double> cpuAtStart, cpuAtEnd;

private:
    int m_ticks;
    int m_cpuWho;
};

// korven-sim as a child process, its device path read from its first line.
class SimProcess {
public:
    bool Start(const std::string& program, const std::vector<std::string>& args)
    {
        int out[2];
        if (pipe(out) != 0)
            return false;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        const int spawned = posix_spawn(&m_pid, program.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        if (spawned != 0) {
            close(out[0]);
            m_pid = -1;
            return false;
        }
        m_output = out[0];
        // The device path comes on the first line, at once.
        const auto deadline = Clock::now() + std::chrono::seconds(5);
        while (m_device.empty() || m_device.back() != '\n') {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            pollfd pfd{m_output, POLLIN, 0};
            if (left <= 0 || poll(&pfd, 1, static_cast<int>(left)) <= 0)
                return false;
            char c = 0;
            if (read(m_output, &c, 1) != 1)
                return false;
            m_device += c;
        }
        m_device.pop_back();
        return !m_device.empty();
    }

    ~SimProcess()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            int status = 0;
            waitpid(m_pid, &status, 0);
        }
        if (m_output >= 0)
            close(m_output);
    }

    const std::string& Device() const { return m_device; }

private:
    pid_t m_pid = -1;
    int m_output = -1;
    std::string m_device;
};

std::filesystem::path DefaultSimProgram()
{
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path("korven-sim") : self.parent_path().parent_path() / "korven-sim";
}

// Milliseconds of the day of each logged GMWT request ("YYYY-MM-DD HH:MM:SS.mmm  <02>GMWT:...").
std::vector<double> LoggedRequestTimes(const std::filesystem::path& log)
{
    std::vector<double> times;
    std::ifstream in(log);
    std::string line;
    while (std::getline(in, line)) {
        if (line.size() < 23 || line.find("<02>GMWT:") == std::string::npos)
            continue;
        const double hours = std::atof(line.substr(11, 2).c_str());
        const double minutes = std::atof(line.substr(14, 2).c_str());
        const double seconds = std::atof(line.substr(17, 2).c_str());
        const double millis = std::atof(line.substr(20, 3).c_str());
        times.push_back(((hours * 60 + minutes) * 60 + seconds) * 1000 + millis);
    }
    return times;
}

std::vector<double> Periods(const std::vector<double>& times, std::size_t skip)
{
    std::vector<double> periods;
    for (std::size_t i = skip + 1; i < times.size(); ++i) {
        double period = times[i] - times[i - 1];
        if (period < 0)
            period += 24.0 * 3600 * 1000; // past midnight
        periods.push_back(period);
    }
    return periods;
}

} // namespace

int main(int argc, char** argv)
{
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ui::Application app(argc, argv);

    char pattern[] = "/tmp/korven-bench-live-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::filesystem::path folder = pattern;
    const std::filesystem::path previousFolder = std::filesystem::current_path();
    std::filesystem::current_path(folder);
    const std::filesystem::path log = folder / "sim.log";

    bool withTrend = false;
    std::string simProgram = DefaultSimProgram().string();
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--trend")
            withTrend = true;
        else
            simProgram = argv[i];
    }
    auto process = std::make_unique<SimProcess>();
    std::unique_ptr<KorvenSim> inProcess;
    std::string device;
    if (access(simProgram.c_str(), X_OK) == 0 && process->Start(simProgram, {"--line-speed", "--log", log.string()})) {
        device = process->Device();
    } else {
        std::fprintf(stderr, "korven-sim not started from %s: the relay runs in-process\n", simProgram.c_str());
        SimOptions options;
        options.lineSpeed = true;
        inProcess = std::make_unique<KorvenSim>(options);
        std::string error;
        if (!inProcess->Start(&error) || !inProcess->OpenLog(log.string(), &error)) {
            std::fprintf(stderr, "cannot start the relay: %s\n", error.c_str());
            return 1;
        }
        device = inProcess->DevicePath();
    }
    std::ofstream(folder / "KorvenCtrl.ini") << "[PORTS]\nCOM1=" << device << "\n";

    PrintingUi printing;
    ui::SetUi(&printing);
    // With the relay in this process only the window's own thread can be told apart.
    const int cpuWho = inProcess ? RUSAGE_THREAD : RUSAGE_SELF;
    const double cpuBefore = CpuSeconds(cpuWho);
    const auto wallBefore = Clock::now();
    std::vector<double> windowStarts;
    double idleCpu = 0;
    double idleWall = 0;
    bool allConnected = false;
    {
        TimedMainDlg dlg(kTicks, cpuWho);
        if (withTrend) {
            ui::RunLater(0, [&dlg] {
                dlg.SendSysCommand(IDM_TREND);
                dlg.Trend()->SetCurSel(IDC_TREND_SPAN, 2);
            });
        }
        // The window's modal run, ended by the quit above.
        dlg.DoModal();
        allConnected = dlg.Connected();
        for (const auto& start : dlg.starts)
            windowStarts.push_back(Millis(start - wallBefore).count());
        // Idle: from the end of one tick to the start of the next, first contact left out.
        for (std::size_t i = 2; i < dlg.starts.size(); ++i) {
            idleWall += std::chrono::duration<double>(dlg.starts[i] - dlg.ends[i - 1]).count();
            idleCpu += dlg.cpuAtStart[i] - dlg.cpuAtEnd[i - 1];
        }
    }
    const double runWall = std::chrono::duration<double>(Clock::now() - wallBefore).count();
    const double runCpu = CpuSeconds(cpuWho) - cpuBefore;

    const bool separate = inProcess == nullptr;
    process.reset(); // stops korven-sim, which flushes its log
    inProcess.reset();
    const std::vector<double> simTimes = LoggedRequestTimes(log);
    ui::SetUi(nullptr);
    delete g_pPort;
    g_pPort = nullptr;
    std::filesystem::current_path(previousFolder);
    std::filesystem::remove_all(folder);

    // The first tick also read the parameters: periods from the second tick on.
    const std::vector<double> simPeriods = Periods(simTimes, 1);
    const std::vector<double> windowPeriods = Periods(windowStarts, 1);
    const double floorMs = FloorMs();
    const double simMedian = Median(simPeriods);
    const double windowMedian = Median(windowPeriods);
    const double deviation = (simMedian - floorMs) / floorMs * 100.0;
    const double idlePercent = idleWall > 0 ? idleCpu / idleWall * 100.0 : 0.0;

    std::printf("live reading, %d ticks against korven-sim (%s, 19200-baud line pacing)%s\n", kTicks,
                separate ? "separate process" : "in-process", withTrend ? ", trend window open" : "");
    std::printf("  relay connected at the end:      %s, message boxes: %d\n", allConnected ? "yes" : "NO",
                printing.shown);
    std::printf("  tick period, median of %zu (relay side):  %.1f ms\n", simPeriods.size(), simMedian);
    std::printf("  tick period, median of %zu (window side): %.1f ms\n", windowPeriods.size(), windowMedian);
    std::printf("  floor: %d ms timer + %lld ms drain read + %lld ms pause + %lld ms reply gap = %.1f ms\n",
                kLiveReadingPeriodMs, static_cast<long long>((kReadTimePerByte * CSerialPort::kReadSize).count()),
                static_cast<long long>(kPause.count()), static_cast<long long>(kInterByteGap.count()), floorMs);
    const double allowed = withTrend ? kTargetDeviationWithTrendPercent : kTargetDeviationPercent;
    std::printf("  deviation from the floor:        %+.2f %% (target within %.0f %%)\n", deviation, allowed);
    std::printf("  CPU while idle between ticks:    %.3f %% of %.1f s (target under %.0f %%)\n", idlePercent, idleWall,
                kTargetIdleCpuPercent);
    std::printf("  CPU over the whole run:          %.3f %% of %.1f s (%s)\n", runCpu / runWall * 100.0, runWall,
                cpuWho == RUSAGE_SELF ? "whole process" : "window thread");
    const bool met = allConnected && std::abs(deviation) <= allowed && idlePercent < kTargetIdleCpuPercent;
    std::printf("  %s\n", met ? "targets met" : "TARGETS NOT MET");
    return 0;
}
