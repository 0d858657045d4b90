// Copying the picture: frames added from other graphics, assignment to and from other
// graphics, the clipboard, resources and form streaming.
#include <cstring>

#include "codecs/gif/GifPainter.h"
#include "platform/win/resources.h"

int TGIFImage::Add(TPersistent* Source) {
  std::unique_ptr<TGIFSubImage> frame;
  auto* subImage = As<TGIFSubImage>(Source);
  if (subImage && subImage->Image() == this && FItems->IndexOf(subImage) < 0) {
    frame.reset(subImage);
  } else if (subImage || As<TGraphic>(Source)) {
    frame = std::make_unique<TGIFSubImage>(this);
    frame->Assign(Source);
  } else {
    RaiseGIFError(sUnsupportedClass);
  }
  const int index = FItems->Add(std::move(frame));
  FreeBitmap();
  Changed(this);
  return index;
}

void TGIFImage::Assign(TPersistent* Source) {
  if (Source == this) return;
  if (!Source) {
    Clear();
    Changed(this);
    return;
  }
  if (auto* image = As<TGIFImage>(Source)) {
    AssignImage(image);
    return;
  }
  if (auto* picture = As<TPicture>(Source)) {
    Assign(picture->Graphic());
    return;
  }
  Clear();
  auto frame = std::make_unique<TGIFSubImage>(this);
  try {
    frame->Assign(Source);
  } catch (const EConvertError&) {
    frame.reset();
    TGraphic::Assign(Source);
    return;
  }
  FItems->Add(std::move(frame));
  Changed(this);
}

void TGIFImage::AssignImage(TGIFImage* Source) {
  Clear();
  // While copying, progress and warnings go where the source's go.
  OnProgress = Source->OnProgress;
  OnGIFWarning = Source->OnGIFWarning;
  const TRect none = Rect(0, 0, 0, 0);
  Progress(this, psStarting, 0, false, none, sProgressCopying);
  try {
    FHeader->Assign(Source->FHeader.get());
    FThreadPriority = Source->FThreadPriority;
    FBackgroundColor = Source->FBackgroundColor;
    FDrawOptions = Source->FDrawOptions;
    FColorReduction = Source->FColorReduction;
    FDitherMode = Source->FDitherMode;
    OnPaintBegin = Source->OnPaintBegin;
    OnFramePaint = Source->OnFramePaint;
    OnFramePainted = Source->OnFramePainted;
    OnLoopStart = Source->OnLoopStart;
    OnPaintEnd = Source->OnPaintEnd;
    const int count = Source->FItems->Count();
    for (int i = 0; i < count; ++i) {
      auto frame = std::make_unique<TGIFSubImage>(this);
      frame->Assign(Source->FItems->SubImages(i));
      FItems->Add(std::move(frame));
      Progress(this, psRunning, uint8_t((i + 1) * 100 / count), false, none, sProgressCopying);
    }
  } catch (...) {
    Progress(this, psEnding, 0, false, none, sProgressCopying);
    OnProgress = nullptr;
    OnGIFWarning = nullptr;
    throw;
  }
  Progress(this, psEnding, 100, false, none, sProgressCopying);
  OnProgress = nullptr;
  OnGIFWarning = nullptr;
  Changed(this);
}

void TGIFImage::AssignTo(TPersistent* Dest) {
  if (auto* bitmap = As<TBitmap>(Dest)) {
    bitmap->Assign(GetBitmap());
    return;
  }
  TGraphic::AssignTo(Dest);
}

void TGIFImage::WriteData(TStream* Stream) {
  if (GIFImageOptimizeOnStream) Optimize({ooCrop, ooMerge, ooCleanup, ooColorMap, ooReduceColors}, rmNone, dmNearest, 8);
  TGraphic::WriteData(Stream);
}

void TGIFImage::LoadFromResourceName(HINSTANCE Instance, const std::string& Name) {
  TResourceStream stream(Instance, Name, RT_RCDATA);
  LoadFromStream(&stream);
}

// ---- Clipboard ----

void TGIFImage::LoadFromClipboardFormat(uint16_t AFormat, HANDLE AData, HPALETTE APalette) {
  if (AFormat != 0 && AFormat == CF_GIF) {
    HGLOBAL block = AData ? AData : GetClipboardData(CF_GIF);
    const void* bytes = GlobalLock(block);
    if (!bytes) throw EInvalidGraphic(GraphicsText::UnknownClipboardFormat);
    TMemoryStream stream;
    stream.WriteBuffer(bytes, int64_t(GlobalSize(block)));
    GlobalUnlock(block);
    stream.SetPosition(0);
    LoadFromStream(&stream);
  } else if (AFormat == CF_BITMAP) {
    TBitmap bitmap;
    bitmap.LoadFromClipboardFormat(CF_BITMAP, AData ? AData : GetClipboardData(CF_BITMAP), APalette);
    Assign(&bitmap);
  } else {
    throw EInvalidGraphic(GraphicsText::UnknownClipboardFormat);
  }
}

void TGIFImage::SaveToClipboardFormat(uint16_t& AFormat, HANDLE& AData, HPALETTE& APalette) {
  if (Empty()) return;
  // The bitmap form goes back to the caller; the GIF form goes on the clipboard here.
  GetBitmap()->SaveToClipboardFormat(AFormat, AData, APalette);
  HGLOBAL block = nullptr;
  try {
    TMemoryStream stream;
    SaveToStream(&stream);
    block = GlobalAlloc(GMEM_MOVEABLE, size_t(stream.Size()));
    if (!block) RaiseGIFError(sFailedPaste);
    std::memcpy(GlobalLock(block), stream.Memory(), size_t(stream.Size()));
    GlobalUnlock(block);
    if (!SetClipboardData(CF_GIF, block)) RaiseGIFError(sFailedPaste);
  } catch (...) {
    if (block) GlobalFree(block);
    if (AData) DeleteObject(static_cast<HGDIOBJ>(AData));
    if (APalette) DeleteObject(APalette);
    AData = nullptr;
    APalette = nullptr;
    throw;
  }
}
