// Hand formatting for the trace line, the one text written for every traced
// instruction: the same characters printf gives for %Nd and %0NX, without
// parsing a format each time.
#pragma once

#include <cstdint>

// v right-aligned in `width` places, as %*lld.
inline char* put_dec(char* p, long long v, int width) {
  char tmp[24];
  int n = 0;
  unsigned long long u = v < 0 ? 0ULL - (unsigned long long)v : (unsigned long long)v;
  do {
    tmp[n++] = (char)('0' + u % 10);
    u /= 10;
  } while (u);
  if (v < 0) tmp[n++] = '-';
  for (int i = n; i < width; i++) *p++ = ' ';
  while (n) *p++ = tmp[--n];
  return p;
}

// v in upper-case hexadecimal, zero-filled to `width` places, as %0*X.
inline char* put_hex(char* p, uint32_t v, int width) {
  char tmp[8];
  int n = 0;
  do {
    tmp[n++] = "0123456789ABCDEF"[v & 15];
    v >>= 4;
  } while (v);
  for (int i = n; i < width; i++) *p++ = '0';
  while (n) *p++ = tmp[--n];
  return p;
}

inline char* put_str(char* p, const char* s) {
  while (*s) *p++ = *s++;
  return p;
}
