// Tape builder: writes synthetic program tapes from a readable description,
// for the analyser's tests and for building example tapes.
//
// A Program describes what the analyser reads from a program tape: the
// allocation, the program ID, the files, the transit areas and the chapters
// with their program words. blocks() lays it out in the tape's block order:
//
//   ALLOC block
//   INDEX block, program ID block, PASS3 marker block   (optional)
//   filler blocks, so that the file details block is the 39th after ALLOC
//   file details block (files 0-3), continuation block (files 4 onward)
//   transit area block
//   per chapter: a CHAPT block, then content blocks of twelve entries
//
// Numbers held on the tape are keys: five characters of one hexadecimal
// digit each (zone 4, or the blank code for a 0 digit), the first character
// flagged minus (zone low bits 01) when bit 20 of the value is set.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tb {

using Block = std::vector<int32_t>;  // the data words of one block

// Parameters with actions, and the end of chapter marker.
constexpr int GROUP4 = 256, ALARM = 512, UNLOAD = 768, OVERLAY = 1024, COMMENT = 1280;
constexpr int32_t END = 0xF0000;

// A program word q, relocated by parameter p when it is loaded.
struct Word {
  int32_t p = 0;
  int32_t q = 0;
};

// The word A/C/B M of the instruction notation.
constexpr int32_t ins(int a, int c, int b, int m) { return ((a * 8 + c * 4 + b) << 13) + m; }

struct File {
  std::string name;  // two characters
  int type = 7;      // device type
  int chapter = 1;   // chapter of the annex
  int annex = 0;     // annex address relative to its chapter
  int length = 0;
};

struct Area {
  int chapter = 1;
  int address = 0;  // relative to its chapter
  int length = 0;
};

struct Chapter {
  int number = 1;
  // Position (counted from 1) of the chapter's own words when the chapter
  // holds chapter 0; 0 for any other chapter. The first entry of such a
  // chapter is the word `extra` with parameter `param`, loaded at position
  // extra - 1; `words` follow it.
  int extra = 0;
  int param = 0;
  // The chapter's words from position 0 (or from `extra` as above). The
  // first word of an ordinary chapter must be 0: a first word other than 0
  // marks the chapter that holds chapter 0.
  std::vector<Word> words;
  bool end = true;  // end marker after the words
};

struct Program {
  int id = 0x1234;     // program ID: ID block and CHAPT blocks
  int index = 1;       // index number of the INDEX block
  bool marker = true;  // INDEX, ID and PASS3 blocks
  bool pass3 = true;   // the third of them carries PASS3
  int fp = 0, mr = 0, priority = 0;
  int total = -1;    // total chapters; -1: the highest chapter number
  int initial = -1;  // initial chapters; -1: total
  int entry_chapter = 1, entry_address = 0;
  std::vector<int> sizes;  // sizes of chapters 1 on; missing: the words loaded
  int w38 = 0, w40 = 0;    // ALLOC words that chapter 0 words 12 and 13 take
  std::vector<File> files;
  std::vector<Area> areas;
  std::vector<Chapter> chapters;
};

// Writes v as a key at offsets k, k+1, and five characters of text there.
void put_key(Block& b, int k, int32_t v);
void put_text(Block& b, int k, const std::string& s);
// The alpha long word of five characters (blanks added): lower, upper.
void alpha(const std::string& s, int32_t* lo, int32_t* up);
// The eight-bit machine code of a host character (0 when it has none).
int code(char ch);

// The counts that blocks() writes: total and initial chapters.
int total_of(const Program& p);
int initial_of(const Program& p);

// Parameter numbers, as the analyser numbers them for this program.
int base_param(int chapter);                    // base of chapter c
int addr_param(int chapter);                    // its low 13 bits
int route_param(const Program& p, int file);    // route of file a (0 on)
int pseudo_param(const Program& p, int area);   // pseudo-route of area j
int pointer_param(const Program& p, int area);  // pseudo-route pointer location
int mod_param(const Program& p, int k);         // 0: group base, 1-3 modifier k

// Single blocks, for tests that assemble unusual tapes.
Block alloc_block(const Program& p);
std::vector<Block> marker_blocks(const Program& p);  // INDEX, ID, PASS3
Block filler(int number);
std::vector<Block> details_blocks(const Program& p);  // file details (+ continuation)
Block area_block(const Program& p);
Block chapt_block(int chapter, int id, int size = 54);
Block content_block(const std::vector<Word>& entries);  // at most 12 entries
std::vector<Block> content_blocks(const Chapter& c);

// The whole tape.
std::vector<Block> blocks(const Program& p);

// The image bytes of blocks, and writing them to a file. write() returns
// false with errno set when the file cannot be written.
std::string image(const std::vector<Block>& blocks);
bool write(const char* name, const std::vector<Block>& blocks);

// The text description read by mktape (format in mktape.cpp). Returns false
// with a message naming the line when the text is not understood.
bool parse(const std::string& text, Program& p, std::string& error);

}  // namespace tb
