// Host files of the run. Every tape image, printer file and the paper tape
// reader's file that the machine opens, writes, truncates or closes goes
// through these few functions: the run keeps the name of each file it has
// opened (a snapshot carries their contents), and every write to one passes
// a single place.
#pragma once

#include <cstdio>
#include <string>

#include "machine.h"

// Opens a tape image or printer file with these open(2) flags (O_CREAT
// makes it with mode 0640; O_TRUNC empties it) and records its name among
// the run's files. The descriptor, or -1 with errno set.
int file_open(const std::string& name, int flags);

// Writes all n bytes at the file's position; false with errno set.
bool file_write(int fd, const void* b, long n);

// Closes a host file of a route; fd becomes -1.
void file_close(int& fd);

// Opens the paper tape reader's file (M.ptrname) as text into M.reader and
// records that the run has read it; false with errno set.
bool file_reader();

// Closes the paper tape reader's file.
void file_reader_close();

// A tape image or printer file name as the machine makes them: MTnn.zelk,
// MT-XY.zelk or LPnn.txt, in the working directory.
bool machine_file_name(const std::string& name);

// The files' past: while the console keeps a record of the run, every
// change the machine makes to a host file (a write, the creation or
// emptying at an open) is logged with the instruction count that made it
// and what it replaced, so that the files can be brought back to the way
// they stood at any count the record reaches, and forward again. Only
// regular files are logged; the paper tape reader's file is never written.
//
// Turns the log on (emptied) or off (freed).
void undo_on(bool on);
bool undo_logging();
// Brings every logged file to the way it stood when the instruction count
// was `at`: the changes made after it are undone, newest first, and the
// undone changes made up to it done again, oldest first. "" or the host's
// error, naming the file.
std::string undo_to(long long at);
// Forgets the changes made up to `at` (the record no longer reaches before
// it), or those made after it (a new history begins there; they must not
// be in the files).
void undo_forget_to(long long at);
void undo_forget_after(long long at);
// The instruction count at which a run going over logged history again,
// now at count `now`, left it: it made a change other than the one logged,
// or did not make one logged for an instruction up to `now`. The log's
// later history is dropped then. Told once; -1 when the run kept to it.
long long undo_diverged(long long now);
// Changes logged, and the memory they hold in bytes.
long long undo_changes();
long long undo_bytes();
