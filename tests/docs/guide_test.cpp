// The guide in docs/ has a section for every class that the two packages put on their
// palette pages, and for the picture classes that they register.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "platform/rtl/classes.h"
#include "platform/rtl/sysutils.h"
#include "platform/vcl/graphics.h"
#include "tests/support/headless_gui.h"

namespace {

// The headings of every page of docs/.
std::string Headings() {
  std::string out;
  for (const auto& entry : std::filesystem::directory_iterator(std::string(VX_SOURCE_DIR) + "/docs")) {
    std::ifstream in(entry.path());
    for (std::string line; std::getline(in, line);)
      if (line.rfind("#", 0) == 0) out += line + "\n";
  }
  return out;
}

bool HasSection(const std::string& Headings, const std::string& ClassName) {
  return std::regex_search(Headings, std::regex("^#+ .*\\b" + ClassName + "\\b", std::regex::multiline));
}

}  // namespace

TEST(Guide, NamesEveryPaletteClassAndBothPictureClassesInAHeading) {
  THeadlessGui gui;
  const HMODULE controls = LoadPackage(std::string(VX_PACKAGE_DIR) + "/libvxpackage.so");
  const HMODULE grids = LoadPackage(std::string(VX_PACKAGE_DIR) + "/libgridsift.so");
  RegisterPackage(controls);
  RegisterPackage(grids);
  const std::string headings = Headings();
  int classes = 0;
  for (const std::string& page : GetPalettePages())
    for (TComponentClass c : GetPaletteClasses(page)) {
      EXPECT_TRUE(HasSection(headings, c->name)) << c->name << " (page " << page << ")";
      ++classes;
    }
  EXPECT_GE(classes, 15);
  for (const char* file : {"/examples/client/pictures/bullet.png", "/examples/client/pictures/busy.gif"}) {
    TPicture picture;
    picture.LoadFromFile(std::string(VX_SOURCE_DIR) + file);
    EXPECT_TRUE(HasSection(headings, picture.Graphic()->ClassName())) << picture.Graphic()->ClassName();
  }
  UnloadPackage(grids);
  UnloadPackage(controls);
}
