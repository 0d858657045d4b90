// The animation painter: plays the frames of a GIF image onto a rectangle of a canvas,
// honouring each frame's delay and disposal, the loop count and the image's speed.
// With goAsync it is a thread of its own whose drawing and events run on the main
// thread through Synchronize; without, the same loop runs on the calling thread and
// serves that thread's messages while it waits.
#pragma once

#include <atomic>
#include <exception>
#include <memory>

#include "codecs/gif/GifExtensions.h"

class TGIFPainter : public TThread {
  VX_CLASS(TGIFPainter, TThread)

 public:
  TGIFPainter(TGIFImage* AImage, TGIFDrawOptions AOptions, const TRect& ARect, TCanvas* ACanvas);
  // Stores the painter into *AOwnerSlot, which it clears again when it ends.
  TGIFPainter(TGIFPainter** AOwnerSlot, TGIFImage* AImage, TGIFDrawOptions AOptions, const TRect& ARect,
              TCanvas* ACanvas);
  ~TGIFPainter() override;

  // Ends the painting at the next check; a waiting or paused painter goes on at once.
  void Stop();
  // Starts the frames again from the first.
  void Restart();

  // Percent of normal speed, 0..1000; 0 stops at the current frame.
  int AnimationSpeed() const { return FAnimationSpeed; }
  void SetAnimationSpeed(int Value);
  // The frame being painted (-1 when idle); handlers may jump to another frame.
  int ActiveImage() const { return FActiveImage; }
  void SetActiveImage(int Value);
  TGIFImage* Image() const { return FImage; }
  TCanvas* Canvas() const { return FCanvas; }
  TRect Rect() const { return FRect; }
  TGIFDrawOptions DrawOptions() const { return FDrawOptions; }
  bool IsAsync() const { return FDrawOptions.Contains(goAsync); }
  // Set once a frame has been painted in the current pass.
  bool FirstFramePainted() const { return FFirstFramePainted; }
  // True while one of its calls runs on the main thread.
  bool InMainThreadCall() const { return FInCall; }

  TNotifyEvent OnPaintBegin;
  TNotifyEvent OnFramePaint;
  TNotifyEvent OnFramePainted;
  TNotifyEvent OnLoopStart;
  TNotifyEvent OnPaintEnd;

 protected:
  void Execute() override;

 private:
  friend class TGIFImage;

  // The loop itself; Execute keeps what it raises.
  void PaintFrames();
  // Runs Method on the main thread (directly for a synchronous painter); nothing once
  // terminated.
  void DoSynchronize(const std::function<void()>& Method);
  void DoEvent(const TNotifyEvent& Event);
  // Whether the active frame exists and has pixels; when Render is set, its bitmap is
  // made now, so that decoding does not count against the frame's delay.
  bool FrameReady(bool Render);
  // Paints the active frame and answers its delay in units.
  int PaintFrame(int& LoopsLeft, int& LoopStart, bool& LoopSeen);
  void DoPaint();
  void DoPaintFrame();
  void RestoreFrameArea(const TGIFSubImage* Frame);
  // Waits Delay milliseconds (at most) on the wake event, or, synchronously, in slices
  // that serve the thread's messages.
  void Wait(int Delay, DWORD& LastTime, int& Correction);
  void ServeMessages();
  // Forgets the image: it is going away (called under its painter-list lock).
  void DetachImage();
  // The end handler on the main thread: out of the image's list, buffers freed.
  void DoOnTerminate(TObject* Sender);
  void Init(TGIFPainter** AOwnerSlot, TGIFImage* AImage, TGIFDrawOptions AOptions, const TRect& ARect,
            TCanvas* ACanvas);

  TGIFPainter** FOwnerSlot = nullptr;
  TGIFImage* FImage = nullptr;  // not owned; only the main thread reads it
  TCanvas* FCanvas = nullptr;   // not owned
  TRect FRect{};
  TGIFDrawOptions FDrawOptions;
  std::atomic<int> FAnimationSpeed{100};
  std::atomic<int> FActiveImage{-1};
  std::atomic<bool> FFirstFramePainted{false};
  std::atomic<bool> FRestartRequested{false};
  std::atomic<bool> FInCall{false};
  TDisposalMethod FCurrentDisposal = dmNone;
  TDisposalMethod FPreviousDisposal = dmNone;
  std::unique_ptr<TBitmap> FRestoreBuffer;
  std::unique_ptr<TBitmap> FWorkBuffer;
  std::unique_ptr<TBitmap> FUnderlayBitmap;
  HANDLE FWakeEvent = nullptr;
  HDC FCanvasDC = nullptr;
  TColor FBackgroundColor = clWindow;
  std::exception_ptr FException;
  bool FEnded = false;
};
