#include "platform/cx/cxstyles.h"

#include <algorithm>
#include <utility>

namespace {
template <class T>
void Erase(std::vector<T*>& List, T* Item) {
  List.erase(std::remove(List.begin(), List.end(), Item), List.end());
}
}  // namespace

// ---- TcxStyle ----

TcxStyle::TcxStyle(TComponent* AOwner) : TComponent(AOwner), font_(std::make_unique<TFont>()) {
  font_->OnChange = TNotifyEvent(this, &TcxStyle::FontChanged);
}

TcxStyle::~TcxStyle() {
  while (!users_.empty()) users_.back()->Forget(this);
}

void TcxStyle::SetColor(TColor Value) {
  assigned_.Include(svColor);
  SetAndNotify(color_, Value, [this] { Changed(); });
}

void TcxStyle::SetTextColor(TColor Value) {
  assigned_.Include(svTextColor);
  SetAndNotify(textColor_, Value, [this] { Changed(); });
}

void TcxStyle::FontChanged(TObject*) {
  if (!assigning_) assigned_.Include(svFont);
  Changed();
}

void TcxStyle::Changed() {
  if (assigning_) return;
  for (size_t i = users_.size(); i-- > 0;)
    if (i < users_.size()) users_[i]->Changed();
}

void TcxStyle::Assign(TPersistent* Source) {
  auto* other = As<TcxStyle>(Source);
  if (!other) {
    TComponent::Assign(Source);
    return;
  }
  assigning_ = true;
  color_ = other->color_;
  textColor_ = other->textColor_;
  font_->Assign(other->font_.get());
  assigned_ = other->assigned_;
  assigning_ = false;
  Changed();
}

// ---- TcxCustomStyles ----

TcxCustomStyles::TcxCustomStyles(int ACount) : values_(size_t(std::max(0, ACount)), nullptr) {}

TcxCustomStyles::~TcxCustomStyles() {
  OnChanged = nullptr;
  // Each entry is cleared before its style hears of it, or the style would still
  // count this list among its users.
  for (TcxStyle*& s : values_)
    if (TcxStyle* style = std::exchange(s, nullptr)) Track(style, false);
  SetStyleSheet(nullptr);
}

TcxStyle* TcxCustomStyles::OwnValue(int Index) const {
  return Index >= 0 && Index < Count() ? values_[size_t(Index)] : nullptr;
}

TcxStyle* TcxCustomStyles::Values(int Index) const {
  if (TcxStyle* own = OwnValue(Index)) return own;
  return styleSheet_ ? styleSheet_->GetStyles()->OwnValue(Index) : nullptr;
}

void TcxCustomStyles::Track(TcxStyle* Style, bool Add) {
  // One registration per list, however many entries hold the style.
  const bool held = std::find(values_.begin(), values_.end(), Style) != values_.end();
  auto& users = Style->users_;
  const bool listed = std::find(users.begin(), users.end(), this) != users.end();
  if (Add && !listed) users.push_back(this);
  if (!Add && !held && listed) Erase(users, this);
}

void TcxCustomStyles::SetValues(int Index, TcxStyle* Value) {
  if (Index < 0 || Index >= Count() || values_[size_t(Index)] == Value) return;
  TcxStyle* old = values_[size_t(Index)];
  values_[size_t(Index)] = Value;
  if (old) Track(old, false);
  if (Value) Track(Value, true);
  Changed();
}

void TcxCustomStyles::Forget(TcxStyle* Style) {
  std::replace(values_.begin(), values_.end(), Style, static_cast<TcxStyle*>(nullptr));
  Erase(Style->users_, this);
  Changed();
}

void TcxCustomStyles::SetStyleSheet(TcxCustomStyleSheet* Value) {
  if (styleSheet_ == Value) return;
  if (styleSheet_) Erase(styleSheet_->users_, this);
  styleSheet_ = Value;
  if (styleSheet_) styleSheet_->users_.push_back(this);
  Changed();
}

void TcxCustomStyles::Assign(TPersistent* Source) {
  auto* other = As<TcxCustomStyles>(Source);
  if (!other) {
    TPersistent::Assign(Source);
    return;
  }
  for (int i = 0; i < Count(); ++i) SetValues(i, other->OwnValue(i));
  SetStyleSheet(other->styleSheet_);
}

void TcxCustomStyles::Changed() { OnChanged(this); }

// ---- TcxCustomStyleSheet ----

TcxCustomStyleSheet::TcxCustomStyleSheet(TComponent* AOwner, int AStyleCount)
    : TComponent(AOwner), styles_(std::make_unique<TcxCustomStyles>(AStyleCount)) {
  styles_->OnChanged = TNotifyEvent(this, &TcxCustomStyleSheet::StylesChanged);
}

TcxCustomStyleSheet::~TcxCustomStyleSheet() {
  while (!users_.empty()) users_.back()->SetStyleSheet(nullptr);
}

void TcxCustomStyleSheet::StylesChanged(TObject*) {
  for (size_t i = users_.size(); i-- > 0;)
    if (i < users_.size()) users_[i]->Changed();
}

// ---- TcxStyleRepository ----

TcxStyleRepository::TcxStyleRepository(TComponent* AOwner) : TComponent(AOwner) {}

TcxStyleRepository::~TcxStyleRepository() { Destroying(); }

TComponent* TcxStyleRepository::CreateItem(TClass AItemClass) {
  const bool isStyle = AItemClass && AItemClass->InheritsFrom(TcxStyle::StaticClass());
  const bool isSheet = AItemClass && AItemClass->InheritsFrom(TcxCustomStyleSheet::StaticClass());
  if ((!isStyle && !isSheet) || !AItemClass->create)
    throw EInvalidCast(std::string("Cannot create a ") + (AItemClass ? AItemClass->name : "nil") + " in a style repository");
  TObject* made = AItemClass->Create(this);
  if (isStyle) {
    auto* style = static_cast<TcxStyle*>(made);
    style->repository_ = this;
    styles_.push_back(style);
    return style;
  }
  auto* sheet = static_cast<TcxCustomStyleSheet*>(made);
  sheet->repository_ = this;
  sheets_.push_back(sheet);
  return sheet;
}

TcxStyle* TcxStyleRepository::CreateStyle() { return static_cast<TcxStyle*>(CreateItem(TcxStyle::StaticClass())); }

TcxStyle* TcxStyleRepository::Items(int Index) const {
  if (Index < 0 || Index >= Count()) throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
  return styles_[size_t(Index)];
}

TcxCustomStyleSheet* TcxStyleRepository::StyleSheets(int Index) const {
  if (Index < 0 || Index >= StyleSheetCount())
    throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
  return sheets_[size_t(Index)];
}

void TcxStyleRepository::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation != TOperation::opRemove) return;
  std::erase_if(styles_, [&](TcxStyle* s) { return static_cast<TComponent*>(s) == AComponent; });
  std::erase_if(sheets_, [&](TcxCustomStyleSheet* s) { return static_cast<TComponent*>(s) == AComponent; });
}
