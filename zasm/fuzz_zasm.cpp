// Fuzz target: zasm on arbitrary source, as a program file or (first byte
// odd) a program tape. A program file it writes is one the emulator's
// loader accepts, zdis then zasm gives the same machine again, and the
// console's symbol functions read its symbols.
#include <cstdlib>
#include <string>

#include "asm.h"
#include "dis.h"
#include "loaded.h"
#include "symbols.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::string text((const char*)data + 1, size - 1);
  bool tape = data[0] & 1;
  zasm::Output o = zasm::assemble(text, "fuzz", tape, data[0] & 2);
  if (!o.errors.empty() || tape) return 0;
  zdis::Prog p;
  if (!zdis::read(o.file, p).empty()) abort();
  Loaded a = load_text(o.file);
  if (a.status != 0) abort();
  zasm::Output back = zasm::assemble(zdis::source(p, "fuzz"), "fuzz", false);
  if (!back.errors.empty() || !(load_text(back.file) == a)) abort();
  zsym::Table t = zsym::from_text(o.file);
  for (const auto& [name, y] : t.syms) {
    int addr;
    if (zsym::address(t, name + "+1", addr).empty() && y.label && addr != y.val.v + 1) abort();
    if (y.label && y.val.v >= 0 && y.val.v < 32768 && zsym::name(t, (int)y.val.v).empty()) abort();
  }
  return 0;
}
