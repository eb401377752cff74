// Fuzz target: the console driven by arbitrary command lines, on a small
// program under an execution limit. Lines that set the instruction count
// are left out: a count moved past the limit would run for ever.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "cycle.h"
#include "machine.h"

static FILE* sink;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char tmpl[] = "/tmp/fuzzconXXXXXX";
  if (!mkdtemp(tmpl) || chdir(tmpl) != 0) abort();
  FILE* f = fopen("prog.txt", "w");
  // A loop that adds, steps modifier 1 and prints through an alarm; its
  // labels, as zasm writes them, for the addresses the commands name.
  fputs(
      "console fuzz\nL300 d\n0/0/0 0\n0/0/0 5\n0/0/0 1\nL160 p\n26/1/1 300\n4/0/0 302\n"
      "25/0/1 1\n24/1/0 161\n26/0/2 1\n0/0/0 170\n0/0/0 170\n0/0/0 160\n26/0/2 2\n"
      " label START 160\n label LOOP 161\n label LIMITS 300\n label ONE 302\n equ K 5\n",
      f);
  fclose(f);
  f = fopen("ptr.txt", "w");
  fputs("AB1\n", f);
  fclose(f);
  sink = fopen("/dev/null", "w");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string in, line;
  for (size_t i = 0; i <= size; i++) {
    char c = i < size ? (char)data[i] : '\n';
    if (c != '\n') {
      line += c;
      continue;
    }
    if (line.find("count") == std::string::npos) in += line + "\n";
    line.clear();
  }
  FILE* cmds = fopen("cmds.txt", "w+");
  fwrite(in.data(), 1, in.size(), cmds);
  rewind(cmds);
  std::string args[] = {"emulator", "-i", "-a5000", "prog.txt"};
  char* argv[5] = {args[0].data(), args[1].data(), args[2].data(), args[3].data(), nullptr};
  emulate(4, argv, Io{sink, sink, cmds});
  if (M.log == sink) M.log = stdout;
  M.out = stdout;
  M.err = stderr;
  M.in = stdin;
  fclose(cmds);
  reset();
  return 0;
}
