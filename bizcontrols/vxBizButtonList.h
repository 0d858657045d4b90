// The business tool bar: the standard command strip of a business form. Ten small
// glyph buttons (cancel, hidden; help; add; save; delete; report output, Excel export
// and settings, which can open a drop-down menu; code help; search), all disabled
// until the form enables the ones it supports, and the function keys mapped onto
// them by FunctionKeyCheck.
#pragma once

#include <array>

#include "bizcontrols/vxBizBar.h"
#include "platform/cx/cxbuttons.h"
#include "platform/vcl/extctrls.h"

class TvxBizButtonList : public TvxCustomBizBar {
  VX_CLASS(TvxBizButtonList, TvxCustomBizBar)

 public:
  // In the order of the strip.
  enum TBizButton { bbReverse, bbHelp, bbAdd, bbSave, bbDel, bbReportOut, bbExcelOut, bbCodeHelp, bbSetting, bbSearch };

  explicit TvxBizButtonList(TComponent* AOwner);
  ~TvxBizButtonList() override;

  bool ButtonSaveEnabled() const { return ButtonEnabled(bbSave); }
  void SetButtonSaveEnabled(bool Value) { SetButtonEnabled(bbSave, Value); }
  bool ButtonAddEnabled() const { return ButtonEnabled(bbAdd); }
  void SetButtonAddEnabled(bool Value) { SetButtonEnabled(bbAdd, Value); }
  bool ButtonReverseEnabled() const { return ButtonEnabled(bbReverse); }
  void SetButtonReverseEnabled(bool Value) { SetButtonEnabled(bbReverse, Value); }
  bool ButtonDelEnabled() const { return ButtonEnabled(bbDel); }
  void SetButtonDelEnabled(bool Value) { SetButtonEnabled(bbDel, Value); }
  bool ButtonSettingEnabled() const { return ButtonEnabled(bbSetting); }
  void SetButtonSettingEnabled(bool Value) { SetButtonEnabled(bbSetting, Value); }
  bool ButtonExcelOutEnabled() const { return ButtonEnabled(bbExcelOut); }
  void SetButtonExcelOutEnabled(bool Value) { SetButtonEnabled(bbExcelOut, Value); }
  bool ButtonReportOutEnabled() const { return ButtonEnabled(bbReportOut); }
  void SetButtonReportOutEnabled(bool Value) { SetButtonEnabled(bbReportOut, Value); }
  bool ButtonHelpEnabled() const { return ButtonEnabled(bbHelp); }
  void SetButtonHelpEnabled(bool Value) { SetButtonEnabled(bbHelp, Value); }
  bool ButtonSearchEnabled() const { return ButtonEnabled(bbSearch); }
  void SetButtonSearchEnabled(bool Value) { SetButtonEnabled(bbSearch, Value); }
  bool ButtonCodeHelpEnabled() const { return ButtonEnabled(bbCodeHelp); }
  void SetButtonCodeHelpEnabled(bool Value) { SetButtonEnabled(bbCodeHelp, Value); }

  // The click events. A drop-down button keeps its event while a menu is attached (its
  // click then opens the menu) and clicks with it again when the menu goes.
  TNotifyEvent OnSaveButtonButtonClick() const { return ClickEvent(bbSave); }
  void SetOnSaveButtonButtonClick(TNotifyEvent Value) { SetClickEvent(bbSave, Value); }
  TNotifyEvent OnAddButtonClick() const { return ClickEvent(bbAdd); }
  void SetOnAddButtonClick(TNotifyEvent Value) { SetClickEvent(bbAdd, Value); }
  TNotifyEvent OnReverseButtonClick() const { return ClickEvent(bbReverse); }
  void SetOnReverseButtonClick(TNotifyEvent Value) { SetClickEvent(bbReverse, Value); }
  TNotifyEvent OnDelButtonClick() const { return ClickEvent(bbDel); }
  void SetOnDelButtonClick(TNotifyEvent Value) { SetClickEvent(bbDel, Value); }
  TNotifyEvent OnSettingButtonClick() const { return ClickEvent(bbSetting); }
  void SetOnSettingButtonClick(TNotifyEvent Value) { SetClickEvent(bbSetting, Value); }
  TNotifyEvent OnExcelOutButtonClick() const { return ClickEvent(bbExcelOut); }
  void SetOnExcelOutButtonClick(TNotifyEvent Value) { SetClickEvent(bbExcelOut, Value); }
  TNotifyEvent OnReportOutButtonClick() const { return ClickEvent(bbReportOut); }
  void SetOnReportOutButtonClick(TNotifyEvent Value) { SetClickEvent(bbReportOut, Value); }
  TNotifyEvent OnHelpButtonClick() const { return ClickEvent(bbHelp); }
  void SetOnHelpButtonClick(TNotifyEvent Value) { SetClickEvent(bbHelp, Value); }
  TNotifyEvent OnSearchButtonClick() const { return ClickEvent(bbSearch); }
  void SetOnSearchButtonClick(TNotifyEvent Value) { SetClickEvent(bbSearch, Value); }

  // The drop-down menus (not owned); a menu that is destroyed is detached.
  TPopupMenu* PopupMenuExcelOut() const { return buttons_[bbExcelOut]->DropDownMenu(); }
  void SetPopupMenuExcelOut(TPopupMenu* Value) { AttachMenu(bbExcelOut, Value); }
  TPopupMenu* PopupMenuReprotOut() const { return buttons_[bbReportOut]->DropDownMenu(); }
  void SetPopupMenuReprotOut(TPopupMenu* Value) { AttachMenu(bbReportOut, Value); }
  TPopupMenu* PopupMenuSetting() const { return buttons_[bbSetting]->DropDownMenu(); }
  void SetPopupMenuSetting(TPopupMenu* Value) { AttachMenu(bbSetting, Value); }

  // A key of the client form: F1 help, F2 add, F5 save, F6 delete, F7 or exactly Ctrl+P
  // report output, F8 Excel export, F10 settings, F12 search. The button's click event
  // runs with the bar as sender when the button is enabled and the event assigned; the
  // answer is then True. Key is left as it is.
  bool FunctionKeyCheck(TObject* Sender, WORD& Key, TShiftState Shift);

  TcxButton* Button(TBizButton Which) const { return buttons_[Which]; }
  TImage* Splitter(int Index) const { return splitters_[size_t(Index)]; }

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  struct TDropDown {
    TPopupMenu* menu = nullptr;  // attached (the button's drop-down menu too)
    TNotifyEvent saved;          // the click event, kept aside while a menu is attached
  };

  bool ButtonEnabled(TBizButton Which) const { return buttons_[Which]->Enabled(); }
  void SetButtonEnabled(TBizButton Which, bool Value) { buttons_[Which]->SetEnabled(Value); }
  TNotifyEvent ClickEvent(TBizButton Which) const;
  void SetClickEvent(TBizButton Which, TNotifyEvent Value);
  void AttachMenu(TBizButton Which, TPopupMenu* Menu);
  TNotifyEvent MenuOpener(TBizButton Which);
  static bool IsDropDown(TBizButton Which);

  TcxButton* MakeButton(TBizButton Which, int Left, int Width);
  TcxButton* MakeSubButton(TBizButton Which, int Left);
  TImage* MakeSplit(int Left);

  // Pops the button's menu up under its bottom-left corner.
  void PopupUnder(TBizButton Which);
  void OpenReportOutMenu(TObject*) { PopupUnder(bbReportOut); }
  void OpenExcelOutMenu(TObject*) { PopupUnder(bbExcelOut); }
  void OpenSettingMenu(TObject*) { PopupUnder(bbSetting); }
  // The arrow part: the button shows an attached menu; without one it clicks.
  void DropDownMenuPopup(TObject* Sender, TPopupMenu*& Menu, bool& Handled);
  // The code-help button: an F9 key-down to the program's own input.
  void SendCodeHelpKey(TObject* Sender);

  std::array<TcxButton*, 10> buttons_{};
  std::array<TImage*, 2> splitters_{};
  std::array<TDropDown, 10> dropDowns_{};
};

namespace vxBizButtonList {

// Puts TvxBizButtonList on the palette page "Vextra".
void Register();

}  // namespace vxBizButtonList
