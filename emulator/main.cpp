// emulator: loads a program file and obeys it.
#include "cycle.h"

int main(int argc, char** argv) { return emulate(argc, argv); }
