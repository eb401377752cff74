// The program tape analyser: survey, chapter 0, parameters, relocation and
// the loading map.
#include "progtape.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "tape.h"

namespace progtape {

namespace {

// A refused tape or command line: the message is written, the run ends
// with this status.
struct Stop {
  int status;
};

[[noreturn]] void refuse(State& s, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  std::vfprintf(s.out, fmt, ap);
  va_end(ap);
  throw Stop{1};
}

// Verbose message.
void vb(State& s, const char* fmt, ...) {
  if (s.verbosity == 0) return;
  va_list ap;
  va_start(ap, fmt);
  std::vfprintf(s.out, fmt, ap);
  va_end(ap);
}

// Five characters at two data words, as the tape holds its names.
struct Pat {
  uint32_t lo, up;
};

constexpr Pat ALLOC = {0x36653, 0x51636};
constexpr Pat INDEX = {0x45577, 0x59655};
constexpr Pat CHAPT = {0x16773, 0x53585};       // as the survey knows it
constexpr Pat CHAPT_LOAD = {0x12733, 0x13181};  // zone bits clear: either form
constexpr int32_t PASS3 = 0x71223;              // key of the characters PASS3

// Recognition by subtraction: a character whose top bits lie below the
// pattern's borrows from its left neighbour and so fails.
bool is(const State& s, int k, Pat p) {
  return (((uint32_t)s.buf[k] - p.lo) & 0xF3F3F) == 0 &&
         (((uint32_t)s.buf[k + 1] - p.up) & 0x3F3F3) == 0;
}

// The five digits of the long word at offsets k, k+1, plus 0x100000 when
// it is flagged negative. Offsets beyond the buffer read as 0.
int key(const State& s, int k) {
  if (k < 0 || k + 1 >= BUF) return 0;
  int32_t lo, up;
  tape::key(s.buf[k], s.buf[k + 1], &lo, &up);
  return lo | up;
}

// Reads the next block into the buffer and returns its size, or -1 at the
// end of the image, leaving the buffer as it was. The words a block does
// not fill read as 0, so nothing of an earlier block shows through.
int next(State& s) {
  int32_t t[BUF] = {};
  errno = 0;
  int n = tape::read_buf(s.fd, t, BUF);
  if (n < 0) {
    // The end of the image leaves errno alone; a host error is no end.
    if (errno != 0 && errno != EINTR) {
      std::fprintf(s.err ? s.err : s.out, "%s: %s\n", s.name, std::strerror(errno));
      throw Stop{1};
    }
    return -1;
  }
  std::memcpy(s.buf, t, sizeof t);
  return n;
}

void chapter_ok(State& s, int c) {
  if (c < 0 || c >= CHAPS) refuse(s, "Chapter %d out of range 0-14\n", c);
}

// The counts must fit chapter 0, the parameter table and the 64-word
// layout of the file details and transit area blocks.
void counts_ok(State& s) {
  if (s.total > CHAPS - 1) refuse(s, "Total chapters %d out of range 0-14\n", s.total);
  if (s.initial < 1 || s.initial > 13)
    refuse(s, "Initial chapters %d out of range 1-13\n", s.initial);
  if (s.files > 9) refuse(s, "Files %d out of range 0-9\n", s.files);
  if (s.areas > 10) refuse(s, "Transit areas %d out of range 0-10\n", s.areas);
  if (s.files + s.areas > 16)
    refuse(s, "Files and transit areas %d beyond the limit of 16\n", s.files + s.areas);
  int n = 2 * s.initial + s.files + 2 * s.areas + 4;
  if (n >= PARAMS) refuse(s, "Parameters %d beyond the limit of 42\n", n + 1);
}

// ---------------------------------------------------------------- survey

void alloc(State& s) {
  std::fprintf(s.out, "%5d ALLOC block found\n", s.block);
  s.details = s.block + 39;
  s.areas = key(s, 16);
  s.files = key(s, 14);
  s.initial = key(s, 12);
  s.total = key(s, 10);
  std::fprintf(s.out, "   Total chaps = %d (init %d)  files(R) = %d  Transit Areas = %d\n", s.total,
               s.initial, s.files, s.areas);
  counts_ok(s);
  s.entry_chap = key(s, 22);
  s.entry_addr = key(s, 20);
  std::fprintf(s.out, "   Enter at address %d in chapter %d\n", s.entry_addr, s.entry_chap);
  chapter_ok(s, s.entry_chap);

  // Overlay chapters share the area of the chapter before the last initial one.
  if (s.total != s.initial) {
    vb(s, "   Sort out overlays\n");
    for (int c = s.initial + 1; c <= s.total; c++) s.base[c] = s.base[s.initial - 1];
  }

  int32_t* w = s.chap0;
  w[0] = key(s, 4);
  w[1] = key(s, 6) != 0;
  w[2] = key(s, 8);
  w[3] = s.total;
  w[4] = s.initial;
  w[5] = s.files;
  w[6] = s.areas;
  w[8] = s.entry_addr + s.base[s.entry_chap];
  w[9] = s.entry_chap;
  w[10] = 7;
  w[12] = key(s, 38);
  w[13] = key(s, 40);
  w[15] = 1;
  w[16] = 2 * s.initial;
  w[18] = 2 * (s.files + s.areas);
  for (int c = 1; c <= s.initial; c++) w[19 + c] = s.base[c];
  w[20 + s.initial] = s.base[s.initial] + key(s, 22 + 2 * s.initial) + 2;
}

// An INDEX block and the two blocks read with it: the program ID and the
// PASS3 marker.
void index(State& s) {
  vb(s, "%5d Found INDEX block %d - block size %d\n", s.block, s.buf[10] & 0x3F, s.size);
  int n = next(s);
  int id = key(s, 4);
  vb(s, "Prog %05X -- also %05X - block size %d\n", id, key(s, 12), n < 0 ? 0 : n);
  next(s);
  int m = key(s, 12);
  if (m == PASS3) {
    s.progid = id;
    s.pass3 = true;
    std::fprintf(s.map, "    PASS3 marker for program %05X\n", id);
    std::fprintf(s.out, "%5d PASS3 marker for program %05X found\n", s.block, id);
  } else {
    vb(s, "This is not the PASS3 marker %06X\n", m);
  }
}

// Chapter 0 words of entry e: its route word, name word, first and end
// address.
void entry(State& s, int e, int32_t route, int32_t name, int first, int len) {
  s.chap0[34 + 2 * e] = route;
  s.chap0[35 + 2 * e] = name;
  s.chap0[66 + 2 * e] = first;
  s.chap0[67 + 2 * e] = first + len;
}

// File a, described at offset o of the buffer.
void file(State& s, int a, int o) {
  int32_t w = s.buf[o];
  int type = key(s, o + 2), annex = key(s, o + 4), chap = key(s, o + 6), len = key(s, o + 8);
  std::fprintf(s.out, "   File %c%c type %d -- chap %d annex at %d length %d\n",
               name_char((w >> 8) & 0x7F), name_char(w & 0x7F), type, chap, annex, len);
  if (a == 0 && chap > s.initial) {
    std::fprintf(s.out, "    Annex %d is in chapter %d - reallocated to %d\n", 0, chap, s.initial);
    chap = s.initial;
  }
  chapter_ok(s, chap);
  int first = s.base[chap] + annex;
  s.routes[9 + 9 * a] = first;
  // Route 9(a + 1) in the low bits, bit 15 set, the device type above.
  uint32_t route = (uint32_t)(type == 15 ? 5 : type) * 65536u + 9u * a + 0x8009u;
  // Both name characters get the zone bit, but a second character with
  // digit 0 keeps it clear.
  int32_t name = w | 0x4040;
  if ((name & 0xF) == 0) name -= 0x40;
  entry(s, a, (int32_t)route, name, first, len);
}

// Transit area j, described at offset o.
void area(State& s, int j, int o) {
  int chap = key(s, o + 2);
  if (j == 0 && chap > s.initial) {
    std::fprintf(s.out, "Transit area %d is in chapter %d - reallocated to %d\n", 0, chap,
                 s.initial);
    chap = s.initial;
  }
  chapter_ok(s, chap);
  int addr = key(s, o) + s.base[chap];
  int len = key(s, o + 4);
  vb(s, "   TA start %d chap %d length %d\n", addr, chap, len);
  s.routes[8 + 9 * j] = addr;
  entry(s, s.files + j, 9 * j + 0x8008, 0, addr, len);
}

// The file details block, its continuation and the transit area block.
void details(State& s) {
  std::fprintf(s.out, "%5d File details block (%d routes)\n", s.block, s.files);
  std::memset(s.routes, 0, sizeof s.routes);
  for (int a = 0; a < s.files && a < 4; a++) file(s, a, 12 * a + 4);
  if (s.files > 4) {
    next(s);
    for (int a = 4; a < s.files; a++) file(s, a, 12 * (a - 4) + 4);
  }
  next(s);
  for (int j = 0; j < s.areas; j++) area(s, j, 6 * j + 4);
}

void survey(State& s) {
  s.size = next(s);
  while (s.size >= 1) {
    s.block++;
    bool done = false;
    if (is(s, 42, ALLOC)) {
      alloc(s);
    } else if (is(s, 6, INDEX)) {
      index(s);
    } else if (s.block == s.details) {
      details(s);
      done = true;
    }
    if (is(s, 12, CHAPT))
      std::fprintf(s.out, "%5d CHAPTer %d start block (progid = %05X)\n", s.block, key(s, 4),
                   key(s, 8));
    if (done) return;
    s.size = next(s);
  }
}

// ---------------------------------------------------------- loading pass

char flag(int32_t p) { return (p & 0x100000) ? '-' : ' '; }

void params(State& s) {
  int i2 = 2 * s.initial, f = s.files;
  int n = i2 + f + 2 * s.areas + 4;
  s.n = n;
  int32_t* p = s.param;
  std::memset(s.param, 0, sizeof s.param);
  for (int c = 1; c <= s.initial; c++) {
    p[2 * c - 1] = s.base[c];
    p[2 * c] = s.base[c] & 0x1FFF;
  }
  for (int a = 1; a <= f; a++) p[i2 + a] = 9 * a;
  for (int j = 1; j <= s.areas; j++) {
    p[i2 + f + 2 * j - 1] = 9 * j - 1;
    p[i2 + f + 2 * j] = 0x100000 + 63 + 9 * j;
  }
  p[n - 3] = 8;
  p[n - 2] = 0x10000A;
  p[n - 1] = 0x10000C;
  p[n] = 0x10000E;

  vb(s, "%4d chapters\n%4d routes\n%4d transit areas", s.initial, s.files, s.areas);
  for (int i = 0; i < 10; i++) {
    if (i <= n) std::fprintf(s.map, "\n   Param %d = %5d%c", i, p[i] & 0xFFFFF, flag(p[i]));
    if (i + 10 <= n)
      std::fprintf(s.map, " || Param %d = %2d%c", i + 10, p[i + 10] & 0xFFFFF, flag(p[i + 10]));
    if (i + 20 <= n)
      std::fprintf(s.map, " || Param %d = %2d%c", i + 20, p[i + 20] & 0xFFFFF, flag(p[i + 20]));
  }
  s.chap0[14] = n + 1;
  for (int i = 0; i <= n; i++) s.chap0[98 + i] = p[i];
  std::fputs("\n\n", s.map);
  std::fputs("\nLoading\n", s.out);
}

// A word as a word line of the map, with its location.
void word(State& s, int32_t w, long long loc) {
  std::fprintf(s.map, "%d/%d/%d %d [%lld] %06X\n", w >> 16, (w >> 15) & 1, (w >> 13) & 3,
               w & 0x1FFF, loc, (unsigned)w);
}

void pointers(State& s) {
  if (!s.pass3) std::fputs("No PASS3 marker found\n", s.out);
  std::fprintf(s.map, "L%d loading route and pseudo-route pointers for program ID %05X\n", 72,
               s.progid);
  word(s, s.routes[8], 72);
  word(s, s.routes[9], 73);
  for (int k = 1; 9 + 9 * k < ROUTES && (s.routes[8 + 9 * k] || s.routes[9 + 9 * k]); k++) {
    for (int l = 65 + 9 * k; l <= 71 + 9 * k; l++) std::fprintf(s.map, "0/0/0 0 [%d]\n", l);
    word(s, s.routes[8 + 9 * k], 72 + 9 * k);
    word(s, s.routes[9 + 9 * k], 73 + 9 * k);
  }
}

void unexpected(State& s, const char* what, int32_t q) {
  std::fprintf(s.out, "Unexpected action for %s: %05X %d/%d/%d %d\n", what, q, q >> 16,
               (q >> 15) & 1, (q >> 13) & 3, q & 0x1FFF);
}

// The value that parameter p adds to the program word q.
int32_t relocate(State& s, int p, int32_t q) {
  if (p >= 0 && p <= s.n) return s.param[p];
  switch (p) {
    case 256:  // ENTER MASTER ROUTINE 0 becomes 4: group 4 action
      if (q != 0x174000) unexpected(s, "group 4", q);
      return 4;
    case 512:  // ENTER PRIORITY CONTROL 0 becomes 1: alarm
      if (q != 0x1A4000) unexpected(s, "alarm", q);
      return 1;
    case 768:  // ENTER PRIORITY CONTROL 0 becomes 2: unload
      if (q != 0x1A4000) unexpected(s, "unload", q);
      return 2;
    case 1024:  // ENTER MASTER ROUTINE 5: enter overlay
      if (q != 0x174000) unexpected(s, "overlay", q);
      return 5;
    case 1280:  // ENTER MASTER ROUTINE 154: comment in log
      if (q != 0x174000) unexpected(s, "overlay", q);
      return 154;
  }
  vb(s, "Unknown parameter %d (%X)\n", p, p);
  return 0;
}

void alloc_again(State& s) {
  std::fprintf(s.out, "%5d ALLOC block found in error\n", s.block);
  s.areas = key(s, 16);
  s.files = key(s, 14);
  s.initial = key(s, 12);
  std::fprintf(
      s.out, "   FP = %d  MR = %d  priority = %d  chaps = %d (init %d)  files(R) = %d  TAs = %d\n",
      key(s, 4), key(s, 6), key(s, 8), key(s, 10), s.initial, s.files, s.areas);
  counts_ok(s);
}

void index_again(State& s) {
  vb(s, "%5d Found INDEX block %d - block size %d\n", s.block, s.buf[10] & 0x3F, s.size);
  int n = next(s);
  vb(s, "Prog %05X -- also %05X - block size %d\n", key(s, 4), key(s, 12), n < 0 ? 0 : n);
  n = next(s);
  int m = key(s, 12);
  vb(s, "Prog %05X -- pass %05X - block size %d\n", key(s, 8), m, n < 0 ? 0 : n);
  if (m == PASS3)
    vb(s, "This is the PASS3 marker\n");
  else
    vb(s, "This is not the PASS3 marker %06X\n", m);
}

void chapt(State& s) {
  if (s.size != 54) refuse(s, "Non-standard CHAPT block %d size %d\n", s.block, s.size);
  int c = key(s, 4), id = key(s, 8);
  chapter_ok(s, c);
  // A chapter left without its end marker ends where its words reached.
  if (s.cur >= 0 && s.loc >= 0) s.hwm[s.cur] = s.loc;
  std::fprintf(s.map, "L%d loading chapter %d for program ID %05X\n", s.base[c], c, id);
  s.loc = s.base[c];
  s.cur = c;
  s.first = true;
  std::fprintf(s.out, "%5d CHAPTer %d start at %lld (progid = %05X)\n", s.block, c, s.loc, id);
}

// The chapter that holds chapter 0: its 140 words, then the chapter's own
// words from position v.
void extra(State& s, int v) {
  int b = s.base[s.cur];
  s.loc = b;
  std::fprintf(s.map, "X%lld chapter 0 located at %d\n", s.loc, v);
  for (int i = 0; i < CHAP0; i++) {
    int32_t w = s.chap0[i];
    std::fprintf(s.map, "%d/%d/%d %d [%lld] %06X  C + %d\n", w >> 16, (w >> 15) & 1, (w >> 13) & 3,
                 w & 0x1FFF, s.loc, (unsigned)w, i);
    s.loc++;
  }
  s.loc = (long long)b + v - 1;
  std::fprintf(s.map, "L%lld extra chapter %d located at %d\n", s.loc, s.cur, v);
  std::fprintf(s.out, "Extra chapter %d located at %lld (param = %d)\n", s.cur, s.loc, key(s, 4));
}

// An overlay chapter's first block: the map saves the chapter it replaces.
void overlay(State& s) {
  int prev = s.cur == s.initial + 1 ? s.initial - 1 : s.cur - 1;
  std::fprintf(s.out, "Overlaying chapter %d by %d\n", prev, s.cur);
  std::fprintf(s.map, "O%02d %5d %5lld   Overlaying chapter %d by %d\n", s.cur - s.initial - 1,
               s.base[prev], s.hwm[prev], prev, s.cur);
}

void content(State& s) {
  if (s.loc < 0) return;
  if (s.first) {
    s.first = false;
    int v = key(s, 6);
    if (v != 0)
      extra(s, v);
    else if (s.cur > s.initial)
      overlay(s);
  }
  for (int e = 1; e <= 12; e++) {
    int p = key(s, 4 * e);
    if (p == END) {
      s.hwm[s.cur] = s.loc;
      s.loc = -100;
      return;
    }
    int32_t q = key(s, 4 * e + 2);
    q += relocate(s, p, q);
    if (s.quick)
      std::fprintf(s.map, "%d/%d/%d %d\n", q >> 16, (q >> 15) & 1, (q >> 13) & 3, q & 0x1FFF);
    else
      std::fprintf(s.map, "%d/%d/%d %d [%lld] %06X p=%d\n", q >> 16, (q >> 15) & 1, (q >> 13) & 3,
                   q & 0x1FFF, s.loc, (unsigned)q, p);
    s.loc++;
  }
}

void load(State& s) {
  // A chapter that never loads a word ends at its base.
  for (int c = 0; c < CHAPS; c++) s.hwm[c] = s.base[c];
  s.loc = -99;
  s.size = next(s);
  while (s.size >= 1) {
    s.block++;
    if (is(s, 42, ALLOC))
      alloc_again(s);
    else if (is(s, 6, INDEX))
      index_again(s);
    else if (is(s, 12, CHAPT_LOAD))
      chapt(s);
    else
      content(s);
    s.size = next(s);
  }
  if (s.cur >= 0 && s.loc >= 0) s.hwm[s.cur] = s.loc;

  // The last overlay chapter is saved too; there is none to save when no
  // overlay chapter was loaded last.
  if (s.total > s.initial && s.cur > s.initial) {
    std::fprintf(s.out, "Overlaying last chapter %d\n", s.cur);
    std::fprintf(s.map, "O%02d %5d %5lld   Overlaying final chapter %d\n", s.cur - s.initial,
                 s.base[s.cur], s.hwm[s.cur], s.cur);
  }
  std::fprintf(s.map, "E%d entering at address %d in chapter %d\n",
               s.base[s.entry_chap] + s.entry_addr, s.entry_addr, s.entry_chap);
}

// The analyser's file name characters, by code AND 0x7F.
struct Chars {
  char c[128];
  constexpr Chars() : c() {
    for (int i = 0; i < 128; i++) c[i] = '?';
    for (int d = 1; d <= 9; d++) {
      c[d] = c[0x40 + d] = (char)('0' + d);
      c[0x10 + d] = c[0x50 + d] = (char)('A' + d - 1);
      c[0x20 + d] = c[0x60 + d] = (char)('J' + d - 1);
    }
    c[0x30] = '0';
    c[0x31] = 'R';
    for (int d = 2; d <= 9; d++) c[0x30 + d] = c[0x70 + d] = (char)('S' + d - 2);
    c[0x71] = '/';
  }
};

constexpr Chars CHARS;

}  // namespace

char name_char(int code) { return CHARS.c[code & 0x7F]; }

int analyse(State& s, int fd, FILE* out, FILE* map) {
  s.fd = fd;
  s.out = out;
  s.map = map;
  try {
    survey(s);
    params(s);
    pointers(s);
    load(s);
  } catch (const Stop& e) {
    return e.status;
  }
  return 0;
}

int run(int argc, char** argv, FILE* out, FILE* err) {
  State s;
  s.out = out;
  int i = 1;
  for (; i < argc && argv[i][0] == '-'; i++) {
    const char* a = argv[i];
    switch (a[1]) {
      case 'v':
        if (a[2])
          s.verbosity = std::atoi(a + 2);
        else
          s.verbosity++;
        break;
      case 'q': s.quick = true; break;
      case 'b': {
        if (s.nb == CHAPS - 1) {
          std::fprintf(out, "More than 14 -b options: %s\n", a);
          return 1;
        }
        char* end;
        errno = 0;
        long v = std::strtol(a + 2, &end, 10);
        if (end == a + 2 || *end || errno || v < 0 || v >= tape::STORE) {
          std::fprintf(out, "Base address %s out of range 0-32767\n", a + 2);
          return 1;
        }
        s.base[++s.nb] = (int)v;
        break;
      }
      default: break;
    }
  }
  if (i >= argc) {
    std::fprintf(err, "usage: progtape [-v] [-vN] [-bN]... [-q] tape-image [map-file]\n");
    return 1;
  }
  const char* name = argv[i];
  int fd = tape::open_view(name);
  if (fd < 0) {
    std::fprintf(err, "%s: %s\n", name, std::strerror(errno));
    return 1;
  }
  std::fprintf(out, "File: %s\n", name);
  s.name = name;
  s.err = err;

  FILE* map = out;
  const char* mapname = i + 1 < argc ? argv[i + 1] : nullptr;
  if (mapname) {
    map = std::fopen(mapname, "w");
    if (!map) {
      std::fprintf(err, "%s: %s\n", mapname, std::strerror(errno));
      close(fd);
      return 1;
    }
  }
  int status = analyse(s, fd, out, map);
  close(fd);
  if (mapname) {
    bool bad = std::ferror(map) != 0;
    int e = errno;
    if (std::fclose(map) != 0) {
      bad = true;
      e = errno;
    }
    if (bad) {
      std::fprintf(err, "%s: %s\n", mapname, std::strerror(e ? e : EIO));
      return 1;
    }
  }
  if (std::fflush(out) != 0 || std::ferror(out)) {
    std::fprintf(err, "standard output: %s\n", std::strerror(errno ? errno : EIO));
    return 1;
  }
  return status;
}

}  // namespace progtape
