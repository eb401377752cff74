// Start-up and the instruction cycle.
#pragma once

#include <string>
#include <vector>

#include "machine.h"

// Runs the instruction cycle from the entry address; leaves only by RunEnd.
[[noreturn]] void run();

// Sets the machine at the entry address with the count at 0, ready for its
// first instruction (the trace header written when the trace is on).
void begin();

// Formats the trace line of the word w at address sc with operand address n
// into buf (256 bytes); returns its length. The line ends in a newline.
int trace_line(char* buf, int sc, int32_t w, int n);

// What the console sets for the cycle to look at: address breakpoints and
// watched store stretches. Only go() looks at them.
struct Watch {
  int addr;                   // first watched location
  std::vector<int32_t> copy;  // the words as last seen
};
struct Hooks {
  bool on = false;              // a console drives the cycle
  uint8_t brk[STORE + 2] = {};  // 1 at an address with a breakpoint
  int nbrk = 0;                 // addresses with a breakpoint
  std::vector<Watch> watches;
  int last = 0;  // address of the instruction obeyed last
  // Reads the operator's reply to an alarm into buf (as fgets does); set by
  // the console, which asks at its own prompt (and throws Unanswered when
  // the operator leaves the alarm unanswered).
  char* (*reply)(char* buf, int size) = nullptr;
  struct Hit {
    int which;  // the watch, by its place in `watches`
    int addr;
    int32_t from, to;
  };
  std::vector<Hit> hits;  // the changes that stopped the cycle: one per watch
  std::string script;     // -x: the command file a console session begins with
  std::string prog;       // the program file, whose symbol lines the console reads
};
extern Hooks hooks;

// A breakpoint stands at SC.
inline bool at_break() { return hooks.nbrk && (unsigned)M.sc < (unsigned)STORE && hooks.brk[M.sc]; }

// N of the word w fetched from sc: its address field in the quarter of sc,
// plus the pending next-instruction modification.
inline int form_n(unsigned sc, int32_t w) {
  return (int)((sc & 0x6000) + (unsigned)(w & 0x1FFF) + (unsigned)M.nim);
}

// Why go() stopped.
enum Stop { STEPPED, BROKE, WATCHED, INTERRUPTED, UNANSWERED };

// Obeys at most n instructions (n below 0: no bound) and returns why it
// stopped: the count obeyed, a breakpoint at SC (never the instruction it
// starts at), a change in a watched stretch, an interrupt (SIGINT), or an
// alarm left unanswered (the machine then stands before the alarm
// instruction). The end of the run, and SIGTERM, leave by RunEnd as in
// run().
Stop go(long long n);

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
// plus the signal after an interrupt; 1 whenever output was not written, or
// 128 + SIGPIPE when only a pipe's reader went away). The program, the tests
// and the fuzz targets all start the machine here.
int emulate(int argc, char** argv, const Io& io = Io{});

// Ends the run after an interrupt: the fatal report "Run interrupted" with
// SC as value and the status 128 + the signal.
[[noreturn, gnu::cold]] void interrupted();

// The console (-i): commands between instructions until the operator quits;
// returns the run's exit status.
int console();

// Installs the handlers of SIGINT and SIGTERM. With restart off, a host call
// that waits (the operator's reply) returns early when a signal arrives.
void catch_signals(bool restart);
