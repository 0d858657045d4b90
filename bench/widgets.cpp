// The widget set on the updater's main form: a progress step (SetPercent repaints the
// 340 x 20 bar at once, as on every downloaded block), a radio button repainted, and a
// picture button repainted. Each is set against the same pixels drawn straight with the
// drawing functions in the same run.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>

#include "bench/timing.h"
#include "platform/display/headless.h"
#include "platform/vcl/forms.h"
#include "widgets/RzBmpBtn.h"
#include "widgets/RzPrgres.h"
#include "widgets/RzRadChk.h"

namespace {

using vxbench::Time;

void Report(const char* What, double Took, double Floor) {
  std::printf("%-36s %9.1f us   %6.2fx the same pixels drawn straight\n", What, Took, Took / Floor);
}

}  // namespace

int main() {
  Application->SetPresenter(std::make_unique<vx::display::THeadlessPresenter>());
  TForm form(Application);
  form.SetClientSize(450, 398);
  form.SetColor(clWhite);
  auto* bar = new TRzProgressBar(&form);
  bar->SetBounds(53, 350, 340, 20);
  bar->SetBarColor(0xC2B787);
  bar->SetBorderColor(0xACAE94);
  bar->SetBorderOuter(fsNone);
  bar->SetBorderWidth(1);
  bar->SetParent(&form);
  auto* radio = new TRzRadioButton(&form);
  radio->SetBounds(30, 300, 120, 17);
  radio->SetCaption("Fast update");
  radio->SetHotTrack(true);
  radio->SetParent(&form);
  auto* button = new TRzBmpButton(&form);
  TBitmap up;
  up.SetSize(79, 24);
  up.Canvas()->Brush()->SetColor(clOlive);
  up.Canvas()->FillRect(TRect{0, 0, 79, 24});
  up.Canvas()->Brush()->SetColor(clNavy);
  up.Canvas()->FillRect(TRect{2, 2, 77, 22});
  button->Bitmaps()->SetUp(&up);
  button->SetBounds(340, 10, 79, 24);
  button->SetParent(&form);
  form.Show();
  Application->ProcessMessages();

  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP target = CreateCompatibleBitmap(GetDC(nullptr), 450, 398);
  HGDIOBJ old = SelectObject(dc, target);

  int p = 0;
  const double step = Time([&] { bar->SetPercent(uint16_t(++p % 101)); });
  HBRUSH border = CreateSolidBrush(0x94AEAC), fill = CreateSolidBrush(0xC2B787), back = CreateSolidBrush(0xFFFFFF);
  const double stepFloor = Time([&] {
    const RECT all{0, 0, 340, 20}, left{1, 1, 170, 19}, right{170, 1, 339, 19};
    FillRect(dc, &all, border);
    FillRect(dc, &left, fill);
    FillRect(dc, &right, back);
    TextOut(dc, 160, 4, "50%", 3);
  });
  Report("progress step (SetPercent)", step, stepFloor);

  const double radioPaint = Time([&] { radio->Repaint(); });
  TBitmap glyph;
  glyph.SetSize(13, 13);
  const double radioFloor = Time([&] {
    const RECT all{0, 0, 120, 17};
    FillRect(dc, &all, back);
    BitBlt(dc, 0, 2, 13, 13, glyph.Canvas()->Handle(), 0, 0, SRCCOPY);
    TextOut(dc, 18, 1, "Fast update", 11);
  });
  Report("radio button repainted", radioPaint, radioFloor);

  // A picture button without a border waits 10 ms on every paint.
  const double buttonPaint = Time([&] { button->Repaint(); }, 20);
  const double buttonFloor = Time([&] {
    const RECT all{0, 0, 79, 24};
    FillRect(dc, &all, back);
    BitBlt(dc, 0, 0, 79, 24, up.Canvas()->Handle(), 0, 0, SRCCOPY);
  });
  Report("picture button repainted", buttonPaint, buttonFloor);

  DeleteObject(border);
  DeleteObject(fill);
  DeleteObject(back);
  SelectObject(dc, old);
  DeleteObject(target);
  DeleteDC(dc);
  return 0;
}
