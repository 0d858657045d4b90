// Pixel pictures for the widget tests: a bitmap canvas pre-filled with a sentinel
// colour, and its pixels as rows of legend letters ('?' for a colour not in the
// legend), so expected faces are written as small maps.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/gdi/dib.h"
#include "platform/vcl/forms.h"
#include "platform/vcl/graphics.h"
#include "platform/vcl/themes.h"

namespace widgettest {

using TLegend = std::map<char, TColor>;

// The legend's letter for an RGB value, '?' for none.
inline char LegendLetter(const TLegend& Legend, int32_t Rgb) {
  for (const auto& [letter, colour] : Legend)
    if (ColorToRGB(colour) == Rgb) return letter;
  return '?';
}

class TPage {
 public:
  TPage(int W, int H, TColor Fill = TColor(0x123456)) : w_(W), h_(H) {
    bitmap_.SetPixelFormat(pf24bit);
    bitmap_.SetSize(W, H);
    bitmap_.Canvas()->Brush()->SetColor(Fill);
    bitmap_.Canvas()->FillRect(TRect{0, 0, W, H});
  }
  TCanvas* Canvas() { return bitmap_.Canvas(); }
  TBitmap* Bitmap() { return &bitmap_; }
  TColor Pixel(int X, int Y) { return bitmap_.Canvas()->Pixels(X, Y); }

  // The rows of the page; '.' stands for the sentinel when the legend has no '.'.
  std::string Picture(const TLegend& Legend) { return PictureOf(bitmap_.Canvas(), w_, h_, Legend); }

  static std::string PictureOf(TCanvas* Canvas, int W, int H, const TLegend& Legend, int X0 = 0, int Y0 = 0) {
    std::string out;
    for (int y = Y0; y < Y0 + H; ++y) {
      for (int x = X0; x < X0 + W; ++x) out += LegendLetter(Legend, ColorToRGB(Canvas->Pixels(x, y)));
      out += '\n';
    }
    return out;
  }

 private:
  int w_, h_;
  TBitmap bitmap_;
};

// The RGB value of a pixel of the form's client area as last painted.
inline int32_t FormPixel(TCustomForm* Form, int X, int Y) {
  auto buffer = Form->BackBuffer();
  if (!buffer || X < 0 || Y < 0 || X >= buffer->Width() || Y >= buffer->Height()) return -1;
  return int32_t(buffer->ColorFromRaw(buffer->GetRaw(X, Y)) & 0xFFFFFF);
}

// A control's area of its form, painted now, as rows of legend letters.
inline std::string ControlPicture(TControl* Control, const TLegend& Legend) {
  TCustomForm* form = Control->TopForm();
  form->PaintNow();
  TRect r;
  Control->RectInForm(r);
  std::string out;
  for (int y = r.top; y < r.bottom; ++y) {
    for (int x = r.left; x < r.right; ++x) out += LegendLetter(Legend, FormPixel(form, x, y));
    out += '\n';
  }
  return out;
}

// Themes switched on while the object lives: every part asked for is recorded and
// filled with a colour of its own, with a mark in its first row that shows which way
// up it landed.
class TThemesOn {
 public:
  using TDrawn = std::vector<std::pair<TThemedElementDetails, TRect>>;

  TThemesOn() {
    auto theme = std::make_unique<TRecording>();
    drawn_ = &theme->drawn;
    previous_ = SetThemeServices(std::move(theme));
  }
  ~TThemesOn() { SetThemeServices(std::move(previous_)); }
  TThemesOn(const TThemesOn&) = delete;
  TThemesOn& operator=(const TThemesOn&) = delete;

  TDrawn& Drawn() { return *drawn_; }
  TThemedElementDetails Last() const { return drawn_->empty() ? TThemedElementDetails{} : drawn_->back().first; }

 private:
  struct TRecording : TThemeServices {
    bool ThemesEnabled() const override { return true; }
    void DrawElement(HDC DC, const TThemedElementDetails& Details, const TRect& R) override {
      drawn.push_back({Details, R});
      HBRUSH b = CreateSolidBrush(RGB(10 * Details.Part, 200, 0));
      FillRect(DC, &R, b);
      DeleteObject(b);
      HBRUSH m = CreateSolidBrush(RGB(255, 0, 255));
      RECT top{R.left, R.top, R.right, R.top + 1};
      FillRect(DC, &top, m);
      DeleteObject(m);
    }
    TDrawn drawn;
  };
  TDrawn* drawn_;
  std::unique_ptr<TThemeServices> previous_;
};

// Rows joined with line ends, for writing expected pictures.
inline std::string Rows(std::initializer_list<const char*> Lines) {
  std::string out;
  for (const char* l : Lines) out += std::string(l) + "\n";
  return out;
}

}  // namespace widgettest
