// Tape images: host files standing for reels of magnetic tape.
//
// An image is a chain of blocks of 32-bit little-endian words. Each block is
// one header word (bits 0-10: size, bits 11-31: size of the block before)
// followed by `size` data words. The primitives here move over one open image
// with its position state; they know nothing of routes or of the emulator's
// machine, and take the store (or any word buffer) and the transit address
// as arguments. Failures are returned as codes: the caller turns them into
// its own report (the emulator's fatal report, a message in the tools).
#pragma once

#include <cstdint>

namespace tape {

constexpr int STORE = 32768;  // words in the target machine's store
constexpr int MAXBLK = 2047;  // largest size field

// Position state of one open image.
struct Pos {
  int last = 0;     // size of the block that ends at the file position
  int count = 7;    // block count, for numbering written blocks
  int pending = 0;  // last move was a backward read
};

enum Err {
  OK = 0,
  END,         // "Read off end of tape"
  OVERSIZE,    // "Oversize MT block"
  WRITE,       // "MT write error" (errno holds the host error)
  BACK_START,  // "Read backwards at start of tape"
  STEP_START,  // "Step backwards at start of tape"
  SEEK_READ,   // "lseek error report on backread" (errno set)
  SEEK_STEP,   // "lseek error report on backstep" (errno set)
  RANGE,       // transit area leaves the store: "Bad memory address"
};

// The fixed text of an error code, as the emulator reports it.
const char* text(Err e);

// Header word fields.
inline int size_of(int32_t h) { return h & 0x7FF; }
inline int prev_of(int32_t h) { return h >> 11; }

// Every write to an image goes through this function: all n bytes at the
// current position, false with errno set on failure. A program may point it
// at its own writer (the emulator does, so that every write to a host file
// passes one place); the default writes straight to the descriptor.
using Writer = bool (*)(int fd, const void* b, long n);
extern Writer writer;
bool write_all(int fd, const void* b, long n);

// Open an existing image for reading (read-write, no create, no truncate),
// or create/truncate one for writing with mode 0640. Return the descriptor,
// or -1 with errno set. The caller resets its Pos (open_write: count 7).
int open_read(const char* name);
int open_write(const char* name);
// Open an image only to look at it (progtape, tapedump): read-only, and a
// directory is refused with EISDIR. -1 with errno set on failure.
int open_view(const char* name);

// Read forwards: the next block into store[t...]. The header is read into
// store[t] first and overwritten by the data; a header read of 1 to 3 bytes
// counts as a header. *size receives the size. END at the end of the file,
// whatever t is: the header is read first. RANGE when store[t .. t+size-1]
// (or t itself) leaves the store: nothing is read into the store and the
// file position stays before the header. A
// short block leaves the store words it did not reach as they were.
Err read(int fd, Pos& p, int32_t* store, int t, int* size);

// Writing a block is three steps, so that the caller can log between them:
// number() increases the count and writes the block number to t, t+1 and
// zeros to t+2, t+3; find_end() searches t+4 .. t+1999 for the end-of-data
// word 126 and gives its offset g; put() writes the header and words
// t .. t+g+1 in one write and updates the position state.
// number() returns RANGE, and changes nothing, when the block that would be
// written (or the search for its end) leaves the store; after it succeeds,
// find_end() gives OK or OVERSIZE, and t .. t+g+1 lie in the store (the
// caller checks any further words it logs). put() returns WRITE with errno
// set when the host write fails; it never shortens the file.
Err number(Pos& p, int32_t* store, int t);
Err find_end(const int32_t* store, int t, int* g);
Err put(int fd, Pos& p, const int32_t* store, int t, int g);

// Read backwards the block that ends at the file position into store[t...]
// (its data, without the header) and set pending. BACK_START when the last
// block size is 0; SEEK_READ (errno set) when the position cannot move back
// over it, including a negative size from a damaged header; RANGE when the
// block does not fit in the store (checked before any move).
Err read_back(int fd, Pos& p, int32_t* store, int t);

// Step back over the block that ends at the file position, using store[t]
// as scratch for its header: last becomes its previous size, pending is
// cleared and count decreases. STEP_START, SEEK_STEP and RANGE as above.
Err step_back(int fd, Pos& p, int32_t* store, int t);

// Append the closing block (count increased and encoded into store 140/141,
// then the FINIS words), 8 data words; last becomes 8. WRITE on failure.
// The caller logs "Terminated" and sets the route's mode.
Err close_block(int fd, Pos& p, int32_t* store);

// Give every non-zero-digit character of the block at t the zone bit 0x40.
// When size is odd the word just after the block is the upper half of the
// last pair; a word outside the store never takes part.
void zones(int32_t* store, int t, int size);

// The alpha long word whose lower half is lo and upper half up, read as a
// signed five-digit number: *lo_out = digits, *up_out = 0 or 0x100000.
void key(int32_t lo, int32_t up, int32_t* d_lo, int32_t* d_up);

// Marker block: its data word at offset 4 holds the marker characters.
inline bool marker(int32_t w4) { return ((w4 ^ 0xF6F6F) & 0xF3F3F) == 0; }

// Encode n as a five-character block number: lower half, upper half.
void encode(int n, int32_t* lo, int32_t* up);

// Forward reading for the tools: read the next header and min(size, cap)
// data words into buf (header into buf[0] first; cap >= 1); words beyond cap
// are skipped, so the next call reads the next header. Returns the size
// field, or -1 at the end of the file or on a read error, with buf unchanged
// (a header read of 1 to 3 bytes counts as a header). A short data read
// leaves the rest of buf as it was. *hdr, when given, receives the header.
// *got, when given, receives what the reads met, so that a caller can tell a
// whole block from one cut short by the end of the file or a host error.
struct Got {
  int head = 0;   // bytes of the header read: 4, or 1-3 when cut short
  long data = 0;  // bytes of data read: 4 x min(size, cap) when whole
  int err = 0;    // errno of a failed host read, 0 when none failed
};
int read_buf(int fd, int32_t* buf, int cap, int32_t* hdr = nullptr, Got* got = nullptr);

}  // namespace tape
