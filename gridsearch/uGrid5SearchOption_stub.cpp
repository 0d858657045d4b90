// Until the editors arrive: the dialog as an empty form that keeps its view.
#include "gridsearch/uGrid5SearchOption.h"

TfGrid5SearchOption::TfGrid5SearchOption(TComponent* AOwner) : TForm(AOwner) { SetCaption("자료 검색"); }
TfGrid5SearchOption::~TfGrid5SearchOption() { SetGridView(nullptr); }

void TfGrid5SearchOption::SetGridView(TcxGridBandedTableView* View) {
  if (view_) view_->RemoveFreeNotification(this);
  view_ = View;
  if (view_) view_->FreeNotification(this);
}

void TfGrid5SearchOption::Notification(TComponent* AComponent, TOperation Operation) {
  TForm::Notification(AComponent, Operation);
  if (Operation == TOperation::opRemove && AComponent == view_) view_ = nullptr;
}
