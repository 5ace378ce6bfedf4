#pragma once
// The simulated relay of the tests on Windows (under Wine): a korven-sim process
// on Linux, driven over its control channel and reached through a COM port.
// (The POSIX build finds tests/support/relay_posix/test_relay.h instead.)
#include "tests/support/remote_sim.h"

#include <filesystem>
#include <memory>
#include <string>

// What a test's settings file names as COM1's device so that the name outlives
// KorvenSim::Unplug and Plug: the COM port itself, which korven-sim links again.
inline std::string PluggableName(KorvenSim& sim, const std::filesystem::path&)
{
    return sim.DevicePath();
}

// A relay for COM<comPort>: under Wine its link is that COM port.
inline std::unique_ptr<KorvenSim> RelayForPort(int comPort, SimOptions options = {})
{
    return std::make_unique<KorvenSim>(std::move(options), comPort);
}
