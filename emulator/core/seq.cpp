// Sequence control, modifiers and indicators: jumps, subroutines, Master
// Routine and priority control entries, modification of the next
// instruction, the modifier registers and the indicator word.
#include "ops.h"

// Whole-word arithmetic on store values wraps as 32-bit words.
static inline int32_t wrap(long long v) { return (int32_t)(uint32_t)v; }

void op_jump(int dv) {
  const Reg &a = M.a, &b = M.b;
  bool take;
  switch (dv) {
    case 216: take = (a.up | a.lo) == 0; break;
    case 217: take = (a.up | a.lo) != 0; break;
    case 218:
    case 222: take = !(a.up & SIGN); break;
    case 219:
    case 223: take = (a.up & SIGN) != 0; break;
    case 220: take = (a.up | a.lo | b.up | b.lo) == 0; break;
    case 221: take = (a.up | a.lo | b.up | b.lo) != 0; break;
    default: take = true; break;  // 196 UNCONDITIONAL JUMP
  }
  if (!take) return;
  if (M.verbosity > 3)
    lg(dv == 196 ? "%5d SEQUENCE CHANGE to %5d (%d)\n" : "%5d CONDITIONAL JUMP to %5d (%d)\n",
       M.sc - 1, M.n, M.n & 0x1FFF);
  M.sc = M.n;
}

void op_entersub(int) {
  if (M.verbosity > 3) lg("%5d ENTER SUBROUTINE to %5d (%d)\n", M.sc - 1, M.n, M.n & 0x1FFF);
  at(M.n) = M.sc;
  M.sc = M.n + 1;
}

void op_leavesub(int) {
  int32_t link = at(M.n);
  // A link is a plain address: any bit above bit 14 (bits 15-23, and a
  // negative or larger word) cannot be obeyed.
  if (link & ~0x7FFF) fatal("LEAVE SUBROUTINE to big address", link);
  if (M.verbosity > 1)
    lg("%5d LEAVE SUBROUTINE to %5d (%d) after %lld instructions\n", M.sc - 1, link, link & 0x1FFF,
       M.count);
  M.sc = link;
}

void op_entermr(int) {
  int n = M.n;
  at(n) = wrap((long long)M.tag * 0x10000 + M.sc);
  if (M.verbosity > 1) lg("%5d ENTER MASTER to %5d (%d)\n", M.sc - 1, n, n & 0x1FFF);
  M.tag = 14;
  if (n < 200)
    mr_service(n);
  else
    M.sc = n + 1;
}

void op_leavemr(int) {
  int32_t link = at(M.n);
  M.n = link;
  if (M.verbosity > 1) lg("%5d LEAVE MASTER to %5d (%d)\n", M.sc - 1, link & 0x7FFF, link & 0x1FFF);
  M.ind |= 0x1000;
  M.tag = (link >> 16) & 0xF;
  M.sc = link & 0x7FFF;
}

void op_priority(int) {
  int n = M.n;
  int32_t link = at(n);
  Reg b = M.b;
  int tag = M.tag, ind = M.ind;
  at(n) = wrap((long long)M.tag * 0x10000 + 1 + M.sc);
  M.b.up = 0;
  M.b.lo = M.sc - 1;
  M.tag = 14;
  M.ind &= 0x1EFFF;
  try {
    priority(n);
  } catch (const Unanswered&) {
    // The alarm was left unanswered at the console: the machine goes back
    // to just before this instruction, with its next-instruction
    // modification pending again, so that obeying it asks once more.
    M.store[n] = link;
    M.b = b;
    M.tag = tag;
    M.ind = ind;
    M.sc -= 1;
    M.count -= 1;
    M.nim = (int)((unsigned)M.n - ((unsigned)M.sc & 0x6000) - (unsigned)(M.instr & 0x1FFF));
    throw;
  }
}

// Follows a modification chain from the word at address x: while the word
// has bit 20 set, its 20-bit address names the next word.
static int32_t chain(long long x) {
  int32_t w = at(x);
  long long links = 0;
  while (w & SIGN) {
    if (M.verbosity > 8) lg("  Modification got to %06X %d\n", w, w & MASK20);
    x = w & MASK20;
    if (++links > STORE) fatal("Modification chain loops", x);
    w = at(x);
  }
  if (M.verbosity > 8) lg("  Modification ended at %06X %d\n", w, w);
  return w;
}

void op_modify(int dv) {
  int q = M.sc & 0x6000;
  switch (dv) {
    case 192: M.nim = chain(M.n & MASK20); break;
    case 193: M.nim = at(M.n & 0x7FFF); break;
    case 195: M.nim = at((long long)M.n - q); break;
    default: M.nim = wrap((long long)chain(M.n & MASK20) - q); break;  // 198
  }
}

void op_setmod(int dv) {
  int k = dv & 3;
  int32_t v = at(M.n);
  int32_t lim = at((long long)M.n + 1);
  M.store[M.mgb + 2 * k] = v;
  M.store[M.mgb + 2 * k + 1] = lim;
}

// Steps modifier register k (at location r, its limit at r + 1) by the
// signed 12-bit amount in the address field, and skips the next instruction
// when the register reaches its limit (modulo 32768).
static inline void step(int k, long long r) {
  int step = M.n & 0x1FFF;
  if (step > 0xFFF) step = 0x1000 - step;
  int32_t& reg = at(r);
  int32_t lim = at(r + 1);
  int32_t old = reg, nv = wrap((long long)old + step);
  if (M.verbosity > 8) lg("Modifier %d changed from %06X to %06X, limit = %06X\n", k, old, nv, lim);
  reg = nv;
  if ((((uint32_t)lim - (uint32_t)nv) & 0x7FFF) == 0) M.sc++;
}

void op_step(int dv) {
  if (dv != 184) {
    step(dv & 3, M.mgb + 2 * (dv & 3));
    return;
  }
  int32_t w = at(M.sc);
  M.sc++;
  if (w & 1) ni("STEP ON AND TEST on odd address");
  int x = w & MASK20;
  step((x - M.mgb) / 2, x);
}

void op_setind(int) { M.ind = M.n & 0x1FFF; }

void op_clearind(int) { M.ind &= (M.n ^ 0x1FFF) | 0x6000; }
