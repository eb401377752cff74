// modernise [options] listing [output]: a listing as one HTML page.
#include <cstdio>

#include "modernise.h"

int main(int argc, char** argv) { return modernise(argc, argv, stdout, stderr); }
