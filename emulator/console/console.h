// The operator's console: stop, look at the machine, change a word, go on.
// The registers are described once, in a table that drives the register
// display, examine, deposit and the snapshot, so that they cannot drift
// apart.
#pragma once

#include <string>

#include "machine.h"

// How a register's value is held and shown.
enum Kind {
  WORD,   // an int, shown in hexadecimal with `digits` digits
  ADDR,   // an int, shown in decimal
  PAIR,   // a long register: upper half, lower half, in hexadecimal
  COUNT,  // a long long, in decimal
  FLAG,   // a bool, 0 or 1
};

enum {
  SHOWN = 1,  // shown by `registers`
  RO = 2,     // deposit refuses it
  SAVED = 4,  // a snapshot line of its own
  TRACE = 8,  // shapes only what the run writes, never what it does
};

struct RegInfo {
  const char* name;  // as the console and snapshots name it
  Kind kind;
  int digits;        // hexadecimal digits of a WORD (of the lower half of a PAIR)
  void* p;           // where the value lives in M
  long long lo, hi;  // the values it may hold (each half of a PAIR)
  int flags;
  const char* what;
};

extern const RegInfo regs[];
extern const int nregs;

// The register named `name` (in any case), or nullptr.
const RegInfo* reg_named(const std::string& name);

// The place in `m` of a register described for M (the table points into M).
inline void* place(const RegInfo& r, Machine& m) { return (char*)&m + ((char*)r.p - (char*)&M); }

// Sets register r of m to v (a PAIR: upper v, lower v2) when the values lie
// in its range; "" or what is wrong, and then nothing changes.
std::string reg_set(const RegInfo& r, Machine& m, long long v, long long v2 = 0);
// Reads register r of m (a PAIR: upper into v, lower into v2).
void reg_get(const RegInfo& r, const Machine& m, long long& v, long long& v2);

// The machine as a value: everything a run goes on from except the contents
// of its host files. capture() and apply() are the one pair through which
// the machine is set aside and brought back; save and restore are this pair
// with the text of a snapshot and the files' contents.
struct State {
  Machine m;            // M less the session: no streams, no open handles
  long long pos[10];    // byte position of each route's open host file, -1 closed
  long long rpos = -1;  // byte position of the reader, -1 closed
};
// Takes the machine into s; "" or the file whose position cannot be read.
std::string capture(State& s);
// Makes the machine the one in s, its host files opened again at their
// positions (by name, as they stand on the host); "" or the reason, and
// then nothing changes.
std::string apply(const State& s);

// The checksum that closes a snapshot, over all the text before its line.
uint64_t snap_sum(const std::string& s);

// Writes the snapshot of the machine, with the contents of every host file
// the run has opened, to `name`; "" or the reason it failed.
std::string save(const std::string& name);
// Reads a snapshot back: every file the run had opened is brought back as
// it was at the save (length and bytes), and the machine becomes the saved
// one with its files open where they stood. Everything is checked first: on
// any fault the machine and the files stay as they were and the reason,
// naming the file, is returned; "" on success.
std::string restore(const std::string& name);
