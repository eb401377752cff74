// Register, arithmetic, shift and tag instructions.
#include "arith.h"

#include "ops.h"

void radix_report(uint32_t x, uint32_t y, uint32_t r) {
  if (out_of_radix(x, r)) lg("%5d Out of radix operand %06X\n", M.sc - 1, x);
  if (out_of_radix(y, r)) lg("%5d Out of radix operand %06X\n", M.sc - 1, y);
}

void data_report() {
  const Reg& d = M.d;
  if (out_of_radix(d.lo, M.radix) || out_of_radix(d.up & ~SIGN, M.uradix))
    lg("%5d Out of radix data %06X %05X\n", M.sc - 1, d.up, d.lo);
}

// Whole-word arithmetic on register and store values wraps as 32-bit words.
static inline int32_t wrap(long long v) { return (int32_t)(uint32_t)v; }

static inline bool is_long(int dv) { return dv & 4; }

// The address field of the current instruction.
static inline int field() { return M.instr & 0x1FFF; }

// Operand into D at a modified (so in-store) address: short, long, or the
// alpha number at an odd long address.
static inline void operand(int dv, int addr) {
  if (!is_long(dv)) {
    int32_t w = M.store[addr];
    M.d.lo = w & MASK20;
    M.d.up = w & SIGN;
  } else if (addr & 1) {
    load_alpha(addr);
  } else {
    load_long(addr);
  }
}

// D back to the store in the operand form: short, long, or alpha number.
static inline void put(int dv, int addr) {
  if (!is_long(dv)) {
    M.store[addr] = (M.d.up & SIGN) | M.d.lo;
  } else if (addr & 1) {
    store_alpha(addr);
  } else {
    at(addr) = M.d.lo;
    at((long long)addr + 1) = M.d.up;
  }
}

// A lower + literal under the radix register, the carry into A upper.
static void add_literal(int lit) {
  Reg& a = M.a;
  a.lo = radix_add(a.lo, lit, M.radix);
  if (a.lo > MASK20) {
    a.up = radix_add(a.up, 1, M.uradix);
    a.lo -= SIGN;
  }
}

// B one digit to the right: the lowest digit of B upper enters B lower.
static inline void b_right() {
  Reg& b = M.b;
  b.lo = (int32_t)(((uint32_t)b.lo >> 4) | (((uint32_t)b.up & 0xF) << 16));
  b.up = (int32_t)((uint32_t)b.up >> 4);
}

void op_ldb(int dv) {
  int n = M.n;
  if (dv == 2) {
    int32_t w = at(n);
    M.b.lo = w & MASK20;
    M.b.up = w & SIGN;
  } else if (n & 1) {
    load_alpha(n);
    M.b = M.d;
    if (M.verbosity > 6) lg("  Store contents %06X %05X\n", M.store[n], M.store[n - 1]);
  } else {
    M.b.lo = at(n) & MASK20;
    M.b.up = at((long long)n + 1);
  }
}

void op_setradix(int) { set_radix(at(M.n)); }

void op_copyreg(int) {
  long long n = M.n;
  if (n & 1) ni("COPY REGISTERS odd address");
  at(n) = M.a.lo;
  at(n + 1) = M.a.up;
  at(n + 2) = M.b.lo;
  at(n + 3) = M.b.up;
  at(n + 4) = M.radix;
}

void op_replreg(int) {
  long long n = M.n;
  if (n & 1) ni("REPLACE REGISTERS odd address");
  M.a.lo = at(n);
  M.a.up = at(n + 1);
  M.b.lo = at(n + 2);
  M.b.up = at(n + 3);
  set_radix(at(n + 4));
}

// Digit i of the mask is 0xF when bit i of k is set.
static int digit_mask(int k) {
  int m = 0;
  for (int i = 0; i < 5; i++)
    if (k >> i & 1) m |= 0xF << (4 * i);
  return m;
}

void op_prepcoll(int) {
  int n = M.n;
  M.b.lo = digit_mask(n & 0x1F);
  M.b.up = digit_mask(n >> 5 & 0x1F) | (n & 0x800 ? SIGN : 0);
}

void op_round(int) {
  int k = M.b.up >> 16 & 0xF;
  M.b = Reg{};
  if (k >= field()) add_literal(1);
}

void op_addlit(int) { add_literal(field()); }

void op_sublit(int) {
  int lit = field();
  Reg& a = M.a;
  M.d.up = SIGN;
  M.d.lo = lit;
  if (M.radix == 0 || (!out_of_radix(lit, M.radix) && !out_of_radix(a.lo, M.radix))) {
    complement();
    long_add(a, M.d);
    return;
  }
  // Out-of-radix digits: plain binary subtraction with a borrow from A upper.
  a.lo = wrap((long long)a.lo - lit);
  if (a.lo < 0) {
    a.lo = wrap((long long)a.lo + SIGN);
    a.up = a.up == 0 ? MASK21 : wrap((long long)a.up - 1);
  }
}

void op_sellit(int) {
  M.a.lo = field();
  M.a.up = 0;
}

void op_seldiv(int) {
  M.a.lo = M.n;
  M.a.up = 0;
}

void op_transfer(int dv) {
  int addr = maddr(dv);
  M.d = M.a;
  complement();
  put(dv, addr);
  if (is_long(dv) && M.verbosity > 6)
    lg("  Stored %06X %05X at address %d (alpha if odd)\n", M.d.up, M.d.lo, addr);
  if (dv < 24) M.a = Reg{};
}

void op_add(int dv) {
  int addr = maddr(dv);
  operand(dv, addr);
  if (dv & 8) {
    if (is_long(dv) && !(addr & 1) && M.verbosity > 4)
      lg("  Checking %s for %s\n", render(M.a.up, M.a.lo), render(M.d.up, M.d.lo));
    M.d.up ^= SIGN;
  }
  complement();
  add_d();
}

void op_select(int dv) {
  operand(dv, maddr(dv));
  complement();
  M.a = M.d;
}

void op_augment(int dv) {
  int addr = maddr(dv);
  operand(dv, addr);
  complement();
  long_add(M.d, M.a);
  complement();
  put(dv, addr);
}

void op_muladd(int dv) {
  int addr = maddr(dv);
  if (is_long(dv) && (addr & 1)) ni("Long alpha");
  operand(dv, addr);
  Reg &b = M.b, &d = M.d;
  if (b.up & SIGN) {
    // The multiplier's sign moves to the multiplicand.
    d.up ^= SIGN;
    b.up ^= SIGN;
  }
  complement();
  while (b.lo | b.up) {
    Reg s = d;
    int dig = b.lo & 0xF;
    if (M.verbosity > 8) lg("digit = %d\n", dig);
    for (int j = 1; j <= 9; j++) {
      if (j == dig) {
        if (M.verbosity > 8) lg("  adding in %d\n", d.lo);
        long_add(M.a, d);
      }
      long_add(d, s);
    }
    b_right();
  }
}

void op_convert(int dv) {
  int addr = maddr(dv);
  Reg& b = M.b;
  int sign;
  // The sign never counts as a digit: B lower takes the five digits only.
  if (!is_long(dv)) {
    int32_t w = M.store[addr];
    b.lo = w & MASK20;
    b.up = 0;
    sign = w & SIGN;
  } else if (addr & 1) {
    load_alpha(addr);
    b.lo = M.d.lo;
    b.up = 0;
    sign = M.d.up;
  } else {
    int32_t next = at((long long)addr + 1);
    b.lo = M.store[addr] & MASK20;
    b.up = next & MASK20;
    sign = next & SIGN;
  }
  long long t = M.a.lo;
  Reg& a = M.a;
  a = Reg{};
  while ((b.lo & MASK20) | b.up) {
    int dig = b.lo & 0xF;
    // The weights are read as the store holds them, not as an operand.
    M.d.lo = at(t);
    M.d.up = at(t + 1);
    t += 2;
    for (int i = 0; i < dig; i++) long_add(a, M.d);
    b_right();
  }
  if (!sign) return;
  // Negate A into complement form.
  uint32_t up = a.up, lo = a.lo;
  if (M.radix == 0) {
    if (lo == 0) {
      a.up = (int32_t)((0 - up) & MASK21);
    } else {
      a.lo = (int32_t)((0 - lo) & MASK20);
      a.up = (int32_t)(up ^ MASK21);
    }
  } else if (lo == 0) {
    a.up = radix_add(MASK21 - (uint32_t)M.uradix - up, 1, M.uradix);
  } else {
    a.up = (int32_t)(MASK21 - (uint32_t)M.uradix - up);
    a.lo = radix_add(MASK20 - (uint32_t)M.radix - lo, 1, M.radix);
  }
}

void op_divide(int dv) {
  int addr = maddr(dv);
  if (is_long(dv) && (addr & 1)) ni("Long alpha");
  if (M.radix != 0) ni("DIVIDE UNIFORM RADIX non-binary");
  operand(dv, addr);
  complement();
  if (M.d.up != 0) ni("DIVIDE UNIFORM RADIX big or -ve denominator");
  Reg &a = M.a, &b = M.b;
  if ((a.lo | a.up) != 0 || (uint32_t)b.up > 0xFFF) ni("DIVIDE UNIFORM RADIX big or -ve numerator");
  uint32_t den = (uint32_t)M.d.lo;
  if (den == 0) ni("DIVIDE UNIFORM RADIX zero denominator");
  // B without its lowest digit is the dividend.
  uint32_t num = (uint32_t)b.up << 16 | (uint32_t)b.lo >> 4;
  uint32_t q = num / den, r = num % den;
  a.lo = (int32_t)(q & MASK20);
  a.up = (int32_t)(q >> 20);
  // The remainder goes back into B one digit up.
  b.lo = (int32_t)(((uint32_t)b.lo & 0xF) | (r & 0xFFFF) << 4);
  b.up = (int32_t)(r >> 16);
}

void op_replbits(int dv) {
  int addr = maddr(dv);
  bool alpha = is_long(dv) && (addr & 1);
  if (alpha) {
    // The alpha number is worked on as a numeric short word.
    load_alpha(addr);
    M.store[addr] = M.d.lo | M.d.up;
  }
  M.d = M.a;
  complement();
  const Reg& b = M.b;
  Reg& d = M.d;
  uint32_t v;
  if (is_long(dv) && !alpha) {
    uint32_t m = (uint32_t)b.up & MASK21;
    int32_t& next = at((long long)addr + 1);
    next = (int32_t)(((uint32_t)next & ~m) | (m & (uint32_t)d.up));
    v = (uint32_t)b.lo & MASK20;
  } else {
    uint32_t m = (uint32_t)b.up & MASK21;
    v = m + (uint32_t)b.lo;
    d.lo = (int32_t)(m | (uint32_t)d.lo);
  }
  int32_t& w = M.store[addr];
  w = (int32_t)(((uint32_t)w & (v ^ MASK21)) | (v & (uint32_t)d.lo));
  if (alpha) {
    load_short(addr);
    store_alpha(addr);
  }
}

void op_collate(int dv) {
  operand(dv, maddr(dv));
  M.d.lo &= M.b.lo;
  M.d.up &= M.b.up;
  complement();
  add_d();
}

// Digit and binary shifts over the halves h[0] (top) to h[k-1].
static void digits_left(int32_t* h, int k, int steps) {
  for (int s = 0; s < steps; s++) {
    for (int i = 0; i < k; i++) {
      int below = i + 1 < k ? (h[i + 1] >> 16 & 0xF) : 0;
      h[i] = (h[i] & 0xFFFF) << 4 | below;
    }
  }
}

static void digits_right(int32_t* h, int k, int steps, int fill) {
  for (int s = 0; s < steps; s++) {
    for (int i = k - 1; i >= 0; i--) {
      int above = i > 0 ? (h[i - 1] & 0xF) : fill;
      h[i] = (h[i] >> 4 & 0xFFFF) | above << 16;
    }
  }
}

static void bits_left(int32_t* h, int k, int steps) {
  for (int s = 0; s < steps; s++) {
    for (int i = 0; i < k; i++) {
      int below = i + 1 < k ? (h[i + 1] >> 19 & 1) : 0;
      h[i] = (h[i] & 0x7FFFF) << 1 | below;
    }
  }
}

void op_shift(int dv) {
  bool ab = dv & 4;
  int kind = dv & 3;  // 0 logical, 1 arithmetic, 3 binary
  int n = M.n;
  int32_t h[4] = {M.a.up, M.a.lo, M.b.up, M.b.lo};
  int k = ab ? 4 : 2;
  int32_t asign = h[0] & SIGN, bsign = ab ? h[2] & SIGN : 0;
  h[0] &= ~SIGN;
  if (ab) h[2] &= ~SIGN;
  if (kind == 3) {
    // Beyond the width of the value every step only shifts in zeros.
    int steps = n & 0xFFF;
    bits_left(h, k, steps < 20 * k ? steps : 20 * k);
  } else if (!(n & 0x1000)) {
    digits_left(h, k, n & 0x1F);
  } else {
    int fill = kind == 1 && asign ? 15 - (M.uradix & 0xF) : 0;
    digits_right(h, k, (0 - n) & 0x1F, fill);
  }
  M.a.up = h[0] | asign;
  M.a.lo = h[1];
  if (ab) {
    M.b.up = h[2] | bsign;
    M.b.lo = h[3];
  }
}

void op_seltag(int) {
  int n = M.n;
  if ((unsigned)n >= (unsigned)STORE) bad_address(n);
  M.a.lo = M.tags[n];
  M.a.up = 0;
}

void op_copytag(int dv) { M.tags[maddr(dv)] = M.a.lo & 0xF; }
