// The operations behind the decode values, one function each, called by the
// instruction cycle with the decode value (function code x 8 + long bit x 4 +
// modifier field). N is in M.n and SC already names the next instruction.
#pragma once

#include "machine.h"

// Name table text of a decode value (0-255).
const char* name_of(int dv);

// Operand address of a modified instruction: (N + modifier) AND 0x7FFF.
inline int maddr(int dv) { return (int)(((unsigned)M.n + (unsigned)modreg(dv & 3)) & 0x7FFF); }

// Register, arithmetic, shift and tag instructions.
void op_ldb(int dv);       // 2, 6   REPLACE (B) BY (N)
void op_setradix(int dv);  // 3      SET RADIX
void op_copyreg(int dv);   // 4      COPY REGISTERS
void op_replreg(int dv);   // 5      REPLACE REGISTERS
void op_prepcoll(int dv);  // 9      PREPARE FOR DIGIT COLLATION
void op_round(int dv);     // 10     ROUND OFF
void op_addlit(int dv);    // 13     ADD LITERAL ADDRESS
void op_sublit(int dv);    // 14     SUBTRACT LITERAL ADDRESS
void op_sellit(int dv);    // 15     SELECT LITERAL ADDRESS
void op_seldiv(int dv);    // 194    SELECT LITERAL AND DIVISION
void op_transfer(int dv);  // 16-31  TRANSFER (A) TO N, COPY (A) TO N
void op_add(int dv);       // 32-47  ADD (N) TO (A), SUBTRACT (N) FROM (A)
void op_select(int dv);    // 48-55  SELECT (N)
void op_augment(int dv);   // 56-63  AUGMENT (N) BY (A)
void op_muladd(int dv);    // 80-87  MULTIPLY AND ADD
void op_convert(int dv);   // 96-103 CONVERT
void op_divide(int dv);    // 104-111 DIVIDE UNIFORM RADIX
void op_replbits(int dv);  // 112-119 REPLACE SELECTED BITS
void op_collate(int dv);   // 120-127 COLLATE AND ADD
void op_shift(int dv);     // 144, 145, 147, 148, 149, 151 shifts
void op_seltag(int dv);    // 187    SELECT TAG
void op_copytag(int dv);   // 188-191 COPY INTO TAG

// Sequence control, modifiers and indicators.
void op_jump(int dv);      // 196, 216-223 jumps
void op_entersub(int dv);  // 208    ENTER SUBROUTINE
void op_leavesub(int dv);  // 209    LEAVE SUBROUTINE
void op_entermr(int dv);   // 186    ENTER MASTER ROUTINE
void op_leavemr(int dv);   // 211    LEAVE MASTER ROUTINE
void op_priority(int dv);  // 210    ENTER PRIORITY CONTROL
void op_modify(int dv);    // 192, 193, 195, 198 MODIFY ADDRESS OF NEXT
void op_setmod(int dv);    // 213-215 SET MODIFICATION REGISTER
void op_step(int dv);      // 184, 201-203 STEP ON AND TEST
void op_setind(int dv);    // 204    SET INDICATORS
void op_clearind(int dv);  // 205    CLEAR INDICATORS

// Data editing.
void op_lookup(int dv);  // 8, 12  TABLE LOOK UP
void op_bulk(int dv);    // 224, 225, 228, 229 bulk copies
void op_unpack(int dv);  // 226, 227 UNPACK FIXED/VARIABLE FIELD DATA
void op_edit(int dv);    // 230    EDIT FIXED FIELD FORMATS
void op_anelex(int dv);  // 233    EDIT FOR ANELEX OUTPUT

// Services of the peripherals and the Master Routine.
void mr_service(int entry);  // ENTER MASTER ROUTINE below 200
void priority(int n);        // ENTER PRIORITY CONTROL: 1 alarm, 2 unload
void io_summary();           // the I/O summary on the log stream
void close_all();            // close the host files of routes and the reader
