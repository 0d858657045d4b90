// The editor base of the third-party editor set: the styles an editor is drawn in
// (normal, disabled, focused and under the mouse), the properties every editor has,
// and the editor control itself, which draws its background and border and holds a
// nameless inner control that takes the focus and the typing. Key events and
// entering and leaving the inner control surface as the editor's own events.
#pragma once

#include <memory>

#include "platform/cx/cxstyles.h"
#include "platform/vcl/controls.h"

// ---- Styles ----

enum TcxEditBorderStyle { ebsNone, ebsSingle, ebsThick, ebsFlat, ebs3D, ebsUltraFlat, ebsOffice11 };
using TcxEditStyleValue = TcxStyleValue;
using TcxEditStyleValues = TcxStyleValues;

// One style of an editor. A state style (disabled, focused, hot) has a base style, the
// editor's Style, and reads from it every value it has not been given itself; its own
// defaults (a disabled editor's grey) stand in for the base where it has them.
class TcxEditStyle : public TPersistent {
  VX_CLASS(TcxEditStyle, TPersistent)

 public:
  TcxEditStyle();
  // A state style; clNone as a default means "the base style's".
  TcxEditStyle(TcxEditStyle* Base, TColor DefaultColor, TColor DefaultTextColor);
  ~TcxEditStyle() override;
  // Copies the values given to Source (not its base).
  void Assign(TPersistent* Source) override;

  TColor Color() const;
  void SetColor(TColor Value);
  // The colour of text: given, else the given font's, else the state's default, else
  // the base style's.
  TColor TextColor() const;
  void SetTextColor(TColor Value);
  // The style's own font; changing it gives it to the style.
  TFont* Font() const { return font_.get(); }
  void SetFont(TFont* Value) { font_->Assign(Value); }
  // The font text is drawn in: the own one once given, else the base style's.
  TFont* ActiveFont() const;
  TcxEditBorderStyle BorderStyle() const;
  void SetBorderStyle(TcxEditBorderStyle Value);
  TColor BorderColor() const;
  void SetBorderColor(TColor Value);
  // The editor shows its hot style while the mouse is over it.
  bool HotTrack() const;
  void SetHotTrack(bool Value);
  // Without a border, the border's place stays as a frame in the parent's colour.
  bool TransparentBorder() const;
  void SetTransparentBorder(bool Value);

  TcxEditStyleValues AssignedValues() const { return assigned_; }
  // Forgets every value given.
  void RestoreDefaults();

  TNotifyEvent OnChange;

 private:
  template <class T>
  void Set(T& Field, T Value, TcxEditStyleValue Which);
  void Changed();
  void FontChanged(TObject* Sender);

  TcxEditStyle* base_ = nullptr;
  TColor defaultColor_ = clWindow;
  TColor defaultTextColor_ = clNone;
  TcxEditStyleValues assigned_;
  TColor color_ = clWindow;
  TColor textColor_ = clWindowText;
  std::unique_ptr<TFont> font_;
  TcxEditBorderStyle borderStyle_ = ebs3D;
  TColor borderColor_ = clWindowFrame;
  bool hotTrack_ = true;
  bool transparentBorder_ = true;
  bool copying_ = false;
};

// ---- Properties ----

enum TcxEditVertAlignment { taTopJustify, taBottomJustify, taVCenter };

class TcxEditAlignment : public TPersistent {
  VX_CLASS(TcxEditAlignment, TPersistent)

 public:
  void Assign(TPersistent* Source) override;
  TAlignment Horz() const { return horz_; }
  void SetHorz(TAlignment Value);
  TcxEditVertAlignment Vert() const { return vert_; }
  void SetVert(TcxEditVertAlignment Value);

  TNotifyEvent OnChange;

 private:
  TAlignment horz_ = taLeftJustify;
  TcxEditVertAlignment vert_ = taTopJustify;
};

// What every editor's properties have. The same properties object may serve an
// editor or stand alone (a grid column's); the editor listens to
// OnPropertiesChanged.
class TcxCustomEditProperties : public TPersistent {
  VX_CLASS(TcxCustomEditProperties, TPersistent)

 public:
  TcxCustomEditProperties();
  ~TcxCustomEditProperties() override;
  // Copies the values and the events.
  void Assign(TPersistent* Source) override;

  TcxEditAlignment* Alignment() const { return alignment_.get(); }
  void SetAlignment(TcxEditAlignment* Value) { alignment_->Assign(Value); }
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool Value);

  // The editor's content changed, by the user or by the program.
  TNotifyEvent OnChange;
  // A property changed (the editor redraws).
  TNotifyEvent OnPropertiesChanged;

 protected:
  void Changed();

 private:
  void AlignmentChanged(TObject*) { Changed(); }

  std::unique_ptr<TcxEditAlignment> alignment_;
  bool readOnly_ = false;
};

// ---- The editor ----

class TcxCustomEdit : public TCustomControl {
  VX_CLASS(TcxCustomEdit, TCustomControl)

 public:
  ~TcxCustomEdit() override;

  TcxCustomEditProperties* Properties() const { return properties_.get(); }
  void SetProperties(TcxCustomEditProperties* Value) { properties_->Assign(Value); }
  TcxEditStyle* Style() const { return style_.get(); }
  void SetStyle(TcxEditStyle* Value) { style_->Assign(Value); }
  TcxEditStyle* StyleDisabled() const { return styleDisabled_.get(); }
  void SetStyleDisabled(TcxEditStyle* Value) { styleDisabled_->Assign(Value); }
  TcxEditStyle* StyleFocused() const { return styleFocused_.get(); }
  void SetStyleFocused(TcxEditStyle* Value) { styleFocused_->Assign(Value); }
  TcxEditStyle* StyleHot() const { return styleHot_.get(); }
  void SetStyleHot(TcxEditStyle* Value) { styleHot_->Assign(Value); }
  // The style of the editor's state now: disabled, else focused, else hot (while the
  // mouse is over it and Style.HotTrack is on), else Style.
  TcxEditStyle* ViewStyle() const;
  bool IsHot() const { return hot_; }

  // The nameless control inside that takes the focus (none for a label): focusing
  // the editor focuses it, and the editor is Focused() while it has the focus.
  TWinControl* InnerControl() const { return inner_; }
  TWinControl* InnerFocusControl() const override { return inner_; }
  // Empties the editor's content.
  virtual void Clear() {}

 protected:
  TcxCustomEdit(TComponent* AOwner, std::unique_ptr<TcxCustomEditProperties> Properties);

  // Puts the inner control in place (once, from a constructor).
  void SetInnerControl(TWinControl* Control);
  // Places the inner control inside the border: the whole content height, or one
  // line of the style's font placed by the vertical alignment.
  void PlaceInnerControl();
  // Where the inner control goes (client coordinates).
  virtual TRect InnerRect();
  virtual bool InnerFillsContent() const { return false; }
  // The client area inside the border.
  TRect ContentRect() const;
  int EditBorderWidth() const;

  // Background and border in the view style; subclasses draw on top.
  void Paint() override;
  void DrawBorder(TCanvas* Canvas);
  void Resize() override;
  void DoEnter() override;
  void DoExit() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;

  // A style or a property changed, or the state did: the inner control takes the
  // view style's colours and font, and the editor redraws.
  virtual void StyleChanged();
  virtual void PropertiesChanged();

  VX_MESSAGE_MAP(TcxCustomEdit, TCustomControl)
  VX_MESSAGE_HANDLER(CM_MOUSEENTER, CMMouseEnter)
  VX_MESSAGE_HANDLER(CM_MOUSELEAVE, CMMouseLeave)
  VX_MESSAGE_HANDLER(CM_ENABLEDCHANGED, CMEnabledChanged)
  VX_END_MESSAGE_MAP

  void CMMouseEnter(TMessage& Message);
  void CMMouseLeave(TMessage& Message);
  void CMEnabledChanged(TMessage& Message);

  // The inner control's keys and characters reach the editor's events first; a key
  // cleared there goes no further.
  friend class TcxCustomInnerTextEdit;

 private:
  void StyleObjectChanged(TObject*) { StyleChanged(); }
  void PropertiesObjectChanged(TObject*) { PropertiesChanged(); }

  std::unique_ptr<TcxCustomEditProperties> properties_;
  std::unique_ptr<TcxEditStyle> style_;
  std::unique_ptr<TcxEditStyle> styleDisabled_;
  std::unique_ptr<TcxEditStyle> styleFocused_;
  std::unique_ptr<TcxEditStyle> styleHot_;
  TWinControl* inner_ = nullptr;
  bool hot_ = false;
};
