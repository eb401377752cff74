// The instruction table and the character code.
#include "isa.h"

#include <cctype>
#include <cstring>
#include <unordered_map>

namespace isa {

// By decode value: the trace's text, the mnemonic, the operand form. A
// mnemonic is visibly the machine's name: initials or a short stem, "L"
// added for the long bit ("ADD", "ADDL"), and where one name covers several
// operations (the shifts, MODIFY ADDRESS OF NEXT, the bulk copies) a letter
// for the variant.
const Op ops[256] = {
    {"HALT ", "HALT", NUM},                            // 0
    {"Invalid", "", NONE},                             // 1
    {"REPLACE (B) BY (N)", "RBN", ADDR},               // 2
    {"SET RADIX ", "SRAD", ADDR},                      // 3
    {"COPY REGISTERS ", "CREG", ADDR},                 // 4
    {"REPLACE REGISTERS ", "RREG", ADDR},              // 5
    {"REPLACE (B) BY (N)", "RBNL", ADDR},              // 6
    {"Invalid", "", NONE},                             // 7
    {"TABLE LOOK UP ", "TLU", ADDR},                   // 8
    {"PREPARE FOR DIGIT COLLATION ", "PDC", NUM},      // 9
    {"ROUND OFF ", "ROFF", NUM},                       // 10
    {"INTERCHANGE AREA ADDRESSES ", "IAA", ADDR},      // 11
    {"TABLE LOOK UP ", "TLUL", ADDR},                  // 12
    {"ADD LITERAL ADDRESS ", "ADDLIT", NUM},           // 13
    {"SUBTRACT LITERAL ADDRESS ", "SUBLIT", NUM},      // 14
    {"SELECT LITERAL ADDRESS ", "SELLIT", NUM},        // 15
    {"TRANSFER (A) TO N ", "TRA", MOD},                // 16
    {"TRANSFER (A) TO N ", "TRA", MOD},                // 17
    {"TRANSFER (A) TO N ", "TRA", MOD},                // 18
    {"TRANSFER (A) TO N ", "TRA", MOD},                // 19
    {"TRANSFER (A) TO N ", "TRAL", MOD},               // 20
    {"TRANSFER (A) TO N ", "TRAL", MOD},               // 21
    {"TRANSFER (A) TO N ", "TRAL", MOD},               // 22
    {"TRANSFER (A) TO N ", "TRAL", MOD},               // 23
    {"COPY (A) TO N ", "CPY", MOD},                    // 24
    {"COPY (A) TO N ", "CPY", MOD},                    // 25
    {"COPY (A) TO N ", "CPY", MOD},                    // 26
    {"COPY (A) TO N ", "CPY", MOD},                    // 27
    {"COPY (A) TO N ", "CPYL", MOD},                   // 28
    {"COPY (A) TO N ", "CPYL", MOD},                   // 29
    {"COPY (A) TO N ", "CPYL", MOD},                   // 30
    {"COPY (A) TO N ", "CPYL", MOD},                   // 31
    {"ADD (N) TO (A)", "ADD", MOD},                    // 32
    {"ADD (N) TO (A)", "ADD", MOD},                    // 33
    {"ADD (N) TO (A)", "ADD", MOD},                    // 34
    {"ADD (N) TO (A)", "ADD", MOD},                    // 35
    {"ADD (N) TO (A)", "ADDL", MOD},                   // 36
    {"ADD (N) TO (A)", "ADDL", MOD},                   // 37
    {"ADD (N) TO (A)", "ADDL", MOD},                   // 38
    {"ADD (N) TO (A)", "ADDL", MOD},                   // 39
    {"SUBTRACT (N) FROM (A)", "SUB", MOD},             // 40
    {"SUBTRACT (N) FROM (A)", "SUB", MOD},             // 41
    {"SUBTRACT (N) FROM (A)", "SUB", MOD},             // 42
    {"SUBTRACT (N) FROM (A)", "SUB", MOD},             // 43
    {"SUBTRACT (N) FROM (A)", "SUBL", MOD},            // 44
    {"SUBTRACT (N) FROM (A)", "SUBL", MOD},            // 45
    {"SUBTRACT (N) FROM (A)", "SUBL", MOD},            // 46
    {"SUBTRACT (N) FROM (A)", "SUBL", MOD},            // 47
    {"SELECT (N)", "SEL", MOD},                        // 48
    {"SELECT (N)", "SEL", MOD},                        // 49
    {"SELECT (N)", "SEL", MOD},                        // 50
    {"SELECT (N)", "SEL", MOD},                        // 51
    {"SELECT (N)", "SELL", MOD},                       // 52
    {"SELECT (N)", "SELL", MOD},                       // 53
    {"SELECT (N)", "SELL", MOD},                       // 54
    {"SELECT (N)", "SELL", MOD},                       // 55
    {"AUGMENT (N) BY (A)", "AUG", MOD},                // 56
    {"AUGMENT (N) BY (A)", "AUG", MOD},                // 57
    {"AUGMENT (N) BY (A)", "AUG", MOD},                // 58
    {"AUGMENT (N) BY (A)", "AUG", MOD},                // 59
    {"AUGMENT (N) BY (A)", "AUGL", MOD},               // 60
    {"AUGMENT (N) BY (A)", "AUGL", MOD},               // 61
    {"AUGMENT (N) BY (A)", "AUGL", MOD},               // 62
    {"AUGMENT (N) BY (A)", "AUGL", MOD},               // 63
    {"MERGE CONSTANT LENGTH ", "MCL", MOD},            // 64
    {"MERGE CONSTANT LENGTH ", "MCL", MOD},            // 65
    {"MERGE CONSTANT LENGTH ", "MCL", MOD},            // 66
    {"MERGE CONSTANT LENGTH ", "MCL", MOD},            // 67
    {"MERGE VARIABLE LENGTH ", "MVL", MOD},            // 68
    {"MERGE VARIABLE LENGTH ", "MVL", MOD},            // 69
    {"MERGE VARIABLE LENGTH ", "MVL", MOD},            // 70
    {"MERGE VARIABLE LENGTH ", "MVL", MOD},            // 71
    {"MULTIPLY UNIFORM RADIX ", "MUR", MOD},           // 72
    {"MULTIPLY UNIFORM RADIX ", "MUR", MOD},           // 73
    {"MULTIPLY UNIFORM RADIX ", "MUR", MOD},           // 74
    {"MULTIPLY UNIFORM RADIX ", "MUR", MOD},           // 75
    {"MULTIPLY UNIFORM RADIX ", "MURL", MOD},          // 76
    {"MULTIPLY UNIFORM RADIX ", "MURL", MOD},          // 77
    {"MULTIPLY UNIFORM RADIX ", "MURL", MOD},          // 78
    {"MULTIPLY UNIFORM RADIX ", "MURL", MOD},          // 79
    {"MULTIPLY AND ADD ", "MADD", MOD},                // 80
    {"MULTIPLY AND ADD ", "MADD", MOD},                // 81
    {"MULTIPLY AND ADD ", "MADD", MOD},                // 82
    {"MULTIPLY AND ADD ", "MADD", MOD},                // 83
    {"MULTIPLY AND ADD ", "MADDL", MOD},               // 84
    {"MULTIPLY AND ADD ", "MADDL", MOD},               // 85
    {"MULTIPLY AND ADD ", "MADDL", MOD},               // 86
    {"MULTIPLY AND ADD ", "MADDL", MOD},               // 87
    {"MULTIPLY AND SUBTRACT ", "MSUB", MOD},           // 88
    {"MULTIPLY AND SUBTRACT ", "MSUB", MOD},           // 89
    {"MULTIPLY AND SUBTRACT ", "MSUB", MOD},           // 90
    {"MULTIPLY AND SUBTRACT ", "MSUB", MOD},           // 91
    {"MULTIPLY AND SUBTRACT ", "MSUBL", MOD},          // 92
    {"MULTIPLY AND SUBTRACT ", "MSUBL", MOD},          // 93
    {"MULTIPLY AND SUBTRACT ", "MSUBL", MOD},          // 94
    {"MULTIPLY AND SUBTRACT ", "MSUBL", MOD},          // 95
    {"CONVERT ", "CONV", MOD},                         // 96
    {"CONVERT ", "CONV", MOD},                         // 97
    {"CONVERT ", "CONV", MOD},                         // 98
    {"CONVERT ", "CONV", MOD},                         // 99
    {"CONVERT ", "CONVL", MOD},                        // 100
    {"CONVERT ", "CONVL", MOD},                        // 101
    {"CONVERT ", "CONVL", MOD},                        // 102
    {"CONVERT ", "CONVL", MOD},                        // 103
    {"DIVIDE UNIFORM RADIX ", "DUR", MOD},             // 104
    {"DIVIDE UNIFORM RADIX ", "DUR", MOD},             // 105
    {"DIVIDE UNIFORM RADIX ", "DUR", MOD},             // 106
    {"DIVIDE UNIFORM RADIX ", "DUR", MOD},             // 107
    {"DIVIDE UNIFORM RADIX ", "DURL", MOD},            // 108
    {"DIVIDE UNIFORM RADIX ", "DURL", MOD},            // 109
    {"DIVIDE UNIFORM RADIX ", "DURL", MOD},            // 110
    {"DIVIDE UNIFORM RADIX ", "DURL", MOD},            // 111
    {"REPLACE SELECTED BITS ", "RSB", MOD},            // 112
    {"REPLACE SELECTED BITS ", "RSB", MOD},            // 113
    {"REPLACE SELECTED BITS ", "RSB", MOD},            // 114
    {"REPLACE SELECTED BITS ", "RSB", MOD},            // 115
    {"REPLACE SELECTED BITS ", "RSBL", MOD},           // 116
    {"REPLACE SELECTED BITS ", "RSBL", MOD},           // 117
    {"REPLACE SELECTED BITS ", "RSBL", MOD},           // 118
    {"REPLACE SELECTED BITS ", "RSBL", MOD},           // 119
    {"COLLATE AND ADD ", "CADD", MOD},                 // 120
    {"COLLATE AND ADD ", "CADD", MOD},                 // 121
    {"COLLATE AND ADD ", "CADD", MOD},                 // 122
    {"COLLATE AND ADD ", "CADD", MOD},                 // 123
    {"COLLATE AND ADD ", "CADDL", MOD},                // 124
    {"COLLATE AND ADD ", "CADDL", MOD},                // 125
    {"COLLATE AND ADD ", "CADDL", MOD},                // 126
    {"COLLATE AND ADD ", "CADDL", MOD},                // 127
    {"Invalid", "", NONE},                             // 128
    {"Invalid", "", NONE},                             // 129
    {"Invalid", "", NONE},                             // 130
    {"Invalid", "", NONE},                             // 131
    {"COMPARE ", "CMP", ADDR},                         // 132
    {"Invalid", "", NONE},                             // 133
    {"Invalid", "", NONE},                             // 134
    {"Invalid", "", NONE},                             // 135
    {"SPECIAL SELECT ", "SSEL", ADDR},                 // 136
    {"Invalid", "", NONE},                             // 137
    {"Invalid", "", NONE},                             // 138
    {"Invalid", "", NONE},                             // 139
    {"SPECIAL COPY ", "SCPY", ADDR},                   // 140
    {"Invalid", "", NONE},                             // 141
    {"Invalid", "", NONE},                             // 142
    {"Invalid", "", NONE},                             // 143
    {"SHIFT LOGICAL ", "SHL", SHIFT},                  // 144
    {"SHIFT ARITHMETIC ", "SHA", SHIFT},               // 145
    {"SCALE NUMERATOR ", "SCN", NUM},                  // 146
    {"SHIFT BINARY ", "SHB", SHIFT},                   // 147
    {"SHIFT LOGICAL ", "SHLL", SHIFT},                 // 148
    {"SHIFT ARITHMETIC ", "SHAL", SHIFT},              // 149
    {"SCALE DENOMINATOR ", "SCD", NUM},                // 150
    {"SHIFT BINARY ", "SHBL", SHIFT},                  // 151
    {"OUTPUT ", "OUT", ADDR},                          // 152
    {"INPUT ONE BLOCK/RESET TIMER ", "INB", ADDR},     // 153
    {"RUN BACK * ", "RUNB", NUM},                      // 154
    {"RUN FORWARD * ", "RUNF", NUM},                   // 155
    {"STEP BACK * ", "STPB", NUM},                     // 156
    {"REWIND * ", "REW", NUM},                         // 157
    {"UNLOAD * ", "UNLD", NUM},                        // 158
    {"INPUT FIRST WORD */SET ", "INFW", ADDR},         // 159
    {"ADD FLOATING POINT ", "FADD", MOD},              // 160
    {"ADD FLOATING POINT ", "FADD", MOD},              // 161
    {"ADD FLOATING POINT ", "FADD", MOD},              // 162
    {"ADD FLOATING POINT ", "FADD", MOD},              // 163
    {"SUBTRACT FLOATING POINT ", "FSUB", MOD},         // 164
    {"SUBTRACT FLOATING POINT ", "FSUB", MOD},         // 165
    {"SUBTRACT FLOATING POINT ", "FSUB", MOD},         // 166
    {"SUBTRACT FLOATING POINT ", "FSUB", MOD},         // 167
    {"TRANSFER FLOATING POINT ", "FTRA", MOD},         // 168
    {"TRANSFER FLOATING POINT ", "FTRA", MOD},         // 169
    {"TRANSFER FLOATING POINT ", "FTRA", MOD},         // 170
    {"TRANSFER FLOATING POINT ", "FTRA", MOD},         // 171
    {"COPY FLOATING POINT ", "FCPY", MOD},             // 172
    {"COPY FLOATING POINT ", "FCPY", MOD},             // 173
    {"COPY FLOATING POINT ", "FCPY", MOD},             // 174
    {"COPY FLOATING POINT ", "FCPY", MOD},             // 175
    {"MULTIPLY FLOATING POINT ", "FMUL", MOD},         // 176
    {"MULTIPLY FLOATING POINT ", "FMUL", MOD},         // 177
    {"MULTIPLY FLOATING POINT ", "FMUL", MOD},         // 178
    {"MULTIPLY FLOATING POINT ", "FMUL", MOD},         // 179
    {"DIVIDE FLOATING POINT ", "FDIV", MOD},           // 180
    {"DIVIDE FLOATING POINT ", "FDIV", MOD},           // 181
    {"DIVIDE FLOATING POINT ", "FDIV", MOD},           // 182
    {"DIVIDE FLOATING POINT ", "FDIV", MOD},           // 183
    {"STEP ON AND TEST ", "SOTN", STEPN},              // 184
    {"Invalid", "", NONE},                             // 185
    {"ENTER MASTER ROUTINE ", "EMR", ADDR},            // 186
    {"SELECT TAG ", "STAG", ADDR},                     // 187
    {"COPY INTO TAG ", "CTAG", MOD},                   // 188
    {"COPY INTO TAG ", "CTAG", MOD},                   // 189
    {"COPY INTO TAG ", "CTAG", MOD},                   // 190
    {"COPY INTO TAG ", "CTAG", MOD},                   // 191
    {"MODIFY ADDRESS OF NEXT ", "MANC", ADDR},         // 192
    {"MODIFY ADDRESS OF NEXT ", "MAN", ADDR},          // 193
    {"SELECT LITERAL AND DIVISION ", "SELDIV", ADDR},  // 194
    {"MODIFY ADDRESS OF NEXT ", "MANQ", ADDR},         // 195
    {"UNCONDITIONAL JUMP ", "JMP", ADDR},              // 196
    {"SET MODIFICATION GROUP ", "SMG", ADDR},          // 197
    {"MODIFY ADDRESS OF NEXT ", "MANCQ", ADDR},        // 198
    {"Invalid", "", NONE},                             // 199
    {"STEP ON AND TEST ", "SOT", STEP},                // 200
    {"STEP ON AND TEST ", "SOT", STEP},                // 201
    {"STEP ON AND TEST ", "SOT", STEP},                // 202
    {"STEP ON AND TEST ", "SOT", STEP},                // 203
    {"SET INDICATORS ", "SIND", NUM},                  // 204
    {"CLEAR INDICATORS ", "CIND", NUM},                // 205
    {"INTERROGATE INDICATORS ", "IIND", NUM},          // 206
    {"CONDITIONAL HALT ", "CHLT", NUM},                // 207
    {"ENTER SUBROUTINE ", "ESUB", ADDR},               // 208
    {"LEAVE SUBROUTINE ", "LSUB", ADDR},               // 209
    {"ENTER PRIORITY CONTROL ", "EPC", ADDR},          // 210
    {"LEAVE MASTER ROUTINE ", "LMR", ADDR},            // 211
    {"SET MODIFICATION REGISTER ", "SMR", REG},        // 212
    {"SET MODIFICATION REGISTER ", "SMR", REG},        // 213
    {"SET MODIFICATION REGISTER ", "SMR", REG},        // 214
    {"SET MODIFICATION REGISTER ", "SMR", REG},        // 215
    {"JUMP A = Z  ", "JAZ", ADDR},                     // 216
    {"JUMP A != ", "JANZ", ADDR},                      // 217
    {"JUMP A >= Z ", "JAGE", ADDR},                    // 218
    {"JUMP A < Z ", "JALT", ADDR},                     // 219
    {"JUMP AB  = Z ", "JABZ", ADDR},                   // 220
    {"JUMP AB != Z ", "JABNZ", ADDR},                  // 221
    {"JUMP AB >= Z ", "JABGE", ADDR},                  // 222
    {"JUMP AB < Z ", "JABLT", ADDR},                   // 223
    {"BULK COPY SHORT NUMERIC ", "BCSN", ADDR},        // 224
    {"BULK COPY SHORT NUMERIC ", "BCSNA", ADDR},       // 225
    {"UNPACK FIXED FIELD DATA ", "UNPF", ADDR},        // 226
    {"UNPACK VARIABLE FIELD DATA ", "UNPV", ADDR},     // 227
    {"BULK COPY ALPHA TO SHORT ", "BCAS", ADDR},       // 228
    {"BULK COPY LONG NUMERIC ", "BCLN", ADDR},         // 229
    {"EDIT FIXED FIELD FORMATS ", "EDF", ADDR},        // 230
    {"CONDENSE ", "CNDS", ADDR},                       // 231
    {"EDIT FOR HOLLERITH OUTPUT ", "EDH", ADDR},       // 232
    {"EDIT FOR ANELEX OUTPUT ", "EDA", ADDR},          // 233
    {"Invalid", "", NONE},                             // 234
    {"Invalid", "", NONE},                             // 235
    {"Invalid", "", NONE},                             // 236
    {"Invalid", "", NONE},                             // 237
    {"Invalid", "", NONE},                             // 238
    {"Invalid", "", NONE},                             // 239
    {"TRANSFER DOUBLE LENGTH ", "TRAD", MOD},          // 240
    {"TRANSFER DOUBLE LENGTH ", "TRAD", MOD},          // 241
    {"TRANSFER DOUBLE LENGTH ", "TRAD", MOD},          // 242
    {"TRANSFER DOUBLE LENGTH ", "TRAD", MOD},          // 243
    {"COPY DOUBLE LENGTH ", "CPYD", MOD},              // 244
    {"COPY DOUBLE LENGTH ", "CPYD", MOD},              // 245
    {"COPY DOUBLE LENGTH ", "CPYD", MOD},              // 246
    {"COPY DOUBLE LENGTH ", "CPYD", MOD},              // 247
    {"ADD DOUBLE LENGTH ", "ADDD", MOD},               // 248
    {"ADD DOUBLE LENGTH ", "ADDD", MOD},               // 249
    {"ADD DOUBLE LENGTH ", "ADDD", MOD},               // 250
    {"ADD DOUBLE LENGTH ", "ADDD", MOD},               // 251
    {"SUBTRACT DOUBLE LENGTH ", "SUBD", MOD},          // 252
    {"SUBTRACT DOUBLE LENGTH ", "SUBD", MOD},          // 253
    {"SUBTRACT DOUBLE LENGTH ", "SUBD", MOD},          // 254
    {"SUBTRACT DOUBLE LENGTH ", "SUBD", MOD},          // 255
};

int find(const std::string& mnem) {
  // The first decode value of each mnemonic, by its upper-case text.
  static const std::unordered_map<std::string, int> index = [] {
    std::unordered_map<std::string, int> m;
    for (int dv = 255; dv >= 0; dv--)
      if (*ops[dv].mnem) m[ops[dv].mnem] = dv;
    return m;
  }();
  if (mnem.empty() || mnem.size() > 6) return -1;
  std::string up = mnem;
  for (char& c : up) c = (char)std::toupper((unsigned char)c);
  auto it = index.find(up);
  return it == index.end() ? -1 : it->second;
}

namespace {

// Characters by six-bit code; "" where a code has none.
const char* const chars[64] = {
    " ", "1", "2", "3", "4", "5", "6", "7", "8", "9", "t", "e", "+", ":", ".",   "\xC2\xA3",
    "-", "A", "B", "C", "D", "E", "F", "G", "H", "I", "=", "*", "'", "?", "\\n", "",
    "&", "J", "K", "L", "M", "N", "O", "P", "Q", "R", "g", "%", ">", "<", "h",   "\\\\",
    "0", "/", "S", "T", "U", "V", "W", "X", "Y", "Z", "(", ")", ",", ";", "#",   "",
};

}  // namespace

const char* char_text(int code) {
  if (code < 0 || code > 0x7F || store_code(code & 0x3F) != code || !*chars[code & 0x3F])
    return nullptr;
  return chars[code & 0x3F];
}

int text_code(const char* s, size_t n, size_t& len) {
  if (n == 0) return -1;
  if ((unsigned char)s[0] == 0xA3) {
    len = 1;
    return store_code(0x0F);
  }
  for (int c = 0; c < 64; c++) {
    size_t k = std::strlen(chars[c]);
    if (k && k <= n && std::memcmp(s, chars[c], k) == 0) {
      len = k;
      return store_code(c);
    }
  }
  return -1;
}

}  // namespace isa

const char* name_of(int dv) { return dv >= 0 && dv < 256 ? isa::ops[dv].name : "Invalid"; }
