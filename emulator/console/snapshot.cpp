// Snapshots: the whole machine in a text file (registers from the register
// table, store, tags, watch copy, overlays, route table with each open host
// file's name and position, the paper tape reader, the action counters),
// closed by a checksum so that a damaged file is refused.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdarg>
#include <cstring>
#include <fstream>
#include <sstream>

#include "console.h"
#include "ops.h"

namespace {

const char HEAD[] = "zelk snapshot ";
const int VERSION = 1;

void addf(std::string& s, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
void addf(std::string& s, const char* fmt, ...) {
  char buf[512];
  va_list ap;
  va_start(ap, fmt);
  int n = vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  s.append(buf, n < (int)sizeof buf ? n : (int)sizeof buf - 1);
}

void add_reg(std::string& s, const RegInfo& r) {
  switch (r.kind) {
    case PAIR: {
      const Reg* v = (const Reg*)r.p;
      addf(s, "reg %s %d %d\n", r.name, v->up, v->lo);
      break;
    }
    case COUNT: addf(s, "reg %s %lld\n", r.name, *(const long long*)r.p); break;
    case FLAG: addf(s, "reg %s %d\n", r.name, *(const bool*)r.p ? 1 : 0); break;
    default: addf(s, "reg %s %d\n", r.name, *(const int*)r.p); break;
  }
}

// A text field of a line: the rest of it after n fields, for host file
// names, which may hold blanks.
std::string rest(const std::string& line, int n) {
  size_t i = 0;
  for (int k = 0; k < n && i != std::string::npos; k++) {
    i = line.find(' ', i);
    if (i != std::string::npos) i++;
  }
  return i == std::string::npos ? "" : line.substr(i);
}

}  // namespace

uint64_t snap_sum(const std::string& s) {
  uint64_t h = 14695981039346656037ull;  // FNV-1a
  for (unsigned char c : s) h = (h ^ c) * 1099511628211ull;
  return h;
}

std::string save(const std::string& name) {
  std::string s = HEAD + std::to_string(VERSION) + "\n";
  for (int i = 0; i < nregs; i++) add_reg(s, regs[i]);
  for (int a = 0; a < STORE; a += 16) {
    bool any = false;
    for (int i = 0; i < 16; i++) any |= M.store[a + i] != 0;
    if (!any) continue;
    addf(s, "store %d", a);
    for (int i = 0; i < 16; i++) addf(s, " %x", (uint32_t)M.store[a + i]);
    s += '\n';
  }
  for (int a = 0; a < STORE; a += 64) {
    bool any = false;
    for (int i = 0; i < 64; i++) any |= M.tags[a + i] != 4;
    if (!any) continue;
    addf(s, "tags %d ", a);
    for (int i = 0; i < 64; i++) s += "0123456789ABCDEF"[M.tags[a + i] & 15];
    s += '\n';
  }
  s += "wcopy";
  for (int32_t w : M.wcopy) addf(s, " %x", (uint32_t)w);
  s += '\n';
  for (int k = 0; k < 15; k++) {
    const Overlay& o = M.ovl[k];
    if (o.image.empty() && o.len == 0 && o.first == 0) continue;
    addf(s, "ovl %d %d %d %zu", k, o.first, o.len, o.image.size());
    for (int32_t w : o.image) addf(s, " %x", (uint32_t)w);
    s += '\n';
  }
  for (int k = 0; k < 10; k++) {
    const Route& e = M.routes[k];
    long long pos = e.fd >= 0 ? lseek(e.fd, 0, SEEK_CUR) : 0;
    if (pos < 0) return e.path + ": " + strerror(errno);
    addf(s, "route %d %d %d %d %d %d %d %d %d %lld %s\n", k, e.name, e.type, e.mode, e.last,
         e.count, e.pending, e.fd >= 0, e.oflags, pos, e.path.c_str());
  }
  long pos = M.reader ? ftell(M.reader) : 0;
  if (pos < 0) return M.ptrname + ": " + strerror(errno);
  addf(s, "reader %d %d %ld\n", M.reader != nullptr, M.reader_eof, pos);
  s += "ptr " + M.ptrname + "\n";
  for (int t = 0; t < 20; t++)
    for (int q = 0; q < 64; q++)
      if (M.acts[t][q]) addf(s, "acts %d %d %lld\n", t, q, M.acts[t][q]);
  addf(s, "sum %016" PRIx64 "\n", snap_sum(s));
  std::ofstream f(name, std::ios::binary | std::ios::trunc);
  if (!f) return name + ": " + strerror(errno);
  f << s;
  f.close();
  if (!f) return name + ": write failed";
  return "";
}

namespace {

// A machine being read back: parsed into `m`, its host files opened into
// fds and reader; nothing in M changes until the whole snapshot is good.
struct Pending {
  Machine& m;
  int fds[10];
  FILE* reader = nullptr;
  explicit Pending(Machine& mm) : m(mm) {
    for (int& f : fds) f = -1;
  }
  ~Pending() {
    for (int f : fds)
      if (f >= 0) close(f);
    if (reader) fclose(reader);
  }
};

bool word(std::istringstream& in, int32_t& w) {
  std::string t;
  if (!(in >> t)) return false;
  char* e;
  errno = 0;
  unsigned long v = strtoul(t.c_str(), &e, 16);
  if (*e || errno || v > 0xFFFFFFFFul) return false;
  w = (int32_t)(uint32_t)v;
  return true;
}

// Opens a saved host file again at its position; "" or the problem.
std::string reopen(const std::string& path, int flags, long long pos, int& fd) {
  fd = open(path.c_str(), flags);
  if (fd < 0) return path + ": " + strerror(errno);
  struct stat st;
  if (fstat(fd, &st) != 0) return path + ": " + strerror(errno);
  if (S_ISDIR(st.st_mode)) return path + ": " + strerror(EISDIR);
  if (st.st_size < pos)
    return path + " is shorter (" + std::to_string((long long)st.st_size) +
           " bytes) than its saved position " + std::to_string(pos);
  if (lseek(fd, pos, SEEK_SET) < 0) return path + ": " + strerror(errno);
  return "";
}

std::string parse(const std::string& text, Pending& p) {
  Machine& m = p.m;
  std::istringstream lines(text);
  std::string line;
  std::getline(lines, line);  // the head, checked already
  int no = 1;
  bool reader_open = false;
  long reader_pos = 0;
  auto bad = [&](const char* why) {
    return "damaged snapshot: line " + std::to_string(no) + ": " + why;
  };
  while (std::getline(lines, line)) {
    no++;
    std::istringstream in(line);
    std::string key;
    in >> key;
    if (key == "reg") {
      std::string name;
      in >> name;
      const RegInfo* r = reg_named(name);
      if (!r) return bad("unknown register");
      void* at = place(*r, m);
      long long v, v2 = 0;
      if (!(in >> v) || (r->kind == PAIR && !(in >> v2))) return bad("register value");
      switch (r->kind) {
        case PAIR:
          ((Reg*)at)->up = (int32_t)v;
          ((Reg*)at)->lo = (int32_t)v2;
          break;
        case COUNT: *(long long*)at = v; break;
        case FLAG: *(bool*)at = v != 0; break;
        default: *(int*)at = (int)v; break;
      }
    } else if (key == "store") {
      int a;
      if (!(in >> a) || a < 0 || a > STORE - 16 || a % 16) return bad("store address");
      for (int i = 0; i < 16; i++)
        if (!word(in, m.store[a + i])) return bad("store word");
    } else if (key == "tags") {
      int a;
      std::string t;
      if (!(in >> a >> t) || a < 0 || a > STORE - 64 || a % 64 || t.size() != 64)
        return bad("tags");
      for (int i = 0; i < 64; i++) {
        const char* h = strchr("0123456789ABCDEF", t[i]);
        if (!h || !t[i]) return bad("tag");
        m.tags[a + i] = (uint8_t)(h - "0123456789ABCDEF");
      }
    } else if (key == "wcopy") {
      for (int32_t& w : m.wcopy)
        if (!word(in, w)) return bad("watch copy");
    } else if (key == "ovl") {
      int k, first, len;
      size_t n;
      if (!(in >> k >> first >> len >> n) || k < 0 || k > 14 || first < 0 || n > STORE ||
          first + (long long)n > STORE)
        return bad("overlay");
      Overlay& o = m.ovl[k];
      o.first = first;
      o.len = len;
      o.image.resize(n);
      for (int32_t& w : o.image)
        if (!word(in, w)) return bad("overlay word");
    } else if (key == "route") {
      int k, open;
      long long pos;
      Route e;
      if (!(in >> k >> e.name >> e.type >> e.mode >> e.last >> e.count >> e.pending >> open >>
            e.oflags >> pos) ||
          k < 0 || k > 9 || pos < 0)
        return bad("route");
      e.path = rest(line, 11);
      e.oflags &= O_ACCMODE | O_APPEND;  // never a create or truncate
      if (open) {
        std::string why = reopen(e.path, e.oflags, pos, p.fds[k]);
        if (!why.empty()) return why;
      }
      e.fd = -1;
      m.routes[k] = e;
    } else if (key == "reader") {
      int open, eof;
      if (!(in >> open >> eof >> reader_pos) || reader_pos < 0) return bad("reader");
      reader_open = open;
      m.reader_eof = eof;
    } else if (key == "ptr") {
      m.ptrname = rest(line, 1);
    } else if (key == "acts") {
      int t, q;
      long long n;
      if (!(in >> t >> q >> n) || t < 0 || t >= 20 || q < 0 || q >= 64) return bad("counter");
      m.acts[t][q] = n;
    } else if (key == "sum") {
      break;
    } else {
      return bad("unknown line");
    }
  }
  if (m.sc < 0 || m.sc > STORE + 1 || m.wlen < 0 || m.wlen > 20)
    return bad("register out of range");
  if (reader_open) {
    int fd;
    std::string why = reopen(m.ptrname, O_RDONLY, reader_pos, fd);
    if (!why.empty()) {
      if (fd >= 0) close(fd);
      return why;
    }
    p.reader = fdopen(fd, "r");
    if (!p.reader) return m.ptrname + ": " + strerror(errno);
  }
  return "";
}

}  // namespace

std::string restore(const std::string& name) {
  std::ifstream f(name, std::ios::binary);
  if (!f) return name + ": " + strerror(errno);
  std::stringstream buf;
  buf << f.rdbuf();
  std::string text = buf.str();
  std::string head = HEAD + std::to_string(VERSION) + "\n";
  if (text.compare(0, strlen(HEAD), HEAD) != 0) return name + ": not a snapshot";
  if (text.compare(0, head.size(), head) != 0)
    return name + ": snapshot of another format version (this emulator reads version " +
           std::to_string(VERSION) + ")";
  size_t sum = text.rfind("\nsum ");
  if (sum == std::string::npos) return name + ": damaged snapshot: no checksum";
  std::string body = text.substr(0, sum + 1);
  char want[32];
  snprintf(want, sizeof want, "sum %016" PRIx64 "\n", snap_sum(body));
  if (text.substr(sum + 1) != want) return name + ": damaged snapshot: checksum does not match";

  // The new machine starts from the cleared state: store 0, tags 4.
  static Machine next;
  clear(next);
  Pending p(next);
  std::string why = parse(body, p);
  if (!why.empty()) return why.rfind("damaged", 0) == 0 ? name + ": " + why : why;

  // Good: the machine becomes the saved one; the session's streams and
  // switch text stay.
  close_all();
  FILE *out = M.out, *log = M.log, *err = M.err, *in = M.in;
  std::string sw = M.switches;
  M = next;
  M.out = out, M.log = log, M.err = err, M.in = in;
  M.switches = sw;
  for (int k = 0; k < 10; k++) {
    M.routes[k].fd = p.fds[k];
    p.fds[k] = -1;
  }
  M.reader = p.reader;
  p.reader = nullptr;
  recheck();
  return "";
}
