// Register, arithmetic, shift and tag instructions.
#include "ops.h"

void op_ldb(int dv) { ni(name_of(dv)); }
void op_setradix(int dv) { ni(name_of(dv)); }
void op_copyreg(int dv) { ni(name_of(dv)); }
void op_replreg(int dv) { ni(name_of(dv)); }
void op_prepcoll(int dv) { ni(name_of(dv)); }
void op_round(int dv) { ni(name_of(dv)); }
void op_addlit(int dv) { ni(name_of(dv)); }
void op_sublit(int dv) { ni(name_of(dv)); }
void op_sellit(int dv) { ni(name_of(dv)); }
void op_seldiv(int dv) { ni(name_of(dv)); }
void op_transfer(int dv) { ni(name_of(dv)); }
void op_add(int dv) { ni(name_of(dv)); }
void op_select(int dv) { ni(name_of(dv)); }
void op_augment(int dv) { ni(name_of(dv)); }
void op_muladd(int dv) { ni(name_of(dv)); }
void op_convert(int dv) { ni(name_of(dv)); }
void op_divide(int dv) { ni(name_of(dv)); }
void op_replbits(int dv) { ni(name_of(dv)); }
void op_collate(int dv) { ni(name_of(dv)); }
void op_shift(int dv) { ni(name_of(dv)); }
void op_seltag(int dv) { ni(name_of(dv)); }
void op_copytag(int dv) { ni(name_of(dv)); }
