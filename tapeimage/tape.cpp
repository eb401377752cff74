// Tape image primitives over descriptor-level I/O.
//
// Words are assembled from and split into bytes, least significant first,
// so images are the same on any host. A read that falls short fills whole
// words and the low bytes of a partial word and leaves everything after it
// as it was, just as reading the bytes straight into the words would on a
// little-endian host.
#include "tape.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>

namespace tape {

namespace {

constexpr int CHUNK = 2048;    // words moved per host read
constexpr int END_WORD = 126;  // end-of-data character 0x7E as character 4
constexpr int FIRST = 4;       // first offset searched for the end word
constexpr int LIMIT = 2000;    // the search stops here: oversize block

// Closing block words after the block number: five backslash codes, the
// letters FINIS, then end-of-data, three blanks and end-of-data.
constexpr int32_t FINIS[6] = {0xF6F6F, 0x6F6F6, 0x55972, 0x56596, 0x0007E, 0x7E000};

// Read up to n bytes, retrying short reads; -1 only when nothing was read.
// A host error, even after some bytes, leaves its errno in *err when given.
long fill(int fd, unsigned char* b, long n, int* err = nullptr) {
  long got = 0;
  while (got < n) {
    ssize_t r = ::read(fd, b + got, n - got);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0 && err) *err = errno;
    if (r <= 0) return got > 0 ? got : r;
    got += r;
  }
  return got;
}

// Read up to n words into w. Returns the bytes read (0 at the end of the
// file) or -1 on a host error before any byte; *err as for fill().
long get(int fd, int32_t* w, long n, int* err = nullptr) {
  unsigned char b[CHUNK * 4];
  long total = 0;
  while (n > 0) {
    long k = n < CHUNK ? n : CHUNK;
    long r = fill(fd, b, k * 4, err);
    if (r < 0) return total > 0 ? total : -1;
    long full = r / 4;
    for (long i = 0; i < full; i++) {
      const unsigned char* p = b + 4 * i;
      w[i] = (int32_t)((uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 |
                       (uint32_t)p[3] << 24);
    }
    if (r % 4) {
      // Partial word: the bytes read replace its low bytes.
      uint32_t v = (uint32_t)w[full];
      for (long j = 0; j < r % 4; j++) {
        v = (v & ~(0xFFu << (8 * j))) | (uint32_t)b[4 * full + j] << (8 * j);
      }
      w[full] = (int32_t)v;
    }
    total += r;
    if (r < k * 4) break;
    w += k;
    n -= k;
  }
  return total;
}

void put_word(unsigned char* p, int32_t w) {
  uint32_t v = (uint32_t)w;
  p[0] = v & 0xFF;
  p[1] = (v >> 8) & 0xFF;
  p[2] = (v >> 16) & 0xFF;
  p[3] = v >> 24;
}

}  // namespace

// Write all n bytes; a write that makes no progress fails.
bool write_all(int fd, const void* v, long n) {
  const unsigned char* b = (const unsigned char*)v;
  while (n > 0) {
    ssize_t r = ::write(fd, b, n);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return false;
    if (r == 0) {
      errno = ENOSPC;
      return false;
    }
    b += r;
    n -= r;
  }
  return true;
}

Writer writer = write_all;

namespace {

// Header word: previous size in bits 11 up, size in bits 0-10.
int32_t header(int prev, int size) { return (int32_t)(((uint32_t)prev << 11) + (uint32_t)size); }

// The extent of the block that the program has built at t: the end-of-data
// offset g, or OVERSIZE, or RANGE when the block (or the search for its end)
// leaves the store.
Err extent(const int32_t* store, int t, int* g) {
  if (t < 0 || t > STORE - FIRST) return RANGE;
  for (int i = FIRST; i < LIMIT; i++) {
    if (t + i >= STORE) return RANGE;
    if (store[t + i] == END_WORD) {
      if (t + i + 1 >= STORE) return RANGE;
      *g = i;
      return OK;
    }
  }
  return OVERSIZE;
}

// True when the n words from t lie in the store (t itself must, even for n 0).
bool fits(int t, long n) { return t >= 0 && t < STORE && n <= STORE - t; }

}  // namespace

const char* text(Err e) {
  switch (e) {
    case OK: return "";
    case END: return "Read off end of tape";
    case OVERSIZE: return "Oversize MT block";
    case WRITE: return "MT write error";
    case BACK_START: return "Read backwards at start of tape";
    case STEP_START: return "Step backwards at start of tape";
    case SEEK_READ: return "lseek error report on backread";
    case SEEK_STEP: return "lseek error report on backstep";
    case RANGE: return "Bad memory address";
  }
  return "";
}

int open_read(const char* name) { return ::open(name, O_RDWR); }

int open_write(const char* name) { return ::open(name, O_RDWR | O_CREAT | O_TRUNC, 0640); }

int open_view(const char* name) {
  int fd = ::open(name, O_RDONLY);
  struct stat st;
  if (fd >= 0 && fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    errno = EISDIR;
    return -1;
  }
  return fd;
}

Err read(int fd, Pos& p, int32_t* store, int t, int* size) {
  *size = 0;
  int32_t h = fits(t, 1) ? store[t] : 0;
  long r = get(fd, &h, 1);
  if (r <= 0) return END;
  int n = size_of(h);
  if (!fits(t, n) || !fits(t, 1)) {
    ::lseek(fd, -(off_t)r, SEEK_CUR);  // leave the position at the block
    return RANGE;
  }
  store[t] = h;
  get(fd, store + t, n);
  p.last = n;
  *size = n;
  return OK;
}

Err number(Pos& p, int32_t* store, int t) {
  int g;
  if (extent(store, t, &g) == RANGE) return RANGE;
  p.count = (int)((unsigned)p.count + 1);
  encode(p.count, &store[t], &store[t + 1]);
  store[t + 2] = 0;
  store[t + 3] = 0;
  return OK;
}

Err find_end(const int32_t* store, int t, int* g) { return extent(store, t, g); }

Err put(int fd, Pos& p, const int32_t* store, int t, int g) {
  if (g < FIRST || g >= LIMIT) return OVERSIZE;
  int size = g + 2;
  if (!fits(t, size)) return RANGE;
  unsigned char b[4 * (LIMIT + 2)];
  put_word(b, header(p.last, size));
  for (int i = 0; i < size; i++) put_word(b + 4 * (i + 1), store[t + i]);
  if (!writer(fd, b, 4L * (size + 1))) return WRITE;
  p.last = size;
  p.pending = 0;
  return OK;
}

Err read_back(int fd, Pos& p, int32_t* store, int t) {
  int n = p.last;
  if (n == 0) return BACK_START;
  if (n < 0) {
    // Only a damaged header gives a negative previous size.
    errno = EINVAL;
    return SEEK_READ;
  }
  if (!fits(t, n)) return RANGE;
  if (::lseek(fd, -4 * (off_t)n, SEEK_CUR) < 0) return SEEK_READ;
  get(fd, store + t, n);
  p.pending = 1;
  return OK;
}

Err step_back(int fd, Pos& p, int32_t* store, int t) {
  int n = p.last;
  if (n == 0) return STEP_START;
  if (n < 0) {
    errno = EINVAL;
    return SEEK_STEP;
  }
  if (!fits(t, 1)) return RANGE;
  if (::lseek(fd, -4 * (off_t)n - 4, SEEK_CUR) < 0) return SEEK_STEP;
  long r = get(fd, &store[t], 1);
  p.last = prev_of(store[t]);
  p.pending = 0;
  if (r > 0) ::lseek(fd, -(off_t)r, SEEK_CUR);
  p.count = (int)((unsigned)p.count - 1);
  return OK;
}

Err close_block(int fd, Pos& p, int32_t* store) {
  p.count = (int)((unsigned)p.count + 1);
  encode(p.count, &store[140], &store[141]);
  unsigned char b[4 * 9];
  put_word(b, header(p.last, 8));
  put_word(b + 4, store[140]);
  put_word(b + 8, store[141]);
  for (int i = 0; i < 6; i++) put_word(b + 12 + 4 * i, FINIS[i]);
  if (!writer(fd, b, sizeof b)) return WRITE;
  p.last = 8;
  return OK;
}

void zones(int32_t* store, int t, int size) {
  for (long i = 0; i < size; i += 2) {
    long a = (long)t + i;  // lower half
    if (a < 0) continue;
    if (a >= STORE) break;
    int32_t lo = store[a];
    bool up_in = a + 1 < STORE;
    int32_t up = up_in ? store[a + 1] : 0;
    int32_t nlo = lo, nup = up;
    if (up & 0xF000) nup |= 0x40000;
    if (up & 0xF0) nup |= 0x400;
    if (lo & 0xF0000) nup |= 0x4;
    if (lo & 0xF00) nlo |= 0x4000;
    if (lo & 0xF) nlo |= 0x40;
    store[a] = nlo;
    if (up_in) store[a + 1] = nup;
  }
}

void key(int32_t lo, int32_t up, int32_t* d_lo, int32_t* d_up) {
  // Digits of characters 0-4: upper bits 12-15 and 4-7, lower bits 16-19,
  // 8-11 and 0-3.
  *d_lo = ((up >> 12) & 0xF) << 16 | ((up >> 4) & 0xF) << 12 | ((lo >> 16) & 0xF) << 8 |
          ((lo >> 8) & 0xF) << 4 | (lo & 0xF);
  // Zone of character 0 is upper bits 16-19; its two low bits 01 mean minus.
  *d_up = ((up >> 16) & 3) == 1 ? 0x100000 : 0;
}

void encode(int n, int32_t* lo, int32_t* up) {
  uint64_t v = 0;  // the five characters, character 0 first
  for (int i = 4; i >= 0; i--) {
    int d = (n >> (4 * i)) & 0xF;
    v = v << 8 | (d ? 0x40 + d : 0);
  }
  *lo = (int32_t)(v & 0xFFFFF);
  *up = (int32_t)(v >> 20);
}

int read_buf(int fd, int32_t* buf, int cap, int32_t* hdr, Got* got) {
  Got g;
  int32_t h = cap > 0 ? buf[0] : 0;
  long r = get(fd, &h, 1, &g.err);
  if (r <= 0) {
    if (got) *got = g;
    return -1;
  }
  g.head = (int)r;
  if (cap > 0) buf[0] = h;
  if (hdr) *hdr = h;
  int n = size_of(h);
  int m = n < cap ? n : cap;
  r = get(fd, buf, m, &g.err);
  g.data = r > 0 ? r : 0;
  if (got) *got = g;
  if (n > m && r == 4L * m) {
    // Skip the rest of the block so that the next read meets its successor.
    long skip = 4L * (n - m);
    if (::lseek(fd, skip, SEEK_CUR) < 0) {
      unsigned char junk[4 * MAXBLK];
      fill(fd, junk, skip);
    }
  }
  return n;
}

}  // namespace tape
