// Routes and the tape operations on them: open, input one block, output one
// block, run back, run on, step back, close and rewind, over tape images.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "files.h"
#include "periph.h"
#include "tape.h"

Route& route(int r) {
  if (r < 9 || r > 98) fatal("Bad route", r);
  return M.routes[r / 9 - 1];
}

void host_name(char* buf, size_t size, const char* prefix, int r) {
  int name = route(r).name;
  if (prefix[0] != 'M')
    snprintf(buf, size, "%s%d.txt", prefix, r);
  else if (name == -1)
    snprintf(buf, size, "%s%d.zelk", prefix, r);
  else
    snprintf(buf, size, "%s-%c%c.zelk", prefix, name1(name), name2(name));
}

void exchange() {
  if (!M.exch) return;
  int32_t& rp = at(64LL + M.a.lo);
  int32_t& pp = at(64LL + M.b.lo);
  M.a.up = rp;
  M.b.up = pp;
  rp = M.b.up;
  pp = M.a.up;
}

namespace {

// Position state of a route's image, as the tape primitives keep it.
tape::Pos pos(const Route& e) { return tape::Pos{e.last, e.count, e.pending}; }
void keep(Route& e, const tape::Pos& p) {
  e.last = p.last;
  e.count = p.count;
  e.pending = p.pending;
}

// A failed tape primitive on route r ends the run. The start-of-tape and
// positioning reports name the route of the table entry, 9(k+1).
[[noreturn]] void fail(tape::Err x, int r, int fd) {
  int er = errno;
  switch (x) {
    case tape::OVERSIZE: fatal(tape::text(x), M.b.lo);
    case tape::WRITE:
      fprintf(M.err, "MT write on dv %d: %s\n", fd, strerror(er));
      fatal(tape::text(x), r);
    case tape::BACK_START:
    case tape::STEP_START: fatal(tape::text(x), r / 9 * 9);
    case tape::SEEK_READ:
    case tape::SEEK_STEP:
      fprintf(M.err, "Tape: %s\n", strerror(er));
      fatal(tape::text(x), r / 9 * 9);
    case tape::RANGE: fatal("Bad memory address", STORE);
    default: fatal(tape::text(x), r);
  }
}

void t_read(Route& e, int r, int t, int* size) {
  tape::Pos p = pos(e);
  tape::Err x = tape::read(e.fd, p, M.store, t, size);
  keep(e, p);
  if (x) fail(x, r, e.fd);
}

void t_back(Route& e, int r, int t) {
  tape::Pos p = pos(e);
  tape::Err x = tape::read_back(e.fd, p, M.store, t);
  keep(e, p);
  if (x) fail(x, r, e.fd);
}

void t_step(Route& e, int r, int t) {
  tape::Pos p = pos(e);
  tape::Err x = tape::step_back(e.fd, p, M.store, t);
  keep(e, p);
  if (x) fail(x, r, e.fd);
}

// Appends the closing block to an output image: it is then neither an input
// nor an output. An output route whose image was never created has nothing
// to close.
void terminate(Route& e, int r) {
  if (e.fd < 0) return;
  tape::Pos p = pos(e);
  tape::Err x = tape::close_block(e.fd, p, M.store);
  keep(e, p);
  if (x) fail(x, r, e.fd);
  e.mode = -1;
  if (M.verbosity >= 1) lg("Terminated MT%02d\n", r / 9 * 9);
}

// Opens route r's image for reading or (write) creates it.
void open_image(Route& e, int r, bool write) {
  char name[64];
  host_name(name, sizeof name, "MT", r);
  e.fd = file_open(name, write ? O_RDWR | O_CREAT | O_TRUNC : O_RDWR);
  e.path = name;
  e.oflags = O_RDWR;
  if (e.fd < 0) {
    fprintf(M.err, "%s: %s\n", name, strerror(errno));
    fatal("Cannot open mag tape file", r);
  }
  e.last = 0;
  e.pending = 0;
  if (write) {
    e.count = 7;
    e.mode = 0;
    lg("MT route %d opened read-write on UNIX device %d\n", r, e.fd);
  } else {
    e.mode = 1;
    lg("MT route %d opened for reading on UNIX device %d\n", r, e.fd);
  }
}

// Request lines of a transfer: the instruction, then the transit areas.
void request(const char* what, int r) {
  lg("%5d FILE %s route %d action %d after %lld instructions\n", M.sc - 1, what, r, M.a.up,
     M.count);
  lg("Data address %d (pseudo %d)\n", at(64LL + r), at(64LL + M.b.lo));
}

// The words t to t+3 and three long words of a block, for the transfer log.
void words(int t) {
  lg("%05X %05X %05X %05X %05X%05X %05X%05X %05X%05X", peek(t), peek(t + 1LL), peek(t + 2LL),
     peek(t + 3LL), peek(t + 5LL), peek(t + 4LL), peek(t + 7LL), peek(t + 6LL), peek(t + 9LL),
     peek(t + 8LL));
}

// The first twenty characters of the program's data in a block at t.
void text(const char* arrows, int t) {
  lg(" %s %s", arrows, render(peek(t + 5LL), peek(t + 4LL)));
  lg("%s", render(peek(t + 7LL), peek(t + 6LL)));
  lg("%s", render(peek(t + 9LL), peek(t + 8LL)));
  lg("%s\n", render(peek(t + 11LL), peek(t + 10LL)));
}

// Block key at offset k of the block at t into D, logged at verbosity 9.
void key(int t, int k) {
  long long a = (long long)t + k;
  int32_t lo = at(a), up = at(a + 1);
  tape::key(lo, up, &M.d.lo, &M.d.up);
  if (M.verbosity >= 9) {
    for (int i = 4; i < 10; i += 2) {
      int32_t u = peek(t + i + 1LL), l = peek(t + i + 0LL);
      lg(" %06X %05X %s", u, l, render(u, l));
    }
    lg(" lsd = %05X\n", M.d.lo);
  }
}

bool is_marker(int t) { return tape::marker(at(t + 4LL)); }

}  // namespace

void open_route(bool mr) {
  int r = M.a.lo;
  Route& e = route(r);
  int mode = mr ? M.a.up & 15 : 18 - M.a.up;
  e.mode = mode;
  lg("%5d FILE %c%c opened mode %d route %d ==[%d] after %lld instructions\n", M.sc - 1,
     name1(M.b.up), name2(M.b.up), mode, r, M.a.up, M.count);
  if (mr)
    e.name = M.b.up;
  else if (e.name != M.b.up)
    lg("   Filename mismatch %05X different from %05X\n", e.name, M.b.up);
}

void tape_input() {
  int r = M.a.lo;
  Route& e = route(r);
  if (M.verbosity >= 1) {
    request("input", r);
    if (e.mode != 1) lg("Warning: Reading on an output file - mode = %d\n", e.mode);
  }
  if (e.pending) {
    e.pending = 0;
    t_step(e, r, 140);
  }
  exchange();
  int t = at(64LL + M.b.lo);
  if (e.fd < 0) open_image(e, r, false);
  int size;
  t_read(e, r, t, &size);
  if (M.verbosity >= 1) {
    lg("Block size = %d\n", size);
    lg("rd%02d    ", r);
    words(t);
  }
  tape::zones(M.store, t, size);
  if (M.verbosity >= 1) text("<<", t);
  M.a = M.b = Reg{};
}

void tape_output() {
  int r = M.a.lo;
  Route& e = route(r);
  if (M.verbosity >= 1) request("output", r);
  int t = at(64LL + M.b.lo);
  exchange();
  if (M.verbosity >= 1 && e.mode != 0)
    lg("Warning: Writing on an input file - mode = %d\n", e.mode);
  if (e.fd < 0) open_image(e, r, true);
  tape::Pos p = pos(e);
  tape::Err x = tape::number(p, M.store, t);
  keep(e, p);
  if (x) fail(x, r, e.fd);
  // D holds the block number from here on, also when the block then fails
  // its size check.
  M.d.lo = M.store[t];
  M.d.up = M.store[t + 1];
  if (M.verbosity >= 1) {
    lg("wr%02d  [%d]  ", r, e.count);
    words(t);
    text(">>", t);
  }
  int g;
  x = tape::find_end(M.store, t, &g);
  if (x) fail(x, r, e.fd);
  if (M.verbosity >= 1) lg("  Block end at %d %06X %06X\n", g, M.store[t + g], M.store[t + g + 1]);
  p = pos(e);
  x = tape::put(e.fd, p, M.store, t, g);
  keep(e, p);
  if (x) fail(x, r, e.fd);
}

void run_back() {
  int r = M.a.lo;
  Route& e = route(r);
  lg("%5d FILE RUN BACK route %d index %d offset %d after %lld instructions\n", M.sc - 1, r, M.b.lo,
     M.b.up, M.count);
  if (e.mode == 0) terminate(e, r);
  int t = at(64LL + r);
  t_back(e, r, t);
  int k = M.b.up;
  M.b.up = (int32_t)((uint32_t)M.b.up + 1);
  M.d.lo = -1;
  int skipped = 0;
  while (!(is_marker(t) && M.d.lo == M.b.lo)) {
    t_step(e, r, t);
    t_back(e, r, t);
    key(t, k);
    skipped++;
  }
  lg("%5d FILE RUN BACK route %d action %d, skipped %d blocks\n", M.sc - 1, r, M.a.up, skipped);
}

void run_on() {
  int r = M.a.lo;
  Route& e = route(r);
  lg("%5d FILE RUN ON route %d index %d offset %d after %lld instructions\n", M.sc - 1, r, M.b.lo,
     M.b.up, M.count);
  if (e.mode == 0) fatal("RUN ON on output tape", r);
  int t = at(64LL + r);
  int k = M.b.up;
  M.b.up = (int32_t)((uint32_t)M.b.up + 1);
  M.d.lo = -1;
  int skipped = 0;
  while (!(is_marker(t) && M.d.lo == M.b.lo)) {
    int size;
    t_read(e, r, t, &size);
    key(t, k);
    skipped++;
  }
  e.pending = 1;
  lg("%5d FILE RUN ON route %d action %d, skipped %d blocks\n", M.sc - 1, r, M.a.up, skipped);
}

void step_back() {
  int r = M.a.lo;
  Route& e = route(r);
  lg("%5d STEP BACK route %d action %d, block count %d after %lld instructions\n", M.sc - 1, r,
     M.a.up, M.b.lo, M.count);
  if (e.mode == 0) terminate(e, r);
  int t = at(64LL + r);
  if (M.b.lo == 0) fatal("Do not understand STEP of 0", r);
  e.pending = 0;
  // The count in B lower runs down to -1 (a negative count steps nothing).
  for (;;) {
    M.b.lo = (int32_t)((uint32_t)M.b.lo - 1);
    if (M.b.lo < 0) break;
    t_step(e, r, t);
  }
}

void close_route(const char* word) {
  int r = M.a.lo;
  Route& e = route(r);
  lg("%5d FILE %s route %d [mode = %d] after %lld instructions\n", M.sc - 1, word, r, e.mode,
     M.count);
  if (e.fd >= 0) {
    if (e.mode == 0) terminate(e, r);
    file_close(e.fd);
  }
  e.pending = 0;
}
