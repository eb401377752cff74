// The operator's console: stop, look at the machine, change a word, go on.
// The registers are described once, in a table that drives the register
// display, deposit and the snapshot, so that the three cannot drift apart.
#pragma once

#include <string>

#include "machine.h"

// How a register's value is held and shown.
enum Kind {
  WORD,   // an int, shown in hexadecimal with `bits` bits
  ADDR,   // an int, shown in decimal
  PAIR,   // a long register: upper half (`bits` + 1 bits), lower half (`bits`)
  COUNT,  // a long long, in decimal
  FLAG,   // a bool, 0 or 1
};

struct RegInfo {
  const char* name;  // as the console and snapshots name it
  Kind kind;
  int bits;   // width of a WORD (of the lower half of a PAIR)
  void* p;    // where the value lives in M
  bool user;  // shown by `registers` and set by `deposit`
  const char* what;
};

extern const RegInfo regs[];
extern const int nregs;

// The register named `name`, or nullptr.
const RegInfo* reg_named(const std::string& name);

// The place in `m` of a register described for M (the table points into M).
inline void* place(const RegInfo& r, Machine& m) { return (char*)&m + ((char*)r.p - (char*)&M); }

// The checksum that closes a snapshot, over all the text before its line.
uint64_t snap_sum(const std::string& s);

// Writes the snapshot of the machine to `name`; "" or the reason it failed.
std::string save(const std::string& name);
// Reads a snapshot back: the machine becomes the saved one, with its host
// files opened again where they stood. On any fault nothing changes and the
// reason is returned; "" on success.
std::string restore(const std::string& name);
