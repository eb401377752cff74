// Snapshots: the whole machine in a text file (registers from the register
// table, store, tags, watch copy, overlays, route table with each open host
// file's name and position, the paper tape reader, the action counters) and
// the contents of every host file the run has opened, closed by a checksum
// so that a damaged file is refused.
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
#include "files.h"
#include "ops.h"

namespace {

const char HEAD[] = "zelk snapshot ";
// Version 2 carries the host files; version 1 did not, so that a restore
// could not bring back what was written after the save.
const int VERSION = 2;
const int DATA = 64;  // bytes of a file per data line

void addf(std::string& s, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
void addf(std::string& s, const char* fmt, ...) {
  char buf[512];
  va_list ap;
  va_start(ap, fmt);
  int n = vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  s.append(buf, n < (int)sizeof buf ? n : (int)sizeof buf - 1);
}

std::string why(const std::string& name) { return name + ": " + strerror(errno); }

// The whole of a host file: by name, or (fd 0 or more) through an open
// descriptor without moving it. False with errno set; ENOENT when absent.
bool slurp(const std::string& name, int fd, std::string& out) {
  int f = fd >= 0 ? fd : open(name.c_str(), O_RDONLY);
  if (f < 0) return false;
  struct stat st;
  bool ok = fstat(f, &st) == 0;
  if (ok && S_ISDIR(st.st_mode)) errno = EISDIR, ok = false;
  out.clear();
  char buf[1 << 16];
  for (off_t at = 0; ok;) {
    ssize_t r = pread(f, buf, sizeof buf, at);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) ok = false;
    if (r <= 0) break;
    out.append(buf, (size_t)r);
    at += r;
  }
  if (fd < 0) {
    int e = errno;
    close(f);
    errno = e;
  }
  return ok;
}

// A file's contents as lines: "KEY LEN NAME" (LEN -1 when the file is
// absent), then its bytes in hexadecimal, DATA to a line.
void add_file(std::string& s, const char* key, const std::string& name, bool there,
              const std::string& bytes) {
  addf(s, "%s %lld %s\n", key, there ? (long long)bytes.size() : -1LL, name.c_str());
  if (!there) return;
  for (size_t i = 0; i < bytes.size(); i += DATA) {
    s += "data ";
    for (size_t k = i; k < bytes.size() && k < i + DATA; k++)
      addf(s, "%02x", (unsigned char)bytes[k]);
    s += '\n';
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

// Writes text to name through a temporary file and a rename, so that a
// failed write leaves an older file of that name as it was.
std::string put_text(const std::string& name, const std::string& text);

}  // namespace

uint64_t snap_sum(const std::string& s) {
  uint64_t h = 14695981039346656037ull;  // FNV-1a
  for (unsigned char c : s) h = (h ^ c) * 1099511628211ull;
  return h;
}

std::string capture(State& s) {
  s.m = M;
  s.m.out = s.m.log = s.m.err = s.m.in = nullptr;
  s.m.reader = nullptr;
  for (int k = 0; k < 10; k++) {
    const Route& e = M.routes[k];
    s.pos[k] = e.fd >= 0 ? lseek(e.fd, 0, SEEK_CUR) : -1;
    if (e.fd >= 0 && s.pos[k] < 0) return why(e.path);
    s.m.routes[k].fd = -1;
  }
  s.rpos = M.reader ? ftell(M.reader) : -1;
  if (M.reader && s.rpos < 0) return why(M.ptrname);
  return "";
}

namespace {

// Host handles of a machine about to be installed: closed unless taken.
struct Handles {
  int fd[10];
  FILE* reader = nullptr;
  Handles() {
    for (int& f : fd) f = -1;
  }
  ~Handles() {
    for (int f : fd)
      if (f >= 0) close(f);
    if (reader) fclose(reader);
  }
};

// Opens a host file at a position into fd; "" or the problem, naming it.
std::string open_at(const std::string& path, const std::string& shown, int flags, long long pos,
                    int& fd) {
  fd = open(path.c_str(), flags);
  if (fd < 0) return why(shown);
  struct stat st;
  if (fstat(fd, &st) != 0) return why(shown);
  if (S_ISDIR(st.st_mode)) return shown + ": " + strerror(EISDIR);
  if (st.st_size < pos)
    return shown + " is shorter (" + std::to_string((long long)st.st_size) +
           " bytes) than its saved position " + std::to_string(pos);
  if (lseek(fd, pos, SEEK_SET) < 0) return why(shown);
  return "";
}

// The reader's text stream over fd, at its position.
std::string reader_at(int& fd, const std::string& name, FILE*& f) {
  f = fdopen(fd, "r");
  if (!f) return why(name);
  fd = -1;
  return "";
}

// The machine becomes s, with these handles; the session (streams, switch
// text, log file) stays.
void install(const State& s, Handles& h) {
  close_all();
  FILE *out = M.out, *log = M.log, *err = M.err, *in = M.in;
  std::string sw = M.switches;
  bool logfile = M.logfile;
  M = s.m;
  M.out = out, M.log = log, M.err = err, M.in = in;
  M.switches = sw;
  M.logfile = logfile;
  // A log file closed by an unload before this restore goes on.
  if (!M.log && logfile) M.log = fopen("log.txt", "a");
  for (int k = 0; k < 10; k++) {
    M.routes[k].fd = h.fd[k];
    h.fd[k] = -1;
  }
  M.reader = h.reader;
  h.reader = nullptr;
  recheck();
}

}  // namespace

std::string apply(const State& s) {
  Handles h;
  for (int k = 0; k < 10; k++) {
    const Route& e = s.m.routes[k];
    if (s.pos[k] < 0) continue;
    std::string w = open_at(e.path, e.path, e.oflags, s.pos[k], h.fd[k]);
    if (!w.empty()) return w;
  }
  if (s.rpos >= 0) {
    int fd;
    std::string w = open_at(s.m.ptrname, s.m.ptrname, O_RDONLY, s.rpos, fd);
    if (w.empty()) w = reader_at(fd, s.m.ptrname, h.reader);
    if (fd >= 0) close(fd);
    if (!w.empty()) return w;
  }
  install(s, h);
  return "";
}

std::string save(const std::string& name) {
  static State st;
  std::string w = capture(st);
  if (!w.empty()) return w;
  const Machine& m = st.m;
  std::string s = HEAD + std::to_string(VERSION) + "\n";
  for (int i = 0; i < nregs; i++) {
    const RegInfo& r = regs[i];
    if (!(r.flags & SAVED)) continue;
    long long v, v2;
    reg_get(r, m, v, v2);
    if (r.kind == PAIR)
      addf(s, "reg %s %lld %lld\n", r.name, v, v2);
    else
      addf(s, "reg %s %lld\n", r.name, v);
  }
  for (int a = 0; a < STORE; a += 16) {
    bool any = false;
    for (int i = 0; i < 16; i++) any |= m.store[a + i] != 0;
    if (!any) continue;
    addf(s, "store %d", a);
    for (int i = 0; i < 16; i++) addf(s, " %x", (uint32_t)m.store[a + i]);
    s += '\n';
  }
  for (int a = 0; a < STORE; a += 64) {
    bool any = false;
    for (int i = 0; i < 64; i++) any |= m.tags[a + i] != 4;
    if (!any) continue;
    addf(s, "tags %d ", a);
    for (int i = 0; i < 64; i++) addf(s, "%02X", m.tags[a + i]);
    s += '\n';
  }
  s += "wcopy";
  for (int32_t v : m.wcopy) addf(s, " %x", (uint32_t)v);
  s += '\n';
  for (int k = 0; k < 15; k++) {
    const Overlay& o = m.ovl[k];
    if (o.image.empty() && o.len == 0 && o.first == 0) continue;
    addf(s, "ovl %d %d %d %zu", k, o.first, o.len, o.image.size());
    for (int32_t v : o.image) addf(s, " %x", (uint32_t)v);
    s += '\n';
  }
  for (int k = 0; k < 10; k++) {
    const Route& e = m.routes[k];
    addf(s, "route %d %d %d %d %d %d %d %d %d %lld %s\n", k, e.name, e.type, e.mode, e.last,
         e.count, e.pending, st.pos[k] >= 0, e.oflags, st.pos[k] < 0 ? 0 : st.pos[k],
         e.path.c_str());
  }
  addf(s, "reader %d %d %lld %d\n", st.rpos >= 0, m.reader_eof, st.rpos < 0 ? 0 : st.rpos,
       m.reader_used);
  s += "ptr " + m.ptrname + "\n";
  for (int t = 0; t < 20; t++)
    for (int q = 0; q < 64; q++)
      if (m.acts[t][q]) addf(s, "acts %d %d %lld\n", t, q, m.acts[t][q]);
  // The files; the reader's through its own descriptor, which may be a
  // private copy (see open_saved()).
  std::string bytes;
  for (const std::string& f : m.files) {
    bool there = slurp(f, -1, bytes);
    if (!there && errno != ENOENT) return why(f);
    add_file(s, "file", f, there, bytes);
  }
  if (m.reader_used) {
    bool there = slurp(m.ptrname, M.reader ? fileno(M.reader) : -1, bytes);
    if (!there && errno != ENOENT) return why(m.ptrname);
    add_file(s, "input", m.ptrname, there, bytes);
  }
  addf(s, "sum %016" PRIx64 "\n", snap_sum(s));
  return put_text(name, s);
}

namespace {

std::string put_text(const std::string& name, const std::string& text) {
  std::string tmp = name + ".tmpXXXXXX";
  int fd = mkstemp(tmp.data());
  if (fd < 0) return why(name);
  mode_t mask = umask(0);
  umask(mask);
  bool ok = file_write(fd, text.data(), (long)text.size()) && fchmod(fd, 0666 & ~mask) == 0;
  int e = errno;
  if (close(fd) != 0 && ok) ok = false, e = errno;
  if (ok && rename(tmp.c_str(), name.c_str()) != 0) ok = false, e = errno;
  if (ok) return "";
  unlink(tmp.c_str());
  errno = e;
  return why(name);
}

// A host file as the snapshot carries it.
struct Saved {
  std::string name;
  bool there = false;  // the file existed at the save
  long long len = 0;   // its length then
  std::string bytes;
  std::string tmp;  // the temporary file that brings it back, if it must
};

// A snapshot being read: the machine and the files it carries.
struct Reading {
  State s;
  std::vector<Saved> files;
  Saved input;  // the reader's file
  bool has_input = false;
  bool reader_open = false;
};

bool word(std::istringstream& in, int32_t& w) {
  std::string t;
  if (!(in >> t)) return false;
  char* e;
  errno = 0;
  unsigned long v = strtoul(t.c_str(), &e, 16);
  if (*e || errno || v > 0xFFFFFFFFul || t[0] == '-') return false;
  w = (int32_t)(uint32_t)v;
  return true;
}

// The end of a line's fields: nothing more may follow.
bool done(std::istringstream& in) {
  std::string t;
  return !(in >> t);
}

int hexval(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string parse(const std::string& text, int version, Reading& rd) {
  Machine& m = rd.s.m;
  std::istringstream lines(text);
  std::string line;
  std::getline(lines, line);  // the head, checked already
  int no = 1;
  long long reader_pos = 0;
  bool seen[10] = {};
  Saved* into = nullptr;  // the file whose data lines follow
  auto bad = [&](const char* what) {
    return "damaged snapshot: line " + std::to_string(no) + ": " + what;
  };
  while (std::getline(lines, line)) {
    no++;
    std::istringstream in(line);
    std::string key;
    in >> key;
    if (key == "data") {
      std::string h;
      if (!into || !(in >> h) || !done(in) || h.size() % 2 ||
          (long long)(into->bytes.size() + h.size() / 2) > into->len)
        return bad("file data");
      for (size_t i = 0; i < h.size(); i += 2) {
        int a = hexval(h[i]), b = hexval(h[i + 1]);
        if (a < 0 || b < 0) return bad("file data");
        into->bytes += (char)(a * 16 + b);
      }
      continue;
    }
    if (into && (long long)into->bytes.size() != into->len) return bad("file cut short");
    into = nullptr;
    if (key == "reg") {
      std::string name;
      in >> name;
      const RegInfo* r = reg_named(name);
      if (!r || !(r->flags & SAVED)) return bad("unknown register");
      long long v, v2 = 0;
      if (!(in >> v) || (r->kind == PAIR && !(in >> v2)) || !done(in)) return bad("register value");
      std::string w = reg_set(*r, m, v, v2);
      if (!w.empty()) return bad(("register out of range: " + w).c_str());
    } else if (key == "store") {
      int a;
      if (!(in >> a) || a < 0 || a > STORE - 16 || a % 16) return bad("store address");
      for (int i = 0; i < 16; i++)
        if (!word(in, m.store[a + i])) return bad("store word");
      if (!done(in)) return bad("store word");
    } else if (key == "tags") {
      int a;
      std::string t;
      size_t w = version == 1 ? 1 : 2;  // hexadecimal digits a tag
      if (!(in >> a >> t) || !done(in) || a < 0 || a > STORE - 64 || a % 64 || t.size() != 64 * w)
        return bad("tags");
      for (int i = 0; i < 64; i++) {
        int v = 0;
        for (size_t k = 0; k < w; k++) {
          int x = hexval(t[i * w + k]);
          if (x < 0 || (x > 9 && islower((unsigned char)t[i * w + k]))) return bad("tag");
          v = v * 16 + x;
        }
        m.tags[a + i] = (uint8_t)v;
      }
    } else if (key == "wcopy") {
      for (int32_t& w : m.wcopy)
        if (!word(in, w)) return bad("watch copy");
      if (!done(in)) return bad("watch copy");
    } else if (key == "ovl") {
      int k, first, len;
      long long n;
      if (!(in >> k >> first >> len >> n) || k < 0 || k > 14 || first < 0 || first > STORE ||
          n < 0 || n > STORE - first || len != 4 * n)
        return bad("overlay");
      Overlay& o = m.ovl[k];
      o.first = first;
      o.len = len;
      o.image.resize((size_t)n);
      for (int32_t& w : o.image)
        if (!word(in, w)) return bad("overlay word");
      if (!done(in)) return bad("overlay word");
    } else if (key == "route") {
      int k, open, pending;
      long long pos;
      Route e;
      if (!(in >> k >> e.name >> e.type >> e.mode >> e.last >> e.count >> pending >> open >>
            e.oflags >> pos) ||
          k < 0 || k > 9 || e.type < -32768 || e.type > 32767 || pending < 0 || pending > 1 ||
          open < 0 || open > 1 || pos < 0 || pos > (1LL << 40))
        return bad("route");
      e.pending = pending;
      e.path = rest(line, 11);
      if (e.oflags != O_RDWR && e.oflags != O_WRONLY && e.oflags != (O_WRONLY | O_APPEND) &&
          !(e.oflags == 0 && e.path.empty()))
        return bad("route: open flags");
      if (!e.path.empty() && !machine_file_name(e.path)) return bad("route: file name");
      if (open && e.path.empty()) return bad("route: open without a file");
      rd.s.pos[k] = open ? pos : -1;
      m.routes[k] = e;
      seen[k] = true;
    } else if (key == "reader") {
      int open, eof, used = 0;
      if (!(in >> open >> eof >> reader_pos) || (version > 1 && !(in >> used)) || !done(in) ||
          open < 0 || open > 1 || eof < 0 || eof > 1 || used < 0 || used > 1 || reader_pos < 0 ||
          (open && version > 1 && !used))
        return bad("reader");
      rd.reader_open = open;
      m.reader_eof = eof;
      m.reader_used = used;
    } else if (key == "ptr") {
      m.ptrname = rest(line, 1);
      if (m.ptrname.empty()) return bad("reader file name");
    } else if (key == "acts") {
      int t, q;
      long long n;
      if (!(in >> t >> q >> n) || !done(in) || t < 0 || t >= 20 || q < 0 || q >= 64 || n < 0)
        return bad("counter");
      m.acts[t][q] = n;
    } else if ((key == "file" || key == "input") && version > 1) {
      long long len;
      if (!(in >> len) || len < -1 || len > (1LL << 40)) return bad("file");
      Saved f;
      f.name = rest(line, 2);
      f.there = len >= 0;
      f.len = len < 0 ? 0 : len;
      if (key == "file") {
        if (!machine_file_name(f.name)) return bad("file name");
        for (const Saved& g : rd.files)
          if (g.name == f.name) return bad("file named twice");
        rd.files.push_back(f);
        into = &rd.files.back();
      } else {
        if (rd.has_input || f.name.empty()) return bad("reader file");
        rd.input = f;
        rd.has_input = true;
        into = &rd.input;
      }
    } else if (key == "sum") {
      break;
    } else {
      return bad("unknown line");
    }
  }
  if (into && (long long)into->bytes.size() != into->len) return bad("file cut short");
  if (m.uradix != ((m.radix >> 16) & 0xF) * 0x11111) return bad("upper radix does not match");
  for (bool k : seen)
    if (!k) return bad("route table incomplete");
  rd.s.rpos = rd.reader_open ? reader_pos : -1;
  if (version == 1) {
    // A version 1 snapshot carries no files: it is exact only when the run
    // had opened none.
    for (const Route& e : m.routes)
      if (!e.path.empty())
        return "snapshot of format version 1 carries no copy of " + e.path +
               ", which the run had opened: it cannot be restored exactly";
    if (rd.reader_open)
      return "snapshot of format version 1 carries no copy of " + m.ptrname +
             ", which the run was reading: it cannot be restored exactly";
    return "";
  }
  m.files.clear();
  for (const Saved& f : rd.files) m.files.push_back(f.name);
  for (int k = 0; k < 10; k++) {
    if (rd.s.pos[k] < 0) continue;
    const Saved* f = nullptr;
    for (const Saved& g : rd.files)
      if (g.name == m.routes[k].path) f = &g;
    if (!f || !f->there || f->len < rd.s.pos[k]) return bad("route position outside its file");
  }
  if (m.reader_used != rd.has_input || (rd.has_input && rd.input.name != m.ptrname))
    return bad("reader file");
  if (rd.reader_open && (!rd.input.there || rd.input.len < reader_pos))
    return bad("reader position outside its file");
  return "";
}

// Brings the saved files back into temporary files beside them where they
// differ from what is there now; "" or the problem, naming the file.
std::string stage(Reading& rd) {
  std::string now;
  for (Saved& f : rd.files) {
    bool there = slurp(f.name, -1, now);
    if (!there && errno != ENOENT) return why(f.name);
    if (there == f.there && (!there || now == f.bytes)) continue;
    if (!f.there) continue;  // removed at the install
    struct stat st;
    mode_t mode = stat(f.name.c_str(), &st) == 0 ? st.st_mode & 07777 : 0640;
    f.tmp = "." + f.name + ".XXXXXX";
    int fd = mkstemp(f.tmp.data());
    if (fd < 0) {
      f.tmp.clear();
      return why(f.name);
    }
    bool ok = file_write(fd, f.bytes.data(), (long)f.bytes.size()) && fchmod(fd, mode) == 0;
    int e = errno;
    if (close(fd) != 0 && ok) ok = false, e = errno;
    errno = e;
    if (!ok) return why(f.name);
  }
  return "";
}

void unstage(Reading& rd) {
  for (Saved& f : rd.files)
    if (!f.tmp.empty()) unlink(f.tmp.c_str());
}

// Opens the saved machine's host files (the staged copies where there are
// any) at their positions into h.
std::string open_saved(Reading& rd, Handles& h) {
  const Machine& m = rd.s.m;
  for (int k = 0; k < 10; k++) {
    if (rd.s.pos[k] < 0) continue;
    const Route& e = m.routes[k];
    std::string path = e.path;
    for (const Saved& f : rd.files)
      if (f.name == e.path && !f.tmp.empty()) path = f.tmp;
    std::string w = open_at(path, e.path, e.oflags, rd.s.pos[k], h.fd[k]);
    if (!w.empty()) return w;
  }
  if (!rd.has_input) return "";
  // The reader's file is the operator's, never written: where it differs
  // from the saved copy, an open reader reads that copy from a private file,
  // and a closed one would read the changed file again: refused.
  std::string now;
  bool same = slurp(m.ptrname, -1, now) == rd.input.there && now == rd.input.bytes;
  if (!rd.reader_open) {
    if (same || !rd.input.there) return "";
    return m.ptrname + " has changed since the save, and the run would read it again";
  }
  int fd = -1;
  if (same) {
    std::string w = open_at(m.ptrname, m.ptrname, O_RDONLY, rd.s.rpos, fd);
    if (w.empty()) w = reader_at(fd, m.ptrname, h.reader);
    if (fd >= 0) close(fd);
    return w;
  }
  h.reader = tmpfile();
  if (!h.reader ||
      fwrite(rd.input.bytes.data(), 1, rd.input.bytes.size(), h.reader) != rd.input.bytes.size() ||
      fflush(h.reader) != 0 || fseek(h.reader, rd.s.rpos, SEEK_SET) != 0)
    return why(m.ptrname);
  return "";
}

}  // namespace

std::string restore(const std::string& name) {
  std::ifstream f(name, std::ios::binary);
  if (!f) return why(name);
  struct stat st;
  if (stat(name.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return name + ": not a regular file";
  std::stringstream buf;
  buf << f.rdbuf();
  std::string text = buf.str();
  if (text.compare(0, strlen(HEAD), HEAD) != 0) return name + ": not a snapshot";
  int version = 0;
  for (int v = 1; v <= VERSION; v++)
    if (text.compare(0, strlen(HEAD) + 2, HEAD + std::to_string(v) + "\n") == 0) version = v;
  if (!version)
    return name + ": snapshot of another format version (this emulator reads versions 1 to " +
           std::to_string(VERSION) + ")";
  size_t sum = text.rfind("\nsum ");
  if (sum == std::string::npos) return name + ": damaged snapshot: no checksum";
  std::string body = text.substr(0, sum + 1);
  char want[32];
  snprintf(want, sizeof want, "sum %016" PRIx64 "\n", snap_sum(body));
  if (text.substr(sum + 1) != want) return name + ": damaged snapshot: checksum does not match";

  // The new machine starts from the cleared state: store 0, tags 4.
  static Reading rd;
  rd = Reading{};
  clear(rd.s.m);
  for (long long& p : rd.s.pos) p = -1;
  std::string w = parse(body, version, rd);
  if (!w.empty()) return name + ": " + w;
  Handles h;
  w = stage(rd);
  if (w.empty()) w = open_saved(rd, h);
  if (!w.empty()) {
    unstage(rd);
    return w;
  }
  // Everything is ready: the files take their saved contents, then the
  // machine becomes the saved one.
  for (Saved& g : rd.files) {
    if (!g.tmp.empty() && rename(g.tmp.c_str(), g.name.c_str()) != 0) {
      w = why(g.name);
      unstage(rd);
      return w;
    }
    g.tmp.clear();
    if (!g.there) unlink(g.name.c_str());
  }
  install(rd.s, h);
  return "";
}
