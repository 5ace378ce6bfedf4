#pragma once
// The simulated relay the window tests talk to, in the test program itself.

#include "sim/sim.h"
