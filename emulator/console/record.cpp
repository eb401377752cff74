// The record of a console run: checkpoints, the files' past, the replies,
// and the moves in time made from them.
#include "record.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstring>
#include <map>
#include <memory>

#include "console.h"
#include "files.h"

namespace {

// Checkpoints are taken as the run first goes through a stretch: when the
// last is rec_every() instructions behind, or when the run has taken
// SECONDS since it (so that a slow stretch of instructions is re-obeyed in
// a fraction of a second), and at a console stop when the last is STOPGAP
// behind.
constexpr double SECONDS = 0.1;
constexpr long long STOPGAP = 1LL << 16;
// Instructions obeyed between two looks at the record while running, and
// while searching (where the operator may give the search up).
constexpr long long PIECE = 1LL << 16;
constexpr long long SCAN = 1LL << 20;
// A search goes over the newest stretch between two checkpoints in 64
// steps, from the newest.
constexpr long long STEPS = 64;

// Memory of the parts of checkpoints shared between them.
long long shared_bytes = 0;

// A stretch of words (or tags, or counters) held by one or more
// checkpoints; a checkpoint whose stretch is unchanged since the one before
// shares that one's.
template <class T, int N>
struct Part {
  T v[N];
  Part() { shared_bytes += sizeof *this; }
  Part(const Part&) = delete;
  ~Part() { shared_bytes -= sizeof *this; }
};
constexpr int PAGE = 1024;
using Words = Part<int32_t, PAGE>;
using Tags = Part<uint8_t, 4 * PAGE>;
using Acts = Part<long long, 20 * 64>;
struct Overlays {
  Overlay o[15];
  long long size = 0;
  Overlays() = default;
  Overlays(const Overlays&) = delete;
  ~Overlays() { shared_bytes -= size; }
};
struct Names {
  std::vector<std::string> v;
  long long size = 0;
  Names() = default;
  Names(const Names&) = delete;
  ~Names() { shared_bytes -= size; }
};

template <class P, class T>
std::shared_ptr<const P> share(const T* from, const std::shared_ptr<const P>& prev) {
  if (prev && std::memcmp(prev->v, from, sizeof prev->v) == 0) return prev;
  auto p = std::make_shared<P>();
  std::memcpy(p->v, from, sizeof p->v);
  return p;
}

// A checkpoint: the State of capture() and apply() in the parts a snapshot
// names (the register table, the store, the tags, the watch copy, the
// overlays, the routes with their files' positions, the reader, the action
// counters and the list of files the run has opened).
struct Check {
  long long at;  // the position
  enum Kind { PLAIN, EDIT, END } kind;
  int status = 0;  // END: the run's exit status
  std::shared_ptr<const Words> store[STORE / PAGE];
  std::shared_ptr<const Tags> tags[STORE / (4 * PAGE)];
  std::shared_ptr<const Acts> acts;
  std::shared_ptr<const Overlays> ovl;
  std::shared_ptr<const Names> files;
  std::vector<long long> reg;  // by the register table: value, second half
  int32_t wcopy[20];
  Route routes[10];
  long long pos[10], rpos;
  bool reader_eof, reader_used;
  std::string ptrname;
};

// The parts a checkpoint holds as they are, in one list for both ways:
// into the checkpoint, or out of it into the State.
void plain(Check& c, State& s, bool into) {
  Machine& m = s.m;
  auto x = [into](auto& kept, auto& live) { into ? void(kept = live) : void(live = kept); };
  c.reg.resize(2 * (size_t)nregs);
  for (int i = 0; i < nregs; i++)
    if (into)
      reg_get(regs[i], m, c.reg[2 * i], c.reg[2 * i + 1]);
    else
      reg_set(regs[i], m, c.reg[2 * i], c.reg[2 * i + 1]);
  for (int i = 0; i < 20; i++) x(c.wcopy[i], m.wcopy[i]);
  for (int k = 0; k < 10; k++) x(c.routes[k], m.routes[k]), x(c.pos[k], s.pos[k]);
  x(c.rpos, s.rpos);
  x(c.reader_eof, m.reader_eof);
  x(c.reader_used, m.reader_used);
  x(c.ptrname, m.ptrname);
}

void pack(State& s, const Check* prev, Check& c) {
  const Machine& m = s.m;
  for (int i = 0; i < STORE / PAGE; i++)
    c.store[i] = share<Words>(m.store + i * PAGE, prev ? prev->store[i] : nullptr);
  for (int i = 0; i < STORE / (4 * PAGE); i++)
    c.tags[i] = share<Tags>(m.tags + i * 4 * PAGE, prev ? prev->tags[i] : nullptr);
  c.acts = share<Acts>(&m.acts[0][0], prev ? prev->acts : nullptr);
  bool same = prev;
  for (int k = 0; k < 15 && same; k++) {
    const Overlay &a = prev->ovl->o[k], &b = m.ovl[k];
    same = a.image == b.image && a.first == b.first && a.len == b.len;
  }
  if (same) {
    c.ovl = prev->ovl;
  } else {
    auto o = std::make_shared<Overlays>();
    for (int k = 0; k < 15; k++) {
      o->o[k] = m.ovl[k];
      o->size += (long long)(m.ovl[k].image.size() * sizeof(int32_t));
    }
    o->size += sizeof *o;
    shared_bytes += o->size;
    c.ovl = o;
  }
  if (prev && prev->files->v == m.files) {
    c.files = prev->files;
  } else {
    auto f = std::make_shared<Names>();
    f->v = m.files;
    f->size = sizeof *f;
    for (const std::string& n : m.files) f->size += (long long)(sizeof n + n.size());
    shared_bytes += f->size;
    c.files = f;
  }
  plain(c, s, true);
}

void unpack(Check& c, State& s) {
  Machine& m = s.m;
  for (int i = 0; i < STORE / PAGE; i++)
    std::memcpy(m.store + i * PAGE, c.store[i]->v, sizeof c.store[i]->v);
  m.store[STORE] = m.store[STORE + 1] = GUARD;
  for (int i = 0; i < STORE / (4 * PAGE); i++)
    std::memcpy(m.tags + i * 4 * PAGE, c.tags[i]->v, sizeof c.tags[i]->v);
  std::memcpy(&m.acts[0][0], c.acts->v, sizeof c.acts->v);
  for (int k = 0; k < 15; k++) m.ovl[k] = c.ovl->o[k];
  m.files = c.files->v;
  plain(c, s, false);
}

long long cost(const Check& c) {
  long long n = sizeof c + (long long)(c.ptrname.size() + c.reg.size() * sizeof(long long));
  for (const Route& r : c.routes) n += (long long)r.path.size();
  return n;
}

struct Record {
  bool on = false;
  std::vector<std::unique_ptr<Check>> checks;  // by position; the first is the oldest
  std::map<long long, std::string> replies;    // by the count of the alarm instruction
  long long head = 0;                          // the newest position reached
  int status = -1;                             // the run's end at head, -1: none
  long long limit = REC_LIMIT;
  long long every = REC_EVERY;
  long long own = 0;   // memory of the checkpoints themselves and the replies
  double since = 0;    // seconds of running since the last checkpoint was taken
  bool solid = true;   // the machine stands at a position of the record, as recorded
  bool quiet = false;  // instructions are being obeyed quietly
} r;

// The checkpoint the record goes to for position p: the last at or before it.
size_t latest(long long p) {
  auto it =
      std::upper_bound(r.checks.begin(), r.checks.end(), p,
                       [](long long v, const std::unique_ptr<Check>& c) { return v < c->at; });
  return (size_t)(it - r.checks.begin()) - 1;
}

// A checkpoint of the machine as it stands, sharing what is unchanged with
// prev; nullptr when a file's position cannot be read.
std::unique_ptr<Check> make(Check::Kind kind, int status, const Check* prev) {
  static State s;
  if (!capture(s).empty()) return nullptr;
  auto c = std::make_unique<Check>();
  c->at = M.count;
  c->kind = kind;
  c->status = status;
  pack(s, prev, *c);
  return c;
}

// Takes a checkpoint of the machine as it stands, in its place by position.
void take(Check::Kind kind, int status = 0) {
  size_t at = r.checks.empty() ? 0 : latest(M.count) + 1;
  auto c = make(kind, status, at > 0 ? r.checks[at - 1].get() : nullptr);
  if (!c) return;
  r.own += cost(*c);
  r.checks.insert(r.checks.begin() + (long)at, std::move(c));
  r.since = 0;
}

void drop(size_t i) {
  r.own -= cost(*r.checks[i]);
  r.checks.erase(r.checks.begin() + (long)i);
}

// The record's history after position p is dropped: a new history goes on
// from there.
void cut(long long p) {
  while (!r.checks.empty() && r.checks.back()->at > p) drop(r.checks.size() - 1);
  for (auto it = r.replies.upper_bound(p); it != r.replies.end();) {
    r.own -= (long long)(sizeof *it + it->second.size());
    it = r.replies.erase(it);
  }
  undo_forget_after(p);
  r.head = p;
  r.status = -1;
}

// The run has left the recorded history (a file written otherwise than
// recorded): what the record held after that point is another run's.
void kept_to_record() {
  long long d = undo_diverged(M.count);
  if (d < 0) return;
  while (r.checks.size() > 1 && r.checks.back()->at >= d) drop(r.checks.size() - 1);
  cut(M.count);
}

// Keeps the record within its memory bound by dropping the oldest history,
// never the checkpoint the machine's position is reached from.
void bound() {
  while (rec_bytes() > r.limit && r.checks.size() > 1 && r.checks[1]->at <= M.count) {
    drop(0);
    long long oldest = r.checks[0]->at;
    undo_forget_to(oldest);
    for (auto it = r.replies.begin(); it != r.replies.end() && it->first <= oldest;) {
      r.own -= (long long)(sizeof *it + it->second.size());
      it = r.replies.erase(it);
    }
  }
}

// A stream that takes output and keeps none.
FILE* sink() {
  static FILE* f = fopencookie(
      nullptr, "w",
      {nullptr, [](void*, const char*, size_t n) { return (ssize_t)n; }, nullptr, nullptr});
  return f;
}

// While it lives, instructions are obeyed quietly: the console, log and
// error streams write nowhere; with `disarm`, breakpoints and watches do not
// stop them.
struct Quiet {
  FILE *out = M.out, *log = M.log, *err = M.err;
  int nbrk = hooks.nbrk;
  std::vector<Watch> watches;
  bool disarm;
  explicit Quiet(bool disarm) : disarm(disarm) {
    M.out = M.err = sink();
    M.log = nullptr;
    r.quiet = true;
    if (disarm) {
      hooks.nbrk = 0;
      watches.swap(hooks.watches);
    }
    recheck();
  }
  ~Quiet() {
    M.out = out, M.log = log, M.err = err;
    r.quiet = false;
    if (disarm) {
      hooks.nbrk = nbrk;
      watches.swap(hooks.watches);
    }
    recheck();
  }
};

// Brings the machine and the files to checkpoint c.
std::string to_check(Check& c) {
  static State s;
  std::string w = undo_to(c.at);
  if (w.empty()) {
    unpack(c, s);
    w = apply(s);
  }
  if (!w.empty()) {
    r.solid = false;
    return "cannot go back: " + w;
  }
  r.solid = true;
  r.since = 0;
  return "";
}
std::string to_check(size_t i) { return to_check(*r.checks[i]); }

double now() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

void rec_start(bool on, int status) {
  r.checks.clear();
  r.replies.clear();
  r.own = 0;
  r.on = on;
  r.head = M.count;
  r.status = on ? status : -1;
  r.solid = true;
  undo_on(on);
  if (on) take(status >= 0 ? Check::END : Check::PLAIN, status);
  if (r.checks.empty()) r.on = false, undo_on(false);  // a file's position unreadable
}

bool rec_on() { return r.on; }
long long rec_oldest() { return r.checks.empty() ? 0 : r.checks[0]->at; }
long long rec_head() { return r.head; }
int rec_status() { return r.status; }
bool rec_quiet() { return r.quiet; }

Stop rec_go(long long n) {
  if (!r.on) return go(n);
  long long end = n < 0 ? LLONG_MAX : M.count + n;
  for (bool first = true;; first = false) {
    // A breakpoint where a piece ended stops the run: go() does not look at
    // the instruction it starts with.
    if (!first && at_break()) return BROKE;
    // The next operator's change in the record, made again when the run
    // gets there.
    long long edit = LLONG_MAX, reach = std::min(end, M.count + std::min(PIECE, r.every));
    for (size_t i = latest(M.count) + 1; i < r.checks.size() && r.checks[i]->at <= reach; i++)
      if (r.checks[i]->kind == Check::EDIT) {
        edit = r.checks[i]->at;
        break;
      }
    long long stop = std::min(reach, edit);
    long long head = r.head;
    double t0 = now();
    Stop s = go(stop - M.count);
    r.since += now() - t0;
    if (M.count > r.head) r.head = M.count;
    kept_to_record();
    if (M.count == edit && edit <= r.head) {
      std::string w = to_check(latest(edit));
      if (!w.empty()) fprintf(M.out, "%s\n", w.c_str());
    } else if (M.count > head) {
      const Check& c = *r.checks[latest(M.count)];
      if (M.count - c.at >= r.every || (r.since >= SECONDS && M.count > c.at)) take(Check::PLAIN);
    }
    bound();
    if (s != STEPPED || M.count >= end) return s;
  }
}

void rec_stop(Stop s) {
  if (!r.on || s == UNANSWERED || r.checks.empty()) return;
  if (M.count - r.checks[latest(M.count)]->at >= STOPGAP) take(Check::PLAIN);
  bound();
}

void rec_end(int status) {
  if (!r.on) return;
  kept_to_record();
  // The end met again replaces the end recorded.
  while (r.checks.size() > 1 && r.checks.back()->at >= M.count) drop(r.checks.size() - 1);
  cut(M.count);
  take(Check::END, status);
  r.status = status;
  r.solid = true;
  bound();
}

void rec_edit() {
  if (!r.on) return;
  bool ended = r.status >= 0 && M.count == r.head;
  int status = r.status;
  if (r.checks.empty() || M.count < r.checks[0]->at) return rec_start(true, ended ? status : -1);
  while (r.checks.size() > 1 && r.checks.back()->at >= M.count) drop(r.checks.size() - 1);
  if (r.checks.back()->at >= M.count) return rec_start(true, ended ? status : -1);
  cut(M.count);
  // At the end of the run the changed machine is the end.
  take(ended ? Check::END : Check::EDIT, status);
  if (ended) r.status = status;
  r.solid = true;
}

bool rec_reply(char* buf, int size) {
  if (!r.on) return false;
  auto it = r.replies.find(M.count);
  if (it == r.replies.end() || M.count > r.head) return false;
  snprintf(buf, (size_t)size, "%s", it->second.c_str());
  return true;
}

void rec_note_reply(const char* line) {
  if (!r.on) return;
  auto& s = r.replies[M.count];
  r.own -= (long long)(sizeof(std::pair<long long, std::string>) + s.size());
  s = line;
  r.own += (long long)(sizeof(std::pair<long long, std::string>) + s.size());
}

std::string rec_moveto(long long p) {
  if (!r.on) return "the record is off";
  if (p < rec_oldest() || p > r.head) return "outside the record";
  size_t i = latest(p);
  bool ahead = r.solid && r.checks[i]->at <= M.count && M.count <= p;
  if (!ahead) {
    std::string w = to_check(i);
    if (!w.empty()) return w;
  }
  if (M.count == p) return "";
  {
    Quiet q(true);
    try {
      while (M.count < p)
        if (go(p - M.count) != STEPPED) break;
    } catch (const RunEnd&) {
    }
  }
  kept_to_record();
  if (M.count != p) {
    r.solid = false;
    return "the run did not go as recorded";
  }
  return "";
}

namespace {

// Obeys the instructions from the machine's position to `to` with the
// hooks armed, noting in f each point where a forward run would stop.
std::string scan(long long to, Found& f, bool last, bool (*stop)()) {
  for (Watch& v : hooks.watches) v.copy.assign(M.store + v.addr, M.store + v.addr + v.copy.size());
  auto note = [&](long long at, Stop why, int addr) {
    f.at = at;
    f.why = why;
    f.addr = addr;
    f.hits = why == WATCHED ? hooks.hits : std::vector<Hooks::Hit>{};
  };
  Quiet q(false);
  if (at_break()) note(M.count, BROKE, M.sc);
  while (M.count < to) {
    if (stop()) return "interrupted";
    Stop s;
    try {
      s = go(std::min(to - M.count, SCAN));
    } catch (const RunEnd&) {
      // The run's last instruction: its change to a watched word.
      r.solid = false;
      hooks.hits.clear();
      for (size_t k = 0; k < hooks.watches.size(); k++) {
        const Watch& v = hooks.watches[k];
        for (size_t j = 0; j < v.copy.size(); j++)
          if (M.store[v.addr + j] != v.copy[j]) {
            hooks.hits.push_back({(int)k, v.addr + (int)j, v.copy[j], M.store[v.addr + j]});
            break;
          }
      }
      if (last && !hooks.hits.empty()) note(M.count - 1, WATCHED, hooks.last);
      break;
    }
    if (s == BROKE) note(M.count, BROKE, M.sc);
    if (s == WATCHED) note(M.count - 1, WATCHED, hooks.last);
    if (s == STEPPED && M.count < to && at_break()) note(M.count, BROKE, M.sc);
    if (s == UNANSWERED || s == INTERRUPTED) return "the run did not go as recorded";
  }
  return "";
}

}  // namespace

std::string rec_search(Found& f, long long floor, bool last, bool (*stop)()) {
  f = Found{};
  long long cur = M.count;
  if (!r.on) return "the record is off";
  if (r.checks.empty() || cur <= r.checks[0]->at) return "";
  bool newest = true;
  for (size_t i = latest(cur - 1) + 1; i-- > 0 && f.at <= floor; newest = false) {
    long long from = r.checks[i]->at;
    long long to = i + 1 < r.checks.size() && r.checks[i + 1]->at < cur ? r.checks[i + 1]->at : cur;
    if (to <= from) continue;
    if (to - 1 <= floor) break;
    std::string w = to_check(i);
    // The stop looked for is most often a recent one: over the newest
    // stretch, finer checkpoints taken at full speed let the hooks slow
    // down only the part after it. An older stretch is obeyed whole with
    // the hooks, as a forward run over it would be.
    std::vector<std::unique_ptr<Check>> sub;
    if (newest) {
      Quiet q(true);
      long long step = std::max(r.every / STEPS, 16LL);
      for (long long at = from + step; at < to && w.empty(); at += step) {
        if (stop()) w = "interrupted";
        if (w.empty() && go(at - M.count) != STEPPED) w = "the run did not go as recorded";
        if (w.empty())
          sub.push_back(make(Check::PLAIN, 0, sub.empty() ? r.checks[i].get() : sub.back().get()));
        if (w.empty() && !sub.back()) w = "a file's position cannot be read";
      }
    }
    for (size_t j = sub.size() + 1; j-- > 0 && w.empty() && f.at <= floor;) {
      long long end = j < sub.size() ? sub[j]->at : to;
      if (end - 1 <= floor) break;
      w = to_check(j ? *sub[j - 1] : *r.checks[i]);
      if (w.empty()) w = scan(end, f, last, stop);
    }
    if (!w.empty()) return w;
  }
  if (f.at <= floor) f = Found{};
  return "";
}

long long rec_limit() { return r.limit; }
void rec_set_limit(long long bytes) {
  r.limit = bytes;
  bound();
}
long long rec_every() { return r.every; }
void rec_set_every(long long n) { r.every = n; }
long long rec_bytes() { return shared_bytes + r.own + undo_bytes(); }
long long rec_checks() { return (long long)r.checks.size(); }
long long rec_changes() { return undo_changes(); }
long long rec_replies() { return (long long)r.replies.size(); }
