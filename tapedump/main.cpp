// tapedump IMAGE: print every block of a tape image.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "dump.h"
#include "tape.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: tapedump IMAGE\n");
    return 2;
  }
  int fd = tape::open_view(argv[1]);
  if (fd < 0) {
    std::fprintf(stderr, "%s: %s\n", argv[1], std::strerror(errno));
    return 1;
  }
  int rc = dump::dump(fd, argv[1], stdout, stderr);
  close(fd);
  if (std::fflush(stdout) != 0 || rc < 0) {
    std::fprintf(stderr, "tapedump: write error: %s\n", std::strerror(errno));
    return 1;
  }
  return rc;
}
