// mktape DESCRIPTION IMAGE: builds a program tape image from a text
// description.
//
// The description is read line by line. "#" starts a comment (except inside
// a quoted text); blank lines are ignored. Numbers are decimal, or
// hexadecimal when written 0x....
//
// The program as a whole:
//   id N                   program ID, written in the ID block and every CHAPT block
//   index N                index number of the INDEX block (default 1)
//   marker off             no INDEX, program ID and PASS3 marker blocks
//   pass3 off              the marker blocks do not carry PASS3
//   fp N, mr N, priority N the allocation's FP, MR and priority
//   w38 N, w40 N           the allocation words that chapter 0 words 12 and 13 take
//   chapters TOTAL INITIAL total and initial chapters (default: the highest
//                          chapter number, all of them initial)
//   entry CHAPTER ADDRESS  entry chapter and address within it
//   size CHAPTER WORDS     size of an initial chapter (default: the words it loads)
//   file NAME TYPE CHAPTER ANNEX LENGTH
//                          the next file (route 9, 18, ...): two-character name,
//                          device type, annex chapter, address in it and length
//   area CHAPTER ADDRESS LENGTH
//                          the next transit area (pseudo-route 8, 17, ...)
//
// Chapters, in the order they stand on the tape:
//   chapter N              the words that follow belong to chapter N; the
//                          first word of an ordinary chapter must be 0
//   chapter N extra V [p=P]
//                          chapter N holds chapter 0 (140 words from its base);
//                          its own words start at position V - 1 with the
//                          word V itself (parameter P), the next lines follow
//   at POSITION            zero words up to this position in the chapter
//   A/C/B M [p=P]          an instruction word: function code, long bit,
//                          modifier field, address field
//   word VALUE [p=P]       a word given as a number (bit 20 is the sign)
//   text "CHARACTERS"      machine characters, five to a long word (blanks
//                          added), lower half first
//   open                   the chapter has no end marker
//
// P, the parameter that relocates a word, is a number or one of:
//   base:C addr:C          base of chapter C, its address within the quarter
//   route:A                route of file A (files counted from 0)
//   pseudo:J pointer:J     pseudo-route of transit area J, its pointer location
//   mod mod1 mod2 mod3     modification group base, modifier registers 1-3
//   group4 alarm unload overlay comment
//                          ENTER MASTER ROUTINE 0 to 4, 5 or 154, ENTER
//                          PRIORITY CONTROL 0 to 1 or 2
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "about.h"
#include "builder.h"

static const char help[] =
    "usage: mktape description tape-image\n"
    "Builds a synthetic program tape image from a text description: the\n"
    "allocation, files, transit areas and chapters with their words. The\n"
    "description's lines are listed in zelk(5).\n"
    "\n"
    "  --help, --version\n"
    "\n"
    "Exit status: 0; 1 when the description cannot be read or is not\n"
    "understood (the message names the line), or the image cannot be written.\n"
    "See mktape(1).\n";

int main(int argc, char** argv) {
  if (int rc = about(argc, argv, "mktape", help); rc >= 0) return rc;
  if (argc != 3) {
    std::fprintf(stderr, "usage: mktape description tape-image\n");
    return 1;
  }
  FILE* in = std::fopen(argv[1], "r");
  std::string text;
  if (in) {
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, in)) > 0;) text.append(buf, n);
  }
  if (!in || std::ferror(in)) {
    std::fprintf(stderr, "%s: %s\n", argv[1], std::strerror(errno));
    if (in) std::fclose(in);
    return 1;
  }
  std::fclose(in);
  tb::Program p;
  std::string error;
  if (!tb::parse(text, p, error)) {
    std::fprintf(stderr, "%s: %s\n", argv[1], error.c_str());
    return 1;
  }
  if (!tb::write(argv[2], tb::blocks(p))) {
    std::fprintf(stderr, "%s: %s\n", argv[2], std::strerror(errno));
    return 1;
  }
  return 0;
}
