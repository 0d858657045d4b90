#include "updater/Loader.h"

int RunLoader(int argc, char** argv) { return 0; }
