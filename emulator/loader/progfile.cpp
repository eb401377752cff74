// The program file's reading rules.
#include "progfile.h"

#include <cstring>

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

namespace pf {

namespace {

// The number read from column col, or 0 when the line is shorter.
long long num_at(const char* line, size_t col) {
  return std::strlen(line) > col ? lead(line + col) : 0;
}

}  // namespace

bool is_listing(const char* line) { return line[0] == '<'; }

bool is_marker(const char* line) {
  static const char marker[] = "=============== Second pass";
  return std::strncmp(line, marker, 26) == 0;
}

Line classify(const char* line) {
  Line l;
  if (std::strlen(line) < 6 || line[0] == ' ') return l;
  long long a = lead(line);
  if (a != 0 || line[0] == '0') {
    // A/C/B M: the first token ends at the first blank or control character
    // from column 5 on; C and B are the digits three and one before its end,
    // and M follows after exactly one space.
    l.kind = WORD;
    l.a = a;
    size_t e = 5;
    while ((unsigned char)line[e] > 32) e++;
    l.b = line[e - 1] - '0';
    l.c = line[e - 3] - '0';
    if (line[e] == ' ' && line[e + 1] != ' ') l.m = lead(line + e + 1);
    return l;
  }
  l.v = lead(line + 1);
  switch (line[0]) {
    case 'L': l.kind = LOAD; break;
    case 'E': l.kind = ENTRY; break;
    case 'T': l.kind = TAG; break;
    case 'X': l.kind = CHAP0; break;
    case 'O':
      l.kind = OVERLAY;
      l.n = num_at(line, 1);
      l.f = num_at(line, 4);
      l.e = num_at(line, 10);
      break;
    default: break;
  }
  return l;
}

bool word_ok(const Line& l, long long addr) {
  return addr >= 0 && addr < STORE && l.a >= 0 && l.a < 32 && l.c >= 0 && l.c < 2 && l.b >= 0 &&
         l.b < 4 && l.m >= 0 && l.m < 8192;
}

int32_t word_of(const Line& l) { return (int32_t)((l.a * 8 + l.c * 4 + l.b) * 8192 + l.m); }

bool overlay_ok(const Line& l) {
  return l.n >= 0 && l.n <= 14 && l.f >= 0 && l.e >= l.f && l.e <= STORE;
}

int entry_of(long long v) { return (int)(v > 0x7FFFFFFF ? 0x7FFFFFFF : v < 0 ? -1 : v); }

int tag_of(long long v) { return (int)(v & 0xFF); }

int files_of(const int32_t* store, long long c) {
  for (int i = 0; i < 10; i++) {
    long long p = c + 34 + 2 * i;
    if (p + 1 >= STORE) return -1;
    if (store[p + 1] == 0) return i;
  }
  return 10;
}

}  // namespace pf
