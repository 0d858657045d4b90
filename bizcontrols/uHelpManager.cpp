#include "bizcontrols/uHelpManager.h"

#include "bizcontrols/vxBizStatusBar.h"
#include "platform/rtl/sysutils.h"
#include "platform/vcl/dialogs.h"

TfHelpManager* fHelpManager = nullptr;

namespace {

constexpr WORD kApplyKey = VK_F2;
constexpr WORD kSaveKey = VK_F5;
constexpr WORD kDeleteKey = VK_F6;

// A control of the form, named, placed and in its tab order (-1: none given).
template <class T>
T* Make(TfHelpManager* Form, const char* Name, TRect Bounds, int TabOrder = -1) {
  auto* c = new T(Form);
  c->SetName(Name);
  c->SetParent(Form);
  c->SetBounds(Bounds.left, Bounds.top, Bounds.right, Bounds.bottom);
  if (TabOrder >= 0) c->SetTabOrder(TTabOrder(TabOrder));
  return c;
}

TcxButton* MakeButton(TfHelpManager* Form, const char* Name, int X, int Y, const char* Caption, int TabOrder,
                      void (TfHelpManager::*Handler)(TObject*)) {
  auto* b = Make<TcxButton>(Form, Name, {X, Y, 75, 25}, TabOrder);
  b->SetCaption(Caption);
  b->OnClick = TNotifyEvent(Form, Handler);
  return b;
}

TcxGridBandedColumn* MakeColumn(TcxGridBandedTableView* View, const char* Name, const char* Caption,
                                TClass Properties, int Width) {
  TcxGridBandedColumn* c = View->CreateColumn();
  c->SetName(Name);
  c->SetCaption(Caption);
  c->SetPropertiesClass(Properties);
  c->Properties()->Alignment()->SetVert(taVCenter);
  c->SetHeaderAlignmentHorz(taCenter);
  c->SetWidth(Width);
  return c;
}

// The form's name, or the first of name_1, name_2, ... that its owner has not given
// yet, as the owner may hold earlier editors.
std::string UniqueFormName(TComponent* Owner, const std::string& Name) {
  std::string name = Name;
  for (int n = 1; Owner && Owner->FindComponent(name); ++n) name = Name + "_" + std::to_string(n);
  return name;
}

bool HasLineBreak(const std::string& Text) { return Text.find_first_of("\r\n") != std::string::npos; }

}  // namespace

TfHelpManager::TfHelpManager(TComponent* AOwner) : TForm(AOwner) {
  BeginLoading();
  SetName(UniqueFormName(AOwner, "fHelpManager"));
  SetCaption("도움말 설정");
  SetBounds(334, 230, 637, 511);
  SetFormStyle(fsStayOnTop);
  SetKeyPreview(true);
  Font()->SetName("MS Sans Serif");
  Font()->SetHeight(-11);

  cxLabel1 = Make<TcxLabel>(this, "cxLabel1", {40, 24, 60, 17});
  cxLabel1->SetCaption("파일");
  edt_HelpFileName = Make<TcxTextEdit>(this, "edt_HelpFileName", {105, 23, 506, 21}, 0);
  edt_HelpFileName->SetEnabled(false);
  cxLabel2 = Make<TcxLabel>(this, "cxLabel2", {40, 56, 60, 17});
  cxLabel2->SetCaption("코드");
  edt_HelpCode = Make<TcxTextEdit>(this, "edt_HelpCode", {105, 55, 506, 21}, 1);
  cxLabel3 = Make<TcxLabel>(this, "cxLabel3", {40, 88, 60, 17});
  cxLabel3->SetCaption("텍스트");
  edt_HelpText = Make<TcxTextEdit>(this, "edt_HelpText", {105, 87, 506, 21}, 2);
  btn_Set = MakeButton(this, "btn_Set", 272, 112, "적용 (F2)", 3, &TfHelpManager::btn_SetClick);

  grd_Main = Make<TcxGrid>(this, "grd_Main", {32, 144, 577, 265}, 4);
  grd_MainBandedTableView1 = grd_Main->CreateView(TcxGridBandedTableView::StaticClass());
  grd_MainBandedTableView1->SetName("grd_MainBandedTableView1");
  grd_MainBandedTableView1->OptionsView()->SetColumnAutoWidth(true);
  grd_MainBandedTableView1->OptionsView()->SetGroupByBox(false);
  grd_MainBandedTableView1->OptionsView()->SetBandHeaders(false);
  // Codes are shown, not edited in place: a code changes only through the fields.
  col_HelpCode = MakeColumn(grd_MainBandedTableView1, "col_HelpCode", "HelpCode",
                            TcxLabelProperties::StaticClass(), 153);
  col_HelpText = MakeColumn(grd_MainBandedTableView1, "col_HelpText", "HelpText",
                            TcxTextEditProperties::StaticClass(), 422);
  grd_MainLevel1 = grd_Main->Levels()->Add();
  grd_MainLevel1->SetName("grd_MainLevel1");
  grd_MainLevel1->SetGridView(grd_MainBandedTableView1);

  btn_Save = MakeButton(this, "btn_Save", 248, 416, "저장 (F5)", 5, &TfHelpManager::btn_SaveClick);
  btn_Del = MakeButton(this, "btn_Del", 343, 416, "행삭제 (F6)", 9, &TfHelpManager::btn_DelClick);

  OnCreate = TNotifyEvent(this, &TfHelpManager::FormCreate);
  OnShow = TNotifyEvent(this, &TfHelpManager::FormShow);
  OnCloseQuery = TCloseQueryEvent(this, &TfHelpManager::FormCloseQuery);
  OnDestroy = TNotifyEvent(this, &TfHelpManager::FormDestroy);
  OnKeyDown = TKeyEvent(this, &TfHelpManager::FormKeyDown);
  EndLoading();
}

void TfHelpManager::SetHelpFileName(const std::string& Value) {
  helpFileName_ = Value;
  edt_HelpFileName->SetText(Value);
}

void TfHelpManager::SetHelpCode(const std::string& Value) {
  helpCode_ = Value;
  edt_HelpCode->SetText(Value);
}

void TfHelpManager::SetHelpText(const std::string& Value) {
  helpText_ = Value;
  edt_HelpText->SetText(Value);
}

void TfHelpManager::FormShow(TObject*) {
  edt_HelpFileName->SetText(helpFileName_);
  edt_HelpCode->SetText(helpCode_);
  edt_HelpText->SetText(helpText_);
  PrintHelpStringList();
}

void TfHelpManager::PrintHelpStringList() {
  if (!helpList_) return;
  auto* data = grd_MainBandedTableView1->DataController();
  data->BeginUpdate();
  try {
    for (int i = 0; i < helpList_->Count(); ++i) {
      const std::string line = helpList_->Strings(i);
      const size_t bar = line.find('|');
      if (bar == std::string::npos) continue;
      const int r = data->AppendRecord();
      data->SetValue(r, col_HelpCode->Index(), Variant(line.substr(0, bar)));
      data->SetValue(r, col_HelpText->Index(), Variant(line.substr(bar + 1)));
    }
  } catch (...) {
    data->EndUpdate();
    throw;
  }
  data->EndUpdate();
}

int TfHelpManager::FindHelpCode(const std::string& Code) const {
  auto* data = grd_MainBandedTableView1->DataController();
  for (int r = 0; r < data->RecordCount(); ++r)
    if (data->DisplayText(r, col_HelpCode->Index()) == Code) return r;
  return -1;
}

void TfHelpManager::PostEdit() {
  if (TcxGridSite* site = grd_Main->ActiveSite()) site->HideEdit(true);
}

void TfHelpManager::btn_SetClick(TObject*) {
  if (edt_HelpFileName->Text().empty()) return ShowMessage("HelpFileName 이 없습니다.");
  if (edt_HelpCode->Text().empty()) return ShowMessage("HelpCode 이 없습니다.");
  const std::string code = UpperCase(edt_HelpCode->Text());
  const std::string text = Trim(edt_HelpText->Text());
  // A help line is one line of the file, and its code ends at the first "|".
  if (code.find('|') != std::string::npos) return ShowMessage("HelpCode 에는 '|' 를 쓸 수 없습니다.");
  if (HasLineBreak(text)) return ShowMessage("HelpText 는 한 줄이어야 합니다.");
  PostEdit();
  auto* data = grd_MainBandedTableView1->DataController();
  data->BeginUpdate();
  int r = FindHelpCode(code);
  if (r < 0) {
    r = data->AppendRecord();
    data->SetValue(r, col_HelpCode->Index(), Variant(code));
  }
  data->SetValue(r, col_HelpText->Index(), Variant(text));
  data->EndUpdate();
}

void TfHelpManager::btn_SaveClick(TObject*) {
  if (!helpList_) return;
  PostEdit();
  auto* data = grd_MainBandedTableView1->DataController();
  helpList_->BeginUpdate();
  helpList_->Clear();
  for (int r = 0; r < data->RecordCount(); ++r)
    helpList_->Add(data->DisplayText(r, col_HelpCode->Index()) + "|" +
                   Trim(data->DisplayText(r, col_HelpText->Index())));
  helpList_->EndUpdate();
  // The new file is written beside the old one and then takes its place, so a save
  // that fails leaves the old file whole.
  const std::string folder = TvxBizStatusBar::HelpFolder();
  if (!DirectoryExists(folder)) ForceDirectories(folder);
  const std::string bytes = TvxBizStatusBar::HelpFileEncoding()->GetBytes(helpList_->Text());
  if (!ReplaceFileContents(TvxBizStatusBar::HelpFilePath(helpFileName_), bytes)) ShowMessage("기존 파일 삭제 실패");
}

void TfHelpManager::btn_DelClick(TObject*) {
  auto* data = grd_MainBandedTableView1->DataController();
  if (data->FocusedRecordIndex() < 0) return ShowMessage("삭제할 줄을 선택하세요.");
  if (TcxGridSite* site = grd_Main->ActiveSite()) site->HideEdit(false);
  data->BeginUpdate();
  data->DeleteRecord(data->FocusedRecordIndex());
  data->EndUpdate();
}

void TfHelpManager::FormKeyDown(TObject*, WORD& Key, TShiftState) {
  TcxButton* button = Key == kApplyKey ? btn_Set : Key == kSaveKey ? btn_Save : Key == kDeleteKey ? btn_Del : nullptr;
  if (!button || !button->Enabled()) return;
  Key = 0;
  button->Click();
}

void TfHelpManager::FormCloseQuery(TObject*, bool&) { Detach(); }

void TfHelpManager::FormDestroy(TObject*) { Detach(); }

void TfHelpManager::Detach() {
  helpList_ = nullptr;
  if (parentHandle_) PostMessage(parentHandle_, WM_HELPMANAGER_CLOSED, 0, 0);
}
