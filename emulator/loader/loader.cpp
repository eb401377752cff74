// The loader: reads a program file into the store, the tags, the entry
// address, the overlay table and the route table.
#include "loader.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "cycle.h"

namespace {

constexpr int LINE = 999;  // 998 characters and the terminating zero

// The number read from column col, or 0 when the line is shorter.
long long num_at(const char* line, size_t col) {
  return std::strlen(line) > col ? lead(line + col) : 0;
}

// A line the loader cannot accept: logged, and the run ends with status 1.
[[noreturn]] void reject(const char* line) {
  lg("Error: %s", line);
  throw RunEnd{1};
}

void word_line(const char* line, long long& addr) {
  long long a = lead(line);
  size_t e = 5;
  while ((unsigned char)line[e] > 32) e++;
  int b = line[e - 1] - '0';
  int c = line[e - 3] - '0';
  long long m = 0;
  if (line[e] == ' ' && line[e + 1] != ' ') m = lead(line + e + 1);
  if (M.listing) lg("%4lld %2lld/%d/%d %4lld| %s", addr, a, c, b, m, line);
  // A refused line ends the run at once, so its word is never seen: it is
  // not stored at all rather than stored outside its fields.
  if (addr < 0 || addr >= STORE) reject(line);
  if (b < 0 || c < 0 || a < 0 || m < 0 || b >= 4 || c >= 2 || a >= 32 || m >= 8192) reject(line);
  M.tags[addr] = (uint8_t)M.tag;
  M.store[addr] = (int32_t)((a * 8 + c * 4 + b) * 8192 + m);
  addr++;
}

void overlay_line(const char* line) {
  long long n = num_at(line, 1), f = num_at(line, 4), e = num_at(line, 10);
  if (n < 0 || n > 14 || f < 0 || e < f || e > STORE) reject(line);
  Overlay& o = M.ovl[n];
  o.image.assign(M.store + f, M.store + e);
  o.first = (int)f;
  o.len = (int)(4 * (e - f));
  if (M.verbosity >= 1) lg("Overlay %lld from %lld to %lld\n", n, f, e - 1);
}

// File entries of chapter 0 at c: names and device types of the routes.
void chapter0(long long c, const std::string& xline) {
  lg("Extra chapter at %lld\n", c);
  for (int i = 0; i < 10; i++) {
    long long p = c + 34 + 2 * i;
    if (p + 1 >= STORE) reject(xline.c_str());
    int32_t name = M.store[p + 1];
    if (name == 0) break;
    int32_t w = M.store[p];
    M.routes[i].name = name;
    M.routes[i].type = w >> 16;
    lg("   File %d is %c%c type %d on route %d\n", i, m2h[(name >> 8) & 0x7F], m2h[name & 0x7F],
       w >> 16, w & 0xFF);
  }
}

// A program file that cannot be opened or read: the host error under the
// file's name, then the fatal report.
[[noreturn]] void unreadable(const char* name, int err) {
  if (name) fprintf(M.err, "%s: %s\n", name, strerror(err));
  fatal("Cannot open binary program", 0);
}

// fgets that ends the run on a read error (rather than taking it for the end
// of the file, which would run a program loaded only in part).
char* getline_or_fail(char* line, FILE* f, const char* name) {
  char* r = fgets(line, LINE, f);
  if (!r && ferror(f)) unreadable(name, errno);
  return r;
}

}  // namespace

void load(const char* name) {
  FILE* f = name ? open_text(name) : nullptr;
  if (!f) unreadable(name, errno);
  // Closed however loading ends.
  struct Closer {
    FILE* f;
    ~Closer() { fclose(f); }
  } closer{f};
  char line[LINE];
  if (!getline_or_fail(line, f, name)) line[0] = 0;
  if (line[0] == '<') {
    static const char marker[] = "=============== Second pass";
    if (M.verbosity >= 2) lg("Skipping to start of binary program\n");
    while (getline_or_fail(line, f, name) && std::strncmp(line, marker, 26) != 0) {
    }
    lg("Loading program from file %s\n\n", name);
  } else {
    lg("Loading program from file %s\n%s\n", name, line);
  }

  long long addr = 160;
  long long chap0 = -1;
  std::string xline;
  while (getline_or_fail(line, f, name)) {
    if (std::strlen(line) < 6 || line[0] == ' ') continue;
    if (lead(line) != 0 || line[0] == '0') {
      word_line(line, addr);
      continue;
    }
    long long v = lead(line + 1);
    switch (line[0]) {
      case 'L':
        addr = v;
        if (M.verbosity >= 2) lg("Load address %s\n", line + 1);
        break;
      case 'E': M.entry = (int)(v > 0x7FFFFFFF ? 0x7FFFFFFF : v < 0 ? -1 : v); break;
      case 'T': M.tag = (int)(v & 0xFF); break;
      case 'X':
        chap0 = v;
        xline = line;
        break;
      case 'O': overlay_line(line); break;
      default: break;
    }
  }
  if (chap0 >= 0) chapter0(chap0, xline);
  lg("Program %s loaded\n\n", name);
  const Overlay& o = M.ovl[0];
  if (!o.image.empty()) std::memcpy(M.store + o.first, o.image.data(), o.image.size() * 4);
}
