// The dialog shown after a failed update: it offers a re-run as a safe update.
#pragma once

#include <string>

#include "platform/vcl/extctrls.h"
#include "platform/vcl/forms.h"
#include "platform/vcl/stdctrls.h"
#include "widgets/RzBmpBtn.h"

class TfFailedMain : public TForm {
  VX_CLASS(TfFailedMain, TForm)

 public:
  explicit TfFailedMain(TComponent* AOwner);

  TImage* imgBackground;
  TLabel* lblDeposit1;
  TLabel* lblDeposit2;
  TLabel* lblDeposit4;
  TLabel* lblDeposit3;
  TRzBmpButton* btnYes;
  TRzBmpButton* btnNo;

  // The support telephone number shown after a failed safe update.
  std::string SupportTelNo;

  // Lays the dialog out for the kind of update that failed.
  void FormShow(TObject* Sender);
  void btnYesClick(TObject* Sender);
  void btnNoClick(TObject* Sender);
};
