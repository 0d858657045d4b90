// The dialog shown after a failed update: it offers a re-run as a safe update.
#pragma once

#include <string>

#include "platform/vcl/extctrls.h"
#include "platform/vcl/forms.h"
#include "platform/vcl/stdctrls.h"
#include "updater/AutoUpdaterUtils.h"
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

  // When nobody can answer (a headless run whose script has nothing it can do), the
  // dialog closes with No.
  bool AnswerUnattended = true;

  // Lays the dialog out for the kind of update that failed.
  void FormShow(TObject* Sender);
  void btnYesClick(TObject* Sender);
  void btnNoClick(TObject* Sender);
  void WMUnattendedTurn(TMessage& Message);

  VX_MESSAGE_MAP(TfFailedMain, TForm)
  VX_MESSAGE_HANDLER(WM_UNATTENDED_TURN, WMUnattendedTurn)
  VX_END_MESSAGE_MAP
};
