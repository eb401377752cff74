// Start-up and the instruction cycle.
#pragma once

#include "machine.h"

// Runs the instruction cycle from the entry address; leaves only by RunEnd.
[[noreturn]] void run();

// Reads a leading decimal integer as the C library does (white space, sign,
// digits up to the first non-digit; none gives 0), saturating on overflow.
long long lead(const char* s);

// The whole of one emulator run: start-up, loading, the cycle. Returns the
// exit status (0 after an unload, 1 after a fatal report or a loader error).
// The streams in M (out, err, in) are used as they stand, so that a test can
// point them elsewhere after reset().
int emulate(int argc, char** argv);
