// Fuzz target: the emulator loading an arbitrary program file and running it
// under an execution limit, in a scratch working directory that holds a
// reader file and tape images. The first byte picks switches; the rest is
// the program file.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "cycle.h"
#include "machine.h"

static FILE* sink;
static FILE* nothing;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char tmpl[] = "/tmp/fuzzemuXXXXXX";
  if (!mkdtemp(tmpl) || chdir(tmpl) != 0) abort();
  FILE* f = fopen("ptr.txt", "w");
  fputs("AB1;23;4.5\nHELLO\n\n", f);
  fclose(f);
  sink = fopen("/dev/null", "w");
  nothing = fopen("/dev/null", "r");
  return 0;
}

// A tape image with two small blocks, rewritten before each run so that
// every run starts from the same files.
static void images() {
  for (const char* name : {"MT18.zelk", "MT27.zelk"}) {
    FILE* f = fopen(name, "wb");
    uint32_t words[] = {8,       0,       0x48,           0,      0,    0x41424, 0x34445,
                        0x7E,    0,       (8u << 11) | 8, 0,      0x49, 0xF6F6F, 0x6F6F6,
                        0x55972, 0x56596, 0x7E,           0x7E000};
    fwrite(words, sizeof words, 1, f);
    fclose(f);
  }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  images();
  FILE* p = fopen("prog.txt", "wb");
  fwrite(data + 1, 1, size - 1, p);
  fclose(p);
  unlink("log.txt");
  int sw = data[0];
  std::string v = "-v" + std::to_string(sw & 15);
  std::string args[10] = {"emulator", "-a20000", v};
  int argc = 3;
  if (sw & 0x10) args[argc++] = "-b";
  if (sw & 0x20) args[argc++] = "-s";
  if (sw & 0x40) args[argc++] = "-d";
  if (sw & 0x80) {
    args[argc++] = "-m9";
    args[argc++] = "-n20";
  }
  args[argc++] = "prog.txt";
  char* argv[11];
  for (int i = 0; i < argc; i++) argv[i] = args[i].data();
  argv[argc] = nullptr;
  emulate(argc, argv, Io{sink, sink, nothing});
  if (M.log == sink) M.log = stdout;
  M.out = stdout;
  M.err = stderr;
  M.in = stdin;
  reset();
  return 0;
}
