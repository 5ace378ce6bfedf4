#pragma once
// korven-sim's command line. The fault-mode flags also travel over the control
// channel (sim/control.h), in the same words, so they are read and written here.

#include "sim/relay.h"

#include <optional>
#include <string>
#include <vector>

struct SimArguments {
    SimOptions options;
    std::string paramsFile;
    std::string logFile;
    std::string linkPath;
    std::optional<int> controlPort;
    bool ser2net = false; // a device server in front of the pty
    int netDelayMs = 0;   // each way, through a relay in front of the device server
    bool help = false;
};

// Reads the arguments (without the program name) into args; a message on error.
std::optional<std::string> ParseSimArguments(const std::vector<std::string>& words, SimArguments& args);

// The flags that give options when read by ParseSimArguments, one word each
// ("--value=230.4"). The stray byte's value has no flag and is not carried.
std::vector<std::string> SimFlags(const SimOptions& options);

extern const char kSimUsage[];
