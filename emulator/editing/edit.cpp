// EDIT FIXED FIELD FORMATS (230) builds a print line in `buff` from the
// items named by an edit table and packs it as alpha long words from N.
// EDIT FOR ANELEX OUTPUT (233) copies a prepared 66-word print line.
//
// Edit table entry: word 0 bits 0-15 `src`, bits 16-20 `sh` (traced only);
// word 1 bits 0-3 `nch`, 4-7 `nsp`, 8-11 `nds`, 12-15 `nz`, bit 16 alpha,
// bit 17 long numeric, bit 18 sign, bit 19 sign in the first significant
// digit, bit 20 last entry.
#include "editing.h"

constexpr int LINE = 300;  // longest line the buffer holds

static int len;  // characters produced so far

static void put(int c) {
  if (len >= LINE) ni("EDIT FIXED FIELD FORMATS line too long");
  buff[len++] = (uint8_t)c;
}

static void edit_alpha(int src, int nch, int nds, int nz) {
  Reg& b = M.b;
  b.lo = at(src);
  b.up = at((long long)src + 1) & MASK20;
  if (talk()) lg("Editing %06X %05X alpha\n", b.up, b.lo);
  for (int i = 0; i < nds; i++) shl(b, 8);
  for (int i = 0; i < nch; i++) {
    int c = (b.up >> 12) & 0x3F;
    if (c != 0x30)
      nz = -1;
    else if (--nz >= 0)
      c = 0;
    put(c);
    shl(b, 8);
  }
}

static void edit_numeric(int src, int nch, int nds, int nz, int flags) {
  Reg& b = M.b;
  if (flags & 0x20000) {
    b.lo = at(src);
    b.up = at((long long)src + 1);
  } else {
    // A short item has five digits; the rest of the register reads as 0.
    b.up = at(src);
    b.lo = 0;
  }
  b.lo &= MASK20;
  int sign = (b.up & SIGN) ? 0x10 : 0x00, dsign = 0;
  if (!(flags & 0x40000)) {
    sign = -1;
  } else if (flags & 0x80000) {
    dsign = sign;
    sign = -1;
  }
  if (talk()) lg("Editing %06X %05X numeric (sign = %02X %02X)\n", b.up, b.lo, sign & 0xFF, dsign);
  b.up &= MASK20;
  for (int i = 0; i < nds; i++) shl(b, 4);
  if (nch == 0) nch = 16;
  for (int i = 0; i < nch; i++) {
    int d = (b.up >> 16) & 0xF, c;
    if (d) {
      nz = -1;
      c = d + dsign;  // only the first significant digit carries the sign
      dsign = 0;
    } else {
      c = --nz >= 0 ? 0x00 : 0x30;
    }
    put(c);
    shl(b, 4);
  }
  if (sign >= 0) put(sign);
}

void op_edit(int) {
  long long n = M.n;
  if (talk()) lg("%5d EDIT into %d using table at %d\n", here(), M.n, M.a.lo);
  len = 0;
  M.d.up = 0;
  while (!(M.d.up & SIGN)) {
    M.d.lo = at(M.a.lo);
    M.d.up = at((long long)M.a.lo + 1);
    M.a.lo += 2;
    int w0 = M.d.lo, w1 = M.d.up;
    int src = w0 & 0xFFFF, sh = (w0 >> 16) & 0x1F;
    int nch = w1 & 0xF, nsp = (w1 >> 4) & 0xF, nds = (w1 >> 8) & 0xF, nz = (w1 >> 12) & 0xF;
    if (talk()) {
      lg("Chars generated so far = %d\n", len);
      lg("src %d (sh = %d) -- ", src, sh);
      lg("nch = %d  nsp = %d  nds = %d  nz = %d  end = %02X\n", nch, nsp, nds, nz,
         (w1 >> 16) & 0x1F);
      lg("Table entry points at %06X and N points at %06X %05X\n", peek(src), peek(n + 1), peek(n));
    }
    for (int i = 0; i < nsp; i++) put(0);
    if (w1 & 0x10000)
      edit_alpha(src, nch, nds, nz);
    else
      edit_numeric(src, nch, nds, nz, w1);
  }
  if (talk()) lg("Chars generated so far = %d\n", len);
  // Four filler codes close the last group of five.
  for (int i = 0; i < 4; i++) buff[len + i] = 0;
  for (int i = 0; i + 5 <= len + 4; i += 5, n += 2) {
    const uint8_t* c = buff + i;
    int32_t& lo = at(n);
    int32_t& up = at(n + 1);
    up = pack_up(c);
    lo = pack_lo(c);
    if (talk()) lg("  Stored %06X %05X at address %lld - %s\n", up, lo, n, render(up, lo));
  }
  if (len % 5) lg("%6d Spurious chars end of edit = %d\n", here(), 5 - len % 5);
  M.a = M.b = Reg{};
}

void op_anelex(int) {
  long long a = M.a.lo, n = M.n;
  if (talk()) {
    lg(" Data to be edited: %06X %05X - %06X %05X - %06X %05X - %06X %05X - %06X %05X\n",
       peek(a + 1), peek(a), peek(a + 3), peek(a + 2), peek(a + 5), peek(a + 4), peek(a + 7),
       peek(a + 6), peek(a + 9), peek(a + 8));
    for (long long p = a + 2; p < a + 66; p += 2) lg("%s", render(peek(p + 1), peek(p)));
    lg("\n");
  }
  for (int i = 0; i < 66; i++) {
    int32_t w = at(a + i);
    at(n + i) = w;
  }
}
