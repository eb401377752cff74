// Start-up and the instruction cycle.
#pragma once

#include "machine.h"

// Runs the instruction cycle from the entry address; leaves only by RunEnd.
[[noreturn]] void run();

// Reads a leading decimal integer as the C library does (white space, sign,
// digits up to the first non-digit; none gives 0), saturating on overflow.
long long lead(const char* s);

// The host streams of a run: the console, the error stream and the
// operator's input.
struct Io {
  FILE* out = stdout;
  FILE* err = stderr;
  FILE* in = stdin;
};

// Start-up: resets the machine to its start state, reads the switches,
// opens the log stream and loads the program file, leaving the machine
// ready to obey its first instruction. Ends by RunEnd on its failures.
void start(int argc, char** argv, const Io& io);

// The whole of one emulator run: start-up, then the cycle. Returns the exit
// status (0 after an unload, 1 after a fatal report or a loader error, 128
// plus the signal after an interrupt). The program, the tests and the fuzz
// targets all start the machine here.
int emulate(int argc, char** argv, const Io& io = Io{});

// Ends the run after an interrupt: the fatal report "Run interrupted" with
// SC as value and the status 128 + the signal.
[[noreturn, gnu::cold]] void interrupted();

// Installs the handlers of SIGINT and SIGTERM. With restart off, a host call
// that waits (the operator's reply) returns early when a signal arrives.
void catch_signals(bool restart);
