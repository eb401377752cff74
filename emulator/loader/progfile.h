// The reading rules of a program file, shared by the loader and the
// disassembler: what each line says, and what the loader accepts.
//
// A file is read line by line, at most 998 characters at a time (a longer
// line is read in pieces, each taken as a line of its own). The first line
// is the title, unless it begins with "<": then the file is a listing, and
// everything up to its second-pass marker line is skipped.
#pragma once

#include <cstdint>

// Reads a leading decimal integer as the C library does (white space, sign,
// digits up to the first non-digit; none gives 0), saturating on overflow.
long long lead(const char* s);

namespace pf {

constexpr int LINE = 999;  // 998 characters and the terminating zero
constexpr int STORE = 32768;

// A first line that makes the file a listing, and the line that ends the
// skipped part of a listing.
bool is_listing(const char* line);
bool is_marker(const char* line);

enum Kind { SKIP, WORD, LOAD, ENTRY, TAG, CHAP0, OVERLAY };

// What one line after the title says.
struct Line {
  Kind kind = SKIP;
  long long a = 0, m = 0;         // WORD: function code and address field as read
  int c = 0, b = 0;               // WORD: the long bit and modifier field characters, less '0'
  long long v = 0;                // LOAD, ENTRY, TAG, CHAP0: the number
  long long n = 0, f = 0, e = 0;  // OVERLAY: number, first and end address
};

Line classify(const char* line);

// A word line the loader stores: fields in range, the load address in the
// store. Its word, (A x 8 + C x 4 + B) x 8192 + M.
bool word_ok(const Line& l, long long addr);
int32_t word_of(const Line& l);

// An overlay line the loader accepts: number 0-14, a stretch inside the store.
bool overlay_ok(const Line& l);

// The entry address an "E" line gives, and the tag a "T" line gives.
int entry_of(long long v);
int tag_of(long long v);

// The number of file entries of chapter 0 at c in the store (0-10), or -1
// when the list runs past the end of the store (the loader refuses that).
int files_of(const int32_t* store, long long c);

}  // namespace pf
