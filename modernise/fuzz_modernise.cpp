// Fuzz target: arbitrary bytes as a listing and, split off by the first two
// bytes, as an image map, through the conversion into /dev/null.
// Byte 0: bits 0-3 pick the annotation mode (0-7, 8, 16 and others), bit 4
// reads a map, bit 5 sets https, bit 6 gives an own image base.
// Byte 1: where the map ends, as a share of the rest (0-255 of 256).
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "modernise.h"

static FILE* open(const uint8_t* p, size_t n) {
  if (n == 0) return std::fopen("/dev/null", "r");
  return fmemopen(const_cast<uint8_t*>(p), n, "r");
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const int modes[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 16, 24, -1, -8, 2147483647};
  static FILE* sink = std::fopen("/dev/null", "w");
  if (size < 2 || !sink) return 0;
  uint8_t opt = data[0];
  size_t rest = size - 2;
  size_t cut = opt & 16 ? rest * data[1] / 256 : 0;
  const uint8_t* p = data + 2;
  Setup s;
  s.mode = modes[opt & 15];
  s.https = opt & 32;
  if (opt & 64) {
    s.ownbase = true;
    s.base = "file:///scans";
  }
  if (opt & 16) {
    FILE* m = open(p, cut);
    if (m) {
      readmap(m, s.map);
      std::fclose(m);
    }
  }
  FILE* in = open(p + cut, rest - cut);
  if (!in) return 0;
  convert(in, sink, s);
  std::fclose(in);
  return 0;
}
