// The tape dump: every block of a tape image, word by word, with the
// characters each long word spells.
#pragma once

#include <cstdint>
#include <cstdio>

namespace dump {

// The rendering table: machine character code to host character. It differs
// from the emulator's: 0x0F and 0x4F show as "p", 0x2A and 0x6A ("g") and
// 0x3E as "!", 0x5E as a blank; 0x1E is still a line feed.
void table(char m2h[256]);

// The five characters of the pair (upper word u, lower word l) into s[0..4].
void render(const char m2h[256], int32_t u, int32_t l, char* s);

// Dump the image open on fd to out, headed by "File: name". Reads forwards
// to the end of the file. A block cut short by the end of the file or by a
// read error is printed from the buffer as it stands, then said on err and
// the dump ends. Returns 0 for a sound image, 1 for a damaged one, -1 when
// writing to out failed.
int dump(int fd, const char* name, FILE* out, FILE* err);

}  // namespace dump
