// The grid package (libgridsift.so): the grid adapter, its style sheets and the
// search dialog.
#include "gridsearch/Grid5Adapter.h"
#include "gridsearch/Grid5StyleSeets.h"

extern "C" __attribute__((visibility("default"))) void Initialize() {
  Grid5StyleSeets::Initialization();
  Grid5Adapter::Initialization();
}

extern "C" __attribute__((visibility("default"))) void Finalize() {
  Grid5Adapter::Finalization();
  Grid5StyleSeets::Finalization();
}
