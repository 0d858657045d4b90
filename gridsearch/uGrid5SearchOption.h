// The find-in-grid dialog: searches the rows of one banded table view for a text, in
// one column or in all searchable ones, downwards, upwards or round the whole grid, and
// focuses the first record that matches. Modeless and on top of the program's windows.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/cx/cxbuttons.h"
#include "platform/cx/cxcheckbox.h"
#include "platform/cx/cxgridbandedtableview.h"
#include "platform/cx/cxgroupbox.h"
#include "platform/cx/cximagecombobox.h"
#include "platform/cx/cxlabel.h"
#include "platform/cx/cxtextedit.h"
#include "platform/rtl/variants.h"
#include "platform/vcl/extctrls.h"
#include "platform/vcl/forms.h"

class TfGrid5SearchOption : public TForm {
  VX_CLASS(TfGrid5SearchOption, TForm)

 public:
  explicit TfGrid5SearchOption(TComponent* AOwner);
  ~TfGrid5SearchOption() override;

  TPanel* pn_Top;
  TImage* Image1;
  TPanel* pn_Client;
  TShape* shp_Client;
  TcxLabel* cxLabel1;
  TcxImageComboBox* cb_Search_Col;
  TcxLabel* cxLabel2;
  TcxTextEdit* edt_Search_Text;
  TcxButton* btn_Search;
  TcxButton* btn_SubOptionOpen;
  TPanel* pn_Sub;
  TcxLabel* cxLabel3;
  TcxGroupBox* cxRadioGroup1;
  TcxRadioButton* rb_Repeat;
  TcxRadioButton* rb_To_Down;
  TcxRadioButton* rb_To_Up;
  TcxCheckBox* chk_CaseSense;
  TcxCheckBox* chk_BlankNot;
  TcxCheckBox* chk_InlineText;
  TcxButton* btn_SubOptionClose;

  // The view searched (null: none; the dialog then does nothing).
  void SetGridView(TcxGridBandedTableView* View);
  TcxGridBandedTableView* GridView() const { return view_; }
  void SetParentHandle(intptr_t Handle) { parentHandle_ = Handle; }
  intptr_t ParentHandle() const { return parentHandle_; }
  bool SubOptionShown() const { return subOptionShown_; }

  void FormCreate(TObject* /*Sender*/) {}
  void FormShow(TObject* Sender);
  void FormCloseQuery(TObject* Sender, bool& CanClose);
  void FormDestroy(TObject* Sender);
  void btn_SubOptionOpenClick(TObject* /*Sender*/) { View_SubOption(true); }
  void btn_SubOptionCloseClick(TObject* /*Sender*/) { View_SubOption(false); }
  void btn_SearchClick(TObject* Sender);
  void cb_Search_ColKeyDown(TObject* Sender, WORD& Key, TShiftState Shift);
  void edt_Search_TextKeyDown(TObject* Sender, WORD& Key, TShiftState Shift);

  // Fills the column selector: "전체 컬럼" (all columns), then every searchable column
  // of the view in display order.
  void Make_Combo_Col();
  void View_SubOption(bool Show);
  // Whether a record's chosen column (or any listed column) holds the search text.
  bool FindRecordData(int Record);
  // Whether a cell's text matches the search text under the options.
  bool IsValidData(const std::string& CellText);
  static std::string NullToBlank(const Variant& Value);

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  // A text as it is compared: trimmed, without commas (and blanks), upper-cased
  // unless the case counts.
  void Normalize(std::string_view Text, std::string& Out) const;
  bool Matches(std::string_view CellText);
  // The columns a search looks at: the chosen one, or every one listed.
  std::vector<int> SearchColumns() const;

  TcxGridBandedTableView* view_ = nullptr;
  intptr_t parentHandle_ = 0;
  bool subOptionShown_ = false;
  std::string needle_;  // the normalized search text of the search under way
  std::string cell_;    // a cell's normalized text (kept to spare allocations)
  std::vector<int> columns_;
  bool searching_ = false;
};
