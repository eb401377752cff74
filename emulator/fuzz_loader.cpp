// Fuzz target: the program file loader alone, on arbitrary text.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "loader.h"
#include "machine.h"

static FILE* sink;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char tmpl[] = "/tmp/fuzzloadXXXXXX";
  if (!mkdtemp(tmpl) || chdir(tmpl) != 0) abort();
  sink = fopen("/dev/null", "w");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FILE* p = fopen("prog.txt", "wb");
  fwrite(data, 1, size, p);
  fclose(p);
  reset();
  build_tables();
  M.out = M.log = M.err = sink;
  M.verbosity = size & 1 ? 2 : 0;
  M.listing = size & 2;
  try {
    load("prog.txt");
  } catch (const RunEnd&) {
  }
  M.out = M.log = stdout;
  M.err = stderr;
  reset();
  return 0;
}
