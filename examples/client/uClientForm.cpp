#include "uClientForm.h"

#include <iterator>

#include "platform/cx/cxcheckbox.h"
#include "platform/rtl/sysutils.h"

namespace {

// The generated orders: the same few hundred every run.
const char* const kCustomers[] = {"한빛상사", "Northwind", "대성유통", "Orion Trade", "미래식품", "Blue Harbor",
                                  "세종물산", "Kestrel Ltd"};
const char* const kItems[] = {"복사용지 A4", "Toner 85A", "사무용 의자", "Desk lamp", "USB 메모리", "Stapler",
                              "화이트보드", "Label tape"};
const struct {
  const char* name;
  const char* code;
} kBranches[] = {{"서울 본사", "B01"}, {"부산 지점", "B02"}, {"대구 지점", "B03"}, {"Incheon port", "B04"}};

}  // namespace

std::string TfrmClient::DefaultPictureFolder() {
  return IncludeTrailingPathDelimiter(ExtractFilePath(Application->ExeName())) + "pictures/";
}

TfrmClient::TfrmClient(TComponent* AOwner, const std::string& PictureFolder)
    : TForm(AOwner), pictures_(IncludeTrailingPathDelimiter(PictureFolder)) {
  BeginLoading();
  // A second order form of the same owner is named as the framework names a second
  // instance of a stored form: frmClient_1, frmClient_2, ...
  std::string name = "frmClient";
  for (int n = 1; AOwner && AOwner->FindComponent(name); ++n) name = "frmClient_" + std::to_string(n);
  SetName(name);
  SetCaption("주문 관리 - vx client");
  SetBounds(0, 0, 900, 620);
  SetPosition(poScreenCenter);
  SetColor(clWhite);
  SetKeyPreview(true);
  OnKeyDown = TKeyEvent(this, &TfrmClient::FormKeyDown);

  // The tool bar, its drop-down menus and the commands it supports.
  pmExcelOut = new TPopupMenu(this);
  pmExcelOut->SetName("pmExcelOut");
  AddMenuItem(pmExcelOut, "엑셀 파일로 내보내기", TNotifyEvent(this, &TfrmClient::ExportClick));
  pmReportOut = new TPopupMenu(this);
  pmReportOut->SetName("pmReportOut");
  AddMenuItem(pmReportOut, "주문 목록 인쇄", TNotifyEvent());
  pmSetting = new TPopupMenu(this);
  pmSetting->SetName("pmSetting");
  AddMenuItem(pmSetting, "전체 선택", TNotifyEvent(this, &TfrmClient::CheckAllClick));
  AddMenuItem(pmSetting, "선택 해제", TNotifyEvent(this, &TfrmClient::ClearChecksClick));

  bizButtons = new TvxBizButtonList(this);
  bizButtons->SetName("bizButtons");
  bizButtons->SetBounds(12, 10, 290, 26);
  bizButtons->SetParent(this);
  for (auto which : {TvxBizButtonList::bbHelp, TvxBizButtonList::bbAdd, TvxBizButtonList::bbSave,
                     TvxBizButtonList::bbDel, TvxBizButtonList::bbReportOut, TvxBizButtonList::bbExcelOut,
                     TvxBizButtonList::bbCodeHelp, TvxBizButtonList::bbSetting, TvxBizButtonList::bbSearch})
    bizButtons->Button(which)->SetEnabled(true);
  bizButtons->SetOnAddButtonClick(TNotifyEvent(this, &TfrmClient::AddClick));
  bizButtons->SetOnDelButtonClick(TNotifyEvent(this, &TfrmClient::DelClick));
  bizButtons->SetOnSaveButtonButtonClick(TNotifyEvent(this, &TfrmClient::SaveClick));
  bizButtons->SetOnSearchButtonClick(TNotifyEvent(this, &TfrmClient::SearchClick));
  bizButtons->SetPopupMenuExcelOut(pmExcelOut);
  bizButtons->SetPopupMenuReprotOut(pmReportOut);
  bizButtons->SetPopupMenuSetting(pmSetting);

  // The title: a rich label with a link, blinking text and a marquee; the busy mark.
  xlTitle = new TvxXLabel(this);
  xlTitle->SetName("xlTitle");
  xlTitle->SetBounds(320, 8, 500, 44);
  xlTitle->SetParent(this);
  xlTitle->SetText(
      "<FONT SIZE='12'><B>주문 관리</B></FONT> <BLINK><FONT COLOR='255'>신규 주문</FONT></BLINK> "
      "<A HREF='http://localhost/orders/help'>도움말</A><BR>"
      "<MARQUEE DIRECTION='L' SPEED='30'>오늘 마감: 오후 5시까지 접수된 주문은 당일 출고됩니다.</MARQUEE>");
  imgBusy = new TImage(this);
  imgBusy->SetName("imgBusy");
  imgBusy->SetBounds(852, 12, 32, 32);
  imgBusy->SetParent(this);
  LoadPicture(imgBusy->Picture(), "busy.gif");

  // The filter strip: labels with bullets, the branch list (names with codes), the
  // customer and amount editors with their icons.
  auto label = [this](const char* name, const char* caption, int left) {
    auto* l = new TvxIconLabel(this);
    l->SetName(name);
    l->SetCaption(caption);
    l->SetBounds(left, 64, 60, 16);
    // The setter keeps the bullet 8 pixels off the text (given a picture of its own).
    TPicture bullet;
    LoadPicture(&bullet, "bullet.png");
    l->SetBulletImage(&bullet);
    l->SetParent(this);
    return l;
  };
  lblBranch = label("lblBranch", "지점", 12);
  cbBranch = new TvxComboBox(this);
  cbBranch->SetName("cbBranch");
  cbBranch->SetBounds(70, 60, 130, 21);
  cbBranch->SetParent(this);
  for (const auto& b : kBranches) cbBranch->AddItem(b.name, b.code);
  cbBranch->Select("B01");
  lblCustomer = label("lblCustomer", "거래처", 216);
  edtCustomer = new TvxIconEdit(this);
  edtCustomer->SetName("edtCustomer");
  edtCustomer->SetBounds(290, 60, 160, 21);
  edtCustomer->SetImgResName(pictures_ + "icon_search.png");
  edtCustomer->SetParent(this);
  // The help bar names the focused editor: the icon editors' own editors carry their
  // names, so that their help lines show.
  edtCustomer->Editor()->SetName("edtCustomer");
  lblAmount = label("lblAmount", "최소 금액", 466);
  edtAmount = new TvxIconCurrencyEdit(this);
  edtAmount->SetName("edtAmount");
  edtAmount->SetBounds(552, 60, 140, 21);
  edtAmount->SetImgResName(pictures_ + "icon_amount.png");
  edtAmount->SetParent(this);
  edtAmount->Editor()->SetName("edtAmount");
  edtAmount->SetValue(50000);

  // The status buttons: one group, one of them down.
  auto button = [this](const char* name, const char* caption, int left) {
    auto* b = new TvxImageButton(this);
    b->SetName(name);
    b->SetParent(this);
    // Each setter copies a picture of the form's own (and the up picture's sets the height).
    TPicture picture;
    LoadPicture(&picture, "button_up.png");
    b->SetUpImage(&picture);
    LoadPicture(&picture, "button_down.png");
    b->SetDownImage(&picture);
    LoadPicture(&picture, "button_over.png");
    b->SetOverImage(&picture);
    LoadPicture(&picture, "button_disabled.png");
    b->SetDisableImage(&picture);
    b->SetBounds(left, 58, 60, b->Height());
    b->SetCaption(caption);
    b->SetGroupIndex(1);
    b->OnClick = TNotifyEvent(this, &TfrmClient::StatusClick);
    return b;
  };
  btnAll = button("btnAll", "전체", 708);
  btnOpen = button("btnOpen", "미결", 770);
  btnDone = button("btnDone", "완료", 832);

  // The grid's title band and the grid.
  lblOrders = new TvxImageLabel(this);
  lblOrders->SetName("lblOrders");
  TPicture band;
  LoadPicture(&band, "label_band.png");
  lblOrders->SetBackgroundImage(&band);  // and takes the picture's height
  lblOrders->SetCaption("주문 목록");
  lblOrders->SetAutoSize(false);
  lblOrders->SetBounds(12, 96, 876, lblOrders->Height());
  lblOrders->SetLayout(tlCenter);
  lblOrders->SetParent(this);

  grdOrders = new TcxGrid(this);
  grdOrders->SetName("grdOrders");
  grdOrders->SetBounds(12, 124, 876, 440);
  grdOrders->SetParent(this);
  bvOrders = grdOrders->CreateView(TcxGridBandedTableView::StaticClass());
  bvOrders->SetName("bvOrders");
  bvOrders->SetTag(1);  // the second style sheet
  grdOrders->Levels()->Add()->SetGridView(bvOrders);
  TcxGridBands* bands = bvOrders->Bands();
  (bands->Count() > 0 ? bands->Items(0) : bands->Add())->SetCaption("주문");
  bands->Add()->SetCaption("금액");
  colChecked = AddColumn("colChecked", "선택", "Boolean", 44, 0);
  colChecked->SetPropertiesClass(TcxCheckBoxProperties::StaticClass());
  colChecked->SetTag(1);  // a check-all header
  colNumber = AddColumn("colNumber", "주문번호", "Integer", 80, 0);
  colCustomer = AddColumn("colCustomer", "거래처", "String", 130, 0);
  colBranch = AddColumn("colBranch", "지점", "String", 90, 0);
  colItem = AddColumn("colItem", "품목", "String", 130, 0);
  colQuantity = AddColumn("colQuantity", "수량", "Integer", 60, 1);
  colPrice = AddColumn("colPrice", "단가", "Currency", 100, 1);
  colAmount = AddColumn("colAmount", "금액", "Currency", 120, 1);
  colDone = AddColumn("colDone", "완료", "Boolean", 50, 1);
  colDone->SetPropertiesClass(TcxCheckBoxProperties::StaticClass());

  adpOrders = new TGrid5Adapter(this);
  adpOrders->SetName("adpOrders");
  adpOrders->SetBandedTableVeiw(bvOrders);
  adpOrders->InitCheckBox(colChecked);
  adpOrders->InitCheckBox(colDone);
  adpOrders->InitCurrency(colPrice);
  adpOrders->InitCurrency(colAmount);

  // The help bar: the focused control's text from Help/frmClient.wxt beside the program.
  sbHelp = new TvxBizStatusBar(this);
  sbHelp->SetName("sbHelp");
  sbHelp->SetBounds(12, 570, 876, 22);
  sbHelp->SetParent(this);
  sbHelp->SetHelpFileName("frmClient");
  Screen->OnActiveControlChange = TNotifyEvent(sbHelp, &TvxBizStatusBar::OnActiveControlChange);

  EndLoading();
  LoadOrders(300);
  btnAll->SetDown(true);
}

TfrmClient::~TfrmClient() {
  if (Screen->OnActiveControlChange == TNotifyEvent(sbHelp, &TvxBizStatusBar::OnActiveControlChange))
    Screen->OnActiveControlChange = TNotifyEvent();
}

TcxGridBandedColumn* TfrmClient::AddColumn(const std::string& Name, const std::string& Caption, const std::string& Type,
                                           int Width, int Band) {
  TcxGridBandedColumn* c = bvOrders->CreateColumn();
  // The help bar's code of a cell being edited is the view's name and the column's.
  c->SetName(Name);
  c->SetCaption(Caption);
  c->SetWidth(Width);
  c->Position()->SetBandIndex(Band);
  c->DataBinding()->SetValueType(Type);
  return c;
}

TMenuItem* TfrmClient::AddMenuItem(TPopupMenu* Menu, const std::string& Caption, TNotifyEvent OnClick) {
  auto* item = new TMenuItem(Menu);
  item->SetCaption(Caption);
  item->OnClick = OnClick;
  Menu->Items()->Add(item);
  return item;
}

void TfrmClient::LoadPicture(TPicture* Picture, const std::string& Name) const {
  Picture->LoadFromFile(pictures_ + Name);
}

void TfrmClient::LoadOrders(int Count) {
  adpOrders->Clear();
  bvOrders->BeginUpdate();
  for (int i = 0; i < Count; ++i) {
    const int quantity = 1 + (i * 7) % 40;
    const Currency price = Currency::FromRaw(int64_t(1200 + (i * 379) % 9000) * 10000);
    adpOrders->AddRecords({Variant(false), Variant(10001 + i), Variant(kCustomers[(i * 5) % std::size(kCustomers)]),
                           Variant(kBranches[i % std::size(kBranches)].name), Variant(kItems[(i * 3) % std::size(kItems)]),
                           Variant(quantity), Variant(price), Variant(Currency::FromRaw(price.Raw * quantity)),
                           Variant(i % 3 == 0)});
  }
  bvOrders->EndUpdate();
}

void TfrmClient::AddClick(TObject*) {
  const int record = adpOrders->AddRecords({Variant(false), Variant(10001 + adpOrders->GetRecordCount())});
  bvOrders->DataController()->SetFocusedRecordIndex(record);
}

void TfrmClient::DelClick(TObject*) {
  const int record = bvOrders->DataController()->FocusedRecordIndex();
  if (record < 0) return;
  const std::string text = "주문 " + bvOrders->DataController()->DisplayText(record, colNumber->Index()) + "을(를) 삭제하시겠습니까?";
  if (Application->MessageBox(text, "삭제", MB_YESNO) == IDYES) adpOrders->DeleteRecord(record);
}

void TfrmClient::SaveClick(TObject*) { bvOrders->DataController()->Post(); }

void TfrmClient::SearchClick(TObject* Sender) { adpOrders->Grid_Search_Option(Sender); }

void TfrmClient::ExportClick(TObject* Sender) { adpOrders->Grid_Export_Excel(Sender); }

void TfrmClient::CheckAllClick(TObject*) { adpOrders->SetCheckedAll(colChecked, true); }

void TfrmClient::ClearChecksClick(TObject*) { adpOrders->SetCheckedAll(colChecked, false); }

void TfrmClient::StatusClick(TObject* Sender) {
  auto* dc = bvOrders->DataController();
  dc->ClearSorting();
  if (Sender == btnOpen) dc->SetSortOrder(colDone->Index(), soAscending);
  if (Sender == btnDone) dc->SetSortOrder(colDone->Index(), soDescending);
}

void TfrmClient::FormKeyDown(TObject* Sender, WORD& Key, TShiftState Shift) {
  if (bizButtons->FunctionKeyCheck(Sender, Key, Shift) || adpOrders->FunctionKeyCheck(Sender, Key, Shift)) {
    Key = 0;
  } else if (Key == VK_F9 && Shift.Empty()) {
    cbBranch->SetFocus();
    cbBranch->SetDroppedDown(true);
    Key = 0;
  }
}
