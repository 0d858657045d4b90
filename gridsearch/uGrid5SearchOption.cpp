#include "gridsearch/uGrid5SearchOption.h"

#include <algorithm>

#include "platform/rtl/sysutils.h"
#include "platform/vcl/dialogs.h"

namespace {

constexpr int kClientWidth = 475;
constexpr int kHeightWithOptions = 200;
constexpr int kHeightWithoutOptions = 160;

template <class T>
T* Place(TComponent* Owner, TWinControl* Parent, const char* Name, int X, int Y, int W, int H) {
  auto* c = new T(Owner);
  c->SetName(Name);
  c->SetParent(Parent);
  c->SetBounds(X, Y, W, H);
  return c;
}

// The title strip: a band of blue fading to white, with the dialog's name.
void DrawTitle(TBitmap* B) {
  B->SetPixelFormat(pf24bit);
  B->SetSize(kClientWidth, 35);
  TCanvas* c = B->Canvas();
  for (int x = 0; x < kClientWidth; ++x) {
    const int t = x * 255 / (kClientWidth - 1);
    c->Pen()->SetColor(RGB(60 + t * 195 / 255, 90 + t * 165 / 255, 160 + t * 95 / 255));
    c->MoveTo(x, 0);
    c->LineTo(x, 35);
  }
  c->Brush()->SetStyle(bsClear);
  c->Font()->SetName("굴림");
  c->Font()->SetSize(11);
  c->Font()->SetStyle({fsBold});
  c->Font()->SetColor(clWhite);
  c->TextOut(14, 10, "자료 검색");
}

// Button pictures: a magnifier, and arrows down and up.
void DrawGlyph(TBitmap* B, char Kind) {
  B->SetPixelFormat(pf24bit);
  B->SetSize(16, 16);
  TCanvas* c = B->Canvas();
  c->Brush()->SetColor(clFuchsia);  // clear: the bottom-left pixel's colour
  c->FillRect(TRect{0, 0, 16, 16});
  c->Pen()->SetColor(RGB(40, 70, 140));
  c->Brush()->SetColor(RGB(40, 70, 140));
  if (Kind == 's') {
    c->Brush()->SetStyle(bsClear);
    c->Ellipse(2, 1, 11, 10);
    c->Brush()->SetStyle(bsSolid);
    c->Polygon({{9, 9}, {11, 8}, {14, 12}, {12, 13}});
  } else if (Kind == 'd') {
    c->Polygon({{3, 5}, {12, 5}, {8, 11}, {7, 11}});
  } else {
    c->Polygon({{3, 11}, {12, 11}, {8, 5}, {7, 5}});
  }
}

TcxButton* MakeButton(TfGrid5SearchOption* Form, TWinControl* Parent, const char* Name, int X, int Y, int W, int H,
                      const char* Caption, char Glyph) {
  auto* b = Place<TcxButton>(Form, Parent, Name, X, Y, W, H);
  b->SetCaption(Caption);
  TBitmap glyph;
  DrawGlyph(&glyph, Glyph);
  b->SetGlyph(&glyph);
  return b;
}

}  // namespace

TfGrid5SearchOption::TfGrid5SearchOption(TComponent* AOwner) : TForm(AOwner) {
  BeginLoading();
  SetBorderStyle(bsDialog);
  SetFormStyle(fsStayOnTop);
  SetPosition(poScreenCenter);
  SetCaption("자료 검색");
  SetColor(clWhite);
  Font()->SetName("굴림");
  Font()->SetSize(9);
  SetClientSize(kClientWidth, kHeightWithOptions);

  pn_Top = Place<TPanel>(this, this, "pn_Top", 0, 0, kClientWidth, 35);
  pn_Top->SetAlign(alTop);
  pn_Top->SetBevelOuter(bvNone);
  pn_Top->SetCaption("");
  Image1 = Place<TImage>(this, pn_Top, "Image1", 0, 0, kClientWidth, 35);
  DrawTitle(Image1->Picture()->Bitmap());

  pn_Client = Place<TPanel>(this, this, "pn_Client", 0, 35, kClientWidth, 77);
  pn_Client->SetBevelOuter(bvNone);
  pn_Client->SetColor(clWhite);
  pn_Client->SetCaption("");
  shp_Client = Place<TShape>(this, pn_Client, "shp_Client", 8, 6, kClientWidth - 16, 66);
  shp_Client->Pen()->SetColor(RGB(200, 200, 200));
  cxLabel1 = Place<TcxLabel>(this, pn_Client, "cxLabel1", 20, 16, 64, 17);
  cxLabel1->SetCaption("구       분");
  cb_Search_Col = Place<TcxImageComboBox>(this, pn_Client, "cb_Search_Col", 90, 14, 250, 21);
  cxLabel2 = Place<TcxLabel>(this, pn_Client, "cxLabel2", 20, 46, 64, 17);
  cxLabel2->SetCaption("찾을 내용");
  edt_Search_Text = Place<TcxTextEdit>(this, pn_Client, "edt_Search_Text", 90, 44, 250, 21);
  btn_Search = MakeButton(this, pn_Client, "btn_Search", 352, 14, 105, 51, "찾기", 's');

  btn_SubOptionOpen = MakeButton(this, this, "btn_SubOptionOpen", 352, 124, 105, 24, "옵션", 'd');
  pn_Sub = Place<TPanel>(this, this, "pn_Sub", 0, 112, kClientWidth, 88);
  pn_Sub->SetBevelOuter(bvNone);
  pn_Sub->SetColor(clWhite);
  pn_Sub->SetCaption("");
  cxLabel3 = Place<TcxLabel>(this, pn_Sub, "cxLabel3", 20, 10, 64, 17);
  cxLabel3->SetCaption("방       향");
  cxRadioGroup1 = Place<TcxGroupBox>(this, pn_Sub, "cxRadioGroup1", 90, 4, 250, 28);
  rb_Repeat = Place<TcxRadioButton>(this, cxRadioGroup1, "rb_Repeat", 6, 5, 84, 18);
  rb_Repeat->SetCaption("  전체반복");
  rb_To_Down = Place<TcxRadioButton>(this, cxRadioGroup1, "rb_To_Down", 92, 5, 72, 18);
  rb_To_Down->SetCaption("  아래로");
  rb_To_Up = Place<TcxRadioButton>(this, cxRadioGroup1, "rb_To_Up", 168, 5, 72, 18);
  rb_To_Up->SetCaption("  위로");
  rb_Repeat->SetChecked(true);
  chk_CaseSense = Place<TcxCheckBox>(this, pn_Sub, "chk_CaseSense", 20, 40, 120, 19);
  chk_CaseSense->SetCaption("대/소문자 구별");
  chk_BlankNot = Place<TcxCheckBox>(this, pn_Sub, "chk_BlankNot", 146, 40, 110, 19);
  chk_BlankNot->SetCaption("띄어쓰기 무시");
  chk_BlankNot->SetChecked(true);
  chk_InlineText = Place<TcxCheckBox>(this, pn_Sub, "chk_InlineText", 262, 40, 100, 19);
  chk_InlineText->SetCaption("포함 문자열");
  chk_InlineText->SetChecked(true);
  btn_SubOptionClose = MakeButton(this, pn_Sub, "btn_SubOptionClose", 352, 58, 105, 24, "옵션 닫기", 'u');

  cb_Search_Col->SetTabOrder(0);
  edt_Search_Text->SetTabOrder(1);
  btn_Search->SetTabOrder(2);
  SetActiveControl(edt_Search_Text);

  btn_Search->OnClick = TNotifyEvent(this, &TfGrid5SearchOption::btn_SearchClick);
  btn_Search->OnKeyDown = TKeyEvent(this, &TfGrid5SearchOption::edt_Search_TextKeyDown);
  btn_SubOptionOpen->OnClick = TNotifyEvent(this, &TfGrid5SearchOption::btn_SubOptionOpenClick);
  btn_SubOptionClose->OnClick = TNotifyEvent(this, &TfGrid5SearchOption::btn_SubOptionCloseClick);
  cb_Search_Col->OnKeyDown = TKeyEvent(this, &TfGrid5SearchOption::cb_Search_ColKeyDown);
  edt_Search_Text->OnKeyDown = TKeyEvent(this, &TfGrid5SearchOption::edt_Search_TextKeyDown);
  OnCreate = TNotifyEvent(this, &TfGrid5SearchOption::FormCreate);
  OnShow = TNotifyEvent(this, &TfGrid5SearchOption::FormShow);
  OnCloseQuery = TCloseQueryEvent(this, &TfGrid5SearchOption::FormCloseQuery);
  OnDestroy = TNotifyEvent(this, &TfGrid5SearchOption::FormDestroy);
  EndLoading();
}

TfGrid5SearchOption::~TfGrid5SearchOption() { SetGridView(nullptr); }

void TfGrid5SearchOption::SetGridView(TcxGridBandedTableView* View) {
  if (view_ == View) return;
  if (view_) view_->RemoveFreeNotification(this);
  view_ = View;
  if (view_) view_->FreeNotification(this);
}

void TfGrid5SearchOption::Notification(TComponent* AComponent, TOperation Operation) {
  TForm::Notification(AComponent, Operation);
  if (Operation == TOperation::opRemove && AComponent == view_) view_ = nullptr;
}

void TfGrid5SearchOption::FormShow(TObject*) {
  View_SubOption(false);
  Make_Combo_Col();
}

void TfGrid5SearchOption::FormCloseQuery(TObject*, bool&) { SetGridView(nullptr); }

void TfGrid5SearchOption::FormDestroy(TObject*) { SetGridView(nullptr); }

void TfGrid5SearchOption::View_SubOption(bool Show) {
  subOptionShown_ = Show;
  SetClientHeight(Show ? kHeightWithOptions : kHeightWithoutOptions);
  pn_Sub->SetVisible(Show);
  btn_SubOptionOpen->SetVisible(!Show);
}

void TfGrid5SearchOption::Make_Combo_Col() {
  if (!view_) return;
  auto* items = cb_Search_Col->Properties()->Items();
  items->Clear();
  items->Add(Variant::Null(), "전체 컬럼");
  TcxGridBands* bands = view_->Bands();
  for (int b = 0; b < bands->VisibleBottomItemCount(); ++b) {
    TcxGridBand* band = bands->VisibleBottomItems(b);
    for (int c = 0; c < band->VisibleColumnCount(); ++c) {
      TcxGridBandedColumn* column = band->VisibleColumns(c);
      if (column->PropertiesClassName() == "TcxCheckBoxProperties") continue;
      items->Add(Variant(IntToStr(column->Index())), column->Caption());
    }
  }
  cb_Search_Col->SetItemIndex(0);
}

void TfGrid5SearchOption::cb_Search_ColKeyDown(TObject*, WORD& Key, TShiftState) {
  if (Key != VK_RETURN) return;
  Key = 0;
  SelectNext(FocusedControl(), true, true);
}

void TfGrid5SearchOption::edt_Search_TextKeyDown(TObject*, WORD& Key, TShiftState) {
  if (Key != VK_RETURN) return;
  // The key is spent here, so a focused search button does not click as well.
  Key = 0;
  if (btn_Search->Enabled()) btn_SearchClick(btn_Search);
}

std::string TfGrid5SearchOption::NullToBlank(const Variant& Value) {
  if (Value.IsClear()) return "";
  try {
    return Value.AsString();
  } catch (const Exception&) {
    return "";
  }
}

void TfGrid5SearchOption::Normalize(std::string_view Text, std::string& Out) const {
  Out.clear();
  const bool noBlanks = chk_BlankNot->Checked(), ignoreCase = !chk_CaseSense->Checked();
  size_t first = 0, last = Text.size();
  while (first < last && uint8_t(Text[first]) <= ' ') ++first;
  while (last > first && uint8_t(Text[last - 1]) <= ' ') --last;
  for (size_t i = first; i < last; ++i) {
    char c = Text[i];
    if (c == ',' || (noBlanks && c == ' ')) continue;
    if (ignoreCase && c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    Out.push_back(c);
  }
}

bool TfGrid5SearchOption::IsValidData(const std::string& CellText) { return Matches(CellText); }

bool TfGrid5SearchOption::Matches(std::string_view CellText) {
  // A search text with nothing left to look for matches nothing.
  if (needle_.empty()) return false;
  Normalize(CellText, cell_);
  return chk_InlineText->Checked() ? cell_.find(needle_) != std::string::npos : cell_ == needle_;
}

std::vector<int> TfGrid5SearchOption::SearchColumns() const {
  // The chosen column, or with "all columns" chosen every column listed, in order.
  const Variant chosen = cb_Search_Col->EditValue();
  if (!chosen.IsClear()) return {StrToIntDef(VarToStr(chosen), -1)};
  std::vector<int> out;
  auto* items = cb_Search_Col->Properties()->Items();
  for (int i = 0; i < items->Count(); ++i) {
    const Variant& v = items->Items(i)->Value();
    if (!v.IsClear()) out.push_back(StrToIntDef(VarToStr(v), -1));
  }
  return out;
}

bool TfGrid5SearchOption::FindRecordData(int Record) {
  if (!view_) return false;
  if (!searching_) columns_ = SearchColumns();
  auto* dc = view_->DataController();
  for (int column : columns_) {
    const Variant* v = nullptr;
    try {
      v = &dc->Values(Record, column);
    } catch (const Exception&) {
      v = nullptr;  // a failing read gives an empty text
    }
    const std::string* text = v ? v->StringPtr() : nullptr;
    if (text ? Matches(*text) : Matches(v ? NullToBlank(*v) : std::string())) return true;
  }
  return false;
}

void TfGrid5SearchOption::btn_SearchClick(TObject*) {
  struct TRefocus {
    TfGrid5SearchOption* form;
    ~TRefocus() {
      if (form->Visible() && form->edt_Search_Text->CanFocus()) form->edt_Search_Text->SetFocus();
    }
  } refocus{this};
  if (!view_) return;
  const std::string text = Trim(edt_Search_Text->Text());
  if (text.empty()) {
    ShowMessage("찾을 내용을 입력하세요.");
    return;
  }
  Normalize(text, needle_);
  auto* dc = view_->DataController();
  const int rows = dc->RowCount();
  // With no record focused the search starts before the first row.
  const int r = dc->FocusedRowIndex();
  struct TSpan {
    int from, to, step;  // rows from..to inclusive; empty when from is past to
  };
  std::vector<TSpan> spans;
  if (rb_To_Down->Checked()) {
    if (r + 1 >= rows) {
      ShowMessage("마지막 줄입니다.");
      return;
    }
    spans = {{r + 1, rows - 1, 1}};
  } else if (rb_To_Up->Checked()) {
    if (r - 1 < 0) {
      ShowMessage("첫번째 줄입니다.");
      return;
    }
    spans = {{r - 1, 0, -1}};
  } else {
    spans = {{r + 1, rows - 1, 1}, {0, r - 1, 1}};
  }
  columns_ = SearchColumns();
  searching_ = true;
  int found = -1;
  for (const TSpan& span : spans)
    for (int row = span.from; found < 0 && (row - span.to) * span.step <= 0; row += span.step) {
      const int record = dc->RecordIndexOfRow(row);
      if (FindRecordData(record)) found = record;
    }
  searching_ = false;
  if (found >= 0)
    dc->SetFocusedRecordIndex(found);
  else
    ShowMessage("더이상 찾을 수 없습니다.");
}
