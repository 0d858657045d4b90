// Styles for the grid: a style (colour, text colour, font), the repository that makes
// and owns styles and style sheets, and the indexed style lists of views and sheets.
// A view's style at an index is its own value, else the value of its style sheet.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/rtl/classes.h"
#include "platform/vcl/graphics.h"

// The values a style may hold; an editor's style uses the border and hot-track ones too.
enum TcxStyleValue { svBitmap, svBorderColor, svBorderStyle, svColor, svFont, svHotTrack, svTextColor, svTransparentBorder };
using TcxStyleValues = TSet<TcxStyleValue>;

class TcxStyleRepository;

class TcxCustomStyles;

// One style. Color and TextColor are clDefault until set; the font counts as set once
// anything of it changes. The style lists that hold it hear of its changes and of its
// end.
class TcxStyle : public TComponent {
  VX_CLASS(TcxStyle, TComponent)

 public:
  explicit TcxStyle(TComponent* AOwner);
  ~TcxStyle() override;

  TColor Color() const { return color_; }
  void SetColor(TColor Value);
  TColor TextColor() const { return textColor_; }
  void SetTextColor(TColor Value);
  TFont* Font() const { return font_.get(); }
  void SetFont(TFont* Value) { font_->Assign(Value); }
  TcxStyleValues AssignedValues() const { return assigned_; }
  // Copies colour, text colour, font and the assigned values of another style.
  void Assign(TPersistent* Source) override;
  TcxStyleRepository* StyleRepository() const { return repository_; }

 private:
  friend class TcxStyleRepository;
  friend class TcxCustomStyles;
  void FontChanged(TObject* Sender);
  void Changed();

  std::vector<TcxCustomStyles*> users_;
  TColor color_ = clDefault;
  TColor textColor_ = clDefault;
  std::unique_ptr<TFont> font_;
  TcxStyleValues assigned_;
  bool assigning_ = false;
  TcxStyleRepository* repository_ = nullptr;
};

class TcxCustomStyleSheet;

// An indexed list of styles of a view or a style sheet. Entries hold no style by
// default; a style or sheet that is freed leaves the lists that held it. Each list has
// a fixed number of entries; indexes outside it read as none and are not written.
class TcxCustomStyles : public TPersistent {
  VX_CLASS(TcxCustomStyles, TPersistent)

 public:
  explicit TcxCustomStyles(int ACount);
  ~TcxCustomStyles() override;
  TcxCustomStyles(const TcxCustomStyles&) = delete;
  TcxCustomStyles& operator=(const TcxCustomStyles&) = delete;

  int Count() const { return int(values_.size()); }
  // The list's own entry.
  TcxStyle* OwnValue(int Index) const;
  // The own entry, else the style sheet's.
  TcxStyle* Values(int Index) const;
  void SetValues(int Index, TcxStyle* Value);
  // The sheet whose entries fill the ones not set here.
  TcxCustomStyleSheet* StyleSheet() const { return styleSheet_; }
  void SetStyleSheet(TcxCustomStyleSheet* Value);
  // Own entries and sheet copied from another list.
  void Assign(TPersistent* Source) override;

  // An entry, a style of it, or the sheet changed.
  TNotifyEvent OnChanged;

 protected:
  void Changed();

 private:
  friend class TcxStyle;
  friend class TcxCustomStyleSheet;
  void Forget(TcxStyle* Style);
  void Track(TcxStyle* Style, bool Add);

  std::vector<TcxStyle*> values_;
  TcxCustomStyleSheet* styleSheet_ = nullptr;
};

// A named set of style entries that views of the matching kind take as a whole.
class TcxCustomStyleSheet : public TComponent {
  VX_CLASS(TcxCustomStyleSheet, TComponent)

 public:
  TcxCustomStyleSheet(TComponent* AOwner, int AStyleCount);
  ~TcxCustomStyleSheet() override;
  TcxCustomStyles* GetStyles() const { return styles_.get(); }
  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& Value) { caption_ = Value; }
  TcxStyleRepository* StyleRepository() const { return repository_; }

 private:
  friend class TcxStyleRepository;
  friend class TcxCustomStyles;
  void StylesChanged(TObject* Sender);

  std::unique_ptr<TcxCustomStyles> styles_;
  std::vector<TcxCustomStyles*> users_;
  std::string caption_;
  TcxStyleRepository* repository_ = nullptr;
};

// Makes styles and style sheets and owns them: they go with the repository.
class TcxStyleRepository : public TComponent {
  VX_CLASS(TcxStyleRepository, TComponent)

 public:
  explicit TcxStyleRepository(TComponent* AOwner);
  ~TcxStyleRepository() override;

  // A new item of a style or style sheet class (TcxStyle or a TcxCustomStyleSheet
  // descendant); raises EInvalidCast for another class.
  TComponent* CreateItem(TClass AItemClass);
  TcxStyle* CreateStyle();
  template <class TSheet>
  TSheet* CreateStyleSheet() {
    return static_cast<TSheet*>(CreateItem(TSheet::StaticClass()));
  }

  int Count() const { return int(styles_.size()); }
  TcxStyle* Items(int Index) const;
  int StyleSheetCount() const { return int(sheets_.size()); }
  TcxCustomStyleSheet* StyleSheets(int Index) const;

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  std::vector<TcxStyle*> styles_;
  std::vector<TcxCustomStyleSheet*> sheets_;
};
