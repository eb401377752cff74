// The register table: every register and run-control setting of the
// machine, by name, with its form, its place and the values it may hold.
//
// A register's range is what the machine itself can leave in it, so that
// every snapshot it writes reads back, and within what the emulator handles
// safely: SC, N and the long registers can hold any word an instruction
// copies into them (an alarm reply jumps to whatever word it finds, REPLACE
// REGISTERS loads raw store words), while the modification group base is
// fixed and the current tag is a byte. deposit, examine and the snapshot
// reader all check values here.
#include <strings.h>

#include <climits>

#include "console.h"

namespace {
constexpr long long I32 = INT32_MIN, I32_MAX = INT32_MAX;
constexpr long long COUNT_MAX = 1LL << 62;  // far past any run; no overflow ahead
}  // namespace

const RegInfo regs[] = {
    {"sc", ADDR, 0, &M.sc, I32, I32_MAX, SHOWN | SAVED,
     "sequence control: next instruction's address"},
    {"n", ADDR, 0, &M.n, I32, I32_MAX, SHOWN | SAVED, "operand address of the current instruction"},
    {"count", COUNT, 0, &M.count, 0, COUNT_MAX, SHOWN | SAVED, "instructions fetched"},
    {"nim", ADDR, 0, &M.nim, I32, I32_MAX, SHOWN | SAVED, "next-instruction modification"},
    {"a", PAIR, 5, &M.a, I32, I32_MAX, SHOWN | SAVED, "accumulator"},
    {"b", PAIR, 5, &M.b, I32, I32_MAX, SHOWN | SAVED, "second long register"},
    {"d", PAIR, 5, &M.d, I32, I32_MAX, SHOWN | SAVED, "operand register"},
    {"radix", WORD, 5, &M.radix, 0, MASK20, SHOWN | SAVED, "radix register"},
    {"uradix", WORD, 5, &M.uradix, 0, MASK20, RO | SAVED, "upper radix (from the radix register)"},
    {"tag", ADDR, 0, &M.tag, 0, 255, SHOWN | SAVED, "current tag"},
    {"ind", WORD, 5, &M.ind, 0, MASK20, SHOWN | SAVED, "indicators"},
    {"mgb", ADDR, 0, &M.mgb, 8, 8, RO | SAVED, "modification group base (fixed)"},
    {"instr", WORD, 8, &M.instr, I32, I32_MAX, RO | SAVED, "current instruction"},
    {"entry", ADDR, 0, &M.entry, I32, I32_MAX, RO | SAVED, "entry address"},
    {"verbosity", ADDR, 0, &M.verbosity, I32, I32_MAX, SAVED | TRACE, "trace level"},
    {"tstart", COUNT, 0, &M.tstart, LLONG_MIN, LLONG_MAX, SAVED | TRACE, "trace start count"},
    {"watch", ADDR, 0, &M.watch, I32, I32_MAX, SAVED | TRACE, "watched location (-m)"},
    {"wlen", ADDR, 0, &M.wlen, 0, 20, SAVED | TRACE, "watched length (-n)"},
    {"limit", COUNT, 0, &M.limit, LLONG_MIN, LLONG_MAX, SAVED, "execution limit"},
    {"listing", FLAG, 0, &M.listing, 0, 1, RO | SAVED, "load listing"},
    {"exch", FLAG, 0, &M.exch, 0, 1, SAVED, "pseudo-route exchange"},
    // The modifier registers are store words (10, 12 and 14), saved with
    // the store.
    {"m1", ADDR, 0, &M.store[10], I32, I32_MAX, 0, "modifier register 1 (store word 10)"},
    {"m2", ADDR, 0, &M.store[12], I32, I32_MAX, 0, "modifier register 2 (store word 12)"},
    {"m3", ADDR, 0, &M.store[14], I32, I32_MAX, 0, "modifier register 3 (store word 14)"},
};
const int nregs = sizeof regs / sizeof regs[0];

const RegInfo* reg_named(const std::string& name) {
  for (const RegInfo& r : regs)
    if (strcasecmp(name.c_str(), r.name) == 0) return &r;
  return nullptr;
}

std::string reg_set(const RegInfo& r, Machine& m, long long v, long long v2) {
  if (v < r.lo || v > r.hi || (r.kind == PAIR && (v2 < r.lo || v2 > r.hi)))
    return std::string(r.name) + " takes " + std::to_string(r.lo) + " to " + std::to_string(r.hi);
  void* at = place(r, m);
  switch (r.kind) {
    case PAIR:
      ((Reg*)at)->up = (int32_t)v;
      ((Reg*)at)->lo = (int32_t)v2;
      break;
    case COUNT: *(long long*)at = v; break;
    case FLAG: *(bool*)at = v != 0; break;
    default: *(int32_t*)at = (int32_t)v; break;
  }
  return "";
}

void reg_get(const RegInfo& r, const Machine& m, long long& v, long long& v2) {
  const void* at = place(r, const_cast<Machine&>(m));
  v2 = 0;
  switch (r.kind) {
    case PAIR:
      v = ((const Reg*)at)->up;
      v2 = ((const Reg*)at)->lo;
      break;
    case COUNT: v = *(const long long*)at; break;
    case FLAG: v = *(const bool*)at; break;
    default: v = *(const int32_t*)at; break;
  }
}
