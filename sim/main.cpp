// korven-sim: a simulated relay on a pseudo-terminal. Prints the device path on
// its first line, answers until SIGINT or SIGTERM (or until its control client
// quits or goes away), then removes its link.

#include "sim/arguments.h"
#include "sim/control.h"
#include "sim/device_server.h"
#include "sim/sim.h"

#include <csignal>
#include <fcntl.h>
#include <iostream>
#include <pthread.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitFailure = 1;

} // namespace

int main(int argc, char** argv)
{
    SimArguments args;
    if (const auto problem = ParseSimArguments(std::vector<std::string>(argv + 1, argv + argc), args)) {
        std::cerr << "korven-sim: " << *problem << "\n\n" << kSimUsage;
        return kExitUsage;
    }
    if (args.help) {
        std::cout << kSimUsage;
        return 0;
    }

    // Taken by sigwait below; blocked before the serving thread starts so that it
    // inherits the mask and the signals reach this thread only.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    // Under control the relay's own terminal hangs up at every UNPLUG; the program
    // ends only when its client goes away.
    if (args.controlPort)
        std::signal(SIGHUP, SIG_IGN);
    else
        sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    KorvenSim sim(args.options);
    std::string error;
    if (!args.paramsFile.empty() && !sim.LoadParameterFile(args.paramsFile, &error)) {
        std::cerr << "korven-sim: " << error << "\n";
        return kExitFailure;
    }
    if (!args.logFile.empty() && !sim.OpenLog(args.logFile, &error)) {
        std::cerr << "korven-sim: " << error << "\n";
        return kExitFailure;
    }
    if (!sim.Start(&error)) {
        std::cerr << "korven-sim: " << error << "\n";
        return kExitFailure;
    }
    if (!args.linkPath.empty() && !sim.MakeLink(args.linkPath, &error)) {
        std::cerr << "korven-sim: " << error << "\n";
        sim.Stop();
        return kExitFailure;
    }
    int control = -1;
    if (args.controlPort && (control = ConnectControl(*args.controlPort, &error)) < 0) {
        std::cerr << "korven-sim: " << error << "\n";
        sim.Stop();
        return kExitFailure;
    }
    // Wine's server opens the device for its clients without O_NOCTTY; being a
    // session leader without a terminal, it would make the device its controlling
    // terminal and take the hang-up when the device goes away. A terminal belongs
    // to one session only: claimed here first, it stays out of Wine's.
    int terminal = -1;
    const auto claimTerminal = [&sim, &terminal] {
        if (terminal >= 0)
            close(terminal);
        terminal = open(sim.DevicePath().c_str(), O_RDWR);
    };
    if (control >= 0) {
        setsid(); // fails harmlessly if this process already leads its group
        claimTerminal();
    }
    std::cout << sim.DevicePath() << std::endl;
    // The device server and the relays are stopped by their destructors, by PID.
    Ser2net server;
    DelayingRelay delayed[2];
    if (args.ser2net) {
        if (!server.Start(sim.DevicePath(), &error)) {
            std::cerr << "korven-sim: " << error << "\n";
            sim.Stop();
            return kExitFailure;
        }
        const int upstream[2] = {server.Rfc2217Port(), server.RawPort()};
        const char* scheme[2] = {"rfc2217://", "tcp://"};
        for (int i = 0; i < 2; ++i) {
            int port = upstream[i];
            if (args.netDelayMs > 0) {
                delayed[i].SetShape({std::chrono::milliseconds(args.netDelayMs)});
                if (!delayed[i].Start(upstream[i], &error)) {
                    std::cerr << "korven-sim: " << error << "\n";
                    return kExitFailure;
                }
                port = delayed[i].Port();
            }
            std::cout << scheme[i] << "127.0.0.1:" << port << std::endl;
        }
    }

    // The control client's requests are served on a thread of their own; when it
    // quits or goes away, the program ends as on SIGTERM.
    std::thread controlThread;
    if (control >= 0) {
        // A new device after PLUG is claimed as the first one was.
        controlThread = std::thread([&sim, control, &claimTerminal] {
            ServeControl(sim, control, claimTerminal);
            kill(getpid(), SIGTERM);
        });
    }

    int received = 0;
    sigwait(&stopSignals, &received);
    if (controlThread.joinable()) {
        // Ends a pending read without telling the client yet: it sees the
        // connection close only when the link is gone.
        shutdown(control, SHUT_RD);
        controlThread.join();
    }
    sim.Stop();
    if (terminal >= 0)
        close(terminal);
    if (control >= 0)
        close(control);
    return 0;
}
