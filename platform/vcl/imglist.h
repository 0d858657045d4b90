// Image lists: pictures of one size kept by index, each with an optional mask, drawn
// onto canvases.
#pragma once

#include <memory>
#include <vector>

#include "platform/rtl/classes.h"
#include "platform/vcl/graphics.h"

class TCustomImageList : public TComponent {
  VX_CLASS(TCustomImageList, TComponent)

 public:
  explicit TCustomImageList(TComponent* AOwner) : TComponent(AOwner) {}
  ~TCustomImageList() override;

  int Width() const { return width_; }
  int Height() const { return height_; }
  // Changing the size empties the list.
  void SetSize(int AWidth, int AHeight);
  void SetWidth(int Value) { SetSize(Value, height_); }
  void SetHeight(int Value) { SetSize(width_, Value); }
  int Count() const { return int(images_.size()); }

  // Adds the picture (a strip of pictures when it is a multiple of Width wide) with its
  // mask (white: transparent; null: opaque); the index of the first one added.
  int Add(TBitmap* Image, TBitmap* Mask);
  // The mask is made of the pixels of MaskColor.
  int AddMasked(TBitmap* Image, TColor MaskColor);
  void Delete(int Index);
  void Clear();
  // Copies picture Index into Image; false for a bad index.
  bool GetBitmap(int Index, TBitmap* Image);
  void Draw(TCanvas* Canvas, int X, int Y, int Index, bool Enabled = true);

  TNotifyEvent OnChange;

 private:
  struct TItem {
    std::unique_ptr<TBitmap> image;
    std::unique_ptr<TBitmap> mask;
  };
  void Changed() { OnChange(this); }
  int width_ = 16;
  int height_ = 16;
  std::vector<TItem> images_;
};

class TImageList : public TCustomImageList {
  VX_CLASS(TImageList, TCustomImageList)

 public:
  explicit TImageList(TComponent* AOwner) : TCustomImageList(AOwner) {}
  ~TImageList() override;
};
