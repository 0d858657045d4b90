#include "codecs/gif/GifPainter.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "platform/win/messages.h"
#include "platform/win/sync.h"

namespace {

// Reserved disposal values of a file are taken as "leave in place".
TDisposalMethod Normalized(TDisposalMethod Disposal) { return Disposal > dmPrevious ? dmNoDisposal : Disposal; }

bool KeepsFrame(TDisposalMethod Disposal) { return Disposal == dmNone || Disposal == dmNoDisposal; }

std::string MessageOf(const std::exception_ptr& Error) {
  try {
    std::rethrow_exception(Error);
  } catch (const Exception& e) {
    return e.Message();
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "Unknown error";
  }
}

// A * 100 / Speed rounded as MulDiv rounds; false when it does not fit 32 bits.
bool ScaledDelay(int64_t Value, int Speed, int& Result) {
  const int64_t scaled = Value * 100;
  const int64_t q = (std::abs(scaled) + Speed / 2) / Speed;
  const int64_t r = scaled < 0 ? -q : q;
  if (r < INT32_MIN || r > INT32_MAX) return false;
  Result = int(r);
  return true;
}

TRect Offset(const TRect& R, int X, int Y) { return Rect(R.left + X, R.top + Y, R.right + X, R.bottom + Y); }

}  // namespace

// ---- Construction and control ----

TGIFPainter::TGIFPainter(TGIFImage* AImage, TGIFDrawOptions AOptions, const TRect& ARect, TCanvas* ACanvas)
    : TThread(true) {
  Init(nullptr, AImage, AOptions, ARect, ACanvas);
}

TGIFPainter::TGIFPainter(TGIFPainter** AOwnerSlot, TGIFImage* AImage, TGIFDrawOptions AOptions, const TRect& ARect,
                         TCanvas* ACanvas)
    : TThread(true) {
  Init(AOwnerSlot, AImage, AOptions, ARect, ACanvas);
}

void TGIFPainter::Init(TGIFPainter** AOwnerSlot, TGIFImage* AImage, TGIFDrawOptions AOptions, const TRect& ARect,
                       TCanvas* ACanvas) {
  SetFreeOnTerminate(true);
  SetOnTerminate(TNotifyEvent(this, &TGIFPainter::DoOnTerminate));
  FOwnerSlot = AOwnerSlot;
  if (FOwnerSlot) *FOwnerSlot = this;
  FImage = AImage;
  FCanvas = ACanvas;
  FRect = ARect;
  FDrawOptions = AOptions;
  FAnimationSpeed = AImage->AnimationSpeed();
  TGIFImageList* frames = AImage->Images();
  if (AOptions.Contains(goAsync) && AOptions.Contains(goAnimate) && frames->Count() > 1 && FAnimationSpeed >= 0)
    FWakeEvent = CreateEvent(nullptr, FALSE, FALSE, nullptr);

  if (AImage->PaintBackgroundColor() != clNone)
    FBackgroundColor = ColorToRGB(AImage->PaintBackgroundColor());
  else if (AImage->GetColorMap()->Count() == 0)
    FBackgroundColor = ColorToRGB(clWindow);
  else
    FBackgroundColor = AImage->GetBackgroundColor();

  bool background = AOptions.Contains(goClearOnLoop), previous = false;
  for (int i = 0; i < frames->Count(); ++i) {
    TGIFExtensionList* list = frames->SubImages(i)->Extensions();
    for (int k = 0; k < list->Count(); ++k)
      if (auto* gce = As<TGIFGraphicControlExtension>(list->Extensions(k))) {
        const TDisposalMethod d = Normalized(gce->GetDisposal());
        background = background || d == dmBackground;
        previous = previous || d == dmPrevious;
      }
  }
  const int width = ARect.right - ARect.left, height = ARect.bottom - ARect.top;
  const TRect whole = ::Rect(0, 0, width, height);
  auto buffer = [&](bool Copy) {
    auto b = std::make_unique<TBitmap>();
    b->SetSize(width, height);
    b->Canvas()->Brush()->SetColor(FBackgroundColor);
    b->Canvas()->Brush()->SetStyle(bsSolid);
    if (Copy) b->Canvas()->CopyRect(whole, ACanvas, ARect);
    return b;
  };
  if (width > 0 && height > 0) {
    if (background && AOptions.Contains(goTransparent)) FUnderlayBitmap = buffer(true);
    if (background || previous) {
      FRestoreBuffer = buffer(true);
      FWorkBuffer = buffer(false);
    }
  }
  if (AOptions.Contains(goValidateCanvas)) FCanvasDC = ACanvas->Handle();
}

TGIFPainter::~TGIFPainter() {
  if (!FEnded) DoOnTerminate(this);
}

void TGIFPainter::Stop() {
  Terminate();
  if (!IsAsync()) return;
  if (FWakeEvent) SetEvent(FWakeEvent);
  SetPriority(tpNormal);
  if (Suspended()) Resume();
}

void TGIFPainter::Restart() {
  FRestartRequested = true;
  if (!IsAsync()) return;
  if (FWakeEvent) SetEvent(FWakeEvent);
  if (Suspended()) Resume();
}

void TGIFPainter::SetAnimationSpeed(int Value) {
  Value = std::clamp(Value, 0, 1000);
  if (FAnimationSpeed.exchange(Value) == Value) return;
  if (FWakeEvent)
    SetEvent(FWakeEvent);
  else
    FRestartRequested = true;
}

void TGIFPainter::SetActiveImage(int Value) {
  if (FImage && Value >= 0 && Value < FImage->Images()->Count()) FActiveImage = Value;
}

void TGIFPainter::DetachImage() {
  if (!FImage) return;
  if (FOwnerSlot && *FOwnerSlot == this) *FOwnerSlot = nullptr;
  FOwnerSlot = nullptr;
  FImage->Painters()->Remove(this);
  FImage = nullptr;
}

void TGIFPainter::DoOnTerminate(TObject*) {
  FEnded = true;
  if (FImage) {
    TThreadList* painters = FImage->Painters();
    painters->LockList();
    DetachImage();
    painters->UnlockList();
  }
  FRestoreBuffer.reset();
  FWorkBuffer.reset();
  FUnderlayBitmap.reset();
  if (FWakeEvent) CloseHandle(FWakeEvent);
  FWakeEvent = nullptr;
}

// ---- Calls on the main thread ----

void TGIFPainter::DoSynchronize(const std::function<void()>& Method) {
  if (Terminated()) return;
  auto call = [&] {
    // Stopped while the call waited for the main thread.
    if (Terminated()) return;
    FInCall = true;
    struct TLeave {
      std::atomic<bool>& flag;
      ~TLeave() { flag = false; }
    } leave{FInCall};
    Method();
  };
  if (IsAsync())
    Synchronize(TThreadMethod::FromFunction(call));
  else
    call();
}

void TGIFPainter::DoEvent(const TNotifyEvent& Event) {
  if (!Event) return;
  DoSynchronize([&] { Event(this); });
}

// ---- The painting loop ----

void TGIFPainter::Execute() {
  try {
    PaintFrames();
  } catch (...) {
    FException = std::current_exception();
    Terminate();
  }
  if (FException && IsAsync()) {
    // Nothing may leave the thread: the failure goes to the image as a warning.
    const std::string message = MessageOf(FException);
    try {
      Synchronize(TThreadMethod::FromFunction([&] {
        if (FImage) FImage->Warning(FImage, gsError, message);
      }));
    } catch (...) {
    }
  }
}

void TGIFPainter::PaintFrames() {
  const bool async = IsAsync();
  const bool animate = FDrawOptions.Contains(goAnimate);
  const bool loop = animate && FDrawOptions.Contains(goLoop);
  const bool forever = FDrawOptions.Contains(goLoopContinously);
  FRestartRequested = true;
  while (FRestartRequested && !Terminated()) {
    FActiveImage = 0;
    DoEvent(OnPaintBegin);
    FFirstFramePainted = false;
    FRestartRequested = false;
    int loopsLeft = 1, loopStart = 0;
    bool loopSeen = false;
    int delay = async ? 0 : 1;
    FPreviousDisposal = dmNoDisposal;
    DWORD lastTime = timeGetTime();
    int correction = 0;
    while ((loopsLeft != 0 || forever) && !Terminated() && !FRestartRequested) {
      FActiveImage = loopStart;
      if (FFirstFramePainted) DoEvent(OnLoopStart);
      bool painted = false;
      do {
        if (Terminated() || FRestartRequested || !FrameReady(delay >= 1)) break;
        Wait(delay, lastTime, correction);
        if (Terminated()) break;
        DoEvent(OnFramePaint);
        if (Terminated()) break;
        delay = PaintFrame(loopsLeft, loopStart, loopSeen);
        if (Terminated()) break;
        painted = true;
        const int frame = FActiveImage;
        DoEvent(OnFramePainted);
        if (Terminated()) break;
        if (FActiveImage == frame) ++FActiveImage;
      } while (animate);
      if (loopsLeft > 0) --loopsLeft;
      // A pass that found nothing to paint would find nothing again.
      if (!painted || !loop) break;
    }
  }
  FActiveImage = -1;
  DoEvent(OnPaintEnd);
}

bool TGIFPainter::FrameReady(bool Render) {
  bool ready = false;
  DoSynchronize([&] {
    if (!FImage) return;
    TGIFImageList* frames = FImage->Images();
    const int index = FActiveImage;
    if (index < 0 || index >= frames->Count() || frames->SubImages(index)->Empty()) return;
    if (Render) frames->SubImages(index)->GetBitmap();
    ready = true;
  });
  return ready;
}

void TGIFPainter::Wait(int Delay, DWORD& LastTime, int& Correction) {
  if (Delay < 1) {
    Sleep(0);
  } else {
    const bool async = IsAsync();
    const DWORD now = timeGetTime();
    const int speed = FAnimationSpeed;
    int wait;
    if (speed == 0) {
      wait = async ? -1 : GIFMaximumDelay * GIFDelayExp;
    } else {
      // Half of what the last frame took beyond its wait comes off this one.
      const int elapsed = int(now - LastTime) - Correction;
      const int half = elapsed / 2;
      if (ScaledDelay(int64_t(Delay) * GIFDelayExp - half, speed, wait)) {
        Correction = wait;
      } else {
        wait = GIFMaximumDelay * GIFDelayExp;
        Correction = 0;
      }
    }
    LastTime = now;
    if (async) {
      if (wait > 0 || speed == 0) {
        // Stop signals the wake event; a Terminate from elsewhere (a package being
        // unloaded) only the thread's own.
        const DWORD ms = speed == 0 ? INFINITE : DWORD(wait);
        const HANDLE events[] = {TerminatedEvent(), FWakeEvent};
        const bool woken = WaitForMultipleObjects(FWakeEvent ? 2 : 1, events, FALSE, ms) == WAIT_OBJECT_0 + 1;
        if (woken) {
          Correction = 0;
          LastTime = timeGetTime();
        }
      }
    } else {
      wait = std::max(wait, 1);
      while (wait > 0 && !Terminated() && !FRestartRequested) {
        const DWORD start = timeGetTime();
        Sleep(DWORD(std::min(wait, 100)));
        wait -= int(timeGetTime() - start);
        ServeMessages();
      }
    }
  }
  // Paused here, the next frame's delay counts from the resumption.
  if (WaitWhileSuspended()) {
    Correction = 0;
    LastTime = timeGetTime();
  }
}

void TGIFPainter::ServeMessages() {
  MSG msg;
  while (!Terminated() && !FRestartRequested && PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      // The quit belongs to the loop that runs the painter.
      PostQuitMessage(int(msg.wParam));
      Terminate();
      break;
    }
    TranslateMessage(&msg);
    DispatchMessage(&msg);
  }
}

int TGIFPainter::PaintFrame(int& LoopsLeft, int& LoopStart, bool& LoopSeen) {
  int delay = GIFDefaultDelay;
  DoSynchronize([&] {
    if (!FImage) {
      Terminate();
      return;
    }
    TGIFImageList* frames = FImage->Images();
    const int index = FActiveImage;
    if (index < 0 || index >= frames->Count()) return;
    TGIFSubImage* frame = frames->SubImages(index);
    FCurrentDisposal = dmNoDisposal;
    TGIFExtensionList* list = frame->Extensions();
    for (int k = 0; k < list->Count(); ++k) {
      TGIFExtension* e = list->Extensions(k);
      if (auto* loop = As<TGIFAppExtNSLoop>(e)) {
        if (LoopSeen) continue;
        LoopSeen = true;
        LoopsLeft = loop->Loops();
        LoopStart = index;
        if ((loop->Loops() == 0 || FDrawOptions.Contains(goLoopContinously)) && IsAsync()) LoopsLeft = -1;
      } else if (auto* gce = As<TGIFGraphicControlExtension>(e)) {
        FCurrentDisposal = Normalized(gce->GetDisposal());
      }
    }
    if (FRestoreBuffer)
      DoPaintFrame();
    else
      DoPaint();
    FPreviousDisposal = FCurrentDisposal;
    if (const TGIFGraphicControlExtension* gce = frame->GraphicControlExtension(); gce && gce->GetDelay() != 0) {
      delay = std::max<int>(gce->GetDelay(), GIFMinimumDelay);
      // A painter on its own thread keeps long delays; one that holds up the caller
      // does not.
      if (!IsAsync()) delay = std::min(delay, GIFMaximumDelay);
    }
  });
  return delay;
}

void TGIFPainter::DoPaint() {
  FImage->Images()->SubImages(FActiveImage)->Draw(FCanvas, FRect, FDrawOptions.Contains(goTransparent),
                                                   FDrawOptions.Contains(goTile));
  FFirstFramePainted = true;
}

void TGIFPainter::DoPaintFrame() {
  if (FDrawOptions.Contains(goValidateCanvas)) {
    const DWORD type = GetObjectType(FCanvasDC);
    if (type != OBJ_DC && type != OBJ_MEMDC) {
      Terminate();
      return;
    }
  }
  TGIFSubImage* frame = FImage->Images()->SubImages(FActiveImage);
  const TRect whole = ::Rect(0, 0, FRect.right - FRect.left, FRect.bottom - FRect.top);
  const bool clearFirst = FDrawOptions.Contains(goClearOnLoop) && FActiveImage == 0;
  TCanvas* target = FRestoreBuffer->Canvas();
  TRect targetRect = whole;
  bool copy = true;
  if (FCurrentDisposal == dmPrevious) {
    if (KeepsFrame(FPreviousDisposal)) {
      // The buffer keeps the picture before this frame; the frame goes straight on.
      target = FCanvas;
      targetRect = FRect;
      copy = false;
    } else {
      target = FWorkBuffer->Canvas();
      target->SetCopyMode(cmSrcCopy);
      target->CopyRect(whole, FRestoreBuffer->Canvas(), whole);
    }
  }
  HDC dc = target->Handle();
  HPALETTE palette = frame->GetPalette();
  HPALETTE oldPalette = SelectPalette(dc, palette ? palette : SystemPalette16(), FALSE);
  RealizePalette(dc);
  if (clearFirst) RestoreFrameArea(frame);
  frame->Draw(target, targetRect, FDrawOptions.Contains(goTransparent), FDrawOptions.Contains(goTile));
  if (copy) {
    FCanvas->SetCopyMode(cmSrcCopy);
    FCanvas->CopyRect(FRect, target, targetRect);
  }
  SelectPalette(dc, oldPalette, FALSE);
  if (FCurrentDisposal == dmBackground) RestoreFrameArea(frame);
  FFirstFramePainted = true;
}

// Gives the frame's area of the restore buffer back what lay under the painter's
// rectangle, or the background colour.
void TGIFPainter::RestoreFrameArea(const TGIFSubImage* Frame) {
  const int width = FRect.right - FRect.left, height = FRect.bottom - FRect.top;
  const int screenWidth = FImage->Width(), screenHeight = FImage->Height();
  const TRect bounds = Frame->GetBoundsRect();
  TCanvas* canvas = FRestoreBuffer->Canvas();
  auto areas = [&](bool Tiled, auto&& Restore) {
    if (!Tiled) {
      Restore(Frame->ScaleRect(::Rect(0, 0, width, height)));
      return;
    }
    if (screenWidth <= 0 || screenHeight <= 0) return;
    for (int y = 0; y < height; y += screenHeight)
      for (int x = 0; x < width; x += screenWidth) Restore(Offset(bounds, x, y));
  };
  const bool tile = FDrawOptions.Contains(goTile);
  if (FDrawOptions.Contains(goTransparent)) {
    if (!FUnderlayBitmap) return;
    canvas->SetCopyMode(cmSrcCopy);
    areas(tile, [&](const TRect& R) { canvas->CopyRect(R, FUnderlayBitmap->Canvas(), R); });
  } else {
    canvas->Brush()->SetColor(FBackgroundColor);
    canvas->Brush()->SetStyle(bsSolid);
    const bool perTile = tile && Frame->Width() != screenWidth && Frame->Height() != screenHeight;
    areas(perTile, [&](const TRect& R) { canvas->FillRect(R); });
  }
}
