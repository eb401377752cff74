// Fuzz target: reading a snapshot back, then running the restored machine
// for a while. The input is the snapshot's body; the checksum line is added
// here, so that the reader's checks are reached rather than stopped at the
// checksum. Files a snapshot brings back land in a scratch folder.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "console.h"
#include "cycle.h"
#include "machine.h"
#include "ops.h"

static FILE* sink;
static FILE* none;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char tmpl[] = "/tmp/fuzzsnapXXXXXX";
  if (!mkdtemp(tmpl) || chdir(tmpl) != 0) abort();
  // Host files a snapshot may name: a tape image and a reader file.
  FILE* f = fopen("MT18.zelk", "wb");
  for (int i = 0; i < 64; i++) fputc(i, f);
  fclose(f);
  f = fopen("ptr.txt", "w");
  fputs("AB1\nHELLO\n", f);
  fclose(f);
  sink = fopen("/dev/null", "w");
  none = fopen("/dev/null", "r");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string body((const char*)data, size);
  if (body.empty() || body.back() != '\n') body += '\n';
  char sum[40];
  snprintf(sum, sizeof sum, "sum %016llx\n", (unsigned long long)snap_sum(body));
  FILE* f = fopen("snap", "wb");
  fwrite(body.data(), 1, body.size(), f);
  fputs(sum, f);
  fclose(f);
  reset();
  build_tables();
  M.out = M.log = M.err = sink;
  M.in = none;
  if (restore("snap").empty()) {
    // The restored machine must run safely: a few thousand instructions,
    // an alarm's reply read as none.
    M.out = M.log = M.err = sink;
    M.in = none;
    try {
      go(5000);
    } catch (const RunEnd&) {
    }
  }
  M.out = M.log = stdout;
  M.err = stderr;
  M.in = stdin;
  reset();
  return 0;
}
