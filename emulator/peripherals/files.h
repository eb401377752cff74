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
