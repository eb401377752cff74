// The Master Routine service: ENTER MASTER ROUTINE with an entry address
// below 200 is carried out here, on host files and the store, with the
// request registers A (route, action Q6) and B (pseudo-route, file name).
#include <unistd.h>

#include <string>

#include "ops.h"
#include "files.h"
#include "periph.h"

namespace {

// Entry 1: a paper tape reader file operation by Q6.
void reader_call() {
  int r = M.a.lo, q6 = M.a.up;
  if (M.verbosity >= 1)
    lg("%5d FILE OPERATION from line 12607 route %d action %05X B = %06X %05X\n", M.sc - 1, r, q6,
       M.b.up, M.b.lo);
  Route& e = route(r);
  switch (q6) {
    case 15:
      if (!ptr_open(r)) fatal("Bad call to Master Routine", q6);
      e.name = M.b.up;
      break;
    case 5: ptr_read(r); break;
    case 25:
      lg("Closing paper tape reader\n");
      file_reader_close();
      break;
    default: fatal("Bad call to Master Routine", q6);
  }
  M.a = M.b = Reg{};
}

// Entry 3: the master call.
void master_call() {
  int r = M.a.lo, q6 = M.a.up;
  lg("%5d master call route %d action %02X, lsb = %d after %lld instructions\n", M.sc - 1, r, q6,
     M.b.lo, M.count);
  Route& e = route(r);
  switch (q6) {
    case 11:
      lg("Open file %c%c for program %05X on route %d\n", name1(M.b.up), name2(M.b.up), M.b.lo, r);
      e.name = M.b.up;
      if (&e == &M.routes[0]) {
        M.a.up = 24;
        g4();
      }
      break;
    case 1:
      lg("Guessing that action 1 is print\n");
      M.a.up = 4;
      g4();
      break;
    case 5:
      ptr_open(r);
      reader_call();
      break;
    case 21:
      lg("Closing route %d\n", r);
      file_close(e.fd);
      break;
    default: ni("just yet");
  }
  lg("!!!!!\n");
}

// Entry 154: up to twelve alpha long words from A lower into the log; a
// long word whose characters 3 and 4 are newline codes ends the text after
// its character 2.
void comment() {
  char text[61];
  int n = 0;
  long long a = M.a.lo;
  for (int i = 0; i < 12; i++) {
    int32_t lo = at(a + 2 * i), up = at(a + 2 * i + 1);
    const char* s = render(up, lo);
    bool last = (lo & 0x3F3F) == 0x1E1E;
    for (int j = 0; j < (last ? 3 : 5); j++) text[n++] = s[j];
    if (last) break;
  }
  text[n] = 0;
  lg("%5d Comment in log: %s\n", M.sc - 1, text);
  fprintf(M.out, "%5d LOG: %s\n", M.sc - 1, text);
}

// Entry 5: the overlay named by the registers, A lower - 2, when B lower is
// 2 and both upper halves are 0.
void overlay_call() {
  if (M.a.up != 0 || M.b.up != 0 || M.a.lo < 2 || M.a.lo >= 9 || M.b.lo != 2) ni("This overlay");
  enter_overlay(M.a.lo - 2);
}

}  // namespace

void mr_service(int entry) {
  switch (entry) {
    case 1: reader_call(); return;
    case 3: master_call(); return;
    case 4:
    case 160: g4(); return;
    case 5: overlay_call(); return;
    case 40: open_route(true); return;
    case 41: close_route("close"); return;
    case 42: tape_input(); return;
    case 43: tape_output(); return;
    case 45: close_route("rewind"); return;
    case 46: run_back(); return;
    case 47: run_on(); return;
    case 48: step_back(); return;
    case 101 ... 115: enter_overlay(entry - 101); return;
    case 154: comment(); return;
    default: ni(("ENTER MASTER ROUTINE " + std::to_string(entry)).c_str());
  }
}
