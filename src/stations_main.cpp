#include "stations/StationsMain.h"

int main(int argc, char* argv[]) { return kestrin::StationsMain(argc, argv); }
