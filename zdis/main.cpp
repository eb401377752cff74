// zdis [-o SOURCE] PROGRAM: the disassembler.
#include <cstdio>
#include <string>

#include "about.h"
#include "dis.h"
#include "outfile.h"

static const char help[] =
    "usage: zdis [-o SOURCE] PROGRAM\n"
    "Writes the program file (or loading map, or listing) PROGRAM as zasm source\n"
    "that assembles back to the same store words, tags, entry, chapter 0 address\n"
    "and overlays: instructions where the flow of control from the entry reaches,\n"
    "text and long words where the program evidently holds them, labels for every\n"
    "address an instruction names.\n"
    "\n"
    "  -o SOURCE   the source (default: standard output)\n"
    "  --help, --version\n"
    "\n"
    "Exit status: 0; 1 when the program cannot be read, when the emulator's\n"
    "loader would refuse it, or when the source cannot be written. See zdis(1).\n";

static int usage() {
  std::fprintf(stderr, "usage: zdis [-o SOURCE] PROGRAM\n");
  return 1;
}

int main(int argc, char** argv) {
  if (int rc = about(argc, argv, "zdis", help); rc >= 0) return rc;
  std::string out = "-";
  int i = 1;
  for (; i < argc && argv[i][0] == '-' && argv[i][1]; i++) {
    if (argv[i][1] != 'o') return usage();
    const char* v = argv[i][2] ? argv[i] + 2 : i + 1 < argc ? argv[++i] : nullptr;
    if (!v) return usage();
    out = v;
  }
  if (i + 1 != argc) return usage();
  std::string name = argv[i], data;
  if (std::string e = zasm::read_file(name, data); !e.empty()) {
    std::fprintf(stderr, "zdis: %s: %s\n", name.c_str(), e.c_str());
    return 1;
  }
  zdis::Prog p;
  if (std::string e = zdis::read(data, p); !e.empty()) {
    std::fprintf(stderr, "%s:%s\n", name.c_str(), e.c_str());
    return 1;
  }
  if (std::string e = zasm::write_file(out, zdis::source(p, name)); !e.empty()) {
    std::fprintf(stderr, "zdis: %s\n", e.c_str());
    return 1;
  }
  return 0;
}
