// Fuzz target: arbitrary bytes as a tape image, dumped to /dev/null.
// Build by hand with clang++ -fsanitize=fuzzer,address,undefined.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>

#include "dump.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static FILE* null = std::fopen("/dev/null", "w");
  int fd = memfd_create("image", 0);
  if (fd < 0 || !null) return 0;
  if (size > 0 && write(fd, data, size) != (ssize_t)size) {
    close(fd);
    return 0;
  }
  lseek(fd, 0, SEEK_SET);
  dump::dump(fd, "fuzz", null, null);
  close(fd);
  return 0;
}
