// The disassembler: reading by the loader's rules, the flow of control, and
// the source.
#include "dis.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <set>

#include "asm.h"
#include "isa.h"
#include "progfile.h"

namespace zdis {

namespace {

constexpr int STORE = pf::STORE;

std::string num(long long v) {
  char b[32];
  if (v < 10000)
    std::snprintf(b, sizeof b, "%lld", v);
  else
    std::snprintf(b, sizeof b, "0x%llX", v);
  return b;
}

// A short word as a signed number: bit 20 the sign, "-0" minus zero.
std::string short_text(int32_t w) {
  return std::string(w & 0x100000 ? "-" : "") + num(w & 0xFFFFF);
}

// The five characters of the pair (lower at a, upper at a+1) as TEXT writes
// them, or "" when they are not all characters of the machine.
std::string chars_of(int32_t lo, int32_t up) {
  if (lo < 0 || up < 0 || lo > 0xFFFFF || up > 0xFFFFF) return "";
  int c[5] = {up >> 12 & 0xFF, up >> 4 & 0xFF, (up & 0xF) << 4 | lo >> 16, lo >> 8 & 0xFF,
              lo & 0xFF};
  std::string s;
  for (int k : c) {
    const char* t = isa::char_text(k);
    if (!t) return "";
    s += t;
  }
  return s;
}

// Characters other than blanks in a pair's text.
int marks(const std::string& t) {
  int n = 0;
  for (size_t i = 0; i < t.size(); i++) n += t[i] != ' ' && ((unsigned char)t[i] & 0xC0) != 0x80;
  return n;
}

// The loader's store as items load it, and the flow of control over it.
struct Flow {
  const Prog& p;
  std::vector<int32_t> store;                // after every item, overlay 0 put back
  std::vector<char> loaded;                  // loaded by some word line
  std::vector<std::vector<int32_t>> images;  // overlay images as saved (by number)
  std::vector<int> first;
  std::set<long long> code;      // (address, word) pairs that are instructions
  std::set<int> targets;         // addresses control reaches by a jump or call
  std::set<int> longs, replies;  // long operands; alarm reply words
  std::set<int> labels;          // addresses that get a label

  explicit Flow(const Prog& prog)
      : p(prog), store(STORE), loaded(STORE), images(15), first(15, -1) {
    for (const Item& it : p.items) {
      if (it.kind == Item::WORD) {
        store[it.addr] = it.w;
        loaded[it.addr] = 1;
      } else if (it.kind == Item::OVERLAY) {
        images[it.n].assign(store.begin() + it.f, store.begin() + it.e);
        first[it.n] = it.f;
      }
    }
    if (first[0] >= 0) std::copy(images[0].begin(), images[0].end(), store.begin() + first[0]);
    if (p.entry >= 0 && p.entry < STORE) targets.insert(p.entry);
    // Until no view of the store shows a new target: the store as loaded,
    // then with each overlay in place.
    for (size_t seen = 0; seen != targets.size() + code.size();) {
      seen = targets.size() + code.size();
      view(-1);
      for (int v = 1; v < 15; v++)
        if (first[v] >= 0) view(v);
    }
    for (const Item& it : p.items)
      if (it.kind == Item::WORD && is_code(it.addr, it.w)) name_operand(it.addr, it.w);
  }

  bool is_code(int a, int32_t w) const { return code.count((long long)a << 21 | w) != 0; }

  // The flow from every target through the store with overlay v in place
  // (-1: none besides overlay 0).
  void view(int v) {
    std::vector<int32_t> s = store;
    std::vector<char> in = loaded;
    if (v >= 0) {
      std::copy(images[v].begin(), images[v].end(), s.begin() + first[v]);
      std::fill(in.begin() + first[v], in.begin() + first[v] + (long)images[v].size(), 1);
    }
    std::vector<char> seen(STORE);
    std::vector<int> work(targets.begin(), targets.end());
    while (!work.empty()) {
      int a = work.back();
      work.pop_back();
      if (a < 0 || a >= STORE || seen[a] || !in[a]) continue;
      seen[a] = 1;
      int32_t w = s[a];
      int dv = w >> 13;
      if (dv <= 0 || isa::ops[dv].form == isa::NONE) continue;
      code.insert((long long)a << 21 | w);
      int n = (a & 0x6000) + (w & 0x1FFF);
      auto go = [&](int t) {
        if (t >= 0 && t < STORE && targets.insert(t).second) work.push_back(t);
      };
      switch (dv) {
        case 196: go(n); break;  // JMP
        case 209:
        case 211: break;  // LSUB, LMR
        case 210:         // EPC 1: nine reply addresses follow
          if (n == 1)
            for (int k = 1; k <= 9 && a + k < STORE; k++) {
              replies.insert(a + k);
              go(s[a + k] & 0x7FFF);
            }
          break;
        case 208:
          go(n + 1);
          work.push_back(a + 1);
          break;   // ESUB
        case 186:  // EMR: its own routine above 199
          if (n >= 200) go(n + 1);
          work.push_back(a + 1);
          break;
        case 184: work.push_back(a + 2), work.push_back(a + 3); break;  // SOTN
        default:
          if (dv >= 216 && dv <= 223) go(n);
          if (dv >= 200 && dv <= 203) work.push_back(a + 2);
          work.push_back(a + 1);
          // Long operands at an even address, unmodified.
          if (isa::ops[dv].form == isa::MOD && (dv & 7) == 4 && !(n & 1)) longs.insert(n);
          if (dv == 6 && !(n & 1)) longs.insert(n);
          break;
      }
    }
  }

  void name_operand(int a, int32_t w) {
    int dv = w >> 13, n = (a & 0x6000) + (w & 0x1FFF);
    isa::Form f = isa::ops[dv].form;
    if (f != isa::ADDR && f != isa::MOD && f != isa::REG) return;
    if ((dv == 186 && n < 200) || (dv == 210 && (n == 1 || n == 2))) return;
    labels.insert(n);
  }
};

}  // namespace

std::string statement(int32_t w, int a, bool as_code,
                      const std::function<std::string(int)>& label) {
  int dv = w >> 13;
  if (!as_code || dv < 0 || dv > 255 || isa::ops[dv].form == isa::NONE)
    return "SHORT " + short_text(w);
  const isa::Op& op = isa::ops[dv];
  int field = w & 0x1FFF, n = (a & 0x6000) + field;
  std::string t = op.mnem;
  t += ' ';
  switch (op.form) {
    case isa::ADDR:
    case isa::MOD:
    case isa::REG:
      t += (dv == 186 && n < 200) || (dv == 210 && (n == 1 || n == 2)) ? std::to_string(n)
                                                                       : label(n);
      break;
    case isa::NUM: t += std::to_string(field); break;
    case isa::SHIFT: t += std::to_string(field >= 8192 - 32 ? field - 8192 : field); break;
    case isa::STEP:
    case isa::STEPN:
      t += std::string(field & 0x1000 ? "-" : "") + std::to_string(field & 0xFFF);
      break;
    case isa::NONE: break;
  }
  int k = dv & 3;
  if (op.form == isa::REG || op.form == isa::STEP || (op.form == isa::MOD && k))
    t += ",M" + std::to_string(k);
  return t;
}

std::string read(const std::string& data, Prog& p) {
  size_t pos = 0;
  int line = 0;
  char buf[pf::LINE];
  // The next line as the loader's fgets takes it: up to 998 bytes, through
  // a line end; a zero byte ends it as a C string.
  auto next = [&]() {
    if (pos >= data.size()) return false;
    size_t n = 0;
    while (n < pf::LINE - 1 && pos < data.size()) {
      char c = data[pos++];
      buf[n++] = c;
      if (c == '\n') break;
    }
    buf[n] = 0;
    line++;
    return true;
  };
  if (!next()) buf[0] = 0;
  if (pf::is_listing(buf)) {
    p.listing = true;
    while (next() && !pf::is_marker(buf)) {
    }
  } else {
    p.title = buf;
    while (!p.title.empty() && (p.title.back() == '\n' || p.title.back() == '\r'))
      p.title.pop_back();
  }
  std::vector<int32_t> store(STORE);
  long long addr = 160;
  auto at = [&](const char* what) { return std::to_string(line) + ": " + what; };
  while (next()) {
    pf::Line l = pf::classify(buf);
    switch (l.kind) {
      case pf::WORD: {
        if (!pf::word_ok(l, addr))
          return at(
              "a word line the loader refuses (a field out of range, or the load "
              "address outside the store)");
        Item it;
        it.addr = (int)addr;
        it.w = pf::word_of(l);
        store[addr++] = it.w;
        p.items.push_back(it);
        break;
      }
      case pf::LOAD: addr = l.v; break;
      case pf::ENTRY:
        p.entry = pf::entry_of(l.v);
        p.entry_set = true;
        break;
      case pf::TAG: {
        Item it;
        it.kind = Item::TAG;
        it.n = pf::tag_of(l.v);
        p.items.push_back(it);
        break;
      }
      case pf::CHAP0: p.chap0 = l.v; break;
      case pf::OVERLAY: {
        if (!pf::overlay_ok(l)) return at("an overlay line the loader refuses");
        Item it;
        it.kind = Item::OVERLAY;
        it.n = (int)l.n;
        it.f = (int)l.f;
        it.e = (int)l.e;
        p.items.push_back(it);
        break;
      }
      case pf::SKIP: break;
    }
  }
  for (const auto& [name, y] : zasm::read_symbols(data))
    if (y.label && y.val.v >= 0 && y.val.v < STORE) p.names.emplace((int)y.val.v, name);
  if (p.chap0 >= 0 && pf::files_of(store.data(), p.chap0) < 0)
    return "0: chapter 0's file list runs past the end of the store; the loader refuses it";
  if (p.entry < 0 || p.entry >= STORE)
    return "0: the entry address " + std::to_string(p.entry) + " lies outside the store";
  return "";
}

std::string source(const Prog& p, const std::string& name) {
  Flow fl(p);
  // The file's own names, else L (where control goes) or D and the
  // address; a made name that the file uses for another address gets "_".
  std::set<std::string> taken;
  for (const auto& [a, n] : p.names) taken.insert(n);
  auto label = [&](int a) {
    auto n = p.names.find(a);
    if (n != p.names.end()) return n->second;
    std::string t = std::string(fl.targets.count(a) ? "L" : "D") + std::to_string(a);
    while (taken.count(t)) t += "_";
    return t;
  };

  // Labels: what instructions name, where control goes, what reply words hold.
  std::set<int> all = fl.labels;
  all.insert(fl.targets.begin(), fl.targets.end());
  for (const auto& [a, n] : p.names) all.insert(a);

  // The statements: each a run of items from one WORD item on.
  struct St {
    size_t item;  // its first item
    int words;    // words it writes
    std::string text;
  };
  std::vector<St> sts;
  const std::vector<Item>& it = p.items;
  auto word_at = [&](size_t i, int a) {
    return i < it.size() && it[i].kind == Item::WORD && it[i].addr == a;
  };
  for (size_t i = 0; i < it.size();) {
    if (it[i].kind != Item::WORD) {
      sts.push_back({i, 0, ""});
      i++;
      continue;
    }
    int a = it[i].addr;
    int32_t w = it[i].w;
    if (fl.is_code(a, w)) {
      std::string t = statement(w, a, true, label);
      // A literal that is a named address (SELLIT TABLE) is shown by name.
      int dv = w >> 13;
      auto n = p.names.find(w & 0x1FFF);
      if (dv >= 13 && dv <= 15 && n != p.names.end()) t = t.substr(0, t.find(' ') + 1) + n->second;
      sts.push_back({i, 1, t});
      i++;
      continue;
    }
    // A pair at an even address: text when it evidently is, a long word
    // when an instruction takes it as one.
    bool pair = !(a & 1) && word_at(i + 1, a + 1) && !fl.is_code(a + 1, it[i + 1].w);
    std::string t = pair ? chars_of(w, it[i + 1].w) : "";
    if (pair && !t.empty() && marks(t) >= 3 && !all.count(a + 1)) {
      size_t j = i + 2;
      std::string text = t;
      std::vector<size_t> ends{j};
      std::vector<size_t> lens{text.size()};
      while (word_at(j, it[j - 1].addr + 1) && word_at(j + 1, it[j].addr + 1) &&
             !fl.is_code(it[j].addr, it[j].w) && !fl.is_code(it[j + 1].addr, it[j + 1].w) &&
             !all.count(it[j].addr) && !all.count(it[j + 1].addr)) {
        std::string u = chars_of(it[j].w, it[j + 1].w);
        if (u.empty()) break;
        text += u;
        j += 2;
        if (marks(u)) ends.push_back(j), lens.push_back(text.size());
      }
      // Blank pairs at the end go back to numbers.
      j = ends.back();
      text.resize(lens.back());
      sts.push_back({i, (int)(j - i), "TEXT \"" + text + "\""});
      i = j;
      continue;
    }
    if (pair && fl.longs.count(a) && w <= 0xFFFFF && !all.count(a + 1)) {
      int32_t up = it[i + 1].w;
      long long mag = (long long)(up & 0xFFFFF) << 20 | w;
      sts.push_back({i, 2, std::string("LONG ") + (up & 0x100000 ? "-" : "") + num(mag)});
      i += 2;
      continue;
    }
    if (fl.replies.count(a) && w >= 0 && w < STORE) {
      sts.push_back({i, 1, "SHORT " + label(w)});
      all.insert(w);
    } else {
      sts.push_back({i, 1, "SHORT " + short_text(w)});
    }
    i++;
  }

  // Labels stand on the first statement that starts at their address;
  // the others are given by EQU.
  std::map<int, size_t> home;
  for (size_t k = 0; k < sts.size(); k++)
    if (sts[k].words && !home.count(it[sts[k].item].addr)) home[it[sts[k].item].addr] = k;
  std::string out = "; " + name + ", disassembled by zdis\n";
  std::string title = p.title;
  bool plain = !title.empty() && title.size() <= 200 && title[0] != '<';
  for (char c : title) plain &= c >= 32 && c < 127 && c != '"';
  if (plain) out += "        TITLE \"" + title + "\"\n";
  for (int a : all) {
    if (home.count(a)) continue;
    std::string l = label(a) + " ";
    if (l.size() < 8) l.resize(8, ' ');
    out += l + "EQU " + std::to_string(a) + "\n";
  }
  long long loc = 160;
  int tag = 4;
  char b[64];
  for (size_t k = 0; k < sts.size(); k++) {
    const Item& first = it[sts[k].item];
    if (first.kind == Item::TAG) {
      if (first.n != tag) out += "        TAG " + std::to_string(first.n) + "\n";
      tag = first.n;
      continue;
    }
    if (first.kind == Item::OVERLAY) {
      std::snprintf(b, sizeof b, "        OVERLAY %d, %d, %d\n", first.n, first.f, first.e);
      out += b;
      continue;
    }
    if (first.addr != loc) out += "        ORG " + std::to_string(first.addr) + "\n";
    std::string lab;
    auto h = home.find(first.addr);
    if (h != home.end() && h->second == k && all.count(first.addr)) lab = label(first.addr);
    std::string line = lab + " ";
    if (line.size() < 8) line.resize(8, ' ');
    line += sts[k].text;
    if (line.size() < 34) line.resize(34, ' ');
    std::snprintf(b, sizeof b, " ; %d: %s", first.addr, zasm::notation(first.w).c_str());
    out += line + b + "\n";
    loc = first.addr + sts[k].words;
  }
  if (p.entry_set)
    out +=
        "        ENTRY " + (all.count(p.entry) ? label(p.entry) : std::to_string(p.entry)) + "\n";
  if (p.chap0 >= 0) out += "        CHAP0 " + std::to_string(p.chap0) + "\n";
  return out;
}

}  // namespace zdis
