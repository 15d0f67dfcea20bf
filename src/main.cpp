#include "app/Main.h"

int main(int argc, char* argv[]) { return kestrin::Main(argc, argv, kestrin::HandOverToWindows); }
