// The peripherals and Master Routine services among themselves: routes and
// their tape operations, group 4 actions, the paper tape reader, overlays.
#pragma once

#include "machine.h"

// The route table entry of route r (routes 9(k+1) .. 9(k+1)+8 share entry
// k). A route outside 9 to 98 selects no entry: "Bad route".
Route& route(int r);

// The two characters of a file name word (bits 8-15 and 0-7) as host text.
inline char name1(int v) { return m2h[(v >> 8) & 0xFF]; }
inline char name2(int v) { return m2h[v & 0xFF]; }

// Host file name of route r with prefix "MT" (tape image) or "LP" (printer).
void host_name(char* buf, size_t size, const char* prefix, int r);

// Word at a for the log; 0 outside the store.
inline int32_t peek(long long a) { return a >= 0 && a < STORE ? M.store[a] : 0; }

// Exchanges the route pointer (word 64 + A lower) and the pseudo-route
// pointer (word 64 + B lower), unless -b turned the exchange off.
void exchange();

// Tape operations on the route in A lower (request registers as set by the
// program). open_route: the Master Routine form (mr true) or group 4's.
void open_route(bool mr);
void tape_input();
void tape_output();
void run_back();
void run_on();
void step_back();
void close_route(const char* word);  // "close" or "rewind"

// Group 4 peripheral action on the route in A lower, action Q6 in A upper.
void g4();

// Paper tape reader: open (route r for the reports; false when it was open
// already) and read one line into the pseudo-route's transit area.
bool ptr_open(int r);
void ptr_read(int r);

// Enters overlay v (0-14): its saved words go back into the store.
void enter_overlay(int v);
