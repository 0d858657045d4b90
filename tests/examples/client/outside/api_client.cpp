// A client of the installed packages, linked against their .so files alone: every call
// below is found in the package that exports it, and answers as it should.
#include <cstdio>

#include "bizcontrols/uHelpManager.h"
#include "bizcontrols/vxBizStatusBar.h"
#include "codecs/gif/GifImage.h"
#include "codecs/png/PngImage.h"
#include "gridsearch/Grid5StyleSeets.h"
#include "platform/rtl/sysutils.h"

namespace {

int failures = 0;

void Expect(bool Ok, const char* What) {
  if (Ok) return;
  std::fprintf(stderr, "failed: %s\n", What);
  ++failures;
}

// A chunk kind of the client's own.
class TChunkvxTs : public TChunk {
  VX_CHUNK(TChunkvxTs, TChunk)

 public:
  using TChunk::TChunk;
};

}  // namespace

int main() {
  Application->Initialize();
  const HMODULE controls = LoadPackage("libvxpackage.so");
  const HMODULE grids = LoadPackage("libgridsift.so");

  const uint8_t iend[] = {'I', 'E', 'N', 'D'};
  Expect((update_crc(0xFFFFFFFF, iend, 4) ^ 0xFFFFFFFF) == 0xAE426082, "update_crc");
  Expect(ByteSwap(0x01020304) == 0x04030201 && ByteSwap16(0x0102) == 0x0201, "ByteSwap, ByteSwap16");
  Expect(FindChunkClass("IHDR") == TChunkIHDR::ChunkClass(), "FindChunkClass");
  RegisterChunk(TChunkvxTs::ChunkClass());
  Expect(FindChunkClass("vxTs") == TChunkvxTs::ChunkClass(), "RegisterChunk");

  Expect(ColorCountToBits(3) == 2, "ColorCountToBits");
  auto* gif = new TGIFImage();
  for (TColor c : {clRed, clLime, clBlue}) gif->GetColorMap()->Add(c);
  Expect(gif->GetColorMap()->GetBitsPerPixel() == 2, "TGIFColorMap::GetBitsPerPixel");
  delete gif;

  vxBizStatusBar::Register();
  Expect(FindPaletteClass("TvxBizStatusBar") == TvxBizStatusBar::StaticClass(), "vxBizStatusBar::Register");
  auto* form = new TForm(Application);
  auto* bar = new TvxBizStatusBar(form);
  bar->SetParent(form);
  fHelpManager = new TfHelpManager(bar);
  TStringList lines;
  lines.SetText("EDTNAME|name\nEDTCODE|code\n");
  fHelpManager->SetHelpStringList(&lines);
  fHelpManager->SetHelpCode("EDTCODE");
  fHelpManager->PrintHelpStringList();
  Expect(fHelpManager->FindHelpCode("EDTCODE") == 1 && fHelpManager->FindHelpCode("EDTNONE") == -1,
         "TfHelpManager::FindHelpCode");
  Expect(StyleSheetList != nullptr && StyleSheetList->Count() == 2, "StyleSheetList");

  Application->DestroyComponents();
  fHelpManager = nullptr;
  UnloadPackage(grids);
  UnloadPackage(controls);
  return failures == 0 ? 0 : 1;
}
