#include "gridsearch/Grid5StyleSeets.h"

TStyleSheetList* StyleSheetList = nullptr;
TcxStyle* EditableStyle = nullptr;
TcxStyle* ColoredSelectionStyle = nullptr;

namespace {

TcxStyle* MakeStyle(TcxStyleRepository* Repository, TColor Color, TColor TextColor) {
  TcxStyle* s = Repository->CreateStyle();
  if (Color != clDefault) s->SetColor(Color);
  if (TextColor != clDefault) s->SetTextColor(TextColor);
  s->Font()->SetName("굴림");
  s->Font()->SetSize(9);
  return s;
}

}  // namespace

// The list owns its repository, which owns the sheets and their styles, so all of
// them go with the list whether it has an owner or not.
TStyleSheetList::TStyleSheetList(TComponent* AOwner) : TComponent(AOwner), repository_(new TcxStyleRepository(this)) {
  auto* first = repository_->CreateStyleSheet<TcxGridBandedTableViewStyleSheet>();
  auto* second = repository_->CreateStyleSheet<TcxGridBandedTableViewStyleSheet>();
  first->SetCaption("Grid5StyleSheet0");
  second->SetCaption("Grid5StyleSheet1");
  TcxCustomStyles* a = first->Styles();
  a->SetValues(vsContent, MakeStyle(repository_, clDefault, RGB(91, 91, 91)));
  a->SetValues(vsInactive, MakeStyle(repository_, RGB(228, 232, 241), clBlack));
  a->SetValues(vsSelection, MakeStyle(repository_, RGB(228, 233, 241), clNone));
  a->SetValues(vsBandBackground, MakeStyle(repository_, RGB(255, 255, 255), clDefault));
  a->SetValues(vsBandHeader, MakeStyle(repository_, RGB(216, 216, 216), RGB(57, 57, 57)));
  a->SetValues(vsHeader, MakeStyle(repository_, RGB(216, 216, 216), RGB(57, 57, 57)));
  a->SetValues(vsIndicator, MakeStyle(repository_, RGB(229, 229, 229), RGB(91, 91, 91)));
  TcxCustomStyles* b = second->Styles();
  for (int shared : {vsBandHeader, vsHeader, vsIndicator, vsBandBackground}) b->SetValues(shared, a->OwnValue(shared));
  b->SetValues(vsContent, MakeStyle(repository_, RGB(248, 248, 248), RGB(91, 91, 91)));
  b->SetValues(vsPreview, MakeStyle(repository_, RGB(255, 255, 255), clDefault));
  sheets_ = {first, second};
}

TStyleSheetList::~TStyleSheetList() { Destroying(); }

TcxGridBandedTableViewStyleSheet* TStyleSheetList::GetStyleSheet(int Index) const {
  return Index >= 0 && Index < Count() ? sheets_[size_t(Index)] : nullptr;
}

namespace Grid5StyleSeets {

void Initialization() {
  if (StyleSheetList) return;
  StyleSheetList = new TStyleSheetList(nullptr);
  EditableStyle = new TcxStyle(nullptr);
  EditableStyle->SetColor(RGB(237, 255, 241));
  EditableStyle->SetTextColor(RGB(91, 91, 91));
  ColoredSelectionStyle = new TcxStyle(nullptr);
}

void Finalization() {
  delete ColoredSelectionStyle;
  ColoredSelectionStyle = nullptr;
  delete EditableStyle;
  EditableStyle = nullptr;
  delete StyleSheetList;
  StyleSheetList = nullptr;
}

void Register() { RegisterComponents("Vextra", {TStyleSheetList::StaticClass()}); }

}  // namespace Grid5StyleSeets
