#pragma once
// The simulated relay of the tests on Windows (under Wine): a korven-sim process
// on Linux, driven over its control channel and reached through a COM port.
// (The POSIX build finds tests/support/relay_posix/test_relay.h instead.)
#include "tests/support/remote_sim.h"
