// The record of a console run: the machine as it stood at every instruction
// count since the record began can be brought back, exactly, with every
// file the run reads or writes.
//
// The record keeps checkpoints of the machine (taken through capture() and
// brought back through apply(), the pair that save and restore use, and
// kept in memory with the store shared in pages between checkpoints), the
// files' past in the undo log of files.h, and the operator's replies. A
// position is an instruction count: the machine at position p stands
// before instruction p + 1. Going to p applies the nearest checkpoint at or
// before it, with the files brought to it, and obeys the instructions
// between quietly: no log, trace or console output, the replies taken from
// the record. The cycle is driven only through go().
#pragma once

#include <string>
#include <vector>

#include "cycle.h"

// Starts a new record from the machine as it stands (on), or drops it.
// A status of 0 or more: the machine stands at the end of the run, which
// ended with that status.
void rec_start(bool on, int status = -1);
bool rec_on();

// The positions the record reaches: the oldest it can bring back, and the
// newest the run has reached (its end, when it has ended: rec_status()).
long long rec_oldest();
long long rec_head();
// The exit status of the run's end at rec_head(), -1 when the record does
// not end with the run's end.
int rec_status();

// Obeys up to n instructions as go() does, keeping the record: checkpoints
// taken as the run goes, an operator's change in the record made again
// where the run meets it, the end of a recorded run met again. A
// breakpoint stops the run as go() would.
Stop rec_go(long long n);
// The console has stopped here (s: why the run stopped): a checkpoint when
// the last is far behind, so that going back from here is quick.
void rec_stop(Stop s);
// The run has ended at the position it stands at, with this status.
void rec_end(int status);
// The operator has changed the machine: what the record held after this
// position is dropped and the run goes on from the changed machine; going
// back before here and forward again makes the change again. A change of
// the instruction count begins a new record.
void rec_edit();

// The recorded reply to the alarm the machine is obeying now, into buf (as
// fgets gives a line): true when there is one.
bool rec_reply(char* buf, int size);
// Records the operator's reply to the alarm being obeyed.
void rec_note_reply(const char* line);
// The record is obeying instructions quietly: an alarm that the record does
// not answer must not be asked.
bool rec_quiet();

// Brings the machine to position p, which the record must reach; "" or
// why it could not (the machine then stands where it stood).
std::string rec_moveto(long long p);

// The most recent position before the present one at which a forward run,
// with the breakpoints and watches the console has armed in the cycle's
// hooks, would have stopped: at a breakpoint, or before the instruction
// that changed a watched word. Only positions after `floor` are looked for.
struct Found {
  long long at = -1;  // the position; -1 when none
  Stop why = STEPPED;
  int addr = 0;                  // the breakpoint's address, or the changing instruction's
  std::vector<Hooks::Hit> hits;  // the watched changes
};
// Searches from the newest history back, obeying each stretch between
// checkpoints with the hooks armed. With `last`, a change made by the
// instruction that ended the run counts too (a forward run does not stop
// after it). `stop` is asked now and then whether to give up. The machine
// is left anywhere in the record: the caller goes on with rec_moveto(). ""
// or why the search was given up.
std::string rec_search(Found& f, long long floor, bool last, bool (*stop)());

// The memory bound of the record in bytes, and what it holds now.
long long rec_limit();
void rec_set_limit(long long bytes);
// Instructions between two checkpoints taken as the run goes: fewer make
// going back quicker and the record larger.
long long rec_every();
void rec_set_every(long long n);
long long rec_bytes();
// Checkpoints, logged file changes and recorded replies.
long long rec_checks();
long long rec_changes();
long long rec_replies();
// The default memory bound and checkpoint interval.
constexpr long long REC_LIMIT = 256LL << 20;
constexpr long long REC_EVERY = 1LL << 24;
