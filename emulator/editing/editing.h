// Shared state and helpers of the data-editing instructions.
#pragma once

#include "ops.h"

// Working character buffer of the unpack and edit instructions: 300
// characters of a record or a print line and four closing codes.
constexpr int BUFF = 304;
extern uint8_t buff[BUFF];

// Address of the instruction being obeyed (SC has already moved on).
inline int here() { return M.sc - 1; }

// The editing messages are written from verbosity level 3 up.
inline bool talk() { return M.verbosity > 2; }

// Word at a for a log line; 0 outside the store. Log lines never end a run:
// the operation's own access reports a bad address.
inline int32_t peek(long long a) { return a >= 0 && a < STORE ? M.store[a] : 0; }

// Shifts a long register left by k bits (4 or 8): the upper half takes the
// top k bits of the lower half, both halves kept to 20 bits.
inline void shl(Reg& r, int k) {
  uint32_t lo = (uint32_t)r.lo & MASK20;
  r.up = (int32_t)((((uint32_t)r.up << k) | (lo >> (20 - k))) & MASK20);
  r.lo = (int32_t)((lo << k) & MASK20);
}
