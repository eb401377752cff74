// The instruction cycle: count, watch, fetch, decode, trace and dispatch.
#include "cycle.h"

#include <algorithm>
#include <climits>
#include <csignal>

#include "arith.h"
#include "fmt.h"
#include "ops.h"

static void header(int form) {
  if (form == 1) {
    lg("                   _\n");
    lg(" SC                N           A              B          C/SMO    M\n");
  } else {
    lg("                    _\n");
    lg("  SC                N           A              B          C/SMO    M\n");
  }
}

// The execution limit or the trace start count has been reached, or the
// output streams are due to be looked at.
static void event() {
  out_check();
  if (M.count == M.limit) fatal("execution abandonned", M.sc);
  if (M.count == M.tstart) {
    header(2);
    M.verbosity = 9;
  }
  recheck();
}

static int32_t peek(long long a) { return a >= 0 && a < STORE ? M.store[a] : 0; }

// Compares the watched words with the copy last seen and reports a change.
static void watch() {
  long long w = M.watch;
  int len = M.wlen;
  bool changed = false;
  for (int i = 0; i < len; i++) {
    if (w + i < STORE && M.store[w + i] != M.wcopy[i]) changed = true;
  }
  if (changed) {
    if (len < 2) {
      int32_t v = M.store[w];
      lg("%5d Location %lld changed from %d to %d %06X %2d/%d/%d %d\n", M.sc - 1, w, M.wcopy[0], v,
         v, v >> 16, (v >> 15) & 1, (v >> 13) & 3, v & 0x1FFF);
    } else {
      const int32_t* c = M.wcopy;
      lg("  Location %5lld changed from %06X %06X %06X %06X %06X %06X %06X %06X %06X %06X\n", w,
         c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7], c[8], c[9]);
      lg("  (SC = %5d)             to %06X %06X %06X %06X %06X %06X %06X %06X %06X %06X\n",
         M.sc - 1, peek(w), peek(w + 1), peek(w + 2), peek(w + 3), peek(w + 4), peek(w + 5),
         peek(w + 6), peek(w + 7), peek(w + 8), peek(w + 9));
      if (len > 10) {
        lg("  Location %5lld changed from %06X %06X %06X %06X %06X %06X %06X %06X %06X %06X\n",
           w + 10, c[10], c[11], c[12], c[13], c[14], c[15], c[16], c[17], c[18], c[19]);
        lg("                           to %06X %06X %06X %06X %06X %06X %06X %06X %06X %06X\n",
           peek(w + 10), peek(w + 11), peek(w + 12), peek(w + 13), peek(w + 14), peek(w + 15),
           peek(w + 16), peek(w + 17), peek(w + 18), peek(w + 19));
      }
    }
    // The copy is what the last report showed.
    for (int i = 0; i < 20 && w + i < STORE; i++) M.wcopy[i] = M.store[w + i];
  }
}

// The trace line, written before the instruction is obeyed. The C/SMO
// column shows the radix register, or the next-instruction modification
// that applies to this instruction: negative ones as the absolute address
// they name, with a star.
int trace_line(char* buf, int sc, int32_t w, int n) {
  int dv = w >> 13;
  char* p = put_dec(buf, sc, 5);
  int k = (w >> 13) & 3;
  p = put_str(p, " ---> ");
  p = put_dec(p, w >> 16, 2);
  *p++ = '/';
  p = put_dec(p, (w >> 15) & 1, 1);
  *p++ = '/';
  p = put_dec(p, k, 1);
  *p++ = ' ';
  p = put_dec(p, n, 5);
  p = put_str(p, " || ");
  p = put_hex(p, (uint32_t)M.a.up, 6);
  *p++ = ' ';
  p = put_hex(p, (uint32_t)M.a.lo, 5);
  p = put_str(p, "   ");
  p = put_hex(p, (uint32_t)M.b.up, 6);
  *p++ = ' ';
  p = put_hex(p, (uint32_t)M.b.lo, 5);
  int m = M.nim;
  if (m == 0) {
    p = put_str(p, "    ");
    p = put_hex(p, (uint32_t)M.radix, 5);
  } else {
    p = put_str(p, "   ");
    p = put_dec(p, m < 0 ? (int)((unsigned)(sc & 0x6000) + (unsigned)m) : m, 5);
    *p++ = m < 0 ? '*' : ' ';
  }
  if (k) {
    *p++ = ' ';
    p = put_dec(p, modreg(k), 5);
  } else {
    p = put_str(p, "      ");
  }
  p = put_str(p, " | ");
  p = put_str(p, dv >= 0 && dv < 256 ? name_of(dv) : "Invalid");
  *p++ = '\n';
  return (int)(p - buf);
}

static void trace(int sc, int32_t w) {
  if (!M.log) return;
  char buf[256];
  size_t n = (size_t)trace_line(buf, sc, w, M.n);
  if (fwrite(buf, 1, n, M.log) != n) lost(M.log);
}

// Decode values that name no operation are passed over; those the machine
// does not provide end the run with the not-implemented report.
static void other(int dv) {
  switch (dv) {
    case 1:
    case 7:
    case 128 ... 131:
    case 133 ... 135:
    case 137 ... 139:
    case 141 ... 143:
    case 185:
    case 199:
    case 234 ... 239: return;
    case 0: ni("HALT");
    case 11: ni("INTERCHANGE AREA ADDRESSES");
    case 64 ... 67: ni("MERGE CONSTANT LENGTH");
    case 68 ... 71: ni("MERGE VARIABLE LENGTH");
    case 72 ... 75: ni("MULTIPLY UNIFORM RADIX");
    case 88 ... 91: ni("MULTIPLY AND SUBTRACT");
    case 76 ... 79:
    case 92 ... 95: ni("Long form");
    case 132: ni("COMPARE");
    case 136: ni("SPECIAL SELECT");
    case 140: ni("SPECIAL COPY");
    case 146: ni("SCALE NUMERATOR");
    case 150: ni("SCALE DENOMINATOR");
    case 152: ni("OUTPUT");
    case 153: ni("INPUT ONE BLOCK/RESET TIMER");
    case 154: ni("RUN BACK *");
    case 155: ni("RUN FORWARD *");
    case 156: ni("STEP BACK *");
    case 157: ni("REWIND *");
    case 158: ni("UNLOAD *");
    case 159: ni("INPUT FIRST WORD */SET");
    case 160 ... 163: ni("ADD FLOATING POINT");
    case 164 ... 167: ni("SUBTRACT FLOATING POINT");
    case 168 ... 171: ni("TRANSFER FLOATING POINT");
    case 172 ... 175: ni("COPY FLOATING POINT");
    case 176 ... 179: ni("MULTIPLY FLOATING POINT");
    case 180 ... 183: ni("DIVIDE FLOATING POINT");
    case 197: ni("SET MODIFICATION GROUP");
    case 200: ni("Stepping mod reg 0");
    case 206: ni("INTERROGATE INDICATORS");
    case 207: ni("CONDITIONAL HALT");
    case 212: ni("TEST ROUTE");
    case 231: ni("CONDENSE");
    case 232: ni("EDIT FOR HOLLERITH OUTPUT");
    case 240 ... 243: ni("TRANSFER DOUBLE LENGTH");
    case 244 ... 247: ni("COPY DOUBLE LENGTH");
    case 248 ... 251: ni("ADD DOUBLE LENGTH");
    case 252 ... 255: ni("SUBTRACT DOUBLE LENGTH");
    default: return;
  }
}

// Obeys the instruction whose decode value is dv (N in M.n, SC advanced).
static void exec(int dv) {
  switch (dv) {
    case 2:
    case 6: op_ldb(dv); break;
    case 3: op_setradix(dv); break;
    case 4: op_copyreg(dv); break;
    case 5: op_replreg(dv); break;
    case 8:
    case 12: op_lookup(dv); break;
    case 9: op_prepcoll(dv); break;
    case 10: op_round(dv); break;
    case 13: op_addlit(dv); break;
    case 14: op_sublit(dv); break;
    case 15: op_sellit(dv); break;
    case 16 ... 31: op_transfer(dv); break;
    case 32 ... 47: op_add(dv); break;
    case 48 ... 55: op_select(dv); break;
    case 56 ... 63: op_augment(dv); break;
    case 80 ... 87: op_muladd(dv); break;
    case 96 ... 103: op_convert(dv); break;
    case 104 ... 111: op_divide(dv); break;
    case 112 ... 119: op_replbits(dv); break;
    case 120 ... 127: op_collate(dv); break;
    case 144:
    case 145:
    case 147 ... 149:
    case 151: op_shift(dv); break;
    case 184:
    case 201 ... 203: op_step(dv); break;
    case 186: op_entermr(dv); break;
    case 187: op_seltag(dv); break;
    case 188 ... 191: op_copytag(dv); break;
    case 192:
    case 193:
    case 195:
    case 198: op_modify(dv); break;
    case 194: op_seldiv(dv); break;
    case 196:
    case 216 ... 223: op_jump(dv); break;
    case 204: op_setind(dv); break;
    case 205: op_clearind(dv); break;
    case 208: op_entersub(dv); break;
    case 209: op_leavesub(dv); break;
    case 210: op_priority(dv); break;
    case 211: op_leavemr(dv); break;
    case 213 ... 215: op_setmod(dv); break;
    case 224:
    case 225:
    case 228:
    case 229: op_bulk(dv); break;
    case 226:
    case 227: op_unpack(dv); break;
    case 230: op_edit(dv); break;
    case 233: op_anelex(dv); break;
    default: other(dv); break;
  }
}

// An interrupt asked the run to stop: it ends here, between instructions,
// with the shell's status for the signal (130 for SIGINT, 143 for SIGTERM).
void interrupted() { fatal_status("Run interrupted", M.sc, 128 + intr); }

// One instruction the full way: limits, watch, the pending modification,
// the trace line. Used whenever the fast path below cannot be.
static void slow_step() {
  if (intr && !hooks.on) interrupted();
  if (M.count == M.event) event();
  if (M.watch >= 0) watch();
  unsigned sc = (unsigned)M.sc;
  if (sc >= (unsigned)STORE) fatal("Bad memory address", M.sc);
  int32_t w = M.store[sc];
  M.instr = w;
  M.n = form_n(sc, w);
  int dv = w >> 13;
  if (M.verbosity > 5) trace((int)sc, w);
  M.sc = (int)sc + 1;
  M.nim = 0;
  exec(dv);
}

// The fast path obeys its own operations without recording the current
// instruction and N in M. When it stops, settle() records them for the
// instruction obeyed last (word w; -1 when an operation called out of line
// has recorded them itself), so that a report shows what the full cycle
// would have shown. Its address is found from where it left SC: a taken jump
// stays in its own quarter, a skip moved SC by two, anything else by one.
__attribute__((cold, noinline)) static void settle(unsigned sc, int32_t w) {
  if (w < 0) return;
  bool a_zero = (M.a.up | M.a.lo) == 0;
  unsigned at;
  switch (w >> 13) {
    case 196: at = sc; break;
    case 216: at = a_zero ? sc : sc - 1; break;
    case 217: at = a_zero ? sc - 1 : sc; break;
    case 201:
    case 202:
    case 203: {
      int k = (w >> 13) & 3;
      bool skip = (((uint32_t)M.store[9 + 2 * k] - (uint32_t)M.store[8 + 2 * k]) & 0x7FFF) == 0;
      at = skip ? sc - 2 : sc - 1;
      break;
    }
    default: at = sc - 1; break;  // ADD
  }
  M.instr = w;
  M.n = (int)((at & 0x6000) + (w & 0x1FFF));
}

// The fast path: obeys instructions with SC and the count in locals and the
// commonest operations in line, while no trace, watch or next-instruction
// modification is active. It returns, with SC and the count back in M, when
// the count reaches `stop` (the next limit or trace start, or the very next
// instruction once a trace, watch or modification becomes active) or SC
// leaves the store; that instruction is then begun by slow_step(). Every
// other operation is called with the machine state in M.
template <bool BP>
__attribute__((noinline)) static void fast(long long cap) {
  // Threaded dispatch: each in-line operation ends by fetching and
  // dispatching the next instruction through this table of labels.
  static void* tab[256];
  if (!tab[0]) {
    for (auto& t : tab) t = &&other;
    tab[196] = &&jump;
    tab[216] = &&jump_a_zero;
    tab[217] = &&jump_a_nonzero;
    tab[201] = &&step1;
    tab[202] = &&step2;
    tab[203] = &&step3;
    tab[32] = &&add0;
    tab[33] = tab[34] = tab[35] = &&add_mod;
    tab[36] = tab[37] = tab[38] = tab[39] = &&add_long;
  }
  // Above verbosity 3 the jumps write a trace message: obey them in full.
  bool quiet = M.verbosity <= 3;
  tab[196] = quiet ? &&jump : &&other;
  tab[216] = quiet ? &&jump_a_zero : &&other;
  tab[217] = quiet ? &&jump_a_nonzero : &&other;
  // `left` counts down to `stop`, the count at which the fast path must
  // leave; the count of the instruction in hand is stop - left.
  unsigned sc = (unsigned)M.sc;
  if (sc >= (unsigned)STORE) return;
  // Besides the events, it leaves every CHUNK instructions, so that an
  // interrupt is seen within a fraction of a millisecond at no cost per
  // instruction.
  long long stop = M.count + 1;
  if (!M.slow && !M.nim)
    stop = M.event > M.count ? std::min(M.event, M.count + CHUNK) : M.count + CHUNK;
  stop = std::min(stop, cap);
  long long left = stop - M.count;
  uint32_t radix = (uint32_t)M.radix, uradix = (uint32_t)M.uradix;
  int32_t* const store = M.store;
  int32_t w = -1, f, v, dlo, dup;
  int dv;

// Fetch and dispatch the instruction at sc; sc still names it while its
// operation runs, which advances sc itself. The word is w once dispatched:
// until then w is still that of the instruction obeyed before.
#define NEXT()                         \
  do {                                 \
    if (--left == 0) goto out;         \
    if (BP && hooks.brk[sc]) goto out; \
    f = store[sc];                     \
    dv = f >> 13;                      \
    if ((unsigned)dv > 255) goto odd;  \
    w = f;                             \
    goto* tab[dv];                     \
  } while (0)

// STEP ON AND TEST on modifier register k (the modification group is fixed
// at 8: registers 10, 12 and 14, their limits in 11, 13 and 15); the next
// instruction is skipped when the register reaches its limit.
#define STEP(k)                                                              \
  do {                                                                       \
    int amount = w & 0x1FFF;                                                 \
    if (amount > 0xFFF) amount = 0x1000 - amount;                            \
    int32_t nv = (int32_t)((uint32_t)store[8 + 2 * k] + (uint32_t)amount);   \
    store[8 + 2 * k] = nv;                                                   \
    sc += ((((uint32_t)store[9 + 2 * k] - (uint32_t)nv) & 0x7FFF) == 0) + 1; \
    NEXT();                                                                  \
  } while (0)

  NEXT();
jump_a_zero:
  if ((M.a.up | M.a.lo) == 0) goto jump;
  sc++;
  NEXT();
jump_a_nonzero:
  if ((M.a.up | M.a.lo) != 0) goto jump;
  sc++;
  NEXT();
jump:
  sc = (sc & 0x6000) + (w & 0x1FFF);
  NEXT();
// ADD (N) TO (A): the operand into D (short: its sign bit alone as the upper
// half; long at an even address: the next word), D to complement form, then
// A = A + D with the carry out of the lower halves going into D's upper half.
add0:  // short, no modifier
  v = store[(sc & 0x6000) | (w & 0x1FFF)];
  goto add_short;
add_mod:  // short, modifier 1-3
  v = store[((sc & 0x6000) + (w & 0x1FFF) + (uint32_t)store[8 + 2 * (dv & 3)]) & 0x7FFF];
add_short:
  dlo = v & MASK20;
  dup = v & SIGN;
  goto add_d;
add_long : {  // long, modifier 0-3
  unsigned k = (unsigned)dv & 3;
  unsigned a = ((sc & 0x6000) + (w & 0x1FFF) + (k ? (uint32_t)store[8 + 2 * k] : 0)) & 0x7FFF;
  if (a & 1) goto other;  // an alpha number
  dlo = store[a] & MASK20;
  dup = store[a + 1];
}
add_d : {
  Reg& d = M.d;
  d.lo = dlo;
  d.up = dup;
  if (dup & SIGN) {
    complement();
    dlo = d.lo;
    dup = d.up;
  }
  int32_t lo = radix_add_raw(M.a.lo, dlo, radix);
  if (lo > MASK20) {
    dup = d.up = radix_add_raw(dup, 1, uradix);
    lo &= MASK20;
  }
  M.a.lo = lo;
  // Adding an upper half of 0 leaves the digits as they are.
  M.a.up = dup ? radix_add_raw(M.a.up, dup, uradix) : M.a.up & MASK21;
  sc++;
  NEXT();
}
step1:
  STEP(1);
step2:
  STEP(2);
step3:
  STEP(3);
odd:  // a word beyond 21 bits, or a guard word past the store
  // SC ran off the top after an operation obeyed in line (the fast path
  // leaves before SC reaches the top after any other): w is its word.
  if (sc >= (unsigned)STORE) goto out;
  w = f;
other:
  M.sc = (int)sc + 1;
  M.count = stop - left;
  M.instr = w;
  M.n = (int)((sc & 0x6000) + (w & 0x1FFF));
  exec(dv);
  w = -1;  // M holds this instruction's word and N
  sc = (unsigned)M.sc;
  radix = (uint32_t)M.radix;
  uradix = (uint32_t)M.uradix;
  // Leave before the next instruction when a trace, watch or modification
  // is now active, or SC is near the top.
  if (M.nim || M.slow || sc >= (unsigned)STORE - 2) {
    stop = stop - left + 1;
    left = 1;
  }
  NEXT();
out:
  M.count = stop - left - 1;
  M.sc = (int)sc;
  settle(sc, w);
#undef NEXT
#undef STEP
}

// The cycle: the fast path while it can, one full step when it cannot.
[[noreturn]] void run() {
  begin();
  for (;;) {
    fast<false>(LLONG_MAX);
    M.count++;
    slow_step();
  }
}

void begin() {
  M.count = 0;
  M.sc = M.entry;
  if (M.verbosity > 5) header(1);
  recheck();
}

Hooks hooks;

// Compares the console's watched words with its copy; true on a change,
// which the copy then takes. Each watch that changed gives one hit.
static bool watch_hit() {
  hooks.hits.clear();
  for (size_t k = 0; k < hooks.watches.size(); k++) {
    const Watch& w = hooks.watches[k];
    for (size_t i = 0; i < w.copy.size(); i++) {
      int32_t v = M.store[w.addr + i];
      if (v != w.copy[i]) {
        hooks.hits.push_back({(int)k, w.addr + (int)i, w.copy[i], v});
        break;
      }
    }
  }
  if (hooks.hits.empty()) return false;
  for (auto& w : hooks.watches)
    for (size_t i = 0; i < w.copy.size(); i++) w.copy[i] = M.store[w.addr + i];
  return true;
}

Stop go(long long n) {
  long long end = n < 0 ? LLONG_MAX : M.count + n;
  try {
    for (bool first = true;; first = false) {
      // The instruction the console stopped at is obeyed before breakpoints
      // are looked at again; after it, the fast path runs to the next stop.
      if (!first) {
        long long cap = end == LLONG_MAX ? LLONG_MAX : end + 1;
        if (hooks.nbrk)
          fast<true>(cap);
        else
          fast<false>(cap);
      }
      if (M.count >= end) return STEPPED;
      if (intr) {
        if (intr == SIGTERM) {  // SIGTERM ends the run, as without a console
          M.count++;
          interrupted();
        }
        intr = 0;
        return INTERRUPTED;
      }
      if (!first && at_break()) return BROKE;
      hooks.last = M.sc;
      M.count++;
      slow_step();
      if (!hooks.watches.empty() && watch_hit()) return WATCHED;
    }
  } catch (const Unanswered&) {
    return UNANSWERED;
  }
}
