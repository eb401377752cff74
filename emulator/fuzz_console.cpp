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
  // A loop that adds and steps modifier 1, then raises an alarm: replies 1
  // and 2 print a line and write a tape block (so that the record keeps the
  // files' past) before it begins again, 3 begins again at once; its labels,
  // as zasm writes them, for the addresses the commands name.
  fputs(
      "console fuzz\nX1000 c\nL1034 f\n5/0/0 9\n0/0/3 1907\n9/0/0 18\n0/0/3 871\n7/0/0 27\n"
      "0/0/2 4967\n"
      "L82 p\n0/0/0 3002\n0/0/0 3002\nL91 p\n0/0/0 3000\n0/0/0 3000\n"
      "L2118 print\n0/0/0 18\n0/0/0 1\n0/0/0 19\n0/0/0 0\n0/0/0 0\n0/0/0 0\n"
      "0/0/0 27\n0/0/0 8\n0/0/0 28\n0/0/0 0\n0/0/0 0\n0/0/0 0\n"
      "L3004 text\n5/0/1 5734\n7/0/3 6144\n0/0/0 0\n7/1/3 0\nL3030 e\n0/0/0 126\n"
      "L300 d\n0/0/0 0\n0/0/0 5\n0/0/0 1\nL160 p\n26/1/1 300\n4/0/0 302\n"
      "25/0/1 1\n24/1/0 161\n26/0/2 1\n0/0/0 170\n0/0/0 170\n0/0/0 160\n26/0/2 2\n"
      "L170 print, write\n0/1/1 2118\n23/0/2 160\n0/1/1 2124\n23/0/2 160\n26/1/1 300\n"
      "24/1/0 161\n"
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
