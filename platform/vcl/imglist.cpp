#include "platform/vcl/imglist.h"

#include <algorithm>

TImageList::~TImageList() = default;
TCustomImageList::~TCustomImageList() { Destroying(); }

void TCustomImageList::SetSize(int AWidth, int AHeight) {
  if (AWidth == width_ && AHeight == height_) return;
  width_ = std::max(1, AWidth);
  height_ = std::max(1, AHeight);
  Clear();
}

int TCustomImageList::Add(TBitmap* Image, TBitmap* Mask) {
  if (!Image || Image->Empty()) return -1;
  const int first = Count();
  const int cells = std::max(1, Image->Width() / width_);
  for (int i = 0; i < cells; ++i) {
    TItem item;
    item.image = std::make_unique<TBitmap>();
    item.image->SetSize(width_, height_);
    const TRect dest{0, 0, width_, height_};
    const TRect src{i * width_, 0, i * width_ + width_, height_};
    item.image->Canvas()->CopyRect(dest, Image->Canvas(), src);
    if (Mask && !Mask->Empty()) {
      item.mask = std::make_unique<TBitmap>();
      item.mask->SetMonochrome(true);
      item.mask->SetSize(width_, height_);
      item.mask->Canvas()->CopyRect(dest, Mask->Canvas(), src);
    }
    images_.push_back(std::move(item));
  }
  Changed();
  return first;
}

int TCustomImageList::AddMasked(TBitmap* Image, TColor MaskColor) {
  if (!Image || Image->Empty()) return -1;
  TBitmap mask;
  mask.Assign(Image);
  mask.Canvas()->Brush()->SetColor(MaskColor);
  mask.SetMonochrome(true);
  return Add(Image, &mask);
}

void TCustomImageList::Delete(int Index) {
  if (Index < 0 || Index >= Count()) return;
  images_.erase(images_.begin() + Index);
  Changed();
}

void TCustomImageList::Clear() {
  if (images_.empty()) return;
  images_.clear();
  Changed();
}

bool TCustomImageList::GetBitmap(int Index, TBitmap* Image) {
  if (!Image || Index < 0 || Index >= Count()) return false;
  Image->Assign(images_[size_t(Index)].image.get());
  return true;
}

void TCustomImageList::Draw(TCanvas* Canvas, int X, int Y, int Index, bool Enabled) {
  if (!Canvas || Index < 0 || Index >= Count()) return;
  TItem& item = images_[size_t(Index)];
  HDC dest = Canvas->Handle();
  HDC src = item.image->Canvas()->Handle();
  if (item.mask) {
    TransparentStretchBlt(dest, X, Y, width_, height_, src, 0, 0, width_, height_, item.mask->Canvas()->Handle(), 0,
                          0);
  } else {
    BitBlt(dest, X, Y, width_, height_, src, 0, 0, SRCCOPY);
  }
  if (!Enabled) {
    // Greyed: every other pixel in the face colour.
    const COLORREF face = COLORREF(ColorToRGB(clBtnFace));
    for (int y = 0; y < height_; ++y)
      for (int x = (y & 1); x < width_; x += 2)
        if (!item.mask || GetPixel(item.mask->Canvas()->Handle(), x, y) == 0) SetPixel(dest, X + x, Y + y, face);
  }
  Canvas->Refresh();
}
