// Master Routine service, priority control, I/O summary.
#include <unistd.h>

#include <string>

#include "ops.h"

void mr_service(int entry) { ni(("ENTER MASTER ROUTINE " + std::to_string(entry)).c_str()); }

// Unloads the program: the run ends with status 0.
[[noreturn]] static void unload() {
  const char* fmt = "PROGRAMME UNLOADED: ADDRESS = %d after %lld instructions\n";
  fprintf(M.out, fmt, M.sc, M.count);
  if (M.log && M.log != M.out) {
    fprintf(M.log, fmt, M.sc, M.count);
    if (M.verbosity >= 1) io_summary();
    fclose(M.log);
    M.log = nullptr;
    fprintf(M.out, "**********************************\n");
  }
  fflush(M.out);
  throw RunEnd{0};
}

void priority(int n) {
  if (n == 2) unload();
  ni(("ENTER PRIORITY CONTROL " + std::to_string(n)).c_str());
}

void io_summary() {
  lg("\nI/O summary\n");
  for (int t = 0; t < 20; t++)
    for (int q = 0; q < 64; q++)
      if (M.acts[t][q]) lg("G4act type %2d  Q6 = %3d repeat %5lld\n", t, q, M.acts[t][q]);
}

void close_all() {
  for (auto& r : M.routes) {
    if (r.fd >= 0) close(r.fd);
    r.fd = -1;
  }
  if (M.reader) fclose(M.reader);
  M.reader = nullptr;
}
