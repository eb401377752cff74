// Start-up: switches, log stream, loading, the date word, then the cycle.
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>

#include "cycle.h"
#include "loader.h"
#include "ops.h"

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
          "usage: emulator [-d] [-s] [-vN] [-tN] [-mN] [-nN] [-aN] [-b] [-i [-x FILE]] "
          "program-file [paper-tape-file]\n");
}

// SIGINT and SIGTERM ask the run to stop at the next instruction boundary; a
// second signal ends the process at once, as the signal would by itself.
static void on_signal(int sig) {
  if (intr) {
    signal(sig, SIG_DFL);
    raise(sig);
    return;
  }
  intr = sig;
}

void catch_signals(bool restart) {
  struct sigaction sa {};
  sa.sa_handler = on_signal;
  sigemptyset(&sa.sa_mask);
  // Host calls go on after the handler, except where the run waits for a
  // person (the operator's reply), which the interrupt must end.
  sa.sa_flags = restart ? SA_RESTART : 0;
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
}

static void default_signals() {
  signal(SIGINT, SIG_DFL);
  signal(SIGTERM, SIG_DFL);
  signal(SIGPIPE, SIG_DFL);
}

void start(int argc, char** argv, const Io& io) {
  reset();
  out_reset();
  hooks = Hooks{};
  M.out = io.out;
  M.err = io.err;
  M.in = io.in;
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
        M.logfile = true;
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
      case 'i': hooks.on = true; break;
      case 'x':
        // After -i: the console's command file, behind the letter or as the
        // next argument. Otherwise ignored, as other letters are.
        if (hooks.on && s[2]) hooks.script = s + 2;
        if (hooks.on && !s[2] && i + 1 < argc) hooks.script = argv[++i];
        break;
      default: break;
    }
  }
  if (M.wlen > 20) M.wlen = 20;
  if (M.wlen < 0) M.wlen = 0;
  if (log_failed) {
    fprintf(M.err, "log.txt: %s\n", strerror(log_errno));
    fatal("Cannot open log file", 0);
  }
  lg("Switches are: %s\n", M.switches.c_str());
  recheck();
  if (i >= argc) usage();
  load(i < argc ? argv[i] : nullptr);
  if (hooks.on) hooks.prog = argv[i];
  if (i + 1 < argc) M.ptrname = argv[i + 1];
  date_word();
  for (auto& row : M.acts)
    for (auto& c : row) c = 0;
}

int emulate(int argc, char** argv, const Io& io) {
  intr = 0;
  catch_signals(true);
  // A pipe whose reader has gone away fails the write, which the run then
  // notices between instructions, rather than ending the process there.
  signal(SIGPIPE, SIG_IGN);
  int status;
  try {
    start(argc, argv, io);
    if (hooks.on)
      status = console();
    else
      run();
  } catch (const RunEnd& e) {
    status = e.status;
  }
  // Output that was not all written overrides the status of the run.
  if (int s = out_flush()) status = s;
  default_signals();
  hooks = Hooks{};
  return status;
}
