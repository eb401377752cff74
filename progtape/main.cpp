// progtape [switches] tape-image [map-file]: the program tape analyser.
#include <cstdio>

#include "about.h"
#include "progtape.h"

static const char help[] =
    "usage: progtape [switches] tape-image [map-file]\n"
    "Surveys a program tape image and writes its loading map, a program file\n"
    "for emulator. Survey messages go to standard output; so does the map when\n"
    "no map file is named (it is then no valid program file).\n"
    "\n"
    "Switches come before the tape image:\n"
    "  -v     more messages (-vN sets the level)\n"
    "  -bN    base address of the next chapter: the first -b sets chapter 1,\n"
    "         the next chapter 2, up to 14 (default 8192 x chapter)\n"
    "  -q     short program word lines (A/C/B M only)\n"
    "  --help, --version\n"
    "Other switches are ignored.\n"
    "\n"
    "Exit status: 0; 1 when the image or the map cannot be opened or written,\n"
    "or the tape cannot be mapped. See progtape(1) and zelk(5).\n";

int main(int argc, char** argv) {
  int rc = about(argc, argv, "progtape", help);
  return rc >= 0 ? rc : progtape::run(argc, argv, stdout, stderr);
}
