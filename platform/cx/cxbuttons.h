// The button of the third-party control set: a push button with a glyph, drawn flat
// or in the system's style, that may open a drop-down menu, from the whole button or
// from an arrow part of its own at the right edge.
#pragma once

#include <memory>

#include "platform/cx/cxlookandfeels.h"
#include "platform/vcl/menus.h"
#include "platform/vcl/stdctrls.h"

enum TcxButtonKind { cxbkStandard, cxbkDropDown, cxbkDropDownButton };

class TcxSpeedButtonOptions : public TPersistent {
  VX_CLASS(TcxSpeedButtonOptions, TPersistent)

 public:
  void Assign(TPersistent* Source) override;
  // False: a click leaves the focus where it is, and Tab passes the button by.
  bool CanBeFocused() const { return canBeFocused_; }
  void SetCanBeFocused(bool Value);
  // The face shows only while the mouse is over the button or it is pressed.
  bool Flat() const { return flat_; }
  void SetFlat(bool Value);
  // The parent shows through where the face is not drawn.
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool Value);

  TNotifyEvent OnChange;

 private:
  bool canBeFocused_ = true;
  bool flat_ = false;
  bool transparent_ = false;
};

// Raised before the drop-down menu opens; the handler may give another menu, or set
// Handled to open none.
using TcxButtonDropDownMenuPopupEvent = Event<TObject*, TPopupMenu*&, bool&>;

class TcxButton : public TButton {
  VX_CLASS(TcxButton, TButton)

 public:
  explicit TcxButton(TComponent* AOwner);
  ~TcxButton() override;

  TcxButtonKind Kind() const { return kind_; }
  void SetKind(TcxButtonKind Value);
  // Drawn in the middle of the button part; its bottom-left pixel's colour is clear.
  TBitmap* Glyph() const { return glyph_.get(); }
  void SetGlyph(TBitmap* Value) { glyph_->Assign(Value); }
  TcxLookAndFeel* LookAndFeel() const { return lookAndFeel_.get(); }
  TcxSpeedButtonOptions* SpeedButtonOptions() const { return speedButtonOptions_.get(); }
  // Not owned; forgotten when the menu is destroyed.
  TPopupMenu* DropDownMenu() const { return dropDownMenu_; }
  void SetDropDownMenu(TPopupMenu* Value);
  // The arrow part of a cxbkDropDownButton (empty for the other kinds).
  TRect ArrowRect() const;
  // Raises OnDropDownMenuPopup, then opens the menu under the button's left edge.
  void DropDown();

  TcxButtonDropDownMenuPopupEvent OnDropDownMenuPopup;

  // A cxbkDropDown button opens its menu instead of clicking.
  void Click() override;

 protected:
  void PaintButton(TCanvas* Canvas) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  bool FocusOnPress() const override { return speedButtonOptions_->CanBeFocused(); }
  void Notification(TComponent* AComponent, TOperation Operation) override;

  VX_MESSAGE_MAP(TcxButton, TButton)
  VX_MESSAGE_HANDLER(CM_MOUSEENTER, CMMouseChanged)
  VX_MESSAGE_HANDLER(CM_MOUSELEAVE, CMMouseChanged)
  VX_END_MESSAGE_MAP

  void CMMouseChanged(TMessage& Message);

 private:
  void OptionsChanged(TObject*);
  void GlyphChanged(TObject*) { Invalidate(); }
  void DrawGlyph(TCanvas* Canvas, const TRect& Part);

  TcxButtonKind kind_ = cxbkStandard;
  std::unique_ptr<TBitmap> glyph_;
  std::unique_ptr<TcxLookAndFeel> lookAndFeel_;
  std::unique_ptr<TcxSpeedButtonOptions> speedButtonOptions_;
  TPopupMenu* dropDownMenu_ = nullptr;
};
