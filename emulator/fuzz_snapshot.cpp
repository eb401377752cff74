// Fuzz target: reading a snapshot back. The input is the snapshot's body;
// the checksum line is added here, so that the reader's parsing is reached
// rather than stopped at the checksum.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "console.h"
#include "machine.h"
#include "ops.h"

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
  restore("snap");
  reset();
  return 0;
}
