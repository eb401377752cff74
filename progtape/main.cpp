// progtape [switches] tape-image [map-file]: the program tape analyser.
#include <cstdio>

#include "progtape.h"

int main(int argc, char** argv) { return progtape::run(argc, argv, stdout, stderr); }
