// The tape dump. Pairs are formatted by hand into one buffer per block and
// written with one call: a large image has millions of pairs, and the
// output is exactly what " %06X %05X %s" would give.
#include "dump.h"

#include <cstring>

#include "tape.h"

namespace dump {

namespace {

// Host characters by six-bit machine code, as the dump's host-to-machine
// table knows them; 0 where no host character maps to the code. "g", the
// pound sign and "#" have no entry; "p" stands at 0x0F.
const char CODES[65] =
    " 123456789te+:.p"
    "-ABCDEFGHI=*'?\n\0"
    "&JKLMNOPQR\0%><h\\"
    "0/STUVWXYZ(),;\0\0";

const char HEX[] = "0123456789ABCDEF";

// v in upper-case hexadecimal, at least w digits, as "%0wX" prints it.
char* hex(char* s, uint32_t v, int w) {
  int n = 8;
  while (n > w && (v >> (4 * (n - 1))) == 0) n--;
  for (int i = n - 1; i >= 0; i--) *s++ = HEX[(v >> (4 * i)) & 15];
  return s;
}

}  // namespace

void table(char m2h[256]) {
  unsigned char h2m[128] = {0};
  for (int c = 0; c < 64; c++) {
    unsigned char ch = (unsigned char)CODES[c];
    if (ch == 0 || ch >= 128) continue;
    // Eight-bit form: the code plus 0x40, but the first code of each row
    // (space, "-", "&", "0") stands as it is.
    h2m[ch] = (c & 0xF) ? c + 0x40 : c;
  }
  for (int i = 0; i < 256; i++) m2h[i] = '!';
  for (int ch = 1; ch < 128; ch++) {
    if (h2m[ch] == 0) continue;
    m2h[h2m[ch]] = (char)ch;
    m2h[h2m[ch] & 0x3F] = (char)ch;
  }
  m2h[0x4F] = 'p';
  m2h[0x5E] = ' ';
  m2h[0x7E] = '#';
  m2h[0] = ' ';
}

void render(const char m2h[256], int32_t u, int32_t l, char* s) {
  int32_t c = u & 0xFFFFF;
  for (int k = 0; k < 5; k++) {
    s[k] = m2h[c >> 12];
    c = (int32_t)(((uint32_t)c << 8 | (uint32_t)(l >> 12)) & 0xFFFFF);
    l = (int32_t)(((uint32_t)l << 8) & 0xFFFFF);
  }
}

int dump(int fd, const char* name, FILE* out, FILE* err) {
  char m2h[256];
  table(m2h);
  std::fprintf(out, "File: %s\n", name);
  // One word past the largest block: the upper half of the last pair of a
  // block of odd size 2047, never read into, so 0.
  int32_t buf[tape::MAXBLK + 1] = {0};
  // A block line, then per pair at most 24 characters, per line 5 more.
  static char text[64 + (tape::MAXBLK + 1) / 2 * 24 + (tape::MAXBLK / 10 + 1) * 5 + 2];
  long blocks = 0;
  tape::Got got;
  auto read_error = [&](long block) {
    std::fprintf(err, "tapedump: %s: block %ld: read error: %s\n", name, block,
                 std::strerror(got.err));
    return std::ferror(out) ? -1 : 1;
  };
  for (;;) {
    int32_t h;
    int size = tape::read_buf(fd, buf, tape::MAXBLK, &h, &got);
    if (size < 0) {
      if (got.err == 0) break;
      return read_error(blocks + 1);
    }
    blocks++;
    char* s = text + std::snprintf(text, 64, "\nBlock %ld,  size = %d (prev = %d)", blocks, size,
                                   tape::prev_of(h));
    for (int i = 0; i < size; i += 2) {
      if (i % 10 == 0) {
        *s++ = '\n';
        s[0] = i >= 1000 ? '0' + i / 1000 : ' ';
        s[1] = i >= 100 ? '0' + i / 100 % 10 : ' ';
        s[2] = i >= 10 ? '0' + i / 10 % 10 : ' ';
        s[3] = '0' + i % 10;
        s += 4;
      }
      *s++ = ' ';
      s = hex(s, (uint32_t)buf[i + 1], 6);
      *s++ = ' ';
      s = hex(s, (uint32_t)buf[i], 5);
      *s++ = ' ';
      render(m2h, buf[i + 1], buf[i], s);
      s += 5;
    }
    *s++ = '\n';
    std::fwrite(text, 1, s - text, out);
    if (std::ferror(out)) return -1;
    // A block not read whole is printed from the buffer as it stands, but it
    // marks the image as damaged and ends the dump.
    if (got.err != 0) return read_error(blocks);
    if (got.head < 4) {
      std::fprintf(err, "tapedump: %s: block %ld cut short: %d of 4 header bytes read\n", name,
                   blocks, got.head);
    } else if (got.data < 4L * size) {
      std::fprintf(err, "tapedump: %s: block %ld cut short: %ld of %d words read\n", name, blocks,
                   got.data / 4, size);
    } else {
      continue;
    }
    return 1;
  }
  return std::ferror(out) ? -1 : 0;
}

}  // namespace dump
