// Priority control (the alarm with the operator's reply, the unload), the
// entry of overlays, the I/O summary and the closing of host files.
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "cycle.h"
#include "ops.h"
#include "files.h"
#include "periph.h"

namespace {

constexpr int REPLY = 128;  // characters of a reply line that are looked at

// Reads one reply line from the operator; a longer line is read from its
// start and the rest is discarded. No line at all reads as "".
void reply_line(char* buf, int size) {
  buf[0] = 0;
  // An interrupt while the operator is asked ends the wait and the run.
  if (hooks.reply) {
    if (!hooks.reply(buf, size)) buf[0] = 0;
    if (intr) interrupted();  // SIGTERM while the console asked
    return;
  }
  catch_signals(false);
  char* got = fgets(buf, size, M.in);
  catch_signals(true);
  if (intr) interrupted();
  if (!got) {
    buf[0] = 0;
    return;
  }
  if (!strchr(buf, '\n')) {
    int c;
    while ((c = getc(M.in)) != EOF && c != '\n') {
    }
  }
}

// Alarm: the operator's reply n (1 to 9) selects the jump address held in
// the n-th word after the ENTER PRIORITY CONTROL instruction.
void alarm() {
  lg("ALARM *%02X\n", M.a.lo);
  // Everything written so far goes out before the operator is asked. The
  // run ends instead when that output, or then the question, was lost.
  flush(M.out);
  flush(M.log);
  out_check();
  FILE* op = M.log == M.out ? M.err : M.out;
  fprintf(op, "ALARM *%02X for operator\n", M.a.lo);
  flush(op);
  out_check();
  char buf[REPLY];
  reply_line(buf, sizeof buf);
  long long n = lead(buf);
  M.a.up = (int32_t)std::clamp(n - 1, -0x7FFFFFFFLL, 0x7FFFFFFFLL);
  if (n < 1 || n > 9) ni("Reply out of range");
  M.sc = at(M.sc + n - 1);
  lg("Number read was %lld, jump to %d\n", n, M.sc);
  M.a = M.b = Reg{};
}

// Unloads the program: the run ends with status 0. Open tape images get no
// closing block.
[[noreturn]] void unload() {
  const char* fmt = "PROGRAMME UNLOADED: ADDRESS = %d after %lld instructions\n";
  fprintf(M.out, fmt, M.sc, M.count);
  if (M.log && M.log != M.out) {
    fprintf(M.log, fmt, M.sc, M.count);
    if (M.verbosity >= 1) io_summary();
    flush(M.log);
    if (fclose(M.log) != 0) lost(M.log);
    M.log = nullptr;
    fprintf(M.out, "**********************************\n");
  }
  // Status 0 only when all the output was written.
  throw RunEnd{out_flush()};
}

}  // namespace

void priority(int n) {
  if (n == 1) return alarm();
  if (n == 2) unload();
  ni(("ENTER PRIORITY CONTROL " + std::to_string(n)).c_str());
}

void enter_overlay(int v) {
  Overlay& o = M.ovl[v];
  int words = o.len / 4;
  lg("\nEntering overlay %d, starts at %d - %d short words - after %lld instructions\n", v, o.first,
     words, M.count);
  // The loader keeps every saved stretch inside the store.
  int n = std::min<int>((int)o.image.size(), STORE - o.first);
  if (n > 0) std::copy(o.image.begin(), o.image.begin() + n, M.store + o.first);
}

void io_summary() {
  lg("\nI/O summary\n");
  for (int t = 0; t < 20; t++)
    for (int q = 0; q < 64; q++)
      if (M.acts[t][q]) lg("G4act type %2d  Q6 = %3d repeat %5lld\n", t, q, M.acts[t][q]);
}

void close_all() {
  for (auto& r : M.routes) file_close(r.fd);
  file_reader_close();
}
