// The program tape analyser: surveys a program tape image and writes its
// loading map, a program file that the emulator loads.
//
// One run makes one forward sweep over the image in two passes. The survey
// reads up to the transit area block: the allocation block, the program ID
// marker, the file details, the chapter bases, the route pointers and
// chapter 0. The loading pass goes on from there and writes the map:
// parameters, route and pseudo-route pointers, every program word relocated
// by its parameter, overlay lines and the entry line.
#pragma once

#include <cstdint>
#include <cstdio>

namespace progtape {

constexpr int BUF = 64;           // words of the block buffer
constexpr int CHAPS = 15;         // chapters 0-14
constexpr int CHAP0 = 140;        // words of chapter 0
constexpr int PARAMS = 42;        // parameters that chapter 0 can hold (words 98-139)
constexpr int ROUTES = 256;       // route pointer table: store locations 64-319
constexpr int32_t END = 0xF0000;  // parameter that ends a chapter

// Everything one run knows. A run starts from a fresh State.
struct State {
  // Switches.
  int verbosity = 0;
  bool quick = false;  // -q: short word lines
  int nb = 0;          // -b options taken

  // Image and streams.
  int fd = -1;
  const char* name = "tape";  // the image's name, for a host read error
  FILE* out = nullptr;        // survey and progress messages
  FILE* map = nullptr;        // the loading map
  FILE* err = nullptr;        // host errors (out when not set)

  // Block buffer: the last block read, words it did not fill are 0.
  int32_t buf[BUF] = {};
  int size = 0;   // size field of the last block read at the top of a pass
  int block = 0;  // blocks counted at the top of the pass loops

  // From the allocation block.
  int base[CHAPS] = {};
  int total = 2, initial = 2, files = 2, areas = 2;
  int details = -1;  // block number of the file details block
  int entry_chap = 0, entry_addr = 0;
  int progid = 0;
  bool pass3 = false;  // the PASS3 marker was found

  int32_t routes[ROUTES] = {};  // route pointer words, word i for location 64 + i
  int32_t chap0[CHAP0] = {};

  // Loading pass.
  int n = 0;  // highest parameter number
  int32_t param[PARAMS] = {};
  long long loc = -99;  // next store address; negative: content blocks skipped
  int cur = -1;         // chapter of the last CHAPT block, -1 before the first
  bool first = false;   // the current chapter's first content block is still to come
  long long hwm[CHAPS] = {};

  State() {
    for (int c = 0; c < CHAPS; c++) base[c] = 8192 * c;
  }
};

// The whole program: command line in argv (argv[0] the program name),
// messages on out, host errors and the usage line on err. Returns the exit
// status: 0, or 1 after a failure (reported, never silent).
int run(int argc, char** argv, FILE* out, FILE* err);

// Both passes over the open image fd, switches already in s. Messages go
// to out, the map to map (which may be out). Returns 0, or 1 when the tape
// was refused (the message is on out).
int analyse(State& s, int fd, FILE* out, FILE* map);

// The analyser's rendering of a file name character (code AND 0x7F).
char name_char(int code);

}  // namespace progtape
