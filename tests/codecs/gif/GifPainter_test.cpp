// The animation painter: its timing checked exactly on a simulated clock and within a
// tolerance on the real one, loop counts, pausing, stopping and freeing while frames
// are painted, failing handlers, and many painters at once. CI also runs these under
// ThreadSanitizer.
#include <gtest/gtest.h>

#include <map>
#include <thread>

#include "platform/win/messages.h"
#include "tests/codecs/gif/GifAnimation.h"
#include "tests/support/wait.h"

using namespace giftest;

namespace {

// An animation of small opaque frames, each Delay units long.
std::unique_ptr<TestImage> Frames(int Count, int Delay, int Loops = -1) {
  std::vector<FrameSpec> specs(size_t(Count), FrameSpec{0, 0, 8, 6});
  for (auto& s : specs) s.delay = Delay;
  return Load(gifref::Encode(Animation(8, 6, specs, 3, Loops)));
}

// Serves the painters' calls until Done holds.
template <class F>
void ServeUntil(F&& Done) {
  while (!Done())
    if (!CheckSynchronize()) MsgWaitForMultipleObjects(0, nullptr, FALSE, INFINITE, QS_SENDMESSAGE);
}

int PainterCount(TGIFImage& Image) {
  const int n = Image.Painters()->LockList()->Count();
  Image.Painters()->UnlockList();
  return n;
}

// Serves until a painter's thread has ended (its handle is signalled, or gone with it).
void ServeUntilEnded(HANDLE Thread) {
  for (;;) {
    const DWORD r = MsgWaitForMultipleObjects(1, &Thread, FALSE, INFINITE, QS_SENDMESSAGE);
    if (r == WAIT_OBJECT_0 || r == WAIT_FAILED) return;
    CheckSynchronize();
  }
}

// Paints with a painter of the image's own, serving its calls until it has ended, its
// thread included (a painter on the caller's thread is done on return).
void PaintToTheEnd(TGIFImage& Image, TCanvas* Canvas, TGIFDrawOptions Options) {
  if (TGIFPainter* painter = Image.Paint(Canvas, Rect(0, 0, 8, 6), Options)) ServeUntilEnded(painter->Handle());
}

// What the painters of an image did: frames as they began, in order, with the clock.
struct Record {
  std::vector<int> frames;
  std::vector<int64_t> startsMs;
  std::vector<int> painted;
  int loopStarts = 0;
  bool ended = false;
  std::function<void(TGIFPainter*)> onPainted;

  explicit Record(TGIFImage& Image, int CostMs = 0, TSimulatedClock* Clock = nullptr) {
    Image.OnFramePaint = TNotifyEvent::FromFunction([this, CostMs, Clock](TObject* Sender) {
      frames.push_back(static_cast<TGIFPainter*>(Sender)->ActiveImage());
      startsMs.push_back(::Clock().Now() / 1'000'000);
      if (Clock && CostMs) Clock->AdvanceMs(CostMs);
    });
    Image.OnFramePainted = TNotifyEvent::FromFunction([this](TObject* Sender) {
      painted.push_back(static_cast<TGIFPainter*>(Sender)->ActiveImage());
      if (onPainted) onPainted(static_cast<TGIFPainter*>(Sender));
    });
    Image.OnLoopStart = TNotifyEvent::FromFunction([this](TObject*) { ++loopStarts; });
    Image.OnPaintEnd = TNotifyEvent::FromFunction([this](TObject*) { ended = true; });
  }
};

std::unique_ptr<TBitmap> Target(int Width, int Height) {
  auto b = std::make_unique<TBitmap>();
  b->SetSize(Width, Height);
  return b;
}

TEST(Painter, WaitsFollowTheDelaysTheSpeedAndHalfOfTheLastOvershoot) {
  const struct {
    const char* name;
    bool async;
    int speed, delay, costMs;
    std::vector<int64_t> starts;  // ms after Paint
  } cases[] = {
      {"normal speed", true, 100, 5, 0, {0, 60, 120, 180}},
      {"a frame that takes 10 ms shortens the next wait by 5", true, 100, 5, 10, {0, 65, 130, 195}},
      {"double speed", true, 200, 5, 0, {0, 30, 60, 90}},
      {"half speed", true, 50, 5, 0, {0, 120, 240, 360}},
      {"no delay waits the default", true, 100, 0, 0, {0, 120, 240, 360}},
      {"a short delay waits the minimum", true, 100, 1, 0, {0, 36, 72, 108}},
      {"a painter thread keeps a long delay", true, 100, 2000, 0, {0, 24000, 48000, 72000}},
      {"on the caller's thread the first frame waits a unit", false, 100, 5, 0, {12, 72, 132, 192}},
      {"and long delays are cut", false, 100, 2000, 0, {12, 12012, 24012, 36012}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TSimulatedClock clock(!c.async);
    auto image = Frames(4, c.delay);
    image->SetAnimationSpeed(c.speed);
    Record record(*image, c.costMs, &clock);
    auto target = Target(8, 6);
    const int64_t start = clock.NowMs();
    TGIFDrawOptions options{goAnimate};
    if (c.async) options.Include(goAsync);
    PaintToTheEnd(*image, target->Canvas(), options);
    std::vector<int64_t> starts;
    for (int64_t t : record.startsMs) starts.push_back(t - start);
    EXPECT_EQ(starts, c.starts);
    EXPECT_EQ(record.frames, (std::vector<int>{0, 1, 2, 3}));
  }
}

TEST(Painter, LoopCountsAndOptions) {
  const struct {
    const char* name;
    TGIFDrawOptions options;
    int loops;      // of the loop block; -1 for none
    int stopAfter;  // frames, then Stop; 0 to run to the end
    std::vector<int> painted;
    int loopStarts;
  } cases[] = {
      {"a count of 3 plays three times", {goAsync, goAnimate, goLoop}, 3, 0, {0, 1, 2, 0, 1, 2, 0, 1, 2}, 2},
      {"without goLoop once", {goAsync, goAnimate}, 3, 0, {0, 1, 2}, 0},
      {"without a loop block once", {goAsync, goAnimate, goLoop}, -1, 0, {0, 1, 2}, 0},
      {"a count of 0 until stopped", {goAsync, goAnimate, goLoop}, 0, 7, {0, 1, 2, 0, 1, 2, 0}, 2},
      {"goLoopContinously until stopped", {goAsync, goAnimate, goLoop, goLoopContinously}, -1, 5, {0, 1, 2, 0, 1}, 1},
      {"a count of 0 once on the caller's thread", {goAnimate, goLoop}, 0, 0, {0, 1, 2}, 0},
      {"without goAnimate the first frame", {goAsync, goLoop}, 2, 0, {0}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TSimulatedClock clock(true);
    auto image = Frames(3, 2, c.loops);
    Record record(*image);
    record.onPainted = [&](TGIFPainter* Painter) {
      if (int(record.painted.size()) == c.stopAfter) Painter->Stop();
    };
    auto target = Target(8, 6);
    PaintToTheEnd(*image, target->Canvas(), c.options);
    EXPECT_EQ(record.painted, c.painted);
    EXPECT_EQ(record.loopStarts, c.loopStarts);
    EXPECT_EQ(record.ended, c.stopAfter == 0) << "a stopped painter ends without OnPaintEnd";
  }
}

TEST(Painter, PlaysEveryFrameInOrderOnTheRealClock) {
  // The painter's own thread against the real clock: every frame once, in order, then the
  // end. When each comes depends on the machine's load; the schedule is timed exactly on
  // the simulated clock above.
  auto image = Frames(20, 5);
  Record record(*image);
  auto target = Target(8, 6);
  PaintToTheEnd(*image, target->Canvas(), {goAsync, goAnimate});
  std::vector<int> expected(20);
  for (int k = 0; k < 20; ++k) expected[k] = k;
  EXPECT_EQ(record.painted, expected);
  EXPECT_TRUE(record.ended);
}

TEST(Painter, PausesAtItsNextWaitAndGoesOnWhereItStopped) {
  TSimulatedClock clock;
  auto image = Frames(6, 5);
  Record record(*image);
  record.onPainted = [&](TGIFPainter*) {
    if (record.painted.size() == 3) image->PaintPause();
  };
  auto target = Target(8, 6);
  TGIFPainter* painter = image->Paint(target->Canvas(), Rect(0, 0, 8, 6), {goAsync, goAnimate});
  HANDLE thread = painter->Handle();
  // Pausing sends nothing: look again after each served call.
  while (!painter->Pausing())
    if (!CheckSynchronize()) std::this_thread::yield();
  EXPECT_TRUE(painter->Suspended());
  EXPECT_EQ(record.painted, (std::vector<int>{0, 1, 2}));
  image->PaintResume();
  ServeUntilEnded(thread);
  EXPECT_EQ(record.painted, (std::vector<int>{0, 1, 2, 3, 4, 5}));
}

TEST(Painter, StoppingOrFreeingTheImageWhilePaintingEndsThePainter) {
  const struct {
    const char* name;
    bool inHandler;  // from the painter's own handler, or between its calls
    bool freeImage;  // free the image, or stop its painters
  } cases[] = {
      {"stop from a handler", true, false},
      {"stop between frames", false, false},
      {"free from a handler", true, true},
      {"free between frames", false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TSimulatedClock clock;
    std::unique_ptr<TestImage> image = Frames(6, 5, 0);
    Record record(*image);
    bool due = false;
    auto act = [&] {
      if (c.freeImage)
        image.reset();
      else
        image->PaintStop();
    };
    record.onPainted = [&](TGIFPainter*) {
      if (record.painted.size() != 2) return;
      if (c.inHandler)
        act();
      else
        due = true;
    };
    auto target = Target(8, 6);
    HANDLE thread = image->Paint(target->Canvas(), Rect(0, 0, 8, 6), {goAsync, goAnimate, goLoop})->Handle();
    if (!c.inHandler) {
      ServeUntil([&] { return due; });
      act();
    }
    // The frames loop for ever: only the stop ends them.
    ServeUntilEnded(thread);
    if (c.inHandler) {
      EXPECT_EQ(record.painted.size(), 2u);
    }
    EXPECT_FALSE(record.ended);
    if (image) {
      EXPECT_EQ(PainterCount(*image), 0);
    }
  }
}

TEST(Painter, AFailingHandlerEndsThePainterWithAWarningOrRaisesToTheCaller) {
  TSimulatedClock clock(true);
  for (const bool async : {true, false}) {
    SCOPED_TRACE(async ? "painter thread" : "caller's thread");
    auto image = Frames(4, 5, 0);
    std::vector<std::pair<TGIFSeverity, std::string>> warnings;
    image->OnGIFWarning = TGIFWarning::FromFunction(
        [&](TObject*, TGIFSeverity Severity, const std::string& Message) { warnings.emplace_back(Severity, Message); });
    Record record(*image);
    record.onPainted = [&](TGIFPainter*) {
      if (record.painted.size() == 2) throw EInvalidOperation("handler failed");
    };
    auto target = Target(8, 6);
    TGIFDrawOptions options{goAnimate, goLoop};
    if (async) {
      options.Include(goAsync);
      PaintToTheEnd(*image, target->Canvas(), options);
      ASSERT_EQ(warnings.size(), 1u);
      EXPECT_EQ(warnings[0].first, gsError);
      EXPECT_EQ(warnings[0].second, "handler failed");
    } else {
      EXPECT_THROW(image->Paint(target->Canvas(), Rect(0, 0, 8, 6), options), EInvalidOperation);
      EXPECT_TRUE(warnings.empty());
      EXPECT_EQ(PainterCount(*image), 0);
    }
    EXPECT_EQ(record.painted.size(), 2u);
  }
}

TEST(Painter, ManyPaintersAtOnce) {
  constexpr int kImages = 6, kPaintersEach = 3, kLoops = 2, kFrames = 4;
  std::vector<std::unique_ptr<TestImage>> images;
  std::vector<std::unique_ptr<TBitmap>> targets;
  std::map<TObject*, int> painted;
  std::vector<HANDLE> threads;
  int total = 0;
  for (int i = 0; i < kImages; ++i) {
    images.push_back(Frames(kFrames, 1, kLoops));
    images.back()->SetAnimationSpeed(1000);
    images.back()->OnFramePainted = TNotifyEvent::FromFunction([&](TObject* Sender) {
      ++painted[Sender];
      ++total;
    });
    for (int k = 0; k < kPaintersEach; ++k) {
      targets.push_back(Target(8, 6));
      threads.push_back(
          images.back()->Paint(targets.back()->Canvas(), Rect(0, 0, 8, 6), {goAsync, goAnimate, goLoop})->Handle());
    }
  }
  for (HANDLE thread : threads) ServeUntilEnded(thread);
  EXPECT_EQ(painted.size(), size_t(kImages * kPaintersEach));
  EXPECT_EQ(total, kImages * kPaintersEach * kLoops * kFrames);
}

TEST(Painter, DrawnOnAnotherThreadItsPainterStartsAndStopsWhileTheMainThreadServesIt) {
  for (const bool direct : {true, false}) {
    SCOPED_TRACE(direct ? "onto the canvas" : "into the picture's bitmap");
    auto image = Frames(3, 5, 0);
    // The first frame only: the painter then waits until it is stopped.
    image->SetAnimationSpeed(0);
    if (direct) image->SetDrawOptions(image->DrawOptions() + TGIFDrawOptions{goDirectDraw});
    auto target = Target(16, 12);
    std::atomic<bool> done{false};
    std::thread worker([&] {
      target->Canvas()->StretchDraw(Rect(0, 0, 8, 6), image.get());
      // Elsewhere: the painter of the first place makes way for another.
      target->Canvas()->StretchDraw(Rect(8, 6, 16, 12), image.get());
      done = true;
    });
    {
      vxtest::TWatchdog guard("Drawing on another thread");
      while (!done) CheckSynchronize(1);
    }
    worker.join();
    EXPECT_EQ(PainterCount(*image), 1);
    HANDLE thread = image->ActivePainter()->Handle();
    image.reset();
    ServeUntilEnded(thread);
  }
}

TEST(Painter, OnTheCallersThreadAQuitMessageEndsItAndIsPostedAgain) {
  TSimulatedClock clock(true);
  auto image = Frames(3, 5);
  Record record(*image);
  auto target = Target(8, 6);
  PostQuitMessage(7);
  image->Paint(target->Canvas(), Rect(0, 0, 8, 6), {goAnimate});
  EXPECT_TRUE(record.painted.empty());
  MSG msg;
  ASSERT_TRUE(PeekMessage(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 7u);
}

}  // namespace
