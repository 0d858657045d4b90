// The order form of the example client: one business form built from the two
// packages' controls. The tool bar's function keys and drop-down menus drive the form;
// the orders are shown in an adapted banded grid (sorting, Ctrl+F search, spreadsheet
// export); a filter strip, picture buttons and labels, a rich label and an animated
// picture sit around it.
#pragma once

#include <string>

#include "bizcontrols/vxBizButtonList.h"
#include "bizcontrols/vxBizStatusBar.h"
#include "bizcontrols/vxComboBox.h"
#include "bizcontrols/vxIconCurrencyEdit.h"
#include "bizcontrols/vxIconEdit.h"
#include "bizcontrols/vxImageButton.h"
#include "bizcontrols/vxImageLabel.h"
#include "bizcontrols/vxXLabel.h"
#include "gridsearch/Grid5Adapter.h"
#include "platform/cx/cxgrid.h"
#include "platform/vcl/extctrls.h"
#include "platform/vcl/forms.h"
#include "platform/vcl/menus.h"

class TfrmClient : public TForm {
  VX_CLASS(TfrmClient, TForm)

 public:
  // The pictures are read from PictureFolder (the program's "pictures" folder).
  explicit TfrmClient(TComponent* AOwner, const std::string& PictureFolder = DefaultPictureFolder());
  ~TfrmClient() override;

  // The program's folder and "pictures/".
  static std::string DefaultPictureFolder();
  // Fills the grid with Count generated orders (the same ones every time).
  void LoadOrders(int Count);

  TvxBizButtonList* bizButtons;
  TPopupMenu* pmExcelOut;
  TPopupMenu* pmReportOut;
  TPopupMenu* pmSetting;
  TvxXLabel* xlTitle;
  TImage* imgBusy;
  TvxIconLabel* lblBranch;
  TvxComboBox* cbBranch;
  TvxIconLabel* lblCustomer;
  TvxIconEdit* edtCustomer;
  TvxIconLabel* lblAmount;
  TvxIconCurrencyEdit* edtAmount;
  TvxImageButton* btnAll;
  TvxImageButton* btnOpen;
  TvxImageButton* btnDone;
  TvxImageLabel* lblOrders;
  TcxGrid* grdOrders;
  TcxGridBandedTableView* bvOrders;
  TGrid5Adapter* adpOrders;
  TcxGridBandedColumn* colChecked;
  TcxGridBandedColumn* colNumber;
  TcxGridBandedColumn* colCustomer;
  TcxGridBandedColumn* colBranch;
  TcxGridBandedColumn* colItem;
  TcxGridBandedColumn* colQuantity;
  TcxGridBandedColumn* colPrice;
  TcxGridBandedColumn* colAmount;
  TcxGridBandedColumn* colDone;
  TvxBizStatusBar* sbHelp;

  // The tool bar's commands.
  void AddClick(TObject* Sender);
  void DelClick(TObject* Sender);
  void SaveClick(TObject* Sender);
  void SearchClick(TObject* Sender);
  void ExportClick(TObject* Sender);
  void CheckAllClick(TObject* Sender);
  void ClearChecksClick(TObject* Sender);
  // The status buttons: every order, open orders first, finished orders first.
  void StatusClick(TObject* Sender);
  // The form's keys: the tool bar's function keys, the grid's Ctrl+F, and F9 (code
  // help), which opens the branch list.
  void FormKeyDown(TObject* Sender, WORD& Key, TShiftState Shift);

 private:
  TcxGridBandedColumn* AddColumn(const std::string& Name, const std::string& Caption, const std::string& Type,
                                 int Width, int Band);
  TMenuItem* AddMenuItem(TPopupMenu* Menu, const std::string& Caption, TNotifyEvent OnClick);
  void LoadPicture(TPicture* Picture, const std::string& Name) const;

  std::string pictures_;
};
