// emulator: loads a program file and obeys it.
#include <csignal>

#include "about.h"
#include "cycle.h"

static const char help[] =
    "usage: emulator [switches] program-file [paper-tape-file]\n"
    "       emulator -i [-x FILE] [switches] program-file [paper-tape-file]\n"
    "Loads a program file and obeys it until the program unloads itself.\n"
    "\n"
    "Switches come before the program file; a value follows its letter (-v9):\n"
    "  -d     write the log to log.txt instead of standard output\n"
    "  -s     list every loaded word in the log\n"
    "  -vN    trace detail 0-9: 0 file opens, rewinds and closes, 1 each record's\n"
    "         data, 2 Master Routine entries and returns, 3 editing instructions,\n"
    "         4 jumps, 6 one line per instruction, 9 everything\n"
    "  -tN    full trace (-v9) from instruction N on\n"
    "  -mN    watch store location N and log every change\n"
    "  -nN    watch N locations from -m on (at most 20)\n"
    "  -aN    abandon the run when the instruction count reaches N\n"
    "  -b     no exchange of route and pseudo-route pointers on tape transfers\n"
    "         and paper tape reads\n"
    "  -i     a console prompt before the first instruction (type help there)\n"
    "  -x FILE  after -i: obey the console commands in FILE first\n"
    "  --help, --version\n"
    "Other letters are ignored.\n"
    "\n"
    "Files, in the working directory:\n"
    "  paper-tape-file   the paper tape reader's input (default ptr.txt)\n"
    "  log.txt           the log, with -d\n"
    "  MTnn.zelk         tape image of route nn, or MT-XY.zelk of file XY\n"
    "  LPnn.txt          printer output of route nn\n"
    "Alarms read the operator's reply (1-9) from standard input.\n"
    "\n"
    "Exit status: 0 after the program unloads itself; 1 after a fatal report, a\n"
    "program file line the loader refuses, or output that could not be written\n"
    "(log.txt, standard output or standard error); 130 or 143 after an interrupt\n"
    "(SIGINT, SIGTERM); 141 (SIGPIPE) when the reader of a pipe goes away.\n"
    "See emulator(1) and zelk(5).\n";

int main(int argc, char** argv) {
  int rc = about(argc, argv, "emulator", help);
  if (rc >= 0) return rc;
  rc = emulate(argc, argv);
  // The reader of a pipe went away: the process ends by SIGPIPE, as other
  // programs in a pipeline do, once the rest of the output is written.
  if (rc == 128 + SIGPIPE) {
    signal(SIGPIPE, SIG_DFL);
    raise(SIGPIPE);
  }
  return rc;
}
