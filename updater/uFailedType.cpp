#include "updater/uFailedType.h"

#include "platform/rtl/classes.h"
#include "platform/win/resources.h"
#include "updater/AutoUpdaterUtils.h"
#include "updater/ClientConfiguration.h"

namespace {

TLabel* MakeLabel(TForm* Form, const char* Name, int Left, int Top, int Width, int Height, const char* Caption) {
  auto* label = new TLabel(Form);
  label->SetName(Name);
  label->SetParent(Form);
  label->SetBounds(Left, Top, Width, Height);
  label->SetTransparent(true);
  label->SetCaption(Caption);
  return label;
}

TRzBmpButton* MakeButton(TForm* Form, const char* Name, int Left, const char* Caption) {
  auto* button = new TRzBmpButton(Form);
  button->SetName(Name);
  button->SetParent(Form);
  button->SetBounds(Left, 210, Left == 256 ? 81 : 79, 24);
  button->SetCaption(Caption);
  button->SetButtonSize(bszStretchToButton);
  LoadPngResourceTo(HInstance(), "BtnFailed_Up", button->Bitmaps()->Up());
  return button;
}

}  // namespace

TfFailedMain::TfFailedMain(TComponent* AOwner) : TForm(AOwner) {
  BeginLoading();
  SetName("fFailedMain");
  SetBorderStyle(bsDialog);
  SetPosition(poScreenCenter);
  SetColor(clWhite);
  Font()->SetCharset(HANGEUL_CHARSET);
  SetClientSize(448, 253);
  SetCaption("업데이트 실패");

  imgBackground = new TImage(this);
  imgBackground->SetName("imgBackground");
  imgBackground->SetParent(this);
  imgBackground->SetAlign(alClient);
  imgBackground->SetEnabled(false);
  // The background is artwork; a program without it shows the plain white dialog.
  LoadPngResourceTo(HInstance(), "FailedBackground", imgBackground->Picture());

  lblDeposit1 = MakeLabel(this, "lblDeposit1", 41, 50, 483, 13, "예기치 못한 오류로 빠른업데이트가 실패하였습니다.");
  lblDeposit2 = MakeLabel(this, "lblDeposit2", 41, 74, 512, 13, "안전업데이트로 전환하여 업데이트를 하시기 바랍니다.");
  lblDeposit4 = MakeLabel(this, "lblDeposit4", 125, 163, 223, 13, "'안전업데이트'  하시겠습니까?");
  lblDeposit3 = MakeLabel(this, "lblDeposit3", 41, 98, 512, 13, "고객지원센터로 연락 주시길 바랍니다.");
  btnYes = MakeButton(this, "btnYes", 256, "예 ");
  btnNo = MakeButton(this, "btnNo", 345, "아니오");
  btnYes->OnClick = TNotifyEvent(this, &TfFailedMain::btnYesClick);
  btnNo->OnClick = TNotifyEvent(this, &TfFailedMain::btnNoClick);
  OnShow = TNotifyEvent(this, &TfFailedMain::FormShow);
  EndLoading();
}

void TfFailedMain::FormShow(TObject*) {
  SetClientSize(448, 253);
  if (ClientConfig && ClientConfig->UpdateType == 1) {
    btnYes->SetLeft(200);
    btnYes->SetWidth(137);
    btnYes->SetCaption("업데이트 재실행");
    btnNo->SetCaption("나가기");
    lblDeposit1->SetCaption("예기치 못한 오류로 안전업데이트가 실패하였습니다.");
    lblDeposit2->SetCaption("오류가 지속적으로 발생시엔");
    lblDeposit3->SetCaption("고객지원센터(☎" + SupportTelNo + ")로 연락 주시길 바랍니다.");
    lblDeposit4->Hide();
  } else {
    lblDeposit3->Hide();
  }
  if (AnswerUnattended) PostMessage(Handle(), WM_UNATTENDED_TURN, 0, 0);
}

void TfFailedMain::WMUnattendedTurn(TMessage&) {
  if (!Visible() || ModalResult() != 0) return;
  switch (UnattendedTurn()) {
    case TUnattended::ScriptActed:
      PostMessage(Handle(), WM_UNATTENDED_TURN, 0, 0);
      break;
    case TUnattended::Nobody:
      btnNoClick(this);
      break;
    case TUnattended::Person:
      break;
  }
}

void TfFailedMain::btnYesClick(TObject*) { SetModalResult(1); }

void TfFailedMain::btnNoClick(TObject*) { SetModalResult(2); }
