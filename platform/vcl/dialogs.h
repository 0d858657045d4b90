// Message boxes and the standard dialogs. Every one of them asks one replaceable
// dialog service: tests put their own in place and answer directly; a run with a
// display shows real modal windows; a headless run answers from its script
// (VX_HEADLESS_SCRIPT's "answer" lines) or with the unattended answer, so it never
// waits for a person.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/rtl/classes.h"
#include "platform/vcl/forms.h"

enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };
enum TMsgDlgBtn { mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore, mbAll, mbNoToAll, mbYesToAll, mbHelp };
using TMsgDlgButtons = TSet<TMsgDlgBtn>;
inline const TMsgDlgButtons mbYesNoCancel{mbYes, mbNo, mbCancel};
inline const TMsgDlgButtons mbYesAllNoAllCancel{mbYes, mbYesToAll, mbNo, mbNoToAll, mbCancel};
inline const TMsgDlgButtons mbOKCancel{mbOK, mbCancel};
inline const TMsgDlgButtons mbAbortRetryIgnore{mbAbort, mbRetry, mbIgnore};

// One message box: its text, caption, kind, buttons (as modal results, in order), the
// buttons that Enter and Escape stand for, and the answer of a run that nobody attends
// (mrNone: the default button). A question whose yes starts another program answers
// no when nobody attends.
struct TDialogRequest {
  std::string Text;
  std::string Caption;
  TMsgDlgType Type = mtCustom;
  std::vector<TModalResult> Buttons;
  TModalResult Default = mrOk;
  TModalResult Cancel = mrCancel;
  TModalResult Unattended = mrNone;
};

// The file name prompt of a save dialog.
struct TFileDialogRequest {
  std::string Title;
  std::string FileName;
  std::string Filter;
  std::string DefaultExt;
  std::string InitialDir;
};

class IDialogService {
 public:
  virtual ~IDialogService() = default;
  // Answers one of Request.Buttons.
  virtual TModalResult MessageDialog(const TDialogRequest& Request) = 0;
  // The framework's login prompt: true with the name and password entered.
  virtual bool Login(const std::string& /*Title*/, std::string& /*UserName*/, std::string& /*Password*/, bool /*NameReadOnly*/) {
    return false;
  }
  // A file name to save to: true with FileName set.
  virtual bool SaveFile(TFileDialogRequest& /*Request*/) { return false; }
};

// The service in use (made on first use: windows on a display, the script or the
// defaults when headless).
IDialogService& DialogService();
// Puts a service in place (null: back to the default); answers the previous one.
std::unique_ptr<IDialogService> SetDialogService(std::unique_ptr<IDialogService> Service);

// A box with the buttons of MB_ flags; answers IDOK, IDYES, ... The caption defaults
// to the application's title.
int ShowMessageBox(const std::string& Text, const std::string& Caption, UINT Flags);
// The request ShowMessageBox makes, for a caller that sets more of it.
TDialogRequest MessageBoxRequest(const std::string& Text, const std::string& Caption, UINT Flags);
// The buttons' modal result (mbOK: mrOk, ...).
TModalResult ModalResultOf(TMsgDlgBtn Button);
// "OK", "Cancel", "&Yes", ...
std::string ButtonCaption(TModalResult Result);
// The name a script uses for an answer ("IDYES", "mrYes", "Yes", ...), or -1.
TModalResult ModalResultFromName(const std::string& Name);

// A box of the kind (its caption: "Warning", "Error", "Information", "Confirm" or the
// title) with the buttons; answers the modal result of the button.
int MessageDlg(const std::string& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx);
// An information box with OK, captioned with the application's title.
void ShowMessage(const std::string& Msg);

// The framework's login dialog (name, password): true when confirmed.
bool LoginDialogEx(const std::string& ADatabaseName, std::string& AUserName, std::string& APassword,
                   bool NameReadOnly);

// ---- The save dialog component ----

enum TOpenOption {
  ofReadOnly,
  ofOverwritePrompt,
  ofHideReadOnly,
  ofNoChangeDir,
  ofShowHelp,
  ofNoValidate,
  ofAllowMultiSelect,
  ofExtensionDifferent,
  ofPathMustExist,
  ofFileMustExist,
  ofCreatePrompt,
  ofShareAware,
  ofNoReadOnlyReturn,
  ofNoTestFileCreate,
  ofNoNetworkButton,
  ofNoLongNames,
  ofOldStyleDialog,
  ofNoDereferenceLinks,
  ofEnableIncludeNotify,
  ofEnableSizing
};
using TOpenOptions = TSet<TOpenOption>;

class TSaveDialog : public TComponent {
  VX_CLASS(TSaveDialog, TComponent)

 public:
  explicit TSaveDialog(TComponent* AOwner) : TComponent(AOwner) {}
  // Asks the dialog service for a file name; with ofOverwritePrompt an existing file
  // must be confirmed. The default extension is added to a name without one.
  virtual bool Execute();

  const std::string& FileName() const { return fileName_; }
  void SetFileName(const std::string& Value) { fileName_ = Value; }
  const std::string& Filter() const { return filter_; }
  void SetFilter(const std::string& Value) { filter_ = Value; }
  const std::string& DefaultExt() const { return defaultExt_; }
  void SetDefaultExt(const std::string& Value) { defaultExt_ = Value; }
  const std::string& InitialDir() const { return initialDir_; }
  void SetInitialDir(const std::string& Value) { initialDir_ = Value; }
  const std::string& Title() const { return title_; }
  void SetTitle(const std::string& Value) { title_ = Value; }
  TOpenOptions Options() const { return options_; }
  void SetOptions(TOpenOptions Value) { options_ = Value; }
  int FilterIndex() const { return filterIndex_; }
  void SetFilterIndex(int Value) { filterIndex_ = Value; }

 private:
  std::string fileName_, filter_, defaultExt_, initialDir_, title_;
  TOpenOptions options_{ofHideReadOnly, ofEnableSizing};
  int filterIndex_ = 1;
};
