#pragma once
// The POSIX scan behind ListPorts, with the folder that stands for "/" given:
// the system's own for the program, a tree of a test's own otherwise (dev/,
// dev/serial/by-id/ links, sys/class/tty/<name>/ with its device link and type).
// The [PORTS] entries of the settings file are taken as they stand.

#include <filesystem>
#include <vector>

#include "port/port_list.h"

std::vector<PortCandidate> ScanPosixPorts(const std::filesystem::path& root);
