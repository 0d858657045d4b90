// The scroll bar control.
#include <algorithm>

#include "platform/vcl/stdctrls.h"

TScrollBar::TScrollBar(TComponent* AOwner) : TCustomControl(AOwner) {
  SetControlStyle({csCaptureMouse, csOpaque});
  width_ = 121;
  height_ = GetSystemMetrics(SM_CYHSCROLL);
  SetTabStop(false);
}

void TScrollBar::SetKind(TScrollBarKind Value) {
  if (kind_ == Value) return;
  kind_ = Value;
  SetBounds(left_, top_, height_, width_);
}

int TScrollBar::MaxPosition() const { return std::max(min_, max_ - std::max(pageSize_, 1) + 1); }

void TScrollBar::SetPageSize(int Value) {
  Value = std::max(0, Value);
  if (pageSize_ == Value) return;
  pageSize_ = Value;
  SetParams(position_, min_, max_);
  Invalidate();
}

void TScrollBar::SetParams(int APosition, int AMin, int AMax) {
  const bool rangeChanged = AMin != min_ || AMax != max_;
  min_ = AMin;
  max_ = std::max(AMin, AMax);
  APosition = std::clamp(APosition, min_, MaxPosition());
  if (rangeChanged) Invalidate();
  if (APosition == position_) return;
  position_ = APosition;
  Invalidate();
  OnChange(this);
}

int TScrollBar::Length() const { return kind_ == sbHorizontal ? width_ : height_; }

int TScrollBar::ArrowSize() const {
  const int thick = kind_ == sbHorizontal ? height_ : width_;
  return std::min(thick, Length() / 2);
}

void TScrollBar::ThumbSpan(int& Start, int& Size) const {
  const int arrow = ArrowSize();
  const int track = Length() - 2 * arrow;
  const int range = max_ - min_ + 1;
  Size = pageSize_ > 0 ? int(int64_t(track) * pageSize_ / range) : arrow;
  // Never shorter than a desktop bar's thumb, so that it can be seen and taken.
  const int shortest = GetSystemMetrics(kind_ == sbHorizontal ? SM_CXHTHUMB : SM_CYVTHUMB);
  Size = std::clamp(Size, std::min(shortest, track), track);
  const int travel = MaxPosition() - min_;
  Start = arrow + (travel > 0 ? int(int64_t(track - Size) * (position_ - min_) / travel) : 0);
}

int TScrollBar::PositionAt(int Offset) const {
  int start = 0, size = 0;
  ThumbSpan(start, size);
  const int free = Length() - 2 * ArrowSize() - size;
  if (free <= 0) return min_;
  return min_ + int((int64_t(Offset - ArrowSize()) * (MaxPosition() - min_) + free / 2) / free);
}

void TScrollBar::Scroll(TScrollCode Code, int Pos) {
  int to = position_;
  switch (Code) {
    case scLineUp: to -= smallChange_; break;
    case scLineDown: to += smallChange_; break;
    case scPageUp: to -= std::max(largeChange_, pageSize_); break;
    case scPageDown: to += std::max(largeChange_, pageSize_); break;
    case scPosition:
    case scTrack: to = Pos; break;
    case scTop: to = min_; break;
    case scBottom: to = MaxPosition(); break;
    case scEndScroll: break;
  }
  to = std::clamp(to, min_, MaxPosition());
  OnScroll(this, Code, to);
  SetPosition(to);
  if (TWinControl* parent = Parent())
    parent->Perform(kind_ == sbHorizontal ? WM_HSCROLL : WM_VSCROLL, MAKEWPARAM(WORD(Code), WORD(position_)),
                    LPARAM(Handle()));
}

void TScrollBar::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft || !Enabled()) return;
  const int at = Along(X, Y), arrow = ArrowSize();
  int start = 0, size = 0;
  ThumbSpan(start, size);
  if (at < arrow)
    Scroll(scLineUp, 0);
  else if (at >= Length() - arrow)
    Scroll(scLineDown, 0);
  else if (at < start)
    Scroll(scPageUp, 0);
  else if (at >= start + size)
    Scroll(scPageDown, 0);
  else
    dragOffset_ = at - start;
}

void TScrollBar::MouseMove(TShiftState Shift, int X, int Y) {
  TCustomControl::MouseMove(Shift, X, Y);
  if (dragOffset_ < 0) return;
  const int to = std::clamp(PositionAt(Along(X, Y) - dragOffset_), min_, MaxPosition());
  if (to != position_) Scroll(scTrack, to);
}

void TScrollBar::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == mbLeft && dragOffset_ >= 0) {
    dragOffset_ = -1;
    Scroll(scPosition, position_);
  }
  if (Button == mbLeft) Scroll(scEndScroll, position_);
  if (!ComponentState().Contains(csDestroying)) TCustomControl::MouseUp(Button, Shift, X, Y);
}

void TScrollBar::Paint() {
  TCanvas* c = Canvas();
  const TRect client = ClientRect();
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(clScrollBar);
  c->FillRect(client);
  const bool horizontal = kind_ == sbHorizontal;
  const int arrow = ArrowSize(), length = Length();
  auto span = [&](int from, int to) {
    return horizontal ? TRect{from, 0, to, client.bottom} : TRect{0, from, client.right, to};
  };
  const UINT inactive = (Enabled() && MaxPosition() > min_) ? 0 : DFCS_INACTIVE;
  for (int end = 0; end < 2; ++end) {
    TRect r = span(end ? length - arrow : 0, end ? length : arrow);
    DrawFrameControl(c->Handle(), &r, DFC_BUTTON, DFCS_BUTTONPUSH);
    // A small triangle pointing away from the track.
    r = span(end ? length - arrow : 0, end ? length : arrow);
    const int cx = (r.left + r.right) / 2, cy = (r.top + r.bottom) / 2, s = std::max(2, arrow / 4);
    const int d = end ? 1 : -1;
    std::vector<TPoint> tri = horizontal ? std::vector<TPoint>{{cx + d * s, cy}, {cx - d * s, cy - 2 * s}, {cx - d * s, cy + 2 * s}}
                                         : std::vector<TPoint>{{cx, cy + d * s}, {cx - 2 * s, cy - d * s}, {cx + 2 * s, cy - d * s}};
    const TColor ink = inactive ? clGrayText : clBtnText;
    c->Pen()->SetColor(ink);
    c->Brush()->SetColor(ink);
    c->Polygon(tri);
  }
  if (!inactive) {
    int start = 0, size = 0;
    ThumbSpan(start, size);
    TRect thumb = span(start, start + size);
    DrawFrameControl(c->Handle(), &thumb, DFC_BUTTON, DFCS_BUTTONPUSH);
  }
}
