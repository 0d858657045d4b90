#include "bizcontrols/vxBizButtonList.h"

#include <utility>

#include "platform/win/resources.h"
#include "platform/win/winuser.h"

namespace {

struct TButtonSpec {
  const char* glyph;
  const char* hint;
};

// By TBizButton: the glyph resource and the two-line hint.
const TButtonSpec kButtons[] = {
    {"P030000", "ESC(입력 취소)\r\n입력 중인 자료를 취소 합니다."},
    {"P080000", "F1(도움말)\r\n현재 메뉴의 도움말을 엽니다."},
    {"P020000", "F2(추가)\r\n입력 모드로 전환 합니다."},
    {"P010000", "F5(저장)\r\n입력중인 데이터를 저장합니다."},
    {"P040000", "F6(삭제)\r\n체크한 데이터를 삭제 합니다."},
    {"P070000", "F7(인쇄)\r\n전표 및 원장을 인쇄합니다."},
    {"P060000", "F8(엑셀변환)\r\n현재 화면을 엑셀로 변환 합니다."},
    {"P100000", "F9(코드도움)\r\n선택 팝업 창을 엽니다."},
    {"P050000", "F10(설정)\r\n설정 창을 엽니다."},
    {"P090000", "F12(조회)\r\n데이터를 다시 조회 합니다."},
};

constexpr int kButtonWidth = 23, kSubButtonWidth = 38, kHeight = 22, kSplitWidth = 2;
constexpr const char* kSplitGlyph = "B020000";

}  // namespace

TvxBizButtonList::TvxBizButtonList(TComponent* AOwner) : TvxCustomBizBar(AOwner) {
  SetBounds(Left(), Top(), 290, 26);
  buttons_[bbReverse] = MakeButton(bbReverse, -50, kButtonWidth);
  buttons_[bbReverse]->SetVisible(false);
  int x = 0;
  for (TBizButton b : {bbHelp, bbAdd, bbSave, bbDel}) {
    buttons_[b] = MakeButton(b, x, kButtonWidth);
    x += kButtonWidth;
  }
  splitters_[0] = MakeSplit(x);
  x += kSplitWidth;
  for (TBizButton b : {bbReportOut, bbExcelOut}) {
    buttons_[b] = MakeSubButton(b, x);
    x += kSubButtonWidth;
  }
  buttons_[bbCodeHelp] = MakeButton(bbCodeHelp, x, kButtonWidth);
  buttons_[bbCodeHelp]->OnClick = TNotifyEvent(this, &TvxBizButtonList::SendCodeHelpKey);
  x += kButtonWidth;
  splitters_[1] = MakeSplit(x);
  x += kSplitWidth;
  buttons_[bbSetting] = MakeSubButton(bbSetting, x);
  x += kSubButtonWidth;
  buttons_[bbSearch] = MakeButton(bbSearch, x, kButtonWidth);
}

TvxBizButtonList::~TvxBizButtonList() {
  Destroying();
  for (TBizButton b : {bbReportOut, bbExcelOut, bbSetting}) AttachMenu(b, nullptr);
  for (TcxButton*& b : buttons_) delete std::exchange(b, nullptr);
  for (TImage*& s : splitters_) delete std::exchange(s, nullptr);
}

TcxButton* TvxBizButtonList::MakeButton(TBizButton Which, int Left, int Width) {
  auto* b = new TcxButton(this);
  b->SetBounds(Left, 0, Width, kHeight);
  b->SetParent(this);
  b->SetKind(cxbkStandard);
  b->LookAndFeel()->SetKind(lfFlat);
  b->LookAndFeel()->SetNativeStyle(true);
  b->Glyph()->SetSize(kButtonWidth, kHeight);
  LoadResourceBMP(HInstance(), kButtons[Which].glyph, b->Glyph());
  b->SpeedButtonOptions()->SetCanBeFocused(false);
  b->SpeedButtonOptions()->SetTransparent(true);
  b->SetTag(kBizBarChildTag);
  b->SetEnabled(false);
  b->SetHint(kButtons[Which].hint);
  b->SetShowHint(true);
  b->Repaint();
  return b;
}

TcxButton* TvxBizButtonList::MakeSubButton(TBizButton Which, int Left) {
  TcxButton* b = MakeButton(Which, Left, kSubButtonWidth);
  b->SetKind(cxbkDropDownButton);
  b->OnDropDownMenuPopup = TcxButtonDropDownMenuPopupEvent(this, &TvxBizButtonList::DropDownMenuPopup);
  return b;
}

TImage* TvxBizButtonList::MakeSplit(int Left) {
  auto* split = new TImage(this);
  split->SetBounds(Left, 0, kSplitWidth, kHeight);
  split->SetParent(this);
  split->SetTag(kBizBarChildTag);
  LoadResourceBMP(HInstance(), kSplitGlyph, split->Picture());
  split->SetVisible(true);
  split->SetTransparent(true);
  return split;
}

bool TvxBizButtonList::IsDropDown(TBizButton Which) {
  return Which == bbReportOut || Which == bbExcelOut || Which == bbSetting;
}

TNotifyEvent TvxBizButtonList::ClickEvent(TBizButton Which) const {
  if (dropDowns_[Which].menu) return dropDowns_[Which].saved;
  return buttons_[Which]->OnClick;
}

void TvxBizButtonList::SetClickEvent(TBizButton Which, TNotifyEvent Value) {
  if (!IsDropDown(Which)) {
    buttons_[Which]->OnClick = Value;
    return;
  }
  dropDowns_[Which].saved = Value;
  buttons_[Which]->OnClick = dropDowns_[Which].menu ? MenuOpener(Which) : Value;
}

TNotifyEvent TvxBizButtonList::MenuOpener(TBizButton Which) {
  switch (Which) {
    case bbReportOut: return TNotifyEvent(this, &TvxBizButtonList::OpenReportOutMenu);
    case bbExcelOut: return TNotifyEvent(this, &TvxBizButtonList::OpenExcelOutMenu);
    default: return TNotifyEvent(this, &TvxBizButtonList::OpenSettingMenu);
  }
}

void TvxBizButtonList::AttachMenu(TBizButton Which, TPopupMenu* Menu) {
  TDropDown& d = dropDowns_[Which];
  TcxButton* b = buttons_[Which];
  if (d.menu && d.menu != Menu) d.menu->RemoveFreeNotification(this);
  if (Menu) {
    if (!d.menu) d.saved = b->OnClick;
    Menu->FreeNotification(this);
    b->OnClick = MenuOpener(Which);
  } else if (d.menu) {
    b->OnClick = d.saved;
  }
  d.menu = Menu;
  b->SetDropDownMenu(Menu);
}

void TvxBizButtonList::Notification(TComponent* AComponent, TOperation Operation) {
  TvxCustomBizBar::Notification(AComponent, Operation);
  if (Operation != TOperation::opRemove) return;
  // A menu that goes is detached: its button clicks with its own event again.
  for (TBizButton b : {bbReportOut, bbExcelOut, bbSetting})
    if (dropDowns_[b].menu == AComponent) AttachMenu(b, nullptr);
}

void TvxBizButtonList::PopupUnder(TBizButton Which) {
  TcxButton* b = buttons_[Which];
  TPopupMenu* menu = b->DropDownMenu();
  if (!menu) return;
  const TPoint corner = b->ClientToScreen(TPoint{0, b->Height()});
  menu->SetPopupComponent(b);
  menu->Popup(corner.x, corner.y);
}

void TvxBizButtonList::DropDownMenuPopup(TObject* Sender, TPopupMenu*& Menu, bool&) {
  if (Menu) return;
  if (auto* b = As<TcxButton>(Sender)) b->OnClick(b);
}

void TvxBizButtonList::SendCodeHelpKey(TObject*) { keybd_event(VK_F9, BYTE(MapVirtualKey(VK_F9, 0)), 0, 0); }

bool TvxBizButtonList::FunctionKeyCheck(TObject*, WORD& Key, TShiftState Shift) {
  TBizButton which;
  switch (Key) {
    case VK_F1: which = bbHelp; break;
    case VK_F2: which = bbAdd; break;
    case VK_F5: which = bbSave; break;
    case VK_F6: which = bbDel; break;
    case VK_F7: which = bbReportOut; break;
    case 'P':
      if (Shift != TShiftState{ssCtrl}) return false;
      which = bbReportOut;
      break;
    case VK_F8: which = bbExcelOut; break;
    case VK_F10: which = bbSetting; break;
    case VK_F12: which = bbSearch; break;
    default: return false;
  }
  TcxButton* b = buttons_[which];
  if (!b->Enabled() || !b->OnClick) return false;
  b->OnClick(this);
  return true;
}

namespace vxBizButtonList {

void Register() { RegisterComponents("Vextra", {TvxBizButtonList::StaticClass()}); }

}  // namespace vxBizButtonList
