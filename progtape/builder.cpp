// Tape builder: program tape blocks from a Program description.
#include "builder.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace tb {

namespace {

// Host characters by six-bit machine code; '\0' where a code has none.
const char CODES[65] =
    " 123456789te+:.\0"
    "-ABCDEFGHI=*'?\n\0"
    "&JKLMNOPQR\0%><h\\"
    "0/STUVWXYZ(),;\0\0";

constexpr int FILLERS = 38;  // blocks counted between ALLOC and file details

void grow(Block& b, size_t n) {
  if (b.size() < n) b.resize(n, 0);
}

}  // namespace

int code(char ch) {
  if (ch == 0) return 0;
  if (ch == 'p') return 0x4F;
  for (int c = 0; c < 64; c++)
    if (CODES[c] == ch) return (c & 0xF) ? c + 0x40 : c;
  return 0;
}

void alpha(const std::string& s, int32_t* lo, int32_t* up) {
  int c[5];
  for (int i = 0; i < 5; i++) c[i] = code(i < (int)s.size() ? s[i] : ' ');
  *up = c[0] << 12 | c[1] << 4 | c[2] >> 4;
  *lo = (c[2] & 0xF) << 16 | c[3] << 8 | c[4];
}

void put_key(Block& b, int k, int32_t v) {
  int c[5];
  for (int i = 0; i < 5; i++) {
    int d = (v >> (4 * (4 - i))) & 0xF;
    c[i] = d ? 0x40 + d : 0;
  }
  if (v & 0x100000) c[0] += 0x10;  // zone low bits 01: minus
  grow(b, k + 2);
  b[k + 1] = c[0] << 12 | c[1] << 4 | c[2] >> 4;
  b[k] = (c[2] & 0xF) << 16 | c[3] << 8 | c[4];
}

void put_text(Block& b, int k, const std::string& s) {
  grow(b, k + 2);
  alpha(s, &b[k], &b[k + 1]);
}

int total_of(const Program& p) {
  if (p.total >= 0) return p.total;
  int t = 0;
  for (const Chapter& c : p.chapters) t = std::max(t, c.number);
  return t;
}

int initial_of(const Program& p) { return p.initial >= 0 ? p.initial : total_of(p); }

int base_param(int chapter) { return 2 * chapter - 1; }
int addr_param(int chapter) { return 2 * chapter; }
int route_param(const Program& p, int file) { return 2 * initial_of(p) + file + 1; }
int pseudo_param(const Program& p, int area) {
  return 2 * initial_of(p) + (int)p.files.size() + 2 * area + 1;
}
int pointer_param(const Program& p, int area) { return pseudo_param(p, area) + 1; }
int mod_param(const Program& p, int k) {
  int n = 2 * initial_of(p) + (int)p.files.size() + 2 * (int)p.areas.size() + 4;
  return n - 3 + k;
}

// Positions a chapter's entries fill.
static int extent(const Chapter& c) { return (c.extra ? c.extra : 0) + (int)c.words.size(); }

Block alloc_block(const Program& p) {
  Block b(54, 0);
  int init = initial_of(p);
  put_key(b, 4, p.fp);
  put_key(b, 6, p.mr);
  put_key(b, 8, p.priority);
  put_key(b, 10, total_of(p));
  put_key(b, 12, init);
  put_key(b, 14, (int)p.files.size());
  put_key(b, 16, (int)p.areas.size());
  put_key(b, 20, p.entry_address);
  put_key(b, 22, p.entry_chapter);
  put_key(b, 38, p.w38);
  put_key(b, 40, p.w40);
  // Sizes of chapters 8 and 9 share words 38 and 40; from chapter 10 on
  // they would meet the ALLOC characters.
  for (int c = 1; c <= init && 22 + 2 * c < 42; c++) {
    int size = 0;
    if (c - 1 < (int)p.sizes.size() && p.sizes[c - 1] >= 0) {
      size = p.sizes[c - 1];
    } else {
      for (const Chapter& ch : p.chapters)
        if (ch.number == c) size = std::max(size, extent(ch));
    }
    put_key(b, 22 + 2 * c, size);
  }
  put_text(b, 42, "ALLOC");
  return b;
}

std::vector<Block> marker_blocks(const Program& p) {
  Block ix(16, 0), id(16, 0), pass(16, 0);
  put_text(ix, 6, "INDEX");
  ix[10] = p.index & 0x3F;
  put_key(id, 4, p.id);
  put_key(id, 12, p.id);
  put_key(pass, 8, p.id);
  put_text(pass, 12, p.pass3 ? "PASS3" : "PASS2");
  return {ix, id, pass};
}

Block filler(int number) {
  Block b(6, 0);
  put_key(b, 0, number);
  b[4] = 126;  // end of data
  return b;
}

static void put_file(Block& b, int o, const File& f) {
  int32_t lo, up;
  alpha("   " + f.name, &lo, &up);  // the name as characters 3 and 4
  grow(b, o + 10);
  b[o] = lo & 0xFFFF;
  put_key(b, o + 2, f.type);
  put_key(b, o + 4, f.annex);
  put_key(b, o + 6, f.chapter);
  put_key(b, o + 8, f.length);
}

std::vector<Block> details_blocks(const Program& p) {
  std::vector<Block> out;
  Block b(52, 0);
  for (size_t a = 0; a < p.files.size() && a < 4; a++) put_file(b, 12 * (int)a + 4, p.files[a]);
  out.push_back(b);
  if (p.files.size() > 4) {
    Block c(52, 0);
    for (size_t a = 4; a < p.files.size(); a++) put_file(c, 12 * ((int)a - 4) + 4, p.files[a]);
    out.push_back(c);
  }
  return out;
}

Block area_block(const Program& p) {
  Block b(10, 0);
  for (size_t j = 0; j < p.areas.size(); j++) {
    int o = 6 * (int)j + 4;
    put_key(b, o, p.areas[j].address);
    put_key(b, o + 2, p.areas[j].chapter);
    put_key(b, o + 4, p.areas[j].length);
  }
  return b;
}

Block chapt_block(int chapter, int id, int size) {
  Block b(54, 0);
  put_key(b, 4, chapter);
  put_key(b, 8, id);
  put_text(b, 12, "CHAPT");
  b.resize(size < 0 ? 0 : size, 0);
  return b;
}

Block content_block(const std::vector<Word>& entries) {
  Block b(52, 0);
  for (size_t e = 0; e < entries.size() && e < 12; e++) {
    put_key(b, 4 * ((int)e + 1), entries[e].p);
    put_key(b, 4 * ((int)e + 1) + 2, entries[e].q);
  }
  return b;
}

std::vector<Block> content_blocks(const Chapter& c) {
  std::vector<Word> all;
  if (c.extra) all.push_back({c.param, c.extra});
  all.insert(all.end(), c.words.begin(), c.words.end());
  if (c.end) all.push_back({END, 0});
  std::vector<Block> out;
  for (size_t i = 0; i < all.size(); i += 12) {
    std::vector<Word> part(all.begin() + i, all.begin() + std::min(all.size(), i + 12));
    out.push_back(content_block(part));
  }
  return out;
}

std::vector<Block> blocks(const Program& p) {
  std::vector<Block> out;
  out.push_back(alloc_block(p));
  int fill = FILLERS;
  if (p.marker) {
    for (const Block& b : marker_blocks(p)) out.push_back(b);
    fill--;  // the INDEX block counts, the two read with it do not
  }
  for (int i = 0; i < fill; i++) out.push_back(filler((int)out.size() + 1));
  for (const Block& b : details_blocks(p)) out.push_back(b);
  out.push_back(area_block(p));
  for (const Chapter& c : p.chapters) {
    out.push_back(chapt_block(c.number, p.id));
    for (const Block& b : content_blocks(c)) out.push_back(b);
  }
  return out;
}

std::string image(const std::vector<Block>& blocks) {
  std::string s;
  auto put = [&s](uint32_t w) {
    for (int i = 0; i < 4; i++) s.push_back((char)((w >> (8 * i)) & 0xFF));
  };
  uint32_t prev = 0;
  for (const Block& b : blocks) {
    uint32_t size = (uint32_t)b.size() & 0x7FF;
    put(prev << 11 | size);
    for (uint32_t i = 0; i < size; i++) put((uint32_t)b[i]);
    prev = size;
  }
  return s;
}

bool write(const char* name, const std::vector<Block>& blocks) {
  std::string s = image(blocks);
  int fd = ::open(name, O_WRONLY | O_CREAT | O_TRUNC, 0640);
  if (fd < 0) return false;
  size_t done = 0;
  while (done < s.size()) {
    ssize_t r = ::write(fd, s.data() + done, s.size() - done);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) {
      int e = errno;
      ::close(fd);
      errno = r == 0 ? ENOSPC : e;
      return false;
    }
    done += (size_t)r;
  }
  return ::close(fd) == 0;
}

// ------------------------------------------------------------ description

namespace {

// A parameter named in the description, resolved once the counts are known.
struct Ref {
  size_t chap, word;  // word SIZE_MAX: the chapter's extra parameter
  std::string name;
  int line;
};

bool number(const std::string& t, long& v) {
  if (t.empty()) return false;
  char* end;
  errno = 0;
  bool hex = t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X');
  v = std::strtol(t.c_str() + (hex ? 2 : 0), &end, hex ? 16 : 10);
  return *end == 0 && errno == 0;
}

// The value of a named parameter, or -1.
int named(const Program& p, const std::string& t) {
  static const struct {
    const char* name;
    int p;
  } fixed[] = {{"group4", GROUP4},
               {"alarm", ALARM},
               {"unload", UNLOAD},
               {"overlay", OVERLAY},
               {"comment", COMMENT}};
  for (const auto& f : fixed)
    if (t == f.name) return f.p;
  if (t == "mod") return mod_param(p, 0);
  if (t.size() == 4 && t.compare(0, 3, "mod") == 0 && t[3] >= '1' && t[3] <= '3')
    return mod_param(p, t[3] - '0');
  size_t colon = t.find(':');
  long k;
  if (colon == std::string::npos || !number(t.substr(colon + 1), k) || k < 0) return -1;
  std::string kind = t.substr(0, colon);
  if (kind == "base") return base_param((int)k);
  if (kind == "addr") return addr_param((int)k);
  if (kind == "route") return route_param(p, (int)k);
  if (kind == "pseudo") return pseudo_param(p, (int)k);
  if (kind == "pointer") return pointer_param(p, (int)k);
  return -1;
}

}  // namespace

bool parse(const std::string& text, Program& p, std::string& error) {
  std::istringstream in(text);
  std::string raw;
  std::vector<Ref> refs;
  int line = 0;
  auto fail = [&](const std::string& why) {
    error = "line " + std::to_string(line) + ": " + why;
    return false;
  };
  while (std::getline(in, raw)) {
    line++;
    // A quoted text keeps its '#' and blanks; a comment starts elsewhere.
    std::string quoted;
    size_t q1 = raw.find('"');
    if (q1 != std::string::npos) {
      size_t q2 = raw.find('"', q1 + 1);
      if (q2 == std::string::npos) return fail("unterminated text");
      quoted = raw.substr(q1 + 1, q2 - q1 - 1);
      raw = raw.substr(0, q1) + raw.substr(q2 + 1);
    }
    size_t hash = raw.find('#');
    if (hash != std::string::npos) raw.resize(hash);
    std::istringstream ls(raw);
    std::vector<std::string> t;
    for (std::string w; ls >> w;) t.push_back(w);
    if (t.empty()) continue;

    // Trailing p=P on word lines.
    std::string pname;
    if (t.size() > 1 && t.back().compare(0, 2, "p=") == 0) {
      pname = t.back().substr(2);
      t.pop_back();
    }
    std::vector<long> v;
    for (size_t i = 1; i < t.size(); i++) {
      long x;
      v.push_back(number(t[i], x) ? x : -1);
    }
    auto args = [&](size_t n) {
      if (t.size() - 1 != n) return false;
      for (long x : v)
        if (x < 0) return false;
      return true;
    };
    const std::string& k = t[0];
    Chapter* ch = p.chapters.empty() ? nullptr : &p.chapters.back();
    auto add = [&](int32_t q) -> bool {
      if (!ch) return fail("word before the first chapter");
      long pv = 0;
      if (!pname.empty() && !number(pname, pv))
        refs.push_back({p.chapters.size() - 1, ch->words.size(), pname, line});
      ch->words.push_back({(int32_t)pv, q});
      return true;
    };

    if (k == "id" && args(1)) {
      p.id = (int)v[0];
    } else if (k == "index" && args(1)) {
      p.index = (int)v[0];
    } else if (k == "marker" && t.size() == 2 && (t[1] == "on" || t[1] == "off")) {
      p.marker = t[1] == "on";
    } else if (k == "pass3" && t.size() == 2 && (t[1] == "on" || t[1] == "off")) {
      p.pass3 = t[1] == "on";
    } else if (k == "fp" && args(1)) {
      p.fp = (int)v[0];
    } else if (k == "mr" && args(1)) {
      p.mr = (int)v[0];
    } else if (k == "priority" && args(1)) {
      p.priority = (int)v[0];
    } else if (k == "w38" && args(1)) {
      p.w38 = (int)v[0];
    } else if (k == "w40" && args(1)) {
      p.w40 = (int)v[0];
    } else if (k == "chapters" && args(2)) {
      p.total = (int)v[0];
      p.initial = (int)v[1];
    } else if (k == "entry" && args(2)) {
      p.entry_chapter = (int)v[0];
      p.entry_address = (int)v[1];
    } else if (k == "size" && args(2)) {
      if (v[0] < 1 || v[0] > 13) return fail("no such chapter size");
      if ((int)p.sizes.size() < v[0]) p.sizes.resize(v[0], -1);
      p.sizes[v[0] - 1] = (int)v[1];
    } else if (k == "file" && t.size() == 6) {
      if (t[1].size() != 2) return fail("a file name has two characters");
      v.erase(v.begin());
      for (long x : v)
        if (x < 0) return fail("bad number");
      p.files.push_back({t[1], (int)v[0], (int)v[1], (int)v[2], (int)v[3]});
    } else if (k == "area" && args(3)) {
      p.areas.push_back({(int)v[0], (int)v[1], (int)v[2]});
    } else if (k == "chapter" && (args(1) || (t.size() == 4 && t[2] == "extra"))) {
      long n, x = 0;
      if (!number(t[1], n) || n < 0) return fail("bad chapter number");
      if (t.size() == 4 && (!number(t[3], x) || x < 1)) return fail("bad extra position");
      Chapter c;
      c.number = (int)n;
      c.extra = (int)x;
      p.chapters.push_back(c);
      if (!pname.empty()) {
        long pv;
        if (!x) return fail("p= on an ordinary chapter");
        if (number(pname, pv))
          p.chapters.back().param = (int)pv;
        else
          refs.push_back({p.chapters.size() - 1, SIZE_MAX, pname, line});
      }
    } else if (k == "at" && args(1)) {
      if (!ch) return fail("at before the first chapter");
      long pos = extent(*ch);
      if (v[0] < pos) return fail("position " + t[1] + " already passed");
      ch->words.resize(ch->words.size() + (v[0] - pos));
    } else if (k == "open" && t.size() == 1) {
      if (!ch) return fail("open before the first chapter");
      ch->end = false;
    } else if (k == "word" && args(1)) {
      if (v[0] > 0x1FFFFF) return fail("word beyond 21 bits");
      if (!add((int32_t)v[0])) return false;
    } else if (k == "text" && t.size() == 1 && q1 != std::string::npos) {
      if (!ch) return fail("text before the first chapter");
      if (quoted.empty()) return fail("empty text");
      for (size_t i = 0; i < quoted.size(); i += 5) {
        int32_t lo, up;
        alpha(quoted.substr(i, 5), &lo, &up);
        ch->words.push_back({0, lo});
        ch->words.push_back({0, up});
      }
    } else if (t.size() == 2 && std::count(k.begin(), k.end(), '/') == 2) {
      int a, c, b, m;
      char tail;
      std::string s = k + " " + t[1];
      if (std::sscanf(s.c_str(), "%d/%d/%d %d%c", &a, &c, &b, &m, &tail) != 4)
        return fail("bad instruction " + s);
      if (a < 0 || a > 31 || c < 0 || c > 1 || b < 0 || b > 3 || m < 0 || m > 8191)
        return fail("instruction field out of range in " + s);
      if (!add(ins(a, c, b, m))) return false;
    } else {
      return fail("not understood: " + raw);
    }
  }
  for (const Ref& r : refs) {
    int v = named(p, r.name);
    if (v < 0) {
      line = r.line;
      return fail("unknown parameter " + r.name);
    }
    if (r.word == SIZE_MAX)
      p.chapters[r.chap].param = v;
    else
      p.chapters[r.chap].words[r.word].p = v;
  }
  return true;
}

}  // namespace tb
