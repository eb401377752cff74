// UNPACK FIXED FIELD DATA (226) and UNPACK VARIABLE FIELD DATA (227): a
// record of alpha long words from N is copied into `buff` and split into
// fields under a table of two-word entries addressed by A's lower half.
//
// Table entry: word 0 bits 0-15 destination; word 1 bits 0-3 character
// count (fixed form, 0 means 16), bit 16 alpha, bit 17 store long, bit 18
// keep the sign (fixed form), bit 19 repeat the entry for each further
// field ended by 0x7D (variable form), bit 20 last entry.
#include "editing.h"

uint8_t buff[BUFF];

constexpr int ALPHA = 0x10000, LONG = 0x20000, KEEPSIGN = 0x40000, REPEAT = 0x80000;

// Copies `len` characters of the record at N into `buff`, then the closing
// codes 0x7E 0x5E 0x7E 0x5E.
static void fill(int len) {
  long long n = M.n;
  for (int i = 0; i < len; i += 5, n += 2) {
    uint32_t lo = (uint32_t)at(n);
    uint32_t up = (uint32_t)at(n + 1);
    buff[i] = (uint8_t)(up >> 12);
    buff[i + 1] = (uint8_t)(up >> 4);
    buff[i + 2] = (uint8_t)((up & 0xF) << 4 | ((lo >> 16) & 0xF));
    buff[i + 3] = (uint8_t)(lo >> 8);
    buff[i + 4] = (uint8_t)lo;
  }
  buff[len] = 0x7E;
  buff[len + 1] = 0x5E;
  buff[len + 2] = 0x7E;
  buff[len + 3] = 0x5E;
}

static void show_buff() {
  const uint8_t* b = buff;
  lg("  buff = %02X %02X %02X %02X %02X %02X %02X %02X %02X %02X - %02X %02X %02X %02X %02X %02X "
     "%02X %02X %02X %02X - %02X %02X %02X %02X %02X %02X %02X %02X %02X %02X\n",
     b[0], b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14],
     b[15], b[16], b[17], b[18], b[19], b[20], b[21], b[22], b[23], b[24], b[25], b[26], b[27],
     b[28], b[29]);
  char c[30];
  for (int i = 0; i < 30; i++) c[i] = m2h[b[i]];
  lg("  buff =  %c  %c  %c  %c  %c  %c  %c  %c  %c  %c -  %c  %c  %c  %c  %c  %c  %c  %c  %c  %c "
     "-  %c  %c  %c  %c  %c  %c  %c  %c  %c  %c\n",
     c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7], c[8], c[9], c[10], c[11], c[12], c[13], c[14],
     c[15], c[16], c[17], c[18], c[19], c[20], c[21], c[22], c[23], c[24], c[25], c[26], c[27],
     c[28], c[29]);
}

// Shifts a character (8 bits) or a digit (4 bits) into A from the right.
static void take(int k, int c) {
  shl(M.a, k);
  M.a.lo |= c & ((1 << k) - 1);
}

// Stores the field in A at `dest`: long as (lower half, upper half with the
// sign), short as the lower half with the sign. Both words are checked
// before either is written.
static void put_field(long long dest, bool lng, int sign) {
  int32_t& lo = at(dest);
  if (lng) {
    int32_t& up = at(dest + 1);
    lo = M.a.lo;
    up = M.a.up | sign;
  } else {
    lo = M.a.lo | sign;
  }
}

static void unpack_fixed() {
  int pos = 0;
  long long t = M.a.lo;
  while (!(M.d.up & SIGN)) {
    M.d.lo = at(t);
    M.d.up = at(t + 1);
    t += 2;
    M.a = Reg{};
    int sign = 0, last = 0;
    int count = M.d.up & 0xF;
    if (count == 0) count = 16;
    int dest = M.d.lo & 0xFFFF;
    if (pos + count > BUFF) ni("UNPACK FIXED FIELD DATA record too long");
    if (talk()) lg("  Hope to unpack %d chars into %d -", count, dest);
    if (M.d.up & ALPHA) {
      if (talk()) lg(" alpha");
      for (int i = 0; i < count; i++) take(8, buff[pos++]);
      M.d.up |= ALPHA | LONG;  // an alpha field is always stored long
    } else {
      if (talk()) lg(" numeric");
      for (int i = 0; i < count; i++) {
        int c = buff[pos++];
        int zone = (c >> 4) & 3;
        // Zones 1 and 2 carry the sign on a leading character, else they
        // make the digit 10 or 11.
        if (zone == 1 || zone == 2) {
          if ((M.a.up | M.a.lo) == 0)
            sign = SIGN;
          else
            c = 9 + zone;
        }
        take(4, c);
        last = c;
      }
    }
    if (!(M.d.up & KEEPSIGN)) sign = 0;
    bool lng = M.d.up & LONG;
    if (talk()) lg(lng ? " long\n" : " short\n");
    put_field(dest, lng, sign);
    if (talk()) lg("  Stored %06X %05X into %d - terminated by %02X\n", M.a.up, M.a.lo, dest, last);
  }
  M.a = M.b = Reg{};
}

static bool term(int c) { return c == 0x7D || c == 0x5E || c == 0x7E; }

// The variable form reads at most up to the 0x7E that follows the record's
// 100 characters: every field ends at a terminator, and a field that
// overflows steps back over its last character only.
static void unpack_variable() {
  int pos = 0;
  long long t = M.a.lo;
  while (!(M.d.up & SIGN)) {
    M.d.lo = at(t);
    M.d.up = at(t + 1);
    t += 2;
    int last = 0;
    while (!term(last)) {
      int dest = M.d.lo & 0xFFFF;
      if (talk()) lg("  Hope to unpack into %d - %06X %05X\n", dest, M.d.up, M.d.lo);
      M.a = Reg{};
      int sign = 0, room;
      if (M.d.up & ALPHA) {
        room = 5;
        for (;;) {
          last = buff[pos++];
          if (term(last)) break;
          if (room == 0) {
            room = -1;
            break;
          }
          room--;
          take(8, last);
        }
        for (int i = 0; i < room; i++) take(8, 0);
      } else {
        room = 10;
        for (;;) {
          last = buff[pos++];
          if (term(last)) break;
          if (--room < 0) break;
          if ((last & 0x7F) == 0x10) {
            sign = SIGN;  // a minus sign anywhere; it takes no room
            room++;
          } else {
            take(4, last);
          }
        }
        // A minus sign just after the tenth digit is accepted.
        if (room < 0 && (last & 0x7F) == 0x10) {
          sign = SIGN;
          room = 0;
          last = buff[pos++];
        }
      }
      bool lng = M.d.up & LONG;
      put_field(dest, lng, sign);
      if (talk()) {
        int before = pos >= 2 ? buff[pos - 2] : 0;
        if (lng)
          lg("  Stored %06X %05X into %d - terminated by %02X %02X  f = %d\n", M.store[dest + 1],
             M.a.lo, dest, before, last, room);
        else
          lg("  Stored %06X into %d - terminated by %02X %02X  f = %d\n", M.store[dest], dest,
             before, last, room);
      }
      if (room < 0) {
        // The field was longer than a word: the rest goes to the next
        // destination, starting with the character that overflowed.
        pos--;
        M.d.lo = (int32_t)((uint32_t)M.d.lo + 2);
      } else if ((M.d.up & REPEAT) && last == 0x7D) {
        M.d.lo = (int32_t)((uint32_t)M.d.lo + (lng ? 2 : 1));
        last = 0;
      } else if (last == 0x5E || last == 0x7E) {
        M.d.up = SIGN;  // end of record: no further entry is read
      }
    }
  }
  M.b = Reg{};
  M.a.up = 0;
  M.a.lo = (int32_t)(M.n + 2 * (pos / 5));
}

void op_unpack(int dv) {
  bool fixed = dv == 226;
  M.store[1] = M.sc;
  if (talk()) {
    long long n = M.n, t = M.a.lo;
    lg(fixed ? "%5d UNPACK FIXED [%06X %05X] starting at %d using table at %d -- %06X %05X=%d\n"
             : "%5d UNPACK VARIABLE [%06X %05X] starting at %d using table at %d -- %06X %05X=%d\n",
       here(), peek(n + 1), peek(n), M.n, M.a.lo, peek(t + 1), peek(t), peek(t) & 0xFFFF);
  }
  fill(fixed ? 300 : 100);
  if (talk()) show_buff();
  M.d.up = 0;
  if (fixed)
    unpack_fixed();
  else
    unpack_variable();
}
