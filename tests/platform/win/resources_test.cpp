// The files of tests/platform/win/resources are embedded into this program.
#include "platform/win/resources.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/gdi/gdi.h"
#include "platform/rtl/classes.h"
#include "platform/vcl/graphics.h"

namespace {

std::string Bytes(HMODULE module, HRSRC res) {
  const auto* p = static_cast<const char*>(LockResource(LoadResource(module, res)));
  return std::string(p, SizeofResource(module, res));
}

}  // namespace

TEST(Resources, FoundByTypeAndNameIgnoringCaseInTheirOwnModule) {
  EXPECT_EQ(HInstance(), GetModuleHandle(nullptr)) << "this code is part of the program";
  HRSRC png = FindResource(HInstance(), "SAMPLE_a", "png");
  ASSERT_NE(png, nullptr);
  EXPECT_EQ(Bytes(HInstance(), png).substr(1, 3), "PNG");
  EXPECT_EQ(FindResource(nullptr, "sample_A", "PNG"), png) << "a null module is the program";

  // Standard numbered types are their folders; bitmaps lose their file header.
  HRSRC notes = FindResource(HInstance(), "notes", RT_RCDATA);
  ASSERT_NE(notes, nullptr);
  EXPECT_EQ(Bytes(HInstance(), notes), "first line\nsecond line\n");
  HRSRC dot = FindResource(HInstance(), "Dot", RT_BITMAP);
  ASSERT_NE(dot, nullptr);
  EXPECT_EQ(SizeofResource(HInstance(), dot), 70u - 14u);
  BITMAPINFOHEADER header;
  std::memcpy(&header, LockResource(LoadResource(HInstance(), dot)), sizeof header);
  EXPECT_EQ(header.biSize, 40u);
  EXPECT_EQ(header.biWidth, 2);
  HRSRC empty = FindResource(HInstance(), "Empty", RT_RCDATA);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(SizeofResource(HInstance(), empty), 0u);
  EXPECT_NE(LoadResource(HInstance(), empty), nullptr);

  // Misses say what was missing.
  EXPECT_EQ(FindResource(HInstance(), "Sample_B", "PNG"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_RESOURCE_NAME_NOT_FOUND);
  EXPECT_EQ(FindResource(HInstance(), "Sample_A", "GIF"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_RESOURCE_TYPE_NOT_FOUND);
  EXPECT_EQ(FindResource(HInstance(), "Sample_A.png", "PNG"), nullptr) << "names have no extension";

  // A library has a table of its own: the stand-in layer carries none.
  HMODULE platform = GetModuleHandle("vxplatform");
  ASSERT_NE(platform, nullptr);
  EXPECT_NE(platform, HInstance());
  EXPECT_EQ(platform, GetModuleHandle("libvxplatform.so"));
  EXPECT_EQ(platform, ModuleOfAddress(reinterpret_cast<const void*>(&FindResource)));
  EXPECT_EQ(FindResource(platform, "Sample_A", "PNG"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_RESOURCE_DATA_NOT_FOUND);
}

TEST(Resources, AResourceStreamReadsSeeksAndRefusesWrites) {
  TResourceStream s(HInstance(), "Notes", RT_RCDATA);
  EXPECT_EQ(s.Size(), 23);
  char buf[6] = {};
  EXPECT_EQ(s.Read(buf, 5), 5);
  EXPECT_EQ(std::string(buf), "first");
  EXPECT_EQ(s.Seek(-5, soEnd), 18);
  EXPECT_EQ(s.Read(buf, 100), 5);
  EXPECT_EQ(s.Read(buf, 1), 0) << "at the end";
  EXPECT_EQ(s.Seek(100, soBeginning), 100);
  EXPECT_EQ(s.Read(buf, 1), 0) << "past the end";
  EXPECT_THROW(s.Write("x", 1), EStreamError);
  try {
    TResourceStream missing(HInstance(), "Nowhere", RT_RCDATA);
    FAIL();
  } catch (const EResNotFound& e) {
    EXPECT_EQ(e.Message(), "Resource Nowhere not found");
  }
  EXPECT_THROW(TResourceStream(HInstance(), 101, RT_RCDATA), EResNotFound);

  // A bitmap loads from the stream of a resource that holds a whole file.
  TResourceStream dot(HInstance(), "Sample_A", "PNG");
  TMemoryStream copy;
  copy.CopyFrom(&dot, 0);
  EXPECT_EQ(copy.Size(), 73);
}
