#pragma once
// The simulated relay of the tests on POSIX: korven-sim in-process, on a pty.
// (The Windows build finds tests/support/relay_win32/test_relay.h instead.)
#include "sim/sim.h"

#include <filesystem>
#include <memory>
#include <string>

// What a test's settings file names as COM1's device so that the name outlives
// KorvenSim::Unplug and Plug: a link in folder, made again at every Plug.
inline std::string PluggableName(KorvenSim& sim, const std::filesystem::path& folder)
{
    const std::string link = (folder / "relay").string();
    return sim.MakeLink(link) ? link : std::string();
}

// A relay for COM<comPort>: on POSIX the test maps the port to its device in [PORTS].
inline std::unique_ptr<KorvenSim> RelayForPort(int /*comPort*/, SimOptions options = {})
{
    return std::make_unique<KorvenSim>(std::move(options));
}
