// Typing 10,000 characters into a text editor, every keystroke delivered as input and
// the editor repainted, against the same pixels drawn straight in the same run (the
// editor's background, the part of the text in view and the caret).
#include <cstdio>
#include <string>
#include <vector>

#include "bench/timing.h"
#include "platform/cx/cxtextedit.h"
#include "platform/display/headless.h"
#include "platform/rtl/sysutils.h"
#include "platform/vcl/forms.h"

namespace {

using vxbench::Time;

constexpr int kTyped = 10000;

char Typed(int I) { return char('a' + I % 26); }

void TypingBench() {
  TForm form(Application);
  form.SetBorderStyle(bsNone);
  form.SetBounds(0, 0, 320, 40);
  auto* edit = new TcxTextEdit(&form);
  edit->SetBounds(10, 10, 300, 21);
  edit->SetParent(&form);
  form.Show();
  Application->ProcessMessages();
  TWinControl* inner = edit->InnerControl();
  const double typing = Time(
      [&] {
        edit->SetText("");
        for (int i = 0; i < kTyped; ++i) {
          PostMessage(inner->Handle(), WM_CHAR, WPARAM(Typed(i)), 1);
          Application->ProcessMessages();  // delivers the key, then repaints
        }
      },
      1);
  if (edit->Text().size() != size_t(kTyped)) std::printf("typing lost characters: %zu\n", edit->Text().size());

  // The floor: the inner edit's area filled, the text in view written and the caret
  // drawn, per keystroke, into a bitmap of the editor's size.
  const TRect area = inner->ClientRect();
  TBitmap target;
  target.SetSize(area.right, area.bottom);
  TCanvas* c = target.Canvas();
  c->SetFont(inner->Font());
  int widths[26];
  for (int k = 0; k < 26; ++k) widths[k] = c->TextWidth(std::string(1, char('a' + k)));
  const int room = area.right - 3;
  const double straight = Time(
      [&] {
        std::string shown;
        int shownWidth = 0;
        for (int i = 0; i < kTyped; ++i) {
          // The characters in view: the tail of the text that fits.
          shown += Typed(i);
          shownWidth += widths[i % 26];
          while (shownWidth > room) {
            shownWidth -= widths[shown[0] - 'a'];
            shown.erase(0, 1);
          }
          c->Brush()->SetColor(clWindow);
          c->FillRect(area);
          c->Brush()->SetStyle(bsClear);
          c->TextOut(1, 1, shown);
          c->Pen()->SetMode(pmNot);
          c->MoveTo(1 + shownWidth, 1);
          c->LineTo(1 + shownWidth, area.bottom - 1);
          c->Pen()->SetMode(pmCopy);
        }
      },
      1);
  std::printf("%-44s %9.1f us   %6.2fx the same pixels drawn straight\n", "a keystroke typed into a text editor",
              typing / kTyped, typing / straight);
}

}  // namespace

int main() {
  Application->SetPresenter(std::make_unique<vx::display::THeadlessPresenter>());
  TypingBench();
  return 0;
}
