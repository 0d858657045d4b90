#include "bizcontrols/vxBizStatusBar.h"

#include <algorithm>
#include <iterator>

#include "bizcontrols/uHelpManager.h"
#include "platform/cx/cxgrid.h"
#include "platform/rtl/sysutils.h"
#include "platform/vcl/dialogs.h"
#include "platform/vcl/forms.h"
#include "platform/win/resources.h"

namespace {

constexpr TColor kBarColor = 16052463;   // RGB 239, 240, 244
constexpr TColor kLineColor = 10261906;  // RGB 146, 149, 156
constexpr intptr_t kIconTag = 300000;

// The inner windows of editors: a nameless focused control of one of these classes
// stands for its editor.
constexpr std::string_view kInnerEdits[] = {"TcxCustomInnerTextEdit", "TcxCustomComboBoxInnerEdit",
                                            "TcxCustomDropDownInnerEdit", "TcxCustomColorComboBoxInnerEdit",
                                            "TcxCustomInnerMemo"};
// Editors that hold an editor of their own inside.
constexpr std::string_view kEditorHosts[] = {"TdvEditor", "TdvMaskEditor"};
// Editors that a grid shows in place of a cell.
constexpr std::string_view kGridEditors[] = {
    "TcxTextEdit", "TcxComboBox", "TcxCheckBox", "TcxButtonEdit", "TcxBlobEdit", "TcxCalcEdit",
    "TcxCheckComboBox", "TcxColorComboBox", "TdxColorEdit", "TcxCurrencyEdit", "TcxDateEdit", "TcxImage",
    "TcxImageComboBox", "TcxLabel", "TcxMaskEdit", "TcxMemo", "TcxPopupEdit"};

template <size_t N>
bool IsOneOf(const TControl* Control, const std::string_view (&Names)[N]) {
  const std::string name = Control->ClassName();
  return std::find(std::begin(Names), std::end(Names), name) != std::end(Names);
}

}  // namespace

TvxBizStatusBar::TvxBizStatusBar(TComponent* AOwner)
    : TvxCustomBizBar(AOwner), fileList_(std::make_unique<TStringList>()), tempList_(std::make_unique<TStringList>()) {
  // A help line is a code, "|" and a text: the lists find a code's first line as a
  // name, whole and exact.
  for (TStringList* list : {fileList_.get(), tempList_.get()}) {
    list->SetNameValueSeparator('|');
    list->SetCaseSensitive(true);
  }
  SetBounds(Left(), Top(), 400, 26);
  SetAnchors({akLeft, akRight, akBottom});
  SetColor(kBarColor);
  SetBorderWidth(0);
  MakeShapeLine();
  MakeImagePre();
  MakeEdit();
  OnResize = TNotifyEvent(this, &TvxBizStatusBar::EditResize);
  SetAlign(alBottom);
}

TvxBizStatusBar::~TvxBizStatusBar() {
  Destroying();
  if (TfHelpManager* open = std::exchange(helpManager_, nullptr)) open->Free();
  delete std::exchange(shapeLine_, nullptr);
  delete std::exchange(imagePre_, nullptr);
  delete std::exchange(edit_, nullptr);
}

void TvxBizStatusBar::MakeShapeLine() {
  shapeLine_ = new TShape(this);
  shapeLine_->SetParent(this);
  shapeLine_->Brush()->SetColor(kLineColor);
  shapeLine_->Pen()->SetColor(kLineColor);
  shapeLine_->Pen()->SetStyle(psSolid);
  shapeLine_->SetBounds(0, 0, Width(), 1);
  shapeLine_->SetAnchors({akLeft, akRight});
}

void TvxBizStatusBar::MakeImagePre() {
  imagePre_ = new TImage(this);
  imagePre_->SetBounds(10, 5, 55, 16);
  imagePre_->SetParent(this);
  imagePre_->SetTag(kIconTag);
  LoadResourceBMP(HInstance(), "B01000" + std::to_string(0), imagePre_->Picture());
  imagePre_->SetVisible(true);
  imagePre_->SetTransparent(true);
  imagePre_->OnDblClick = TNotifyEvent(this, &TvxBizStatusBar::FImagePreDblClick);
}

void TvxBizStatusBar::MakeEdit() {
  edit_ = new TcxLabel(this);
  edit_->SetParent(this);
  const int left = imagePre_->Left() + imagePre_->Width() + 5;
  edit_->SetBounds(left, 5, Width() - left - 2, 16);
  edit_->SetTag(kBizBarChildTag);
  edit_->Style()->SetBorderStyle(ebsNone);
  edit_->Style()->SetColor(kBarColor);
  edit_->Style()->Font()->SetColor(clBlack);
  edit_->Style()->Font()->SetSize(9);
  edit_->Style()->Font()->SetName("굴림체");
  edit_->SetVisible(true);
  edit_->SetAnchors({akLeft, akTop, akRight});
}

TShape* TvxBizStatusBar::MakeShape() {
  auto* shape = new TShape(this);
  shape->SetParent(this);
  shape->SetAlign(alClient);
  shape->Brush()->SetColor(kBarColor);
  shape->Pen()->SetColor(kLineColor);
  return shape;
}

void TvxBizStatusBar::EditResize(TObject*) {
  if (edit_) edit_->SetWidth(Width() - edit_->Left() - 2);
}

std::string TvxBizStatusBar::HelpFolder() {
  return IncludeTrailingPathDelimiter(ExtractFilePath(Application->ExeName())) + "Help/";
}

TEncoding* TvxBizStatusBar::HelpFileEncoding() { return TEncoding::GetEncoding(949); }

void TvxBizStatusBar::SetHelpFileName(const std::string& Value) {
  fileList_->Clear();
  helpFileName_ = Value;
  const std::string folder = HelpFolder();
  if (!DirectoryExists(folder)) ForceDirectories(folder);
  const std::string file = HelpFilePath(Value);
  if (Value.empty() || !FileExists(file)) return;
  try {
    fileList_->LoadFromFile(file, HelpFileEncoding());
  } catch (const Exception&) {
    // An unreadable file gives no texts, as a missing one does.
    fileList_->Clear();
  }
}

void TvxBizStatusBar::SetHelpCode(const std::string& Value) {
  helpCode_ = UpperCase(Value);
  helpText_.clear();
  if (!helpFileName_.empty()) helpText_ = GetHelpStingListText(helpCode_);
  ShowText();
}

void TvxBizStatusBar::SetHelpText(const std::string& Value) {
  helpCode_.clear();
  helpText_ = Value;
  ShowText();
}

void TvxBizStatusBar::ShowText() { edit_->SetCaption(helpText_); }

void TvxBizStatusBar::SetTempHelpText(const std::string& Code, const std::string& Text) {
  const std::string code = UpperCase(Code);
  if (const int i = tempList_->IndexOfName(code); i >= 0) tempList_->Delete(i);
  if (!Trim(Text).empty()) tempList_->Add(code + "|" + Text);
}

std::string TvxBizStatusBar::GetHelpStingListText(const std::string& Code) const {
  if (Code.empty()) return "";
  for (const TStringList* list : {tempList_.get(), fileList_.get()})
    if (const int i = list->IndexOfName(Code); i >= 0) return list->ValueFromIndex(i);
  return "";
}

std::string TvxBizStatusBar::GetFormControlName(TWinControl* Control) { return UpperCase(Control->Name()); }

std::string TvxBizStatusBar::GetFormControlName_Frame(TWinControl* Control) {
  return UpperCase(Control->Parent()->Name() + "." + Control->Name());
}

std::string TvxBizStatusBar::GetFormControlName_Grid(TWinControl* Control) {
  auto* site = As<TcxGridSite>(Control->Parent());
  if (!site) return "";
  TcxGridBandedTableView* view = site->GridView();
  TcxGridBandedColumn* column = view->Controller()->FocusedColumn();
  return UpperCase(view->Name() + "." + (column ? column->Name() : std::string()));
}

void TvxBizStatusBar::OnActiveControlChange(TObject*) {
  if (ComponentState().Contains(csDesigning) || !Screen->ActiveControl()) return;
  TWinControl* c = Screen->ActiveControl();
  bool grid = false;
  if (c->Name().empty()) {
    bool climbed = false;
    if (c->Parent()) {
      if (IsOneOf(c, kInnerEdits)) {
        c = c->Parent();
        climbed = true;
      }
      if (IsOneOf(c, kEditorHosts) && c->Parent()) {
        c = c->Parent();
        climbed = true;
      }
    }
    if (!c->Parent()) return;
    if (IsOneOf(c, kGridEditors)) grid = c->Parent()->ClassName() == std::string("TcxGridSite");
    if (!climbed && !grid) return;
  }
  const bool onFrame = c->Parent() && c->Parent()->Is<TFrame>();
  if (grid)
    SetHelpCode(GetFormControlName_Grid(c));
  else if (onFrame)
    SetHelpCode(GetFormControlName_Frame(c));
  else
    SetHelpCode(GetFormControlName(c));
}

void TvxBizStatusBar::FImagePreDblClick(TObject*) {
  if (helpManager_) return;
  if (!loggedIn_) {
    std::string user = "도움말설정", password;
    if (!LoginDialogEx("HelpManager", user, password, true) || password != "parvine3") return;
    loggedIn_ = true;
  }
  // The editor works on the bar's own list, so what it saves is what the bar finds.
  helpManager_ = new TfHelpManager(this);
  helpManager_->SetParentHandle(Handle());
  helpManager_->SetHelpFileName(helpFileName_);
  helpManager_->SetHelpCode(helpCode_);
  helpManager_->SetHelpText(helpText_);
  helpManager_->SetHelpStringList(fileList_.get());
  helpManager_->Show();
}

void TvxBizStatusBar::CloseHelpManager(TMessage&) { helpManager_ = nullptr; }

namespace vxBizStatusBar {

void Register() { RegisterComponents("Vextra", {TvxBizStatusBar::StaticClass()}); }

}  // namespace vxBizStatusBar
