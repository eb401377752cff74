// Fuzz target: arbitrary bytes as a tape image, moved over by a fixed script
// of forward, backward and tool reads, step backs and writes, with a scratch
// store. Build by hand with clang++ -fsanitize=fuzzer,address,undefined.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "tape.h"

namespace {

enum Op { READ, BACK, STEP, BUF, WRITE, CLOSE };

struct Step {
  Op op;
  int t;  // transit address, or capacity for BUF
};

// Transit addresses near both ends of the store, and one outside it.
const Step SCRIPT[] = {
    {READ, 0},     {READ, 32700}, {BACK, 140},   {STEP, 140},   {READ, 1000}, {BUF, 64},
    {BACK, 32767}, {READ, 30000}, {STEP, 32767}, {STEP, 0},     {READ, 140},  {BUF, 2047},
    {BUF, 1},      {READ, 32767}, {BACK, 0},     {BACK, 31000}, {STEP, -1},   {READ, -5},
    {WRITE, 500},  {READ, 2000},  {STEP, 2000},  {CLOSE, 0},    {BACK, 500},  {STEP, 500},
};

int32_t store[tape::STORE];
int32_t buf[tape::MAXBLK];

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  int fd = memfd_create("tape", 0);
  if (fd < 0) return 0;
  if (size > 0 && write(fd, data, size) != (ssize_t)size) {
    close(fd);
    return 0;
  }
  lseek(fd, 0, SEEK_SET);
  std::memset(store, 0, sizeof store);
  tape::Pos p;
  for (int round = 0; round < 4; round++) {
    for (const Step& s : SCRIPT) {
      int n = 0, g = 0;
      tape::Err e = tape::OK;
      switch (s.op) {
        case READ:
          if (p.pending) {
            p.pending = 0;
            tape::step_back(fd, p, store, 140);
          }
          e = tape::read(fd, p, store, s.t, &n);
          if (e == tape::OK) {
            if (n < 0 || n > tape::MAXBLK) abort();
            tape::zones(store, s.t, n);
            int32_t lo, up;
            tape::key(store[s.t], s.t + 1 < tape::STORE ? store[s.t + 1] : 0, &lo, &up);
            if (lo < 0 || lo > 0xFFFFF) abort();
          }
          break;
        case BACK: e = tape::read_back(fd, p, store, s.t); break;
        case STEP: e = tape::step_back(fd, p, store, s.t); break;
        case BUF:
          n = tape::read_buf(fd, buf, s.t);
          if (n < -1 || n > tape::MAXBLK) abort();
          break;
        case WRITE:
          for (int i = 4; i < 10; i++) store[s.t + i] = i;
          store[s.t + 10] = 126;
          e = tape::number(p, store, s.t);
          if (e == tape::OK) e = tape::find_end(store, s.t, &g);
          if (e == tape::OK) e = tape::put(fd, p, store, s.t, g);
          if (e != tape::OK) abort();  // the block at 500 always fits
          break;
        case CLOSE: e = tape::close_block(fd, p, store); break;
      }
      if (tape::text(e) == nullptr) abort();
    }
  }
  close(fd);
  return 0;
}
