// The fatal report and the not-implemented report: the one way a run fails.
// Also the watch on the streams of the user's output, whose failure ends the
// run through the fatal report.
#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>

#include "machine.h"
#include "ops.h"

namespace {

// The streams by role: the console, the log when it is a file of its own,
// the error stream when it is neither. Each is named in its message.
const char* const names[3] = {"standard output", "log.txt", "standard error"};

FILE* role(int k) {
  if (k == 0) return M.out;
  if (k == 1) return M.log != M.out ? M.log : nullptr;
  return M.err != M.out && M.err != M.log ? M.err : nullptr;
}

// The host's error of the first failed write on each stream (-1 when it is
// not known, 0 for none), and whether the failure has been told.
int gone[3];
bool told[3];

int role_of(FILE* f) {
  for (int k = 0; k < 3; k++)
    if (f && role(k) == f) return k;
  return -1;
}

// The stream can still take output: no write to it has failed.
bool open_for(FILE* f) {
  int k = role_of(f);
  return f && !ferror(f) && (k < 0 || !gone[k]);
}

// Records the first failure of stream k, with its error e (0: not known).
void note(int k, int e) {
  if (k >= 0 && !gone[k]) gone[k] = e ? e : -1;
}

}  // namespace

void lost(FILE* f) { note(role_of(f), errno); }

// A stream whose failed write went unrecorded is flushed too: the output it
// has taken since is sent once more, which fails again with the host's error.
void flush(FILE* f) {
  if (!f) return;
  if (fflush(f) != 0)
    lost(f);
  else if (ferror(f))
    note(role_of(f), 0);
}

void out_reset() {
  for (int k = 0; k < 3; k++) gone[k] = 0, told[k] = false;
}

int out_status() {
  int status = 0;
  for (int k = 0; k < 3; k++) {
    FILE* f = role(k);
    if (f && !gone[k] && ferror(f)) flush(f);
    if (!gone[k]) continue;
    if (gone[k] == EPIPE) {
      // The reader of a pipe went away: the run ends quietly.
      if (!status) status = 128 + SIGPIPE;
      continue;
    }
    status = 1;
    if (told[k]) continue;
    told[k] = true;
    // The error stream's own failure cannot be told. It is looked at after
    // the other two, so that a failure of this line is found too.
    if (k == 2 || !open_for(M.err)) continue;
    if (gone[k] > 0)
      fprintf(M.err, "%s: write error: %s\n", names[k], strerror(gone[k]));
    else
      fprintf(M.err, "%s: write error\n", names[k]);
    flush(M.err);
  }
  return status;
}

int out_flush() {
  flush(M.out);
  if (M.log) flush(M.log);
  return out_status();
}

void out_check() {
  if (int status = out_status()) fatal_status("Output not written", M.sc, status);
}

// Word at a for the dump; a location outside the store shows 0.
static int32_t peek(long long a) { return a >= 0 && a < STORE ? M.store[a] : 0; }

// The report's lines on the log: the message, the register dump (SC names
// the instruction being obeyed) and the I/O summary.
static void dump(FILE* f, const char* msg, long long value) {
  fprintf(f, "Illegal: %s [%06llX %lld %llo]\n", msg, value & 0xFFFFFFFFLL, value,
          value & 0xFFFFFFFFLL);
  int32_t w = M.instr;
  fprintf(f, "SC = %d (%d)  instr = %d/%d/%d %d\n", M.sc, M.sc & 0x1FFF, w >> 16, (w >> 15) & 1,
          (w >> 13) & 3, w & 0x1FFF);
  fprintf(f, " A = %06X %05X [%d %d]\n", M.a.up, M.a.lo, M.a.up, M.a.lo);
  fprintf(f, " B = %06X %05X [%d %d]\n", M.b.up, M.b.lo, M.b.up, M.b.lo);
  long long p = M.n & ~1LL;
  fprintf(f, " N = %d   (%lld) = %06X (%lld) = %06X\n", M.n, p, peek(p), p + 1, peek(p + 1));
  fprintf(f, " D = %06X %05X [%d %d]\n", M.d.up, M.d.lo, M.d.up, M.d.lo);
  io_summary();
}

void fatal(const char* msg, long long value) { fatal_status(msg, value, 1); }

// The report goes to each stream that can still take it, and ends with the
// status the streams call for when one of them has failed.
void fatal_status(const char* msg, long long value, int status) {
  if (open_for(M.out))
    fprintf(M.out, "%d Illegal: %s after %lld instructions\n", M.sc - 1, msg, M.count);
  if (M.log) {
    M.sc -= 1;
    if (open_for(M.log)) dump(M.log, msg, value);
  }
  if (int s = out_flush()) status = s;
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
