// korven-sim: a simulated relay on a pseudo-terminal. Prints the device path on
// its first line, answers until SIGINT or SIGTERM, then removes its link.

#include "sim/sim.h"

#include <algorithm>
#include <cctype>
#include <csignal>
#include <iostream>
#include <optional>
#include <pthread.h>
#include <string>

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitFailure = 1;

const char kUsage[] =
    "Usage: korven-sim [options]\n"
    "A simulated KORVEN relay on a pseudo-terminal. Prints the device path, then\n"
    "answers until interrupted (SIGINT or SIGTERM).\n"
    "\n"
    "  --link PATH      also make a symbolic link to the device at PATH (replaces an\n"
    "                   existing link; removed again at the end)\n"
    "  --params FILE    preset the parameter memory from a parameter file (.par)\n"
    "  --log FILE       log every received frame and the answer given\n"
    "  --silent         never answer\n"
    "  --echo           repeat every received byte, like a loop-back plug\n"
    "  --bad-checksum   framed replies carry wrong checksum digits\n"
    "  --nak X          answer request X with NAK (repeatable)\n"
    "  --drop X         do not answer request X (repeatable)\n"
    "                   X: GMWT GPAR SPAR KAL0 K100 TCM3 FWUP, or a firmware block\n"
    "                   P<n> / V<n> (n = 0..239), P* / V* for every block\n"
    "  --extra-byte     a stray byte after every ACK\n"
    "  --chatter        send bytes without pause, besides answering\n"
    "  --value TEXT     the measured value text of the GMWT reply\n"
    "  --line-speed     pace both directions as a 19200-baud line would\n"
    "  --help           show this text\n";

bool IsRequestName(const std::string& name)
{
    for (const char* word : {"GMWT", "GPAR", "SPAR", "KAL0", "K100", "TCM3", "FWUP", "P*", "V*"}) {
        if (name == word)
            return true;
    }
    if (name.size() < 2 || name.size() > 4 || (name[0] != 'P' && name[0] != 'V'))
        return false;
    if (!std::all_of(name.begin() + 1, name.end(), [](unsigned char c) { return std::isdigit(c); }))
        return false;
    return std::stoi(name.substr(1)) < static_cast<int>(RelayModel::kBlockCount);
}

struct Arguments {
    SimOptions options;
    std::string paramsFile;
    std::string logFile;
    std::string linkPath;
    bool help = false;
};

// Parses the command line; a message on error.
std::optional<std::string> Parse(int argc, char** argv, Arguments& args)
{
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        std::optional<std::string> inlineValue;
        if (const auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            inlineValue = name.substr(eq + 1);
            name.erase(eq);
        }
        auto value = [&]() -> std::optional<std::string> {
            if (inlineValue)
                return inlineValue;
            if (i + 1 < argc)
                return std::string(argv[++i]);
            return std::nullopt;
        };
        auto flag = [&](bool& target) {
            target = true;
            return inlineValue ? std::optional<std::string>(name + " takes no value") : std::nullopt;
        };

        std::optional<std::string> problem;
        if (name == "--help" || name == "-h") {
            problem = flag(args.help);
        } else if (name == "--silent") {
            problem = flag(args.options.silent);
        } else if (name == "--echo") {
            problem = flag(args.options.echo);
        } else if (name == "--bad-checksum") {
            problem = flag(args.options.badChecksum);
        } else if (name == "--extra-byte") {
            problem = flag(args.options.extraByte);
        } else if (name == "--chatter") {
            problem = flag(args.options.chatter);
        } else if (name == "--line-speed") {
            problem = flag(args.options.lineSpeed);
        } else if (name == "--nak" || name == "--drop") {
            auto request = value();
            if (!request)
                return name + " needs a request name";
            std::transform(request->begin(), request->end(), request->begin(),
                           [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
            if (!IsRequestName(*request))
                return "unknown request for " + name + ": " + *request;
            (name == "--nak" ? args.options.nak : args.options.drop).insert(*request);
        } else if (name == "--value" || name == "--params" || name == "--log" || name == "--link") {
            const auto text = value();
            if (!text)
                return name + " needs a value";
            if (name == "--value")
                args.options.value = *text;
            else if (name == "--params")
                args.paramsFile = *text;
            else if (name == "--log")
                args.logFile = *text;
            else
                args.linkPath = *text;
        } else {
            return "unknown option: " + name;
        }
        if (problem)
            return problem;
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char** argv)
{
    Arguments args;
    if (const auto problem = Parse(argc, argv, args)) {
        std::cerr << "korven-sim: " << *problem << "\n\n" << kUsage;
        return kExitUsage;
    }
    if (args.help) {
        std::cout << kUsage;
        return 0;
    }

    // Taken by sigwait below; blocked before the serving thread starts so that it
    // inherits the mask and the signals reach this thread only.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
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
    std::cout << sim.DevicePath() << std::endl;

    int received = 0;
    sigwait(&stopSignals, &received);
    sim.Stop();
    return 0;
}
