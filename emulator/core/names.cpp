// Name table: the operation name of each decode value, as traces print it.
#include "ops.h"

static const char* const names[256] = {
    "HALT ",                         // 0
    "Invalid",                       // 1
    "REPLACE (B) BY (N)",            // 2
    "SET RADIX ",                    // 3
    "COPY REGISTERS ",               // 4
    "REPLACE REGISTERS ",            // 5
    "REPLACE (B) BY (N)",            // 6
    "Invalid",                       // 7
    "TABLE LOOK UP ",                // 8
    "PREPARE FOR DIGIT COLLATION ",  // 9
    "ROUND OFF ",                    // 10
    "INTERCHANGE AREA ADDRESSES ",   // 11
    "TABLE LOOK UP ",                // 12
    "ADD LITERAL ADDRESS ",          // 13
    "SUBTRACT LITERAL ADDRESS ",     // 14
    "SELECT LITERAL ADDRESS ",       // 15
    "TRANSFER (A) TO N ",            // 16
    "TRANSFER (A) TO N ",            // 17
    "TRANSFER (A) TO N ",            // 18
    "TRANSFER (A) TO N ",            // 19
    "TRANSFER (A) TO N ",            // 20
    "TRANSFER (A) TO N ",            // 21
    "TRANSFER (A) TO N ",            // 22
    "TRANSFER (A) TO N ",            // 23
    "COPY (A) TO N ",                // 24
    "COPY (A) TO N ",                // 25
    "COPY (A) TO N ",                // 26
    "COPY (A) TO N ",                // 27
    "COPY (A) TO N ",                // 28
    "COPY (A) TO N ",                // 29
    "COPY (A) TO N ",                // 30
    "COPY (A) TO N ",                // 31
    "ADD (N) TO (A)",                // 32
    "ADD (N) TO (A)",                // 33
    "ADD (N) TO (A)",                // 34
    "ADD (N) TO (A)",                // 35
    "ADD (N) TO (A)",                // 36
    "ADD (N) TO (A)",                // 37
    "ADD (N) TO (A)",                // 38
    "ADD (N) TO (A)",                // 39
    "SUBTRACT (N) FROM (A)",         // 40
    "SUBTRACT (N) FROM (A)",         // 41
    "SUBTRACT (N) FROM (A)",         // 42
    "SUBTRACT (N) FROM (A)",         // 43
    "SUBTRACT (N) FROM (A)",         // 44
    "SUBTRACT (N) FROM (A)",         // 45
    "SUBTRACT (N) FROM (A)",         // 46
    "SUBTRACT (N) FROM (A)",         // 47
    "SELECT (N)",                    // 48
    "SELECT (N)",                    // 49
    "SELECT (N)",                    // 50
    "SELECT (N)",                    // 51
    "SELECT (N)",                    // 52
    "SELECT (N)",                    // 53
    "SELECT (N)",                    // 54
    "SELECT (N)",                    // 55
    "AUGMENT (N) BY (A)",            // 56
    "AUGMENT (N) BY (A)",            // 57
    "AUGMENT (N) BY (A)",            // 58
    "AUGMENT (N) BY (A)",            // 59
    "AUGMENT (N) BY (A)",            // 60
    "AUGMENT (N) BY (A)",            // 61
    "AUGMENT (N) BY (A)",            // 62
    "AUGMENT (N) BY (A)",            // 63
    "MERGE CONSTANT LENGTH ",        // 64
    "MERGE CONSTANT LENGTH ",        // 65
    "MERGE CONSTANT LENGTH ",        // 66
    "MERGE CONSTANT LENGTH ",        // 67
    "MERGE VARIABLE LENGTH ",        // 68
    "MERGE VARIABLE LENGTH ",        // 69
    "MERGE VARIABLE LENGTH ",        // 70
    "MERGE VARIABLE LENGTH ",        // 71
    "MULTIPLY UNIFORM RADIX ",       // 72
    "MULTIPLY UNIFORM RADIX ",       // 73
    "MULTIPLY UNIFORM RADIX ",       // 74
    "MULTIPLY UNIFORM RADIX ",       // 75
    "MULTIPLY UNIFORM RADIX ",       // 76
    "MULTIPLY UNIFORM RADIX ",       // 77
    "MULTIPLY UNIFORM RADIX ",       // 78
    "MULTIPLY UNIFORM RADIX ",       // 79
    "MULTIPLY AND ADD ",             // 80
    "MULTIPLY AND ADD ",             // 81
    "MULTIPLY AND ADD ",             // 82
    "MULTIPLY AND ADD ",             // 83
    "MULTIPLY AND ADD ",             // 84
    "MULTIPLY AND ADD ",             // 85
    "MULTIPLY AND ADD ",             // 86
    "MULTIPLY AND ADD ",             // 87
    "MULTIPLY AND SUBTRACT ",        // 88
    "MULTIPLY AND SUBTRACT ",        // 89
    "MULTIPLY AND SUBTRACT ",        // 90
    "MULTIPLY AND SUBTRACT ",        // 91
    "MULTIPLY AND SUBTRACT ",        // 92
    "MULTIPLY AND SUBTRACT ",        // 93
    "MULTIPLY AND SUBTRACT ",        // 94
    "MULTIPLY AND SUBTRACT ",        // 95
    "CONVERT ",                      // 96
    "CONVERT ",                      // 97
    "CONVERT ",                      // 98
    "CONVERT ",                      // 99
    "CONVERT ",                      // 100
    "CONVERT ",                      // 101
    "CONVERT ",                      // 102
    "CONVERT ",                      // 103
    "DIVIDE UNIFORM RADIX ",         // 104
    "DIVIDE UNIFORM RADIX ",         // 105
    "DIVIDE UNIFORM RADIX ",         // 106
    "DIVIDE UNIFORM RADIX ",         // 107
    "DIVIDE UNIFORM RADIX ",         // 108
    "DIVIDE UNIFORM RADIX ",         // 109
    "DIVIDE UNIFORM RADIX ",         // 110
    "DIVIDE UNIFORM RADIX ",         // 111
    "REPLACE SELECTED BITS ",        // 112
    "REPLACE SELECTED BITS ",        // 113
    "REPLACE SELECTED BITS ",        // 114
    "REPLACE SELECTED BITS ",        // 115
    "REPLACE SELECTED BITS ",        // 116
    "REPLACE SELECTED BITS ",        // 117
    "REPLACE SELECTED BITS ",        // 118
    "REPLACE SELECTED BITS ",        // 119
    "COLLATE AND ADD ",              // 120
    "COLLATE AND ADD ",              // 121
    "COLLATE AND ADD ",              // 122
    "COLLATE AND ADD ",              // 123
    "COLLATE AND ADD ",              // 124
    "COLLATE AND ADD ",              // 125
    "COLLATE AND ADD ",              // 126
    "COLLATE AND ADD ",              // 127
    "Invalid",                       // 128
    "Invalid",                       // 129
    "Invalid",                       // 130
    "Invalid",                       // 131
    "COMPARE ",                      // 132
    "Invalid",                       // 133
    "Invalid",                       // 134
    "Invalid",                       // 135
    "SPECIAL SELECT ",               // 136
    "Invalid",                       // 137
    "Invalid",                       // 138
    "Invalid",                       // 139
    "SPECIAL COPY ",                 // 140
    "Invalid",                       // 141
    "Invalid",                       // 142
    "Invalid",                       // 143
    "SHIFT LOGICAL ",                // 144
    "SHIFT ARITHMETIC ",             // 145
    "SCALE NUMERATOR ",              // 146
    "SHIFT BINARY ",                 // 147
    "SHIFT LOGICAL ",                // 148
    "SHIFT ARITHMETIC ",             // 149
    "SCALE DENOMINATOR ",            // 150
    "SHIFT BINARY ",                 // 151
    "OUTPUT ",                       // 152
    "INPUT ONE BLOCK/RESET TIMER ",  // 153
    "RUN BACK * ",                   // 154
    "RUN FORWARD * ",                // 155
    "STEP BACK * ",                  // 156
    "REWIND * ",                     // 157
    "UNLOAD * ",                     // 158
    "INPUT FIRST WORD */SET ",       // 159
    "ADD FLOATING POINT ",           // 160
    "ADD FLOATING POINT ",           // 161
    "ADD FLOATING POINT ",           // 162
    "ADD FLOATING POINT ",           // 163
    "SUBTRACT FLOATING POINT ",      // 164
    "SUBTRACT FLOATING POINT ",      // 165
    "SUBTRACT FLOATING POINT ",      // 166
    "SUBTRACT FLOATING POINT ",      // 167
    "TRANSFER FLOATING POINT ",      // 168
    "TRANSFER FLOATING POINT ",      // 169
    "TRANSFER FLOATING POINT ",      // 170
    "TRANSFER FLOATING POINT ",      // 171
    "COPY FLOATING POINT ",          // 172
    "COPY FLOATING POINT ",          // 173
    "COPY FLOATING POINT ",          // 174
    "COPY FLOATING POINT ",          // 175
    "MULTIPLY FLOATING POINT ",      // 176
    "MULTIPLY FLOATING POINT ",      // 177
    "MULTIPLY FLOATING POINT ",      // 178
    "MULTIPLY FLOATING POINT ",      // 179
    "DIVIDE FLOATING POINT ",        // 180
    "DIVIDE FLOATING POINT ",        // 181
    "DIVIDE FLOATING POINT ",        // 182
    "DIVIDE FLOATING POINT ",        // 183
    "STEP ON AND TEST ",             // 184
    "Invalid",                       // 185
    "ENTER MASTER ROUTINE ",         // 186
    "SELECT TAG ",                   // 187
    "COPY INTO TAG ",                // 188
    "COPY INTO TAG ",                // 189
    "COPY INTO TAG ",                // 190
    "COPY INTO TAG ",                // 191
    "MODIFY ADDRESS OF NEXT ",       // 192
    "MODIFY ADDRESS OF NEXT ",       // 193
    "SELECT LITERAL AND DIVISION ",  // 194
    "MODIFY ADDRESS OF NEXT ",       // 195
    "UNCONDITIONAL JUMP ",           // 196
    "SET MODIFICATION GROUP ",       // 197
    "MODIFY ADDRESS OF NEXT ",       // 198
    "Invalid",                       // 199
    "STEP ON AND TEST ",             // 200
    "STEP ON AND TEST ",             // 201
    "STEP ON AND TEST ",             // 202
    "STEP ON AND TEST ",             // 203
    "SET INDICATORS ",               // 204
    "CLEAR INDICATORS ",             // 205
    "INTERROGATE INDICATORS ",       // 206
    "CONDITIONAL HALT ",             // 207
    "ENTER SUBROUTINE ",             // 208
    "LEAVE SUBROUTINE ",             // 209
    "ENTER PRIORITY CONTROL ",       // 210
    "LEAVE MASTER ROUTINE ",         // 211
    "SET MODIFICATION REGISTER ",    // 212
    "SET MODIFICATION REGISTER ",    // 213
    "SET MODIFICATION REGISTER ",    // 214
    "SET MODIFICATION REGISTER ",    // 215
    "JUMP A = Z  ",                  // 216
    "JUMP A != ",                    // 217
    "JUMP A >= Z ",                  // 218
    "JUMP A < Z ",                   // 219
    "JUMP AB  = Z ",                 // 220
    "JUMP AB != Z ",                 // 221
    "JUMP AB >= Z ",                 // 222
    "JUMP AB < Z ",                  // 223
    "BULK COPY SHORT NUMERIC ",      // 224
    "BULK COPY SHORT NUMERIC ",      // 225
    "UNPACK FIXED FIELD DATA ",      // 226
    "UNPACK VARIABLE FIELD DATA ",   // 227
    "BULK COPY ALPHA TO SHORT ",     // 228
    "BULK COPY LONG NUMERIC ",       // 229
    "EDIT FIXED FIELD FORMATS ",     // 230
    "CONDENSE ",                     // 231
    "EDIT FOR HOLLERITH OUTPUT ",    // 232
    "EDIT FOR ANELEX OUTPUT ",       // 233
    "Invalid",                       // 234
    "Invalid",                       // 235
    "Invalid",                       // 236
    "Invalid",                       // 237
    "Invalid",                       // 238
    "Invalid",                       // 239
    "TRANSFER DOUBLE LENGTH ",       // 240
    "TRANSFER DOUBLE LENGTH ",       // 241
    "TRANSFER DOUBLE LENGTH ",       // 242
    "TRANSFER DOUBLE LENGTH ",       // 243
    "COPY DOUBLE LENGTH ",           // 244
    "COPY DOUBLE LENGTH ",           // 245
    "COPY DOUBLE LENGTH ",           // 246
    "COPY DOUBLE LENGTH ",           // 247
    "ADD DOUBLE LENGTH ",            // 248
    "ADD DOUBLE LENGTH ",            // 249
    "ADD DOUBLE LENGTH ",            // 250
    "ADD DOUBLE LENGTH ",            // 251
    "SUBTRACT DOUBLE LENGTH ",       // 252
    "SUBTRACT DOUBLE LENGTH ",       // 253
    "SUBTRACT DOUBLE LENGTH ",       // 254
    "SUBTRACT DOUBLE LENGTH ",       // 255
};

const char* name_of(int dv) { return dv >= 0 && dv < 256 ? names[dv] : "Invalid"; }
