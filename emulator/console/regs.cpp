// The register table: every register and run-control setting of the
// machine, by name, with its form and place.
#include "console.h"

const RegInfo regs[] = {
    {"sc", ADDR, 15, &M.sc, true, "sequence control: next instruction's address"},
    {"n", ADDR, 32, &M.n, true, "operand address of the current instruction"},
    {"count", COUNT, 64, &M.count, true, "instructions fetched"},
    {"nim", ADDR, 32, &M.nim, true, "next-instruction modification"},
    {"a", PAIR, 20, &M.a, true, "accumulator"},
    {"b", PAIR, 20, &M.b, true, "second long register"},
    {"d", PAIR, 20, &M.d, true, "operand register"},
    {"radix", WORD, 20, &M.radix, true, "radix register"},
    {"uradix", WORD, 20, &M.uradix, false, "upper radix"},
    {"tag", ADDR, 4, &M.tag, true, "current tag"},
    {"ind", WORD, 20, &M.ind, true, "indicators"},
    {"mgb", ADDR, 15, &M.mgb, false, "modification group base"},
    {"instr", WORD, 32, &M.instr, false, "current instruction"},
    {"entry", ADDR, 32, &M.entry, false, "entry address"},
    {"verbosity", ADDR, 32, &M.verbosity, false, "trace level"},
    {"tstart", COUNT, 64, &M.tstart, false, "trace start count"},
    {"watch", ADDR, 32, &M.watch, false, "watched location"},
    {"wlen", ADDR, 32, &M.wlen, false, "watched length"},
    {"limit", COUNT, 64, &M.limit, false, "execution limit"},
    {"listing", FLAG, 1, &M.listing, false, "load listing"},
    {"exch", FLAG, 1, &M.exch, false, "pseudo-route exchange"},
};
const int nregs = sizeof regs / sizeof regs[0];

const RegInfo* reg_named(const std::string& name) {
  for (const RegInfo& r : regs)
    if (name == r.name) return &r;
  return nullptr;
}
