// The package's units are initialized once for the test program, as the package's
// Initialize does, and finalized at its end.
#include <gtest/gtest.h>

#include "gridsearch/Grid5Adapter.h"
#include "gridsearch/Grid5StyleSeets.h"

namespace {

class TGridUnits : public ::testing::Environment {
 public:
  void SetUp() override {
    Grid5StyleSeets::Initialization();
    Grid5Adapter::Initialization();
  }
  void TearDown() override {
    Grid5Adapter::Finalization();
    Grid5StyleSeets::Finalization();
  }
};

[[maybe_unused]] ::testing::Environment* const units = ::testing::AddGlobalTestEnvironment(new TGridUnits);

}  // namespace
