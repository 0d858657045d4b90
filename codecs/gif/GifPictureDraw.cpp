// Drawing the picture: the first frame directly, an animation through painters; the
// composed bitmap and the palette caches; starting, pausing and stopping painters.
#include <algorithm>
#include <vector>

#include "codecs/gif/GifPainter.h"
#include "platform/win/messages.h"
#include "platform/win/sync.h"

namespace {

// Holds a painter list's lock for the scope.
struct TLocked {
  TThreadList* list;
  TList* items;
  explicit TLocked(TThreadList* AList) : list(AList), items(AList->LockList()) {}
  ~TLocked() { list->UnlockList(); }
  std::vector<TGIFPainter*> Painters() const {
    std::vector<TGIFPainter*> out;
    for (int i = 0; i < items->Count(); ++i) out.push_back(static_cast<TGIFPainter*>(items->Items(i)));
    return out;
  }
};

struct TFlag {
  bool& flag;
  explicit TFlag(bool& AFlag) : flag(AFlag) { flag = true; }
  ~TFlag() { flag = false; }
};

bool SameRect(const TRect& A, const TRect& B) {
  return A.left == B.left && A.top == B.top && A.right == B.right && A.bottom == B.bottom;
}

}  // namespace

TGIFImage::~TGIFImage() {
  PaintStop();
  {
    // Painters still in the list run below this call (a synchronous one, or one whose
    // handler frees the image): they end by themselves, without it.
    TLocked locked(FPainters.get());
    for (TGIFPainter* painter : locked.Painters()) painter->DetachImage();
  }
  Clear();
  if (FGlobalPalette) DeleteObject(FGlobalPalette);
}

// ---- Drawing ----

void TGIFImage::Draw(TCanvas* ACanvas, const TRect& Rect) {
  if (FInDraw || FItems->Count() == 0) return;
  TFlag inDraw(FInDraw);
  const bool transparent = FDrawOptions.Contains(goTransparent), tile = FDrawOptions.Contains(goTile);
  if (FItems->Count() == 1 || !FDrawOptions.Contains(goAnimate)) {
    FItems->SubImages(0)->Draw(ACanvas, Rect, transparent, tile);
    return;
  }
  const bool direct = FDrawOptions.Contains(goDirectDraw);
  if (FBitmap && !direct) {
    DrawTiled(ACanvas, Rect, GetBitmap());
    return;
  }
  {
    TLocked locked(FPainters.get());
    if (FActivePainter && FActivePainter->Canvas() == ACanvas && SameRect(FActivePainter->Rect(), Rect)) return;
  }
  // Not under the lock: the painter being stopped takes it as it ends.
  StopDraw();
  {
    TLocked locked(FPainters.get());
    TCanvas* target = ACanvas;
    TRect targetRect = Rect;
    if (!direct) {
      NewBitmap();
      targetRect = ::Rect(0, 0, Width(), Height());
      target = FBitmap->Canvas();
      // What lies under the picture shows through its transparent parts.
      target->SetCopyMode(cmSrcCopy);
      target->CopyRect(targetRect, ACanvas, Rect);
    }
    if (TGIFPainter* painter = InternalPaint(&FActivePainter, target, targetRect, FDrawOptions)) painter->Start();
  }
  if (direct) return;
  // Until the first frame is there, serving the painter's calls. The painter is read
  // under the lock: ending, it leaves the slot under the lock before it frees itself.
  for (;;) {
    HANDLE ended;
    {
      TLocked locked(FPainters.get());
      const TGIFPainter* painter = FActivePainter;
      if (!painter || painter->FirstFramePainted() || painter->Terminated()) break;
      ended = painter->Handle();
    }
    if (!IsMainThread()) {
      WaitForSingleObject(ended, 10);
    } else if (!CheckSynchronize()) {
      MsgWaitForMultipleObjects(1, &ended, FALSE, INFINITE, QS_SENDMESSAGE);
    }
  }
  if (TBitmap* bitmap = GetBitmap()) DrawTiled(ACanvas, Rect, bitmap);
}

void TGIFImage::DrawTiled(TCanvas* ACanvas, const TRect& Rect, TBitmap* Bitmap) {
  if (!Bitmap) return;
  if (!FDrawOptions.Contains(goTile)) {
    ACanvas->StretchDraw(Rect, Bitmap);
    return;
  }
  const int width = Width(), height = Height();
  if (width <= 0 || height <= 0) return;
  for (int y = Rect.top; y < Rect.bottom; y += height)
    for (int x = Rect.left; x < Rect.right; x += width) ACanvas->StretchDraw(::Rect(x, y, x + width, y + height), Bitmap);
}

// ---- Painters ----

TGIFPainter* TGIFImage::InternalPaint(TGIFPainter** Painter, TCanvas* ACanvas, const TRect& Rect,
                                      TGIFDrawOptions Options) {
  if (Empty() || Rect.left >= Rect.right || Rect.top >= Rect.bottom) {
    if (Painter) *Painter = nullptr;
    return nullptr;
  }
  if (FItems->Count() == 1) Options = Options - TGIFDrawOptions{goAsync, goAnimate};
  auto* painter = new TGIFPainter(Painter, this, Options, Rect, ACanvas);
  FPainters->Add(painter);
  painter->OnPaintBegin = OnPaintBegin;
  painter->OnFramePaint = OnFramePaint;
  painter->OnFramePainted = OnFramePainted;
  painter->OnLoopStart = OnLoopStart;
  painter->OnPaintEnd = OnPaintEnd;
  if (Options.Contains(goAsync)) {
    painter->SetPriority(FThreadPriority);
    return painter;
  }
  std::unique_ptr<TGIFPainter> running(painter);
  running->Execute();
  // A handler may have freed this image meanwhile; then nothing of it is touched.
  const bool detached = running->FImage == nullptr;
  const std::exception_ptr error = running->FException;
  running.reset();
  if (!detached && Painter) *Painter = nullptr;
  if (error) std::rethrow_exception(error);
  return nullptr;
}

TGIFPainter* TGIFImage::Paint(TCanvas* ACanvas, const TRect& Rect, TGIFDrawOptions Options) {
  TGIFPainter* painter = InternalPaint(nullptr, ACanvas, Rect, Options);
  if (painter) painter->Start();
  return painter;
}

void TGIFImage::PaintStart() {
  TLocked locked(FPainters.get());
  for (TGIFPainter* painter : locked.Painters())
    if (painter->IsAsync()) painter->Resume();
}

void TGIFImage::PaintResume() { PaintStart(); }

void TGIFImage::PaintPause() {
  TLocked locked(FPainters.get());
  for (TGIFPainter* painter : locked.Painters())
    if (painter->IsAsync()) painter->Suspend();
}

void TGIFImage::PaintRestart() {
  TLocked locked(FPainters.get());
  for (TGIFPainter* painter : locked.Painters()) painter->Restart();
}

void TGIFImage::StopPainters(bool ActiveOnly) {
  for (;;) {
    std::vector<HANDLE> running;
    {
      TLocked locked(FPainters.get());
      for (TGIFPainter* painter : locked.Painters()) {
        if (ActiveOnly && painter != FActivePainter) continue;
        painter->Stop();
        if (!painter->IsAsync()) continue;
        // One whose call runs below this one cannot end before it returns: it ends
        // afterwards, without the image. (On another thread the call ends by itself.)
        if (IsMainThread() && painter->InMainThreadCall()) {
          painter->DetachImage();
          continue;
        }
        running.push_back(painter->Handle());
      }
    }
    if (running.empty()) return;
    if (IsMainThread()) {
      if (!CheckSynchronize())
        MsgWaitForMultipleObjects(DWORD(running.size()), running.data(), FALSE, INFINITE, QS_SENDMESSAGE);
    } else {
      WaitForMultipleObjects(DWORD(running.size()), running.data(), FALSE, 10);
    }
  }
}

void TGIFImage::PaintStop() {
  StopPainters(false);
  FreeBitmap();
}

void TGIFImage::StopDraw() {
  StopPainters(true);
  FreeBitmap();
}

void TGIFImage::SetAnimationSpeed(int Value) {
  Value = std::clamp(Value, 0, 1000);
  if (Value == FAnimationSpeed) return;
  FAnimationSpeed = Value;
  TLocked locked(FPainters.get());
  if (FActivePainter) FActivePainter->SetAnimationSpeed(Value);
}

void TGIFImage::SetDrawOptions(TGIFDrawOptions Value) {
  if (Value == FDrawOptions) return;
  StopDraw();
  FDrawOptions = Value;
  Pack();
  Changed(this);
}

void TGIFImage::SetAnimate(bool Value) {
  TGIFDrawOptions options = FDrawOptions;
  if (Value)
    options.Include(goAnimate);
  else
    options.Exclude(goAnimate);
  SetDrawOptions(options);
}

// ---- Caches ----

TBitmap* TGIFImage::GetBitmap() {
  if (Empty()) return nullptr;
  if (FBitmap) return FBitmap.get();
  auto bitmap = std::make_unique<TBitmap>();
  TGIFSubImage* first = FItems->SubImages(0);
  if (first->Width() == Width() && first->Height() == Height()) {
    bitmap->Assign(first->GetBitmap());
  } else {
    bitmap->SetPalette(CopyPalette(GetPalette()));
    bitmap->SetSize(Width(), Height());
    first->Draw(bitmap->Canvas(), ::Rect(0, 0, Width(), Height()), false, false);
  }
  bitmap->OnChange = TNotifyEvent(this, &TGIFImage::Changed);
  FBitmap = std::move(bitmap);
  return FBitmap.get();
}

void TGIFImage::NewBitmap() {
  if (FBitmap) return;
  auto bitmap = std::make_unique<TBitmap>();
  bitmap->SetPalette(CopyPalette(GetPalette()));
  bitmap->SetSize(Width(), Height());
  // Frames painted into it reach the picture's listeners.
  bitmap->OnChange = TNotifyEvent(this, &TGIFImage::Changed);
  FBitmap = std::move(bitmap);
}

void TGIFImage::FreeBitmap() {
  StopPainters(true);
  if (!FBitmap) return;
  FBitmap->OnChange = nullptr;
  FBitmap.reset();
}

HPALETTE TGIFImage::GetPalette() {
  if (FInGetPalette) RaiseGIFError(sNoColorTable);
  TFlag inGetPalette(FInGetPalette);
  if (FBitmap)
    if (HPALETTE palette = FBitmap->Palette()) return palette;
  if (FGlobalPalette) return FGlobalPalette;
  if (GetDoDither()) {
    FGlobalPalette = WebPalette();
  } else if (GetColorMap()->Count() > 0) {
    FGlobalPalette = GetColorMap()->ExportPalette();
  } else {
    return FItems->Count() > 0 ? FItems->SubImages(0)->GetPalette() : nullptr;
  }
  return FGlobalPalette;
}

void TGIFImage::SetPalette(HPALETTE Value) {
  if (Value == FGlobalPalette) return;
  if (FGlobalPalette) DeleteObject(FGlobalPalette);
  FGlobalPalette = Value;
  if (FBitmap && FBitmap->Palette() != Value) {
    FreeBitmap();
    FPaletteChanged = true;
    Changed(this);
  }
}

bool TGIFImage::GetDoDither() {
  return FDrawOptions.Contains(goDither) && (!FDrawOptions.Contains(goAutoDither) || DoAutoDither);
}

bool TGIFImage::GetIsTransparent() {
  for (int i = 0; i < FItems->Count(); ++i)
    if (const TGIFGraphicControlExtension* gce = FItems->SubImages(i)->GraphicControlExtension();
        gce && gce->GetTransparent())
      return true;
  return false;
}

void TGIFImage::Pack() {
  FreeBitmap();
  SetPalette(nullptr);
  for (int i = 0; i < FItems->Count(); ++i) {
    FItems->SubImages(i)->FreeBitmap();
    FItems->SubImages(i)->FreeMask();
    FItems->SubImages(i)->SetPalette(nullptr);
  }
  if (GetColorMap()->Count() == 0 && FItems->Count() == 1) {
    TGIFColorMap* local = FItems->SubImages(0)->ColorMap();
    GetColorMap()->Assign(local);
    local->Clear();
  }
}

void TGIFImage::FitScreenToFrames() {
  int width = Width(), height = Height();
  for (int i = 0; i < FItems->Count(); ++i) {
    const TGIFSubImage* frame = FItems->SubImages(i);
    if (frame->Empty()) continue;
    width = std::max(width, frame->Left() + frame->Width());
    height = std::max(height, frame->Top() + frame->Height());
  }
  if (width == Width() && height == Height()) return;
  Warning(this, gsWarning, sScreenSizeExceeded);
  FHeader->SetWidth(std::min(width, 0xFFFF));
  FHeader->SetHeight(std::min(height, 0xFFFF));
}
