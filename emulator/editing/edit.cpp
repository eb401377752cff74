// Data editing: look-up, bulk copy, unpack and edit.
#include "ops.h"

void op_lookup(int dv) { ni(name_of(dv)); }
void op_bulk(int dv) { ni(name_of(dv)); }
void op_unpack(int dv) { ni(name_of(dv)); }
void op_edit(int dv) { ni(name_of(dv)); }
void op_anelex(int dv) { ni(name_of(dv)); }
