// Radix arithmetic: the add of two half words digit by digit, each digit in
// its own radix; the out-of-radix test; the conversion of D between
// sign-and-magnitude and radix-complement form; and the long addition that
// combines them over two halves.
//
// A radix word holds, per digit, 16 minus that digit's radix: the radix
// register serves lower halves and short words, the upper radix serves upper
// halves. All work is done in unsigned 32-bit arithmetic, so that any store
// word (registers may hold whole words the program put there) is safe.
#pragma once

#include "machine.h"

// Writes "Out of radix operand" for x and y where they are out of radix
// (verbosity above 8 only; kept out of line).
[[gnu::cold]] void radix_report(uint32_t x, uint32_t y, uint32_t r);
// Writes "Out of radix data" when D is out of radix (verbosity above 8 only).
[[gnu::cold]] void data_report();

// True when some digit of x is not below its radix.
inline bool out_of_radix(uint32_t x, uint32_t r) {
  return (((x & 0x88888) + (r & 0x88888) + (((x & 0x77777) + (r & 0x77777)) & 0xCCCCC)) &
          0x111110) != 0;
}

// x + y digit by digit under radix word r; bit 20 of the result is the carry
// out of digit 4. A digit that reaches its radix gets the excess 16 - radix
// added, which leaves the right digit and passes the carry on. The carries
// sit at bits 4, 8, ... 20; c - (c >> 4) spreads each over its digit.
inline int32_t radix_add_raw(uint32_t x, uint32_t y, uint32_t r) {
  uint32_t s = x + r;
  uint32_t c = (y ^ s ^ (s + y)) & 0x111110;
  return (int32_t)((x + y + (r & (c - (c >> 4)))) & MASK21);
}

// The same, with the out-of-radix report at verbosity 9.
inline int32_t radix_add(uint32_t x, uint32_t y, uint32_t r) {
  if (M.verbosity > 8) [[unlikely]]
    radix_report(x, y, r);
  return radix_add_raw(x, y, r);
}

// Brings a negative D (bit 20 of its upper half set) from sign and magnitude
// into radix-complement form, or a complemented D back; the sign bit stays.
// A positive D is left as it is. Minus zero becomes plus zero.
inline void complement() {
  Reg& d = M.d;
  if (!(d.up & SIGN)) return;
  if (M.verbosity > 8) [[unlikely]]
    data_report();
  uint32_t lo = (0xFFFFFu - (uint32_t)M.radix - (uint32_t)d.lo) & MASK21;
  uint32_t up = (0xFFFFFu - (uint32_t)M.uradix - (uint32_t)d.up) & MASK21;
  d.up = (int32_t)up;
  d.lo = radix_add(lo, 1, M.radix);
  if (d.lo & SIGN) {
    d.up = radix_add(up, 1, M.uradix);
    d.lo &= MASK20;
  }
}

// x = x + y over both halves; the carry out of the lower halves goes into x's
// upper half. The sign bit takes part in the upper add as a digit of radix 2
// and a carry out of it is lost.
inline void long_add(Reg& x, const Reg& y) {
  x.lo = radix_add(x.lo, y.lo, M.radix);
  if (x.lo > MASK20) {
    x.up = radix_add(x.up, 1, M.uradix);
    x.lo &= MASK20;
  }
  x.up = radix_add(x.up, y.up, M.uradix);
}

// A = A + D, the carry out of the lower halves going into D's upper half
// (the order of ADD, SUBTRACT and COLLATE AND ADD; D shows it afterwards).
inline void add_d() {
  Reg &a = M.a, &d = M.d;
  a.lo = radix_add(a.lo, d.lo, M.radix);
  if (a.lo > MASK20) {
    d.up = radix_add(d.up, 1, M.uradix);
    a.lo &= MASK20;
  }
  a.up = radix_add(a.up, d.up, M.uradix);
}
