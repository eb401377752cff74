// Start-up: switches, log stream, loading, the date word, then the cycle.
#include <cerrno>
#include <cstring>
#include <ctime>

#include "cycle.h"
#include "loader.h"
#include "ops.h"

long long lead(const char* s) {
  while (*s == ' ' || (*s >= '\t' && *s <= '\r')) s++;
  bool neg = false;
  if (*s == '+' || *s == '-') neg = *s++ == '-';
  long long v = 0;
  for (; *s >= '0' && *s <= '9'; s++) {
    if (v < 100000000000000000LL) v = v * 10 + (*s - '0');
  }
  return neg ? -v : v;
}

static int clampi(long long v) {
  return v > 0x7FFFFFFF ? 0x7FFFFFFF : v < -0x7FFFFFFF ? -0x7FFFFFFF : (int)v;
}

// Location 138: day units, month tens and units, year tens and units;
// location 139: day tens. The long word at 138 reads as DDMMYY.
static void date_word() {
  time_t now = time(nullptr);
  struct tm t;
  localtime_r(&now, &t);
  int d = t.tm_mday, m = t.tm_mon + 1, y = t.tm_year % 100;
  M.store[138] = (d % 10) << 16 | (m / 10) << 12 | (m % 10) << 8 | (y / 10) << 4 | (y % 10);
  M.store[139] = d / 10;
}

static void usage() {
  fprintf(M.err,
          "usage: emulator [-d] [-s] [-vN] [-tN] [-mN] [-nN] [-aN] [-b] program-file "
          "[paper-tape-file]\n");
}

int emulate(int argc, char** argv) {
  try {
    M.log = M.out;
    build_tables();
    int i = 1;
    bool log_failed = false;
    int log_errno = 0;
    for (; i < argc && argv[i][0] == '-'; i++) {
      const char* s = argv[i];
      M.switches += ' ';
      M.switches += s;
      char c = s[1];
      long long v = c ? lead(s + 2) : 0;
      switch (c) {
        case 'd':
          if (M.log && M.log != M.out) fclose(M.log);
          M.log = fopen("log.txt", "w");
          log_failed = !M.log;
          log_errno = errno;
          if (M.log) setvbuf(M.log, nullptr, _IOFBF, 1 << 16);
          break;
        case 's': M.listing = true; break;
        case 'v': M.verbosity = clampi(v); break;
        case 't': M.tstart = v; break;
        case 'm': M.watch = clampi(v); break;
        case 'n': M.wlen = clampi(v); break;
        case 'a': M.limit = v; break;
        case 'b': M.exch = false; break;
        default: break;
      }
    }
    if (M.wlen > 20) M.wlen = 20;
    if (M.wlen < 0) M.wlen = 0;
    for (int k = 0; k < 20; k++) M.wcopy[k] = 0;
    M.wcopy[0] = -1;
    if (log_failed) {
      fprintf(M.err, "log.txt: %s\n", strerror(log_errno));
      fatal("Cannot open log file", 0);
    }
    lg("Switches are: %s\n", M.switches.c_str());
    recheck();
    if (i >= argc) usage();
    load(i < argc ? argv[i] : nullptr);
    if (i + 1 < argc) M.ptrname = argv[i + 1];
    date_word();
    for (auto& row : M.acts)
      for (auto& c : row) c = 0;
    run();
  } catch (const RunEnd& e) {
    fflush(M.out);
    if (M.log) fflush(M.log);
    return e.status;
  }
}
