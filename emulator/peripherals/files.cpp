// Host files of the run: opening, writing and closing, in one place.
#include "files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <utility>

#include "tape.h"

namespace {

// One logged change: a stretch [off, off + span) of a file and the file's
// length, as they stand on the other side of the change from the files as
// they are: before the change while it is in the files, after it once it
// has been undone. Undoing and doing again are the same exchange.
struct Change {
  long long count;  // the instruction that made it
  int file;         // in names
  long long off, span;
  long long len;      // the file's length on the other side; -1: no file
  std::string bytes;  // the stretch's bytes on the other side, up to len
};

struct Undo {
  bool on = false;
  std::vector<std::string> names;
  std::deque<Change> log;   // in the order made
  size_t done = 0;          // log[0 .. done) are in the files
  long long bytes = 0;      // memory of the log
  long long diverged = -1;  // where a change differed from the one logged
  // What the log knows without asking the host, kept so that a logged
  // write costs no more host calls than it must: each file's length (-1
  // unknown, -2 not a regular file), and the position of each descriptor
  // open for writing only, which only the writes move (-1 unknown).
  std::vector<long long> len, pos;
} u;

long long& known(std::vector<long long>& v, size_t i) {
  if (v.size() <= i) v.resize(i + 1, -1);
  return v[i];
}

long long cost(const Change& c) { return (long long)(sizeof c + c.bytes.size()); }

int file_index(const std::string& name) {
  auto it = std::find(u.names.begin(), u.names.end(), name);
  if (it != u.names.end()) return (int)(it - u.names.begin());
  u.names.push_back(name);
  return (int)u.names.size() - 1;
}

// Reads the bytes of [off, off + span) that lie below len from fd (or, when
// fd cannot be read, from the file by name) into out.
bool read_part(int fd, const std::string& name, long long off, long long span, long long len,
               std::string& out) {
  out.clear();
  long long n = std::min(off + span, len) - off;
  if (n <= 0) return true;
  out.resize((size_t)n);
  int f = fd;
  for (long long got = 0; got < n;) {
    ssize_t r = pread(f, out.data() + got, (size_t)(n - got), off + got);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0 && errno == EBADF && f == fd) {  // open for writing only
      if ((f = open(name.c_str(), O_RDONLY)) < 0) return false;
      continue;
    }
    if (r < 0) {
      if (f != fd) close(f);
      return false;
    }
    if (r == 0) {  // the file ends sooner than its length said
      out.resize((size_t)got);
      break;
    }
    got += r;
  }
  if (f != fd) close(f);
  return true;
}

// The run has left the logged history at instruction `at`: all of the
// history after it is another run's.
void leave(long long at) {
  while (u.log.size() > u.done) {
    u.bytes -= cost(u.log.back());
    u.log.pop_back();
  }
  if (u.diverged < 0) u.diverged = at;
}

// Logs change c, made by the instruction now being obeyed. Over history
// already logged (the run going forward again after going back) it takes
// the place of the same change logged before; a different change drops
// the history after it.
void add(Change c) {
  if (u.done < u.log.size()) {
    Change& old = u.log[u.done];
    if (old.count == c.count && old.file == c.file && old.off == c.off && old.span == c.span) {
      u.bytes += cost(c) - cost(old);
      old = std::move(c);
      u.done++;
      return;
    }
    leave(c.count);
  }
  u.bytes += cost(c);
  u.log.push_back(std::move(c));
  u.done++;
}

// What an open with O_CREAT or O_TRUNC is about to change: the file does not
// exist yet, or it exists and is emptied. False when it changes nothing that
// is logged (an existing file opened to add to, or not a regular file).
bool opening(const std::string& name, int flags, Change& c) {
  c = Change{M.count, 0, 0, 0, -1, ""};
  struct stat st;
  if (stat(name.c_str(), &st) != 0) {
    if (errno != ENOENT) return false;
    c.file = file_index(name);
    return true;
  }
  if (!S_ISREG(st.st_mode) || !(flags & O_TRUNC)) return false;
  c.file = file_index(name);
  c.span = c.len = st.st_size;
  int fd = open(name.c_str(), O_RDONLY);
  if (fd < 0) return false;
  bool ok = read_part(fd, name, 0, c.span, c.len, c.bytes);
  close(fd);
  return ok;
}

// Logs the write of n bytes about to be made to fd, when fd is the open
// host file of a route.
void writing(int fd, long n) {
  const Route* e = nullptr;
  for (const Route& r : M.routes)
    if (r.fd == fd && !r.path.empty()) e = &r;
  if (!e) return;
  int f = file_index(e->path);
  long long& len = known(u.len, (size_t)f);
  struct stat st;
  if (len == -1 && fstat(fd, &st) == 0) len = S_ISREG(st.st_mode) ? (long long)st.st_size : -2;
  if (len < 0) return;
  bool only = (e->oflags & O_ACCMODE) == O_WRONLY;
  long long& at = known(u.pos, (size_t)fd);
  long long off = e->oflags & O_APPEND ? len
                  : only && at >= 0    ? at
                                       : (long long)lseek(fd, 0, SEEK_CUR);
  if (off < 0) return;
  Change c{M.count, f, off, n, len, ""};
  if (!read_part(fd, e->path, off, n, len, c.bytes)) return;
  add(std::move(c));
  len = std::max(len, off + n);
  at = only ? off + n : -1;
}

bool put_all(int fd, const std::string& b, long long off) {
  for (size_t at = 0; at < b.size();) {
    ssize_t r = pwrite(fd, b.data() + at, b.size() - at, off + (long long)at);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    at += (size_t)r;
  }
  return true;
}

// The logged files as a run of exchanges finds them: each opened once,
// its length kept.
struct Handles {
  struct File {
    bool seen = false;
    int fd = -1;         // -1: the file does not exist
    long long len = -1;  // its length
  };
  std::vector<File> f;
  Handles() : f(u.names.size()) {}
  ~Handles() {
    for (File& h : f)
      if (h.fd >= 0) close(h.fd);
  }
};

// Exchanges change c with the files: the stretch and length it holds go
// into the file, and what the file held there into c.
std::string trade(Change& c, Handles& hs) {
  const std::string& name = u.names[c.file];
  auto fail = [&] { return name + ": " + strerror(errno); };
  Handles::File& h = hs.f[c.file];
  if (!h.seen) {
    struct stat st;
    h.fd = open(name.c_str(), O_RDWR);
    if (h.fd < 0 && errno != ENOENT) return fail();
    if (h.fd >= 0 && fstat(h.fd, &st) != 0) return fail();
    h.len = h.fd >= 0 ? (long long)st.st_size : -1;
    h.seen = true;
  }
  Change now = c;
  now.len = h.len;
  if (!read_part(h.fd, name, c.off, c.span, h.len, now.bytes)) return fail();
  if (c.len < 0) {
    if (h.fd >= 0) close(h.fd);
    h.fd = -1;
    if (h.len >= 0 && unlink(name.c_str()) != 0) return fail();
  } else {
    if (h.fd < 0 && (h.fd = open(name.c_str(), O_RDWR | O_CREAT, 0640)) < 0) return fail();
    if (!put_all(h.fd, c.bytes, c.off)) return fail();
    if (h.len != c.len && ftruncate(h.fd, c.len) != 0) return fail();
  }
  h.len = c.len;
  u.bytes += cost(now) - cost(c);
  c = std::move(now);
  return "";
}

}  // namespace

int file_open(const std::string& name, int flags) {
  // The tape primitives write the images they are given through here too.
  tape::writer = file_write;
  Change c{};
  bool changes = u.on && (flags & (O_CREAT | O_TRUNC)) && opening(name, flags, c);
  int fd = open(name.c_str(), flags, 0640);
  if (fd >= 0 && changes) add(std::move(c));
  if (fd >= 0 && u.on) known(u.pos, (size_t)fd) = -1, known(u.len, (size_t)file_index(name)) = -1;
  if (fd >= 0 && std::find(M.files.begin(), M.files.end(), name) == M.files.end())
    M.files.push_back(name);
  return fd;
}

bool file_write(int fd, const void* b, long n) {
  if (u.on) writing(fd, n);
  return tape::write_all(fd, b, n);
}

void file_close(int& fd) {
  if (fd >= 0 && u.on) known(u.pos, (size_t)fd) = -1;
  if (fd >= 0) close(fd);
  fd = -1;
}

bool file_reader() {
  M.reader = open_text(M.ptrname.c_str());
  if (!M.reader) return false;
  M.reader_used = true;
  M.reader_eof = false;
  return true;
}

void file_reader_close() {
  if (M.reader) fclose(M.reader);
  M.reader = nullptr;
}

bool machine_file_name(const std::string& s) {
  auto digits = [&](size_t from, size_t to) {
    if (to <= from || to - from > 2) return false;
    for (size_t i = from; i < to; i++)
      if (s[i] < '0' || s[i] > '9') return false;
    return true;
  };
  auto ends = [&](const char* e) {
    size_t n = strlen(e);
    return s.size() > n && s.compare(s.size() - n, n, e) == 0;
  };
  if (s.compare(0, 2, "LP") == 0 && ends(".txt")) return digits(2, s.size() - 4);
  if (s.compare(0, 2, "MT") != 0 || !ends(".zelk")) return false;
  if (s.size() == 10 && s[2] == '-')
    return s[3] != '/' && s[4] != '/' && s[3] && s[4] && s[3] != '\n' && s[4] != '\n';
  return digits(2, s.size() - 5);
}

void undo_on(bool on) {
  u = Undo{};
  u.on = on;
}

bool undo_logging() { return u.on; }

std::string undo_to(long long at) {
  // The files change here, and their descriptors are opened again after.
  u.len.clear();
  u.pos.clear();
  Handles hs;
  while (u.done > 0 && u.log[u.done - 1].count > at) {
    std::string w = trade(u.log[u.done - 1], hs);
    if (!w.empty()) return w;
    u.done--;
  }
  while (u.done < u.log.size() && u.log[u.done].count <= at) {
    std::string w = trade(u.log[u.done], hs);
    if (!w.empty()) return w;
    u.done++;
  }
  return "";
}

void undo_forget_to(long long at) {
  while (u.done > 0 && u.log.front().count <= at) {
    u.bytes -= cost(u.log.front());
    u.log.pop_front();
    u.done--;
  }
}

void undo_forget_after(long long at) {
  while (u.log.size() > u.done && u.log.back().count > at) {
    u.bytes -= cost(u.log.back());
    u.log.pop_back();
  }
}

long long undo_diverged(long long now) {
  if (u.done < u.log.size() && u.log[u.done].count <= now) leave(u.log[u.done].count);
  return std::exchange(u.diverged, -1LL);
}

long long undo_changes() { return (long long)u.log.size(); }

long long undo_bytes() { return u.bytes; }
