// Table look-up and the bulk copies: word copy or clear, and the
// conversions between numeric short words and alpha numbers.
//
// Every store word goes through at(): a table that runs off the top of the
// store, or a block that reaches outside it, ends the run with "Bad memory
// address" and the first such address, before that word is touched.
#include "editing.h"

// TABLE LOOK UP (8 short, 12 long): B gets the address of the first entry
// not less than A. Entries are compared as the signed integers the store
// holds, so a word with its sign bit set stops a short search.
void op_lookup(int dv) {
  // N itself steps along the table, so the dump shows where a search ended,
  // also when it ran off the store.
  int& n = M.n;
  if (dv == 8) {
    if (M.a.up != 0) ni("TABLE LOOK UP - negative or large A");
    while (at(n) < M.a.lo) n++;
  } else {
    if (M.a.up & SIGN) ni("TABLE LOOK UP - negative A");
    for (;;) {
      int32_t lo = at(n);
      int32_t up = at((long long)n + 1);
      if (up > M.a.up || (up == M.a.up && lo >= M.a.lo)) break;
      n += 2;
    }
  }
  M.b.up = 0;
  M.b.lo = n;
}

// Word copy or clear (224, 229): count in bits 0-12 of A's upper half,
// source in A's lower half, bit 17 of the upper half asks for a clear. The
// copy runs upward word by word, so an overlapping destination above the
// source repeats the first source words.
static void copy_words(int dv) {
  long long n = M.n;
  int count = M.a.up & 0x1FFF;
  long long src = dv == 224 ? (M.a.lo & 0x7FFF) : M.a.lo;
  if (M.a.up & 0x20000) {
    for (long long i = count - 1; i >= 0; i--) at(n + i) = 0;
  } else {
    for (long long i = 0; i < count; i++) {
      int32_t w = at(src + i);
      at(n + i) = w;
    }
  }
}

// Numeric to alpha (225): each short word from the source becomes an alpha
// number in the pair (N+2i-1, N+2i); N must be odd.
static void to_alpha() {
  if (M.a.up & 0x20000) ni("BULK CLEAR SHORT NUMERIC TO ALPHA");
  M.a.up &= 0xFFF;
  M.a.lo &= 0x7FFF;
  int n = M.n;
  if (!(n & 1)) fatal("Bad address for BULK COPY NUMERIC TO ALPHA", n);
  int count = M.a.up, src = M.a.lo;
  for (int i = 0; i < count; i++) {
    int d = n + 2 * i;
    load_short(src + i);
    at(d - 1);  // the lower word of the pair is checked first
    store_alpha(d);
    M.d.lo = M.store[d - 1];
    M.d.up = M.store[d];
  }
}

// Alpha to numeric (228): the count names source words, two to each alpha
// number (an odd count is rounded down); the source address must be odd.
static void from_alpha() {
  if (M.a.up & 0x20000) ni("BULK CLEAR ALPHA TO SHORT NUMERIC");
  M.a.up &= 0xFFF;
  M.a.lo &= 0x7FFF;
  int src = M.a.lo;
  if (!(src & 1)) fatal("Bad address for BULK COPY ALPHA TO NUMERIC", src);
  int words = M.a.up / 2, n = M.n;
  for (int i = 0; i < words; i++) {
    int s = src + 2 * i;
    at(s - 1);
    load_alpha(s);
    at((long long)n + i) = M.d.lo | M.d.up;
  }
}

void op_bulk(int dv) {
  switch (dv) {
    case 225: to_alpha(); break;
    case 228: from_alpha(); break;
    default: copy_words(dv); break;  // 224, 229
  }
  M.a = M.b = Reg{};
}
