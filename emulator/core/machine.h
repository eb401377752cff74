// The emulated machine: store, tags, registers, route table, overlays and
// run-control settings, all in one process-wide instance `M`.
//
// Words are kept in signed 32-bit integers. A short word proper has 21 bits:
// five 4-bit digits (bits 0-19) and the sign (bit 20). A long value lives in
// two halves: the lower half (five digits) and the upper half (five digits
// and the sign).
#pragma once

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

constexpr int STORE = 32768;  // store locations
// The two words past the store hold GUARD and are never written: the fast
// path of the instruction cycle fetches one only when SC has run off the top
// of the store, and its decode value (negative) sends it to the full check.
constexpr int32_t GUARD = INT32_MIN;
constexpr int SIGN = 0x100000;
constexpr int MASK20 = 0xFFFFF;
constexpr int MASK21 = 0x1FFFFF;

// A long register: upper half (with the sign in bit 20) and lower half.
struct Reg {
  int32_t up = 0;
  int32_t lo = 0;
};

// One route table entry; routes 9(k+1) .. 9(k+1)+8 share entry k.
struct Route {
  int fd = -1;       // open host file (tape image or printer file)
  int name = -1;     // two machine characters, bits 8-15 and 0-7
  int type = -1;     // device type from chapter 0
  int mode = -1;     // 0 output, 1 input, -1 none
  int last = 0;      // tape position state: size of the block just passed
  int count = 7;     // block count for numbering written blocks
  int pending = 0;   // last tape move was a backward read
  std::string path;  // name of the open host file
  int oflags = 0;    // flags that open it again where it stands (no create)
};

// One saved store image (overlay).
struct Overlay {
  std::vector<int32_t> image;
  int first = 0;  // first store address
  int len = 0;    // length in bytes (4 per short word)
};

struct Machine {
  // Store and tags.
  int32_t store[STORE + 2];  // the store and two guard words (below)
  uint8_t tags[STORE];

  // Registers.
  int sc = 160;         // sequence control: next instruction's address
  int n = 0;            // operand address of the current instruction
  Reg a, b, d;          // accumulator, second long register, operand register
  int radix = 0;        // per digit: 16 minus that digit's radix
  int uradix = 0;       // digit 4 of the radix register in all five digits
  int tag = 4;          // current tag (14 while the Master Routine runs)
  int ind = 0x14E5;     // indicators
  int mgb = 8;          // modification group base
  int nim = 0;          // next-instruction modification
  long long count = 0;  // instructions fetched
  int32_t instr = 0;    // current instruction word
  int entry = 160;      // entry address set by the loader

  Route routes[10];
  Overlay ovl[15];

  // Run control (switches).
  int verbosity = 0;
  long long tstart = -1;  // trace start count
  int watch = -1;         // watched location
  int wlen = 1;           // watched length (0..20)
  long long limit = -1;   // execution limit
  bool listing = false;   // -s: list loaded words
  bool exch = true;       // pseudo-route exchange (-b turns it off)
  int32_t wcopy[20] = {-1};
  std::string switches;  // the switch text
  std::string ptrname = "ptr.txt";

  // Streams: console (standard output), log, operator error stream and input.
  FILE* out = stdout;
  FILE* log = stdout;
  FILE* err = stderr;
  FILE* in = stdin;
  bool logfile = false;  // the log went to log.txt (-d)

  // Peripherals.
  FILE* reader = nullptr;       // paper tape reader file
  bool reader_eof = false;      // the reader file has been read to its end
  bool reader_used = false;     // the reader file has been opened in this run
  long long acts[20][64] = {};  // group 4 action counters
  // Names of the tape images and printer files the run has opened, in the
  // order of their first opening (a snapshot carries their contents).
  std::vector<std::string> files;

  // Cheap guard for the instruction cycle: a trace or watch is active.
  bool slow = false;
  // The next instruction count at which the cycle must look at the
  // execution limit, the trace start or the output streams.
  long long event = -1;
};

// Instructions obeyed at most between two looks at the output streams (and
// by the fast path between two looks at an interrupt).
constexpr long long CHUNK = 1 << 16;

extern Machine M;

// Ends the run: thrown by the fatal report and the unload, caught by the
// program's main (or by a test), which turns it into the exit status.
struct RunEnd {
  int status;
};

// Thrown by the console's reply function when the operator leaves an alarm
// unanswered (Control-C at the reply prompt): the alarm instruction undoes
// what it did, so that the machine stands before it and asks again when it
// is next obeyed.
struct Unanswered {};

// Sets m to the start state: store 0 with the guard words, tags 4,
// registers and settings to their defaults, no overlays, routes closed.
void clear(Machine& m);
// Clears the machine to its start state, closing the files it opened.
void reset();

// Character tables: host to machine and machine to host.
extern uint8_t h2m[256];
extern char m2h[256];
void build_tables();

// Renders the alpha long word (upper half, lower half) as five characters.
// Two result buffers are used in turn.
const char* render(int32_t up, int32_t lo);

// Loads and stores with the store bound checked: an address outside the
// store ends the run with "Bad memory address" and the address as value.
[[noreturn]] void bad_address(long long addr);
inline int32_t& at(long long addr) {
  if ((unsigned long long)addr >= (unsigned long long)STORE) bad_address(addr);
  return M.store[addr];
}

// Operand into D: short (lower = word less bit 20, upper = bit 20 alone) or
// long at an even address (upper = next word).
void load_short(int addr);
void load_long(int addr);
// Alpha number at an odd address into D, and D back as an alpha number.
void load_alpha(int addr);
void store_alpha(int addr);

// The radix register from a word's low 20 bits, and the upper radix from it:
// its digit 4 in all five digits.
inline void set_radix(int32_t w) {
  M.radix = w & MASK20;
  M.uradix = ((M.radix >> 16) & 0xF) * 0x11111;
}

// Five character codes packed as an alpha long word: upper and lower half.
inline int32_t pack_up(const uint8_t* c) { return c[0] << 12 | c[1] << 4 | c[2] >> 4; }
inline int32_t pack_lo(const uint8_t* c) {
  return ((c[2] & 0xF) << 16 | c[3] << 8 | c[4]) & MASK20;
}

// Value of modifier register k (0 for none).
inline int32_t modreg(int k) { return k ? M.store[M.mgb + 2 * k] : 0; }

// Fatal report and not-implemented report: end the run, status 1.
[[noreturn]] void fatal(const char* msg, long long value);
[[noreturn]] void ni(const char* text);
// The fatal report ending the run with another exit status (an interrupt).
[[noreturn]] void fatal_status(const char* msg, long long value, int status);

// Updates M.slow and M.event after a change to the run-control settings.
void recheck();

// The streams of the user's output: the console (standard output), the log
// and the error stream. A write that fails leaves its stream's error state
// set; the run looks at it every CHUNK instructions, in the reports, at the
// unload and between console commands, and then ends with status 1, or with
// 128 + SIGPIPE when only the reader of a pipe has gone away.
//
// Records errno as the host's error of a write that just failed on f.
void lost(FILE* f);
// Flushes f, recording a failure.
void flush(FILE* f);
// Looks at the streams. Each failure is told once on the error stream,
// "NAME: write error: TEXT" (a closed pipe is not told). Returns the status
// the failures call for, 0 when there are none.
int out_status();
// Flushes the console and the log, then out_status().
int out_flush();
// Ends the run with the fatal report "Output not written" when a stream has
// failed.
void out_check();
// Forgets the failures of an earlier run.
void out_reset();

// The signal (SIGINT or SIGTERM) that asked the run to stop, 0 for none. Set
// by the signal handler; the cycle looks at it between instructions.
extern volatile sig_atomic_t intr;

// Opens a text file for reading, refusing what cannot be read as one: a
// directory gives nullptr with errno EISDIR, as a failed open does.
FILE* open_text(const char* name);

// Log stream output, skipped when there is no log stream.
void lg(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
