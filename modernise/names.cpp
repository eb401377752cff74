// Operation name tables: the words that describe each annotated instruction line.
#include "modernise.h"

// Description of each operation number written in a listing. 100-131 are machine
// instructions of function code (number - 100), named by mcname instead.
static const char* const optext[161] = {
    "SELECT",                                                  // 0
    "ADD",                                                     // 1
    "SUBTRACT",                                                // 2
    "COPY",                                                    // 3
    "AUGMENT",                                                 // 4
    "TRANSFER",                                                // 5
    "MULTIPLY",                                                // 6
    "MULTIPLY and ADD",                                        // 7
    "MULTIPLY and SUBTRACT",                                   // 8
    "DIVIDE",                                                  // 9
    "SELECT LITERAL",                                          // 10
    "ADD LITERAL",                                             // 11
    "SUBTRACT LITERAL",                                        // 12
    "Invalid",                                                 // 13
    "Invalid",                                                 // 14
    "Invalid",                                                 // 15
    "MULTIPLY LITERAL",                                        // 16
    "MULTIPLY LITERAL and ADD",                                // 17
    "Invalid",                                                 // 18
    "DIVIDE LITERAL",                                          // 19
    "SELECT F/Point",                                          // 20
    "ADD F/Point",                                             // 21
    "SUBTRACT F/Point",                                        // 22
    "COPY F/Point",                                            // 23
    "AUGMENT F/Point",                                         // 24
    "TRANSFER F/Point",                                        // 25
    "MULTIPLY F/Point",                                        // 26
    "Invalid",                                                 // 27
    "Invalid",                                                 // 28
    "DIVIDE F/Point",                                          // 29
    "SHIFT (A) BY QUARTETS",                                   // 30
    "SHIFT (A) BY BITS",                                       // 31
    "SHIFT (AB) BY QUARTETS",                                  // 32
    "SHIFT (AB) BY BITS",                                      // 33
    "SET (N) IN B",                                            // 34
    "PREPARE FOR DIGIT COLLATION",                             // 35
    "COLLATE AND ADD",                                         // 36
    "REPLACE SELECTED BITS",                                   // 37
    "ROUND OFF",                                               // 38
    "ROUND UP",                                                // 39
    "OPEN FILE",                                               // 40
    "CLOSE FILE",                                              // 41
    "INPUT",                                                   // 42
    "OUTPUT",                                                  // 43
    "SET/SELECT REEL COUNTER",                                 // 44
    "REWIND",                                                  // 45
    "RUN BACK",                                                // 46
    "RUN ON",                                                  // 47
    "STEP BACK",                                               // 48
    "STEP FORWARD",                                            // 49
    "UNPACK FIXED FIELD DATA",                                 // 50
    "UNPACK VARIABLE FIELD DATA",                              // 51
    "EDIT",                                                    // 52
    "CONDENSE",                                                // 53
    "BULK CLEAR",                                              // 54
    "BULK COPY",                                               // 55
    "TABLE LOOKUP",                                            // 56
    "MERGE CONSTANT LENGTH ITEMS",                             // 57
    "MERGE VARIABLE LENGTH ITEMS",                             // 58
    "SET MODIFICATION REGISTER FOR MERGE",                     // 59
    "SET DECIMAL RADIX",                                       // 60
    "SET STERLING RADIX",                                      // 61
    "SET EXCESS CONSTANTS",                                    // 62
    "CONVERT DECIMAL TO STERLING",                             // 63
    "CONVERT STERLING TO DECIMAL",                             // 64
    "CONVERT",                                                 // 65
    "SET UP FOR SIGNIFICANT DIGIT FLOATING POINT ARITHMETIC",  // 66
    "SET UP FOR NORMALISED FLOATING POINT ARITHMETIC",         // 67
    "Invalid",                                                 // 68
    "Invalid",                                                 // 69
    "JUMP IF A == 0",                                          // 70
    "JUMP IF A != 0",                                          // 71
    "JUMP IF A >= 0",                                          // 72
    "JUMP IF A < 0",                                           // 73
    "JUMP IF AB == 0        // 27, 1, 0",                      // 74
    "JUMP IF AB != 0",                                         // 75
    "JUMP unconditional",                                      // 76
    "JUMP IF A* == 0",                                         // 77
    "JUMP IF A* != 0",                                         // 78
    "JUMP IF A* >= 0",                                         // 79
    "ENTER SUBROUTINE",                                        // 80
    "START OF SUBROUTINE",                                     // 81
    "END OF SUBROUTINE / LEAVE SUBROUTINE",                    // 82
    "SET SWITCH(ES) AT LITERAL VALUE",                         // 83
    "SET SWITCH(ES) AT VARIABLE VALUE",                        // 84
    "SWITCH R",                                                // 85
    "SELECT SWITCH R",                                         // 86
    "SWITCH ACCORDING TO N",                                   // 87
    "Invalid",                                                 // 88
    "Invalid",                                                 // 89
    "SET MODIFICATION REGISTER AT LITERAL",                    // 90
    "SET MODIFICATION REGISTER AT VARIABLE",                   // 91
    "SET MODIFIER AT VARIABLE",                                // 92
    "SET (N) AS MODIFIER",                                     // 93
    "STEP ON AND TEST MODIFICATION REGISTER (LITERAL)",        // 94
    "SELECT MODIFICATION REGISTER",                            // 95
    "SELECT MODIFIER",                                         // 96
    "STEP ON AND TEST MODIFICATION REGISTER (VARIABLE)",       // 97
    "ADD MODIFICATION REGISTER TO A",                          // 98
    "SUBTRACT MODIFICATION REGISTER FROM A",                   // 99
    "Zelk CODE",                                               // 100
    "Zelk CODE",                                               // 101
    "Zelk CODE",                                               // 102
    "Zelk CODE",                                               // 103
    "Zelk CODE",                                               // 104
    "Zelk CODE",                                               // 105
    "Zelk CODE",                                               // 106
    "Zelk CODE",                                               // 107
    "Zelk CODE",                                               // 108
    "Zelk CODE",                                               // 109
    "Zelk CODE",                                               // 110
    "Zelk CODE",                                               // 111
    "Zelk CODE",                                               // 112
    "Zelk CODE",                                               // 113
    "Zelk CODE",                                               // 114
    "Zelk CODE",                                               // 115
    "Zelk CODE",                                               // 116
    "Zelk CODE",                                               // 117
    "Zelk CODE",                                               // 118
    "Zelk CODE",                                               // 119
    "Zelk CODE",                                               // 120
    "Zelk CODE",                                               // 121
    "Zelk CODE",                                               // 122
    "Zelk CODE",                                               // 123
    "Zelk CODE",                                               // 124
    "Zelk CODE",                                               // 125
    "Zelk CODE",                                               // 126
    "Zelk CODE",                                               // 127
    "Zelk CODE",                                               // 128
    "Zelk CODE",                                               // 129
    "Zelk CODE",                                               // 130
    "Zelk CODE",                                               // 131
    "Invalid",                                                 // 132
    "Invalid",                                                 // 133
    "Invalid",                                                 // 134
    "Invalid",                                                 // 135
    "Invalid",                                                 // 136
    "Invalid",                                                 // 137
    "Invalid",                                                 // 138
    "Invalid",                                                 // 139
    "CLEAR AB",                                                // 140
    "DOUBLE LENGTH ADD",                                       // 141
    "DOUBLE LENGTH SUBTRACT",                                  // 142
    "DOUBLE LENGTH COPY",                                      // 143
    "Invalid",                                                 // 144
    "DOUBLE LENGTH TRANSFER",                                  // 145
    "DOUBLE LENGTH MULTIPLY",                                  // 146
    "DOUBLE LENGTH MULTIPLY and ADD",                          // 147
    "DOUBLE LENGTH MULTIPLY and SUBTRACT",                     // 148
    "Invalid",                                                 // 149
    "OFFER OPTIONS",                                           // 150
    "UNLOAD PROGRAMME",                                        // 151
    "OVERLAY",                                                 // 152
    "SELECT DATE TO A, TIME TO B",                             // 153
    "COMMENT IN LOG",                                          // 154
    "SELECT PROGRAM SERIAL TO A",                              // 155
    "RELEASE ROUTE(S) ALLOCATED TO FILE B",                    // 156
    "EXPAND",                                                  // 157
    "COMPARE",                                                 // 158
    "Invalid",                                                 // 159
    "blank",                                                   // 160
};

// Name of each machine instruction by its decode value: function code x 8 +
// middle figure x 4 + last figure, the numbering of the emulator's decode.
// clang-format off
static const char* const mcname[256] = {
    "Halt", "Invalid", "replace (B) by (N)", "set radix",  // 0/0
    "copy registers", "replace registers", "replace (B) by (N)", "Invalid",  // 0/1
    "table look up", "prepare for digit collation", "round off", "interchange area addresses",  // 1/0
    "table look up", "add literal address", "subtract literal address", "select literal address",  // 1/1
    "transfer (A) to N", "transfer (A) to N", "transfer (A) to N", "transfer (A) to N",  // 2/0
    "transfer (A) to N", "transfer (A) to N", "transfer (A) to N", "transfer (A) to N",  // 2/1
    "copy (A) to N", "copy (A) to N", "copy (A) to N", "copy (A) to N",  // 3/0
    "copy (A) to N", "copy (A) to N", "copy (A) to N", "copy (A) to N",  // 3/1
    "add (N) to (A)", "add (N) to (A)", "add (N) to (A)", "add (N) to (A)",  // 4/0
    "add (N) to (A)", "add (N) to (A)", "add (N) to (A)", "add (N) to (A)",  // 4/1
    "subtract (N) from (A)", "subtract (N) from (A)", "subtract (N) from (A)", "subtract (N) from (A)",  // 5/0
    "subtract (N) from (A)", "subtract (N) from (A)", "subtract (N) from (A)", "subtract (N) from (A)",  // 5/1
    "select (N)", "select (N)", "select (N)", "select (N)",  // 6/0
    "select (N)", "select (N)", "select (N)", "select (N)",  // 6/1
    "augment (N) by (A)", "augment (N) by (A)", "augment (N) by (A)", "augment (N) by (A)",  // 7/0
    "augment (N) by (A)", "augment (N) by (A)", "augment (N) by (A)", "augment (N) by (A)",  // 7/1
    "merge constant length", "merge constant length", "merge constant length", "merge constant length",  // 8/0
    "merge variable length", "merge variable length", "merge variable length", "merge variable length",  // 8/1
    "multiply uniform radix", "multiply uniform radix", "multiply uniform radix", "multiply uniform radix",  // 9/0
    "multiply uniform radix", "multiply uniform radix", "multiply uniform radix", "multiply uniform radix",  // 9/1
    "multiply and add", "multiply and add", "multiply and add", "multiply and add",  // 10/0
    "multiply and add", "multiply and add", "multiply and add", "multiply and add",  // 10/1
    "multiply and subtract", "multiply and subtract", "multiply and subtract", "multiply and subtract",  // 11/0
    "multiply and subtract", "multiply and subtract", "multiply and subtract", "multiply and subtract",  // 11/1
    "convert", "convert", "convert", "convert",  // 12/0
    "convert", "convert", "convert", "convert",  // 12/1
    "divide uniform radix", "divide uniform radix", "divide uniform radix", "divide uniform radix",  // 13/0
    "divide uniform radix", "divide uniform radix", "divide uniform radix", "divide uniform radix",  // 13/1
    "replace selected bits", "replace selected bits", "replace selected bits", "replace selected bits",  // 14/0
    "replace selected bits", "replace selected bits", "replace selected bits", "replace selected bits",  // 14/1
    "collate and add", "collate and add", "collate and add", "collate and add",  // 15/0
    "collate and add", "collate and add", "collate and add", "collate and add",  // 15/1
    "Invalid", "Invalid", "Invalid", "Invalid",  // 16/0
    "compare", "Invalid", "Invalid", "Invalid",  // 16/1
    "special select", "Invalid", "Invalid", "Invalid",  // 17/0
    "special copy", "Invalid", "Invalid", "Invalid",  // 17/1
    "shift logical", "shift arithmetic", "scale numerator", "shift binary",  // 18/0
    "shift logical", "shift arithmetic", "scale denominator", "shift binary",  // 18/1
    "output", "input one block/reset timer", "run back", "run forward",  // 19/0
    "step back", "rewind", "unload", "step on/set manual",  // 19/1
    "add floating point", "add floating point", "add floating point", "add floating point",  // 20/0
    "subtract floating point", "subtract floating point", "subtract floating point", "subtract floating point",  // 20/1
    "transfer floating point", "transfer floating point", "transfer floating point", "transfer floating point",  // 21/0
    "copy floating point", "copy floating point", "copy floating point", "copy floating point",  // 21/1
    "multiply floating point", "multiply floating point", "multiply floating point", "multiply floating point",  // 22/0
    "divide floating point", "divide floating point", "divide floating point", "divide floating point",  // 22/1
    "step on and test", "Invalid", "enter master routine", "select tag",  // 23/0
    "copy into tag", "copy into tag", "copy into tag", "copy into tag",  // 23/1
    "modify address of next", "modify address of next", "select literal and division", "modify address of next",  // 24/0
    "unconditional jump", "set modification group", "modify address of next", "Invalid",  // 24/1
    "step on and test", "step on and test", "step on and test", "step on and test",  // 25/0
    "set indicators", "clear indicators", "interrogate indicators", "conditional Halt",  // 25/1
    "enter subroutine", "leave subroutine", "enter priority control", "leave master routine",  // 26/0
    "set modification register", "set modification register", "set modification register", "set modification register",  // 26/1
    "jump A = Z", "jump A != Z", "jump A >= Z", "jump A < Z",  // 27/0
    "jump AB = Z", "jump AB != Z", "jump AB >= Z", "jump AB < Z",  // 27/1
    "bulk copy short numeric", "bulk copy short numeric", "unpack fixed field data", "unpack variable field data",  // 28/0
    "bulk copy alpha to short", "bulk copy long numeric", "edit fixed field formats", "condense",  // 28/1
    "edit for hollerith output", "edit for anelex output", "Invalid", "Invalid",  // 29/0
    "Invalid", "Invalid", "Invalid", "Invalid",  // 29/1
    "transfer double length", "transfer double length", "transfer double length", "transfer double length",  // 30/0
    "copy double length", "copy double length", "copy double length", "copy double length",  // 30/1
    "add double length", "add double length", "add double length", "add double length",  // 31/0
    "subtract double length", "subtract double length", "subtract double length", "subtract double length",  // 31/1
};
// clang-format on

const char* opdesc(int r) {
  if (r < 0 || r > 160) return "Invalid";
  return optext[r];
}

const char* opname(int r, int m, int l) {
  const char* d = opdesc(r);
  if (r < 100 || r > 131) return d;
  if (m < 0 || m > 1 || l < 0 || l > 3) return "Invalid";
  return mcname[(r - 100) * 8 + m * 4 + l];
}

bool ismachine(int r) { return r >= 100 && r <= 131; }
