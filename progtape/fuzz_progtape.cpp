// Fuzz target: arbitrary bytes as a program tape image, through the survey
// and the loading pass, with the messages and the map going to /dev/null.
// Build by hand (not part of the CMake build):
//   clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined \
//     -Iprogtape -Itapeimage progtape/fuzz_progtape.cpp progtape/progtape.cpp \
//     tapeimage/tape.cpp -o fuzz_progtape
// Tapes made by mktape make a good seed corpus: the survey only reaches the
// file details 39 blocks after the allocation block.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>

#include "progtape.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static FILE* null = std::fopen("/dev/null", "w");
  int fd = memfd_create("tape", 0);
  if (fd < 0 || !null) return 0;
  if (size > 0 && write(fd, data, size) != (ssize_t)size) {
    close(fd);
    return 0;
  }
  lseek(fd, 0, SEEK_SET);
  progtape::State s;
  s.verbosity = 1;     // every message path
  s.quick = size & 1;  // both word line forms
  progtape::analyse(s, fd, null, null);
  close(fd);
  return 0;
}
