// The package as a client program uses it: loaded at run time with LoadPackage, its
// classes found by name on the palette, created on a form and painted. The program
// links the platform library alone, so every class and picture format it meets comes
// from the package, exactly once, and nothing of it stays after it is unloaded.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>

#include "platform/cx/cxbuttons.h"
#include "platform/cx/cxdropdownedit.h"
#include "platform/display/headless.h"
#include "platform/rtl/classes.h"
#include "platform/rtl/sysutils.h"
#include "platform/vcl/extctrls.h"
#include "platform/vcl/forms.h"
#include "platform/vcl/stdctrls.h"
#include "platform/vcl/thread.h"
#include "platform/win/resources.h"
#include "tests/support/headless_gui.h"
#include "tests/support/wait.h"

namespace {

const std::string kPackage = std::string(VX_PACKAGE_DIR) + "/libvxpackage.so";
const std::string kPicture = std::string(VX_SOURCE_DIR) + "/resources/PNG/BtnConfirm_Up.png";
const std::string kGif = std::string(VX_SOURCE_DIR) + "/tests/codecs/gif/resources/RCDATA/CHECKER.gif";
const std::string kAnimation = std::string(VX_SOURCE_DIR) + "/examples/client/pictures/busy.gif";

// How often a file mask names the extension.
int Mentions(const std::string& Mask, const std::string& Ext) {
  int n = 0;
  for (size_t at = Mask.find("*." + Ext); at != std::string::npos; at = Mask.find("*." + Ext, at + 1)) ++n;
  return n;
}

bool LibraryMapped() {
  void* h = dlopen(kPackage.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (h) dlclose(h);
  return h != nullptr;
}

class Package : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { Application->SetPresenter(std::make_unique<vx::display::THeadlessPresenter>()); }
};

TEST_F(Package, ClassesComeOnceFromThePackageAndLeaveWithIt) {
  ASSERT_FALSE(LibraryMapped());
  const int timers = ThreadTimerCount();
  EXPECT_EQ(Mentions(GraphicFileMask(TGraphic::StaticClass()), "png"), 0) << "nothing of the codecs is linked";
  EXPECT_EQ(Mentions(GraphicFileMask(TGraphic::StaticClass()), "gif"), 0);

  const HMODULE module = LoadPackage(kPackage);
  ASSERT_NE(module, nullptr);
  ASSERT_NE(GetPackageInfo(module), nullptr);
  EXPECT_STREQ(GetPackageInfo(module)->Name, "vxpackage");
  EXPECT_EQ(Mentions(GraphicFileMask(TGraphic::StaticClass()), "png"), 1) << "Initialize registers the formats";
  EXPECT_EQ(Mentions(GraphicFileMask(TGraphic::StaticClass()), "gif"), 1);
  EXPECT_TRUE(GetPalettePages().empty()) << "the palette fills only when the designer registers the package";

  RegisterPackage(module);
  RegisterPackage(module);  // again: the later registrations replace the earlier ones
  // Each class, its page and the platform class it derives from.
  const struct {
    const char* name;
    const char* page;
    TClass base;
  } expected[] = {
      {"TvxImageButton", "Vextra", TCustomControl::StaticClass()},
      {"TvxIconLabel", "Vextra", TGraphicControl::StaticClass()},
      {"TvxImageLabel", "Vextra", TGraphicControl::StaticClass()},
      {"TvxXLabel", "Vextra", TPanel::StaticClass()},
      {"THtmlParser", "Samples", TComponent::StaticClass()},
      {"TTransPanel", "Samples", TPanel::StaticClass()},
      {"TvxXLabelHelper", "Samples", TLabel::StaticClass()},
      {"TvxXLabelHelperPanel", "Samples", TPanel::StaticClass()},
      {"TvxComboBox", "Vextra", TcxComboBox::StaticClass()},
      {"TvxIconEdit", "Vextra", TCustomPanel::StaticClass()},
      {"TvxIconCurrencyEdit", "Vextra", TCustomPanel::StaticClass()},
      {"TvxBizButtonList", "Vextra", TWinControl::StaticClass()},
      {"TvxBizStatusBar", "Vextra", TWinControl::StaticClass()},
  };
  size_t count = 0;
  for (const std::string& page : GetPalettePages()) count += GetPaletteClasses(page).size();
  EXPECT_EQ(count, std::size(expected));

  TForm form(Application);
  form.SetBounds(0, 0, 400, 300);
  form.Show();
  for (const auto& e : expected) {
    SCOPED_TRACE(e.name);
    std::string page;
    TComponentClass cls = FindPaletteClass(e.name, &page);
    ASSERT_NE(cls, nullptr);
    EXPECT_EQ(page, e.page);
    EXPECT_EQ(GetClass(e.name), cls);
    EXPECT_EQ(ModuleOfAddress(cls), module) << "the descriptor is the package's";
    // The ancestors are the platform's own descriptors, the ones this program knows.
    EXPECT_TRUE(cls->InheritsFrom(e.base));
    EXPECT_NE(ModuleOfAddress(e.base), module);
    TObject* made = cls->Create(&form);
    ASSERT_EQ(made->ClassType(), cls);
    if (auto* control = As<TControl>(made)) {
      control->SetBounds(10, 10, 120, 30);
      control->SetParent(&form);
      // The rich label takes it as its tagged text: timers blink and scroll.
      control->SetText("<B>x</B> <BLINK>y</BLINK><MARQUEE>z</MARQUEE>");
    }
    // The bars' pictures come from the package's own bitmaps: the tool bar's ten
    // glyphs, the status bar's icon.
    const auto pictures = [&](int Width) {
      auto* bar = As<TWinControl>(made);
      int n = 0;
      for (int i = 0; i < bar->ControlCount(); ++i) {
        TControl* c = bar->Controls(i);
        if (auto* b = As<TcxButton>(c); b && b->Glyph()->Width() == Width) ++n;
        if (auto* image = As<TImage>(c); image && image->Picture()->Width() == Width) ++n;
      }
      return n;
    };
    if (e.name == std::string("TvxBizButtonList")) {
      EXPECT_EQ(pictures(23), 10);
    } else if (e.name == std::string("TvxBizStatusBar")) {
      EXPECT_EQ(pictures(55), 1);
    }
  }
  // An animation playing in its painter thread.
  auto* image = new TImage(&form);
  image->SetBounds(200, 200, 8, 8);
  image->Picture()->LoadFromFile(kAnimation);
  image->SetParent(&form);
  Application->ProcessMessages();
  form.PaintNow();
  EXPECT_GT(ThreadTimerCount(), timers);
  EXPECT_TRUE(ProcessUntil([&] { return ModuleThreadCount(module) > 0; })) << "no painter thread";

  // A picture file finds the package's class by its extension.
  {
    TPicture picture;
    picture.LoadFromFile(kPicture);
    ASSERT_NE(picture.Graphic(), nullptr);
    EXPECT_EQ(picture.Graphic()->ClassName(), "TPNGObject");
    EXPECT_EQ(ModuleOfAddress(picture.Graphic()->ClassType()), module);
    EXPECT_GT(picture.Width(), 0);
    picture.LoadFromFile(kGif);
    EXPECT_EQ(picture.Graphic()->ClassName(), "TGIFImage");
    EXPECT_EQ(ModuleOfAddress(picture.Graphic()->ClassType()), module);
    EXPECT_EQ(picture.Width(), 4);
  }
  form.DestroyComponents();

  UnloadPackage(module);
  EXPECT_FALSE(LibraryMapped()) << "unloading unmaps the library";
  EXPECT_EQ(ThreadTimerCount(), timers);
  EXPECT_EQ(ModuleThreadCount(module), 0);
  EXPECT_TRUE(GetPalettePages().empty());
  EXPECT_EQ(GetClass("TvxImageButton"), nullptr);
  EXPECT_EQ(GetClass("THtmlParser"), nullptr);
  EXPECT_EQ(Mentions(GraphicFileMask(TGraphic::StaticClass()), "png"), 0);
  EXPECT_EQ(Mentions(GraphicFileMask(TGraphic::StaticClass()), "gif"), 0);
  TPicture picture;
  EXPECT_THROW(picture.LoadFromFile(kPicture), EInvalidGraphic);
  EXPECT_THROW(picture.LoadFromFile(kGif), EInvalidGraphic);

  // A second life of the package gives the same, once again.
  const HMODULE again = LoadPackage(kPackage);
  RegisterPackage(again);
  EXPECT_EQ(Mentions(GraphicFileMask(TGraphic::StaticClass()), "png"), 1);
  EXPECT_NE(FindPaletteClass("TvxImageButton"), nullptr);
  UnloadPackage(again);
  EXPECT_EQ(FindPaletteClass("TvxImageButton"), nullptr);
  EXPECT_FALSE(LibraryMapped());
}

TEST_F(Package, UnloadingWhileAFormPlaysAnAnimationStopsItsPainterAndEnds) {
  const HMODULE module = LoadPackage(kPackage);
  TForm form(Application);
  form.SetBounds(0, 0, 100, 100);
  form.Show();
  auto* image = new TImage(&form);
  image->SetBounds(0, 0, 8, 8);
  image->Picture()->LoadFromFile(kAnimation);  // loops for ever
  image->SetParent(&form);
  form.PaintNow();
  ASSERT_TRUE(ProcessUntil([&] { return ModuleThreadCount(module) > 0; })) << "no painter thread";
  // The form's picture outlives the package here: its code stays mapped for the form's end.
  void* keep = dlopen(kPackage.c_str(), RTLD_NOW | RTLD_NOLOAD);
  {
    vxtest::TWatchdog guard("Unloading while an animation plays");
    UnloadPackage(module);
  }
  EXPECT_EQ(ModuleThreadCount(module), 0) << "the painter still runs";
  EXPECT_EQ(GetPackageInfo(module), nullptr);
  form.DestroyComponents();
  dlclose(keep);
  EXPECT_FALSE(LibraryMapped());
}

TEST_F(Package, LoadingCountsAndFailuresSayWhy) {
  // Mapped without LoadPackage, the package's codecs stay unregistered: only its
  // Initialize registers them.
  void* mapped = dlopen(kPackage.c_str(), RTLD_NOW);
  ASSERT_NE(mapped, nullptr) << dlerror();
  EXPECT_EQ(Mentions(GraphicFileMask(TGraphic::StaticClass()), "png"), 0);
  EXPECT_EQ(Mentions(GraphicFileMask(TGraphic::StaticClass()), "gif"), 0);
  dlclose(mapped);

  const HMODULE first = LoadPackage(kPackage);
  const HMODULE second = LoadPackage(kPackage);
  EXPECT_EQ(first, second);
  UnloadPackage(second);
  EXPECT_EQ(Mentions(GraphicFileMask(TGraphic::StaticClass()), "png"), 1) << "still loaded once";
  EXPECT_EQ(Mentions(GraphicFileMask(TGraphic::StaticClass()), "gif"), 1);
  EXPECT_TRUE(LibraryMapped());
  UnloadPackage(first);
  EXPECT_FALSE(LibraryMapped());

  try {
    LoadPackage("/nonexistent/libnothing.so");
    ADD_FAILURE() << "no error";
  } catch (const EPackageError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Can't load package /nonexistent/libnothing.so.\n", 0), 0u) << e.what();
  }
  try {
    LoadPackage("libz.so.1");
    ADD_FAILURE() << "no error";
  } catch (const EPackageError& e) {
    EXPECT_NE(std::string(e.what()).find("not a package"), std::string::npos) << e.what();
  }
}

}  // namespace
