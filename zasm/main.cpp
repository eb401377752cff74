// zasm [-o OUTPUT] [-l LISTING] [-t] SOURCE: the assembler.
#include <cstdio>
#include <cstring>
#include <string>

#include "about.h"
#include "asm.h"
#include "outfile.h"

static const char help[] =
    "usage: zasm [-o OUTPUT] [-l LISTING] [-t] SOURCE\n"
    "Assembles SOURCE, a program in the machine's mnemonics, into a program file\n"
    "for the emulator (each word line carrying its source, the symbols at the\n"
    "end) or, with -t, into a program tape image for progtape.\n"
    "\n"
    "  -o OUTPUT   the output (default: SOURCE less .asm, plus .txt or .zelk)\n"
    "  -l LISTING  also a listing: addresses, words, source and the symbols\n"
    "  -t          a program tape image\n"
    "  --help, --version\n"
    "\n"
    "Errors are reported as SOURCE:LINE: message; then nothing is written.\n"
    "Exit status: 0; 1 after errors in the source or when a file cannot be read\n"
    "or written. See zasm(1) and zelk(7).\n";

static int usage() {
  std::fprintf(stderr, "usage: zasm [-o OUTPUT] [-l LISTING] [-t] SOURCE\n");
  return 1;
}

int main(int argc, char** argv) {
  if (int rc = about(argc, argv, "zasm", help); rc >= 0) return rc;
  std::string out, list;
  bool tape = false;
  int i = 1;
  for (; i < argc && argv[i][0] == '-' && argv[i][1]; i++) {
    char c = argv[i][1];
    if (c == 't' && !argv[i][2]) {
      tape = true;
    } else if (c == 'o' || c == 'l') {
      const char* v = argv[i][2] ? argv[i] + 2 : i + 1 < argc ? argv[++i] : nullptr;
      if (!v) return usage();
      (c == 'o' ? out : list) = v;
    } else {
      return usage();
    }
  }
  if (i + 1 != argc) return usage();
  std::string source = argv[i], text;
  if (std::string e = zasm::read_file(source, text); !e.empty()) {
    std::fprintf(stderr, "zasm: %s: %s\n", source.c_str(), e.c_str());
    return 1;
  }
  if (out.empty()) {
    out = source;
    if (out.size() > 4 && out.compare(out.size() - 4, 4, ".asm") == 0) out.resize(out.size() - 4);
    out += tape ? ".zelk" : ".txt";
  }
  std::string name = source.substr(source.find_last_of('/') + 1);
  zasm::Output o = zasm::assemble(text, name, tape, !list.empty());
  for (const zasm::Error& e : o.errors) {
    if (e.line)
      std::fprintf(stderr, "%s:%d: %s\n", source.c_str(), e.line, e.msg.c_str());
    else
      std::fprintf(stderr, "%s: %s\n", source.c_str(), e.msg.c_str());
  }
  if (o.dropped) std::fprintf(stderr, "%s: %d more errors not shown\n", source.c_str(), o.dropped);
  if (!o.errors.empty()) return 1;
  for (const auto& [name, data] : {std::pair{out, &o.file}, std::pair{list, &o.listing}}) {
    if (name.empty()) continue;
    if (std::string e = zasm::write_file(name, *data); !e.empty()) {
      std::fprintf(stderr, "zasm: %s\n", e.c_str());
      return 1;
    }
  }
  return 0;
}
