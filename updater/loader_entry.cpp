#include "updater/Loader.h"

int main(int argc, char** argv) { return RunLoader(argc, argv); }
