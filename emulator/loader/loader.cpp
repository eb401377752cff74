// The loader: reads a program file into the store, the tags, the entry
// address, the overlay table and the route table. What each line says is
// the program file's reading rules (progfile.h); here it is done.
#include "loader.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "cycle.h"
#include "progfile.h"

namespace {

// A line the loader cannot accept: logged, and the run ends with status 1.
[[noreturn]] void reject(const char* line) {
  lg("Error: %s", line);
  throw RunEnd{1};
}

void word_line(const char* line, const pf::Line& w, long long& addr) {
  if (M.listing) lg("%4lld %2lld/%d/%d %4lld| %s", addr, w.a, w.c, w.b, w.m, line);
  // A refused line ends the run at once, so its word is never seen: it is
  // not stored at all rather than stored outside its fields.
  if (!pf::word_ok(w, addr)) reject(line);
  M.tags[addr] = (uint8_t)M.tag;
  M.store[addr] = pf::word_of(w);
  addr++;
}

void overlay_line(const char* line, const pf::Line& l) {
  if (!pf::overlay_ok(l)) reject(line);
  Overlay& o = M.ovl[l.n];
  o.image.assign(M.store + l.f, M.store + l.e);
  o.first = (int)l.f;
  o.len = (int)(4 * (l.e - l.f));
  if (M.verbosity >= 1) lg("Overlay %lld from %lld to %lld\n", l.n, l.f, l.e - 1);
}

// File entries of chapter 0 at c: names and device types of the routes.
void chapter0(long long c, const std::string& xline) {
  lg("Extra chapter at %lld\n", c);
  // The entries before the one that leaves the store are still logged.
  int n = pf::files_of(M.store, c);
  for (int i = 0; n < 0 || i < n; i++) {
    long long p = c + 34 + 2 * i;
    if (p + 1 >= STORE) reject(xline.c_str());
    int32_t name = M.store[p + 1], w = M.store[p];
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
  char* r = fgets(line, pf::LINE, f);
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
  char line[pf::LINE];
  if (!getline_or_fail(line, f, name)) line[0] = 0;
  if (pf::is_listing(line)) {
    if (M.verbosity >= 2) lg("Skipping to start of binary program\n");
    while (getline_or_fail(line, f, name) && !pf::is_marker(line)) {
    }
    lg("Loading program from file %s\n\n", name);
  } else {
    lg("Loading program from file %s\n%s\n", name, line);
  }

  long long addr = 160;
  long long chap0 = -1;
  std::string xline;
  while (getline_or_fail(line, f, name)) {
    pf::Line l = pf::classify(line);
    switch (l.kind) {
      case pf::WORD: word_line(line, l, addr); break;
      case pf::LOAD:
        addr = l.v;
        if (M.verbosity >= 2) lg("Load address %s\n", line + 1);
        break;
      case pf::ENTRY: M.entry = pf::entry_of(l.v); break;
      case pf::TAG: M.tag = pf::tag_of(l.v); break;
      case pf::CHAP0:
        chap0 = l.v;
        xline = line;
        break;
      case pf::OVERLAY: overlay_line(line, l); break;
      case pf::SKIP: break;
    }
  }
  if (chap0 >= 0) chapter0(chap0, xline);
  lg("Program %s loaded\n\n", name);
  const Overlay& o = M.ovl[0];
  if (!o.image.empty()) std::memcpy(M.store + o.first, o.image.data(), o.image.size() * 4);
}
