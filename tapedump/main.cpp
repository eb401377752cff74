// tapedump IMAGE: print every block of a tape image.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "about.h"
#include "dump.h"
#include "tape.h"

static const char help[] =
    "usage: tapedump IMAGE\n"
    "Prints every block of the tape image IMAGE to standard output: its number,\n"
    "size and the size of the block before it, then its words in pairs, five\n"
    "pairs a line, each pair as upper and lower word in hexadecimal followed by\n"
    "the five characters it spells.\n"
    "\n"
    "  --help, --version\n"
    "\n"
    "Exit status: 0 after the whole image was printed; 1 when the image is\n"
    "damaged (a block cut short, a read error), cannot be opened, or the output\n"
    "cannot be written; 2 when no image is named. See tapedump(1).\n";

int main(int argc, char** argv) {
  if (int rc = about(argc, argv, "tapedump", help); rc >= 0) return rc;
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
