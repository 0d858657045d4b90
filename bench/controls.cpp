// The cost of the control layer over the drawing it does, on the updater's window size
// (450 x 398): a whole form repainted through its controls, a progress-bar-sized
// control repainted at once (as a busy loop does on every step), and a look at an empty
// message queue. Each is set against the same pixels drawn straight with the drawing
// functions in the same run.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>

#include "bench/timing.h"
#include "platform/display/headless.h"
#include "platform/vcl/extctrls.h"
#include "platform/vcl/forms.h"
#include "platform/vcl/stdctrls.h"

namespace {

using vxbench::Time;

// A bar that fills its percentage and writes it, as a progress bar does.
class TBar : public TCustomControl {
  VX_CLASS(TBar, TCustomControl)

 public:
  using TCustomControl::TCustomControl;
  int percent = 0;

 protected:
  void Paint() override {
    TCanvas* c = Canvas();
    c->Brush()->SetColor(clWhite);
    c->FillRect(ClientRect());
    c->Brush()->SetColor(clHighlight);
    c->FillRect(TRect{0, 0, Width() * percent / 100, Height()});
    c->Brush()->SetStyle(bsClear);
    c->TextOut(Width() / 2 - 10, 3, std::to_string(percent) + "%");
  }
};

}  // namespace

int main() {
  Application->SetPresenter(std::make_unique<vx::display::THeadlessPresenter>());
  TForm form(Application);
  form.SetBorderStyle(bsDialog);
  form.SetClientSize(450, 398);
  form.SetColor(clWhite);
  auto* image = new TImage(&form);
  image->SetAlign(alClient);
  image->SetParent(&form);
  TBitmap background;
  background.SetSize(450, 398);
  background.Canvas()->Brush()->SetColor(clSkyBlue);
  background.Canvas()->FillRect(TRect{0, 0, 450, 398});
  image->Picture()->SetGraphic(&background);
  for (int i = 0; i < 6; ++i) {
    auto* label = new TLabel(&form);
    label->SetTransparent(true);
    label->SetCaption("Label text " + std::to_string(i));
    label->SetBounds(30, 20 + i * 30, 0, 0);
    label->SetParent(&form);
  }
  auto* panel = new TPanel(&form);
  panel->SetBounds(30, 220, 393, 122);
  panel->SetParent(&form);
  auto* bar = new TBar(&form);
  bar->SetBounds(53, 350, 340, 20);
  bar->SetParent(&form);
  form.Show();
  Application->ProcessMessages();

  auto buffer = form.BackBuffer();
  const double full = Time([&] {
    form.Invalidate();
    form.Update();
  });
  // The floor: the same area filled, a picture copied over it, and six texts.
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP target = CreateCompatibleBitmap(GetDC(nullptr), 450, 398);
  HGDIOBJ old = SelectObject(dc, target);
  const RECT all{0, 0, 450, 398};
  const double fullFloor = Time([&] {
    FillRect(dc, &all, HBRUSH(COLOR_WINDOW + 1));
    BitBlt(dc, 0, 0, 450, 398, background.Canvas()->Handle(), 0, 0, SRCCOPY);
    for (int i = 0; i < 6; ++i) TextOut(dc, 30, 20 + i * 30, "Label text 0", 12);
  });
  std::printf("%-36s %9.1f us   %6.2fx the same pixels drawn straight\n", "whole form repainted", full, full / fullFloor);

  int p = 0;
  const double step = Time([&] {
    bar->percent = ++p % 101;
    bar->Repaint();
  });
  const RECT small{0, 0, 340, 20};
  const double stepFloor = Time([&] {
    FillRect(dc, &small, HBRUSH(COLOR_WINDOW + 1));
    FillRect(dc, &small, HBRUSH(COLOR_HIGHLIGHT + 1));
    TextOut(dc, 160, 3, "37%", 3);
  });
  std::printf("%-36s %9.1f us   %6.2fx the same pixels drawn straight\n", "progress step repainted at once", step,
              step / stepFloor);
  SelectObject(dc, old);
  DeleteObject(target);
  DeleteDC(dc);

  const double idle = Time([] { Application->ProcessMessages(); }, 100000);
  std::printf("%-36s %9.3f us\n", "ProcessMessages, nothing waiting", idle);
  (void)buffer;
  return 0;
}
