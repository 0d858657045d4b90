// The GIF picture class: its data model, settings and stream form.
#include <algorithm>
#include <mutex>

#include "codecs/gif/GifExtensions.h"
#include "platform/win/resources.h"

TGIFDrawOptions GIFImageDefaultDrawOptions{goAsync, goTransparent, goAnimate, goLoop, goDither, goAutoDither};
TColorReduction GIFImageDefaultColorReduction = rmNetscape;
int GIFImageDefaultColorReductionBits = 8;
TDitherMode GIFImageDefaultDitherMode = dmNearest;
TGIFCompression GIFImageDefaultCompression = gcLZW;
TThreadPriority GIFImageDefaultThreadPriority = tpNormal;
int GIFImageDefaultAnimationSpeed = 100;
int GIFDelayExp = 12;
int GIFDefaultDelay = 10;
int GIFMinimumDelay = 3;
int GIFMaximumDelay = 1000;
bool GIFImageOptimizeOnStream = false;

void Register() { GIFImageDefaultDrawOptions.Exclude(goLoop); }

TGIFImage::TGIFImage()
    : FItems(std::make_unique<TGIFImageList>(this)),
      FHeader(std::make_unique<TGIFHeader>(this)),
      FPainters(std::make_unique<TThreadList>()),
      FDrawOptions(GIFImageDefaultDrawOptions),
      FColorReduction(GIFImageDefaultColorReduction),
      FReductionBits(GIFImageDefaultColorReductionBits),
      FDitherMode(GIFImageDefaultDitherMode),
      FCompression(GIFImageDefaultCompression),
      FThreadPriority(GIFImageDefaultThreadPriority),
      FAnimationSpeed(GIFImageDefaultAnimationSpeed) {}

void TGIFImage::Warning(TObject* Sender, TGIFSeverity Severity, const std::string& Message) {
  OnGIFWarning(Sender, Severity, Message);
}

void TGIFImage::Clear() {
  PaintStop();
  FreeBitmap();
  FItems->Clear();
  FHeader->ColorMap()->Clear();
  FHeader->SetWidth(0);
  FHeader->SetHeight(0);
  FHeader->Prepare();
  SetPalette(nullptr);
  FUncodedPixels = 0;
}


void TGIFImage::LoadFromStream(TStream* Stream) {
  const TRect none = Rect(0, 0, 0, 0);
  Progress(this, psStarting, 0, false, none, sProgressLoading);
  try {
    Clear();
    const int64_t start = Stream->Position();
    try {
      FHeader->LoadFromStream(Stream);
      FItems->LoadFromStream(Stream, this);
      TGIFTrailer trailer(this);
      trailer.LoadFromStream(Stream);
      FitScreenToFrames();
    } catch (...) {
      Clear();
      Stream->SetPosition(start);
      throw;
    }
  } catch (...) {
    Progress(this, psEnding, 0, false, none, sProgressLoading);
    throw;
  }
  Progress(this, psEnding, 100, false, none, sProgressLoading);
}

void TGIFImage::SaveToStream(TStream* Stream) {
  const TRect none = Rect(0, 0, 0, 0);
  Progress(this, psStarting, 0, false, none, sProgressSaving);
  try {
    FHeader->SaveToStream(Stream);
    const int count = FItems->Count();
    for (int i = 0; i < count; ++i) {
      FItems->Items(i)->SaveToStream(Stream);
      Progress(this, psRunning, uint8_t((i + 1) * 100 / count), false, none, sProgressSaving);
    }
    TGIFTrailer trailer(this);
    trailer.SaveToStream(Stream);
  } catch (...) {
    Progress(this, psEnding, 0, false, none, sProgressSaving);
    throw;
  }
  Progress(this, psEnding, 100, false, none, sProgressSaving);
}

void TGIFImage::SetWidth(int Value) {
  if (Value < 0 || Value > 0xFFFF) RaiseGIFError(sBadDimension);
  for (int i = 0; i < FItems->Count(); ++i) {
    const TGIFSubImage* frame = FItems->SubImages(i);
    if (frame->Left() + frame->Width() > Value) RaiseGIFError(sBadWidth);
  }
  if (Value == FHeader->Width()) return;
  FHeader->SetWidth(Value);
  FreeBitmap();
  Changed(this);
}

void TGIFImage::SetHeight(int Value) {
  if (Value < 0 || Value > 0xFFFF) RaiseGIFError(sBadDimension);
  for (int i = 0; i < FItems->Count(); ++i) {
    const TGIFSubImage* frame = FItems->SubImages(i);
    if (frame->Top() + frame->Height() > Value) RaiseGIFError(sBadHeight);
  }
  if (Value == FHeader->Height()) return;
  FHeader->SetHeight(Value);
  FreeBitmap();
  Changed(this);
}

TGIFVersion TGIFImage::GetVersion() {
  TGIFVersion version = std::max(gv87a, FHeader->GetVersion());
  for (int i = 0; i < FItems->Count() && version < gv89a; ++i)
    version = std::max(version, FItems->SubImages(i)->GetVersion());
  return version;
}

int TGIFImage::GetBitsPerPixel() {
  int bits = FHeader->GetBitsPerPixel();
  for (int i = 0; i < FItems->Count(); ++i) bits = std::max(bits, FItems->SubImages(i)->GetBitsPerPixel());
  return bits;
}

int TGIFImage::GetColorResolution() {
  int resolution = FHeader->GetColorResolution();
  for (int i = 0; i < FItems->Count(); ++i)
    resolution = std::max(resolution, FItems->SubImages(i)->GetColorResolution());
  return resolution;
}

void TGIFImage::SetReductionBits(int Value) {
  if (Value < 3 || Value > 8) RaiseGIFError(sInvalidBitSize);
  FReductionBits = Value;
}

// ---- Registration with the picture class ----

bool PaletteDevice = false;
bool DoAutoDither = false;
UINT CF_GIF = 0;

namespace {
std::mutex g_unitLock;
int g_unitCount = 0;

// Linked into a program, the codec registers itself at start-up; a package registers
// it from its Initialize (and drops it in its Finalize).
struct GifUnit {
  GifUnit() {
    if (!IsLibrary()) GIFImageInitialize();
  }
  ~GifUnit() {
    if (!IsLibrary()) GIFImageFinalize();
  }
} g_unit;
}  // namespace

void GIFImageInitialize() {
  std::lock_guard guard(g_unitLock);
  if (g_unitCount++ > 0) return;
  TPicture::RegisterFileFormat("GIF", sGIFImageFile, TGIFImage::StaticClass());
  CF_GIF = RegisterClipboardFormat(sGIFImageFile);
  TPicture::RegisterClipboardFormat(uint16_t(CF_GIF), TGIFImage::StaticClass());
  if (HDC screen = CreateCompatibleDC(nullptr)) {
    PaletteDevice = GetDeviceCaps(screen, BITSPIXEL) * GetDeviceCaps(screen, PLANES) <= 8;
    DeleteDC(screen);
  }
  DoAutoDither = PaletteDevice;
}

void GIFImageFinalize() {
  std::lock_guard guard(g_unitLock);
  if (g_unitCount > 0 && --g_unitCount == 0) TPicture::UnregisterGraphicClass(TGIFImage::StaticClass());
}
