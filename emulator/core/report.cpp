// The fatal report and the not-implemented report: the one way a run fails.
#include <cstring>
#include <string>

#include "machine.h"
#include "ops.h"

// Word at a for the dump; a location outside the store shows 0.
static int32_t peek(long long a) { return a >= 0 && a < STORE ? M.store[a] : 0; }

void fatal(const char* msg, long long value) { fatal_status(msg, value, 1); }

void fatal_status(const char* msg, long long value, int status) {
  fprintf(M.out, "%d Illegal: %s after %lld instructions\n", M.sc - 1, msg, M.count);
  if (M.log) {
    FILE* f = M.log;
    fprintf(f, "Illegal: %s [%06llX %lld %llo]\n", msg, value & 0xFFFFFFFFLL, value,
            value & 0xFFFFFFFFLL);
    M.sc -= 1;
    int32_t w = M.instr;
    fprintf(f, "SC = %d (%d)  instr = %d/%d/%d %d\n", M.sc, M.sc & 0x1FFF, w >> 16, (w >> 15) & 1,
            (w >> 13) & 3, w & 0x1FFF);
    fprintf(f, " A = %06X %05X [%d %d]\n", M.a.up, M.a.lo, M.a.up, M.a.lo);
    fprintf(f, " B = %06X %05X [%d %d]\n", M.b.up, M.b.lo, M.b.up, M.b.lo);
    long long p = M.n & ~1LL;
    fprintf(f, " N = %d   (%lld) = %06X (%lld) = %06X\n", M.n, p, peek(p), p + 1, peek(p + 1));
    fprintf(f, " D = %06X %05X [%d %d]\n", M.d.up, M.d.lo, M.d.up, M.d.lo);
    io_summary();
    fflush(f);
  }
  fflush(M.out);
  throw RunEnd{status};
}

void ni(const char* text) {
  std::string msg = "Not implemented: ";
  msg += text;
  msg += ' ';
  int dv = M.instr >> 13;
  if (std::strncmp(text, "Long ", 5) == 0 && dv >= 0 && dv < 256) msg += name_of(dv);
  fatal(msg.c_str(), dv);
}
