// The program file loader.
#pragma once

// Loads the program file into the machine: store, tags, entry address,
// current tag, overlay table and the route table's names and device types.
// A file that cannot be opened (or no name) ends the run with the fatal
// report; a line it cannot accept ends the run with status 1.
void load(const char* name);
