#pragma once
// The simulated relay of the tests on POSIX: korven-sim in-process, on a pty.
// (The Windows build finds tests/support/relay_win32/test_relay.h instead.)
#include "sim/sim.h"
