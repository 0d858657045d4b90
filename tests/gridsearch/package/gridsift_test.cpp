// The grid package as a client program uses it: loaded at run time with LoadPackage,
// its components found by name on the palette, the adapter attached to a grid of the
// platform by its stored property, its popup menu worked. The program links the
// platform library alone, and nothing of the package stays after it is unloaded.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include "platform/cx/cxgrid.h"
#include "platform/rtl/sysutils.h"
#include "platform/rtl/typinfo.h"
#include "platform/win/resources.h"
#include "tests/support/TempFolder.h"
#include "tests/support/headless_gui.h"

namespace {

const std::string kPackage = std::string(VX_PACKAGE_DIR) + "/libgridsift.so";

bool LibraryMapped() {
  void* h = dlopen(kPackage.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (h) dlclose(h);
  return h != nullptr;
}

TEST(GridPackage, ComponentsComeFromThePackageWorkOnAPlatformGridAndLeaveWithIt) {
  THeadlessGui gui;
  TempFolder folder;
  ASSERT_FALSE(LibraryMapped());
  for (int life = 0; life < 2; ++life) {
    SCOPED_TRACE(life ? "second load" : "first load");
    const HMODULE module = LoadPackage(kPackage);
    ASSERT_NE(module, nullptr);
    EXPECT_STREQ(GetPackageInfo(module)->Name, "gridsift");
    EXPECT_EQ(FindPaletteClass("TGrid5Adapter"), nullptr) << "the palette fills when the designer registers it";
    RegisterPackage(module);
    for (const char* name : {"TGrid5Adapter", "TStyleSheetList"}) {
      std::string page;
      TComponentClass cls = FindPaletteClass(name, &page);
      ASSERT_NE(cls, nullptr) << name;
      EXPECT_EQ(page, "Vextra");
      EXPECT_EQ(GetClass(name), cls);
      EXPECT_EQ(ModuleOfAddress(cls), module);
      EXPECT_TRUE(cls->InheritsFrom(TComponent::StaticClass()));
    }
    {
      TForm form(Application);
      form.SetBounds(0, 0, 500, 300);
      auto* grid = new TcxGrid(&form);
      grid->SetBounds(0, 0, 500, 300);
      grid->SetParent(&form);
      auto* view = grid->CreateView(TcxGridBandedTableView::StaticClass());
      view->SetName("bvOrders");
      view->SetTag(1);
      grid->Levels()->Add()->SetGridView(view);
      view->CreateColumn()->SetCaption("이름");
      view->DataController()->AppendRecord();
      view->DataController()->SetValue(0, 0, Variant("홍길동"));
      form.Show();
      // As a stored form does: the adapter made by its class name, the view named.
      TObject* adapter = FindPaletteClass("TGrid5Adapter")->Create(&form);
      SetPropValue(adapter, "BandedTableVeiw", TPropValue(std::string("bvOrders")));
      ASSERT_NE(view->PopupMenu(), nullptr);
      EXPECT_EQ(view->PopupMenu()->Name(), "bvOrdersGridOptionPopup");
      EXPECT_EQ(view->OptionsView()->DataRowHeight(), 23);
      ASSERT_NE(view->Styles()->StyleSheet(), nullptr);
      EXPECT_EQ(view->Styles()->Values(vsContent)->Color(), TColor(RGB(248, 248, 248)));
      THeadlessGui::Pump();
      // The menu's two commands: the export writes its workbook, the search opens its
      // dialog.
      gui.QueueFileAnswers({folder / ("orders" + std::to_string(life))});
      gui.QueueAnswers({mrNo});
      view->PopupMenu()->Items()->Items(0)->Click();
      EXPECT_TRUE(FileExists(folder / ("orders" + std::to_string(life) + ".xls")));
      view->PopupMenu()->Items()->Items(1)->Click();
      EXPECT_NE(FindWindow(nullptr, "자료 검색"), nullptr);
      THeadlessGui::Pump();
    }
    THeadlessGui::Pump();
    UnloadPackage(module);
    EXPECT_FALSE(LibraryMapped()) << "unloading unmaps the library";
    EXPECT_EQ(FindPaletteClass("TGrid5Adapter"), nullptr);
    EXPECT_EQ(GetClass("TStyleSheetList"), nullptr);
    EXPECT_EQ(FindWindow(nullptr, "자료 검색"), nullptr);
  }
}

}  // namespace
