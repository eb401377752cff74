// mkimage FILE BLOCKS SIZE: writes a tape image of BLOCKS blocks of SIZE
// words laid out as the emulator writes them (block number, two zeros,
// character and numeric data, end-of-data word), for timing the tools.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: mkimage FILE BLOCKS SIZE\n");
    return 2;
  }
  long blocks = std::atol(argv[2]);
  int size = std::atoi(argv[3]);
  if (size < 6 || size > 2001) {
    std::fprintf(stderr, "mkimage: SIZE must be 6 to 2001\n");
    return 2;
  }
  FILE* f = std::fopen(argv[1], "wb");
  if (!f) {
    std::perror(argv[1]);
    return 1;
  }
  std::vector<unsigned char> b(4 * (size + 1));
  uint32_t seed = 12345;
  int prev = 0;
  for (long n = 1; n <= blocks; n++) {
    std::vector<uint32_t> w(size + 1);
    w[0] = (uint32_t)prev << 11 | size;
    // Block number as five characters: zone 4 on every non-zero digit.
    uint64_t v = 0;
    long c = n + 7;
    for (int i = 4; i >= 0; i--) {
      int d = (c >> (4 * i)) & 0xF;
      v = v << 8 | (d ? 0x40 + d : 0);
    }
    w[1] = v & 0xFFFFF;
    w[2] = v >> 20;
    for (int i = 4; i < size - 2; i++) {
      seed = seed * 1103515245 + 12345;
      w[i + 1] = (seed >> 8) & 0x1FFFFF;
    }
    w[size - 1] = 126;
    w[size] = 0x7E000;
    for (int i = 0; i <= size; i++) {
      for (int k = 0; k < 4; k++) b[4 * i + k] = (w[i] >> (8 * k)) & 0xFF;
    }
    std::fwrite(b.data(), 1, b.size(), f);
    prev = size;
  }
  return std::fclose(f) == 0 ? 0 : 1;
}
