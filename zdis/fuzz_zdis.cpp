// Fuzz target: zdis on arbitrary program files. What it accepts the
// emulator's loader accepts, and zdis then zasm gives the machine the
// loader makes of the input.
#include <cstdlib>
#include <string>

#include "asm.h"
#include "dis.h"
#include "loaded.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string file((const char*)data, size);
  zdis::Prog p;
  if (!zdis::read(file, p).empty()) return 0;
  Loaded a = load_text(file);
  if (a.status != 0) abort();
  zasm::Output o = zasm::assemble(zdis::source(p, "fuzz"), "fuzz", false);
  if (!o.errors.empty()) abort();
  if (!(load_text(o.file) == a)) abort();
  return 0;
}
