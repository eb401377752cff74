// The machine state, the character tables and the store accesses.
#include "machine.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdarg>
#include <cstring>

#include "cycle.h"
#include "ops.h"

Machine M;

volatile sig_atomic_t intr = 0;

uint8_t h2m[256];
char m2h[256];

void clear(Machine& m) {
  m = Machine{};
  m.store[STORE] = m.store[STORE + 1] = GUARD;
  std::memset(m.tags, 4, sizeof m.tags);
}

void reset() {
  close_all();
  if (M.log && M.log != M.out && M.log != stdout && M.log != stderr) fclose(M.log);
  clear(M);
  recheck();
}

void recheck() {
  M.slow = M.verbosity > 5 || M.watch >= 0 || !hooks.watches.empty();
  // Only counts still ahead matter: one already passed can never recur.
  // The output streams are looked at within the next CHUNK instructions.
  long long e = M.count + CHUNK;
  if (M.limit > M.count && M.limit < e) e = M.limit;
  if (M.tstart > M.count && M.tstart < e) e = M.tstart;
  M.event = e;
}

void build_tables() {
  // Host characters of the machine code, by 6-bit code; 0 where none.
  static const char* const rows[4] = {
      " 123456789te+:.",    // 0x00-0x0E; 0x0F is the pound sign
      "-ABCDEFGHI=*'?\n",   // 0x10-0x1E
      "&JKLMNOPQRg%><h\\",  // 0x20-0x2F
      "0/STUVWXYZ(),;",     // 0x30-0x3D; 0x3E (#) has no host entry
  };
  std::memset(h2m, 0, sizeof h2m);
  for (int r = 0; r < 4; r++) {
    for (int c = 0; rows[r][c]; c++) {
      int code = r * 16 + c;
      uint8_t form = (c == 0) ? (uint8_t)code : (uint8_t)(code + 0x40);
      h2m[(uint8_t)rows[r][c]] = form;
    }
  }
  h2m[(uint8_t)'p'] = 0x4F;
  h2m[0xA3] = 0x4F;  // the pound sign as a single byte

  std::memset(m2h, '!', sizeof m2h);
  for (int c = 1; c < 128; c++) {
    if (h2m[c]) {
      m2h[h2m[c]] = (char)c;
      m2h[h2m[c] & 0x3F] = (char)c;
    }
  }
  m2h[0x0F] = m2h[0x4F] = (char)0xA3;
  m2h[0x1E] = m2h[0x5E] = '\n';
  m2h[0x3E] = m2h[0x7E] = '#';
  m2h[0] = ' ';
}

const char* render(int32_t up, int32_t lo) {
  static char buf[2][6];
  static int which = 0;
  char* s = buf[which];
  which ^= 1;
  s[0] = m2h[(up >> 12) & 0xFF];
  s[1] = m2h[(up >> 4) & 0xFF];
  s[2] = m2h[((up & 0xF) << 4) | ((lo >> 16) & 0xF)];
  s[3] = m2h[(lo >> 8) & 0xFF];
  s[4] = m2h[lo & 0xFF];
  s[5] = 0;
  return s;
}

void bad_address(long long addr) { fatal("Bad memory address", addr); }

void load_short(int addr) {
  int32_t w = at(addr);
  M.d.lo = w & MASK20;
  M.d.up = w & SIGN;
}

void load_long(int addr) {
  int32_t lo = at(addr);
  int32_t up = at((long long)addr + 1);
  M.d.lo = lo & MASK20;
  M.d.up = up;
}

void load_alpha(int addr) {
  int32_t up = at(addr);
  int32_t lo = at((long long)addr - 1);
  int c0 = (up >> 12) & 0xFF;
  M.d.lo = ((up >> 12) & 0xF) << 16 | ((up >> 4) & 0xF) << 12 | ((lo >> 16) & 0xF) << 8 |
           ((lo >> 8) & 0xF) << 4 | (lo & 0xF);
  M.d.up = ((c0 >> 4) & 3) == 1 ? SIGN : 0;
}

void store_alpha(int addr) {
  int32_t& up = at(addr);
  int32_t& lo = at((long long)addr - 1);
  uint8_t c[5];
  for (int i = 0; i < 5; i++) {
    int dig = (M.d.lo >> (4 * i)) & 0xF;
    c[4 - i] = (uint8_t)(dig ? 0x40 | dig : 0);
  }
  if (M.d.up > MASK20) c[0] += 0x10;
  up = pack_up(c);
  lo = pack_lo(c);
}

void lg(const char* fmt, ...) {
  if (!M.log) return;
  va_list ap;
  va_start(ap, fmt);
  if (vfprintf(M.log, fmt, ap) < 0) lost(M.log);
  va_end(ap);
}

FILE* open_text(const char* name) {
  FILE* f = fopen(name, "r");
  struct stat st;
  if (f && fstat(fileno(f), &st) == 0 && S_ISDIR(st.st_mode)) {
    fclose(f);
    errno = EISDIR;
    return nullptr;
  }
  return f;
}
