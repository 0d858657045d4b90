#include "platform/vcl/dialogs.h"

#include <cstdio>

#include "platform/display/headless.h"
#include "platform/rtl/sysutils.h"

namespace vx::vcl {
// A modal window for the request (the stand-in of the system's message box).
TModalResult ShowMessageForm(const TDialogRequest& Request);
}  // namespace vx::vcl

namespace {

struct TResultName {
  TModalResult result;
  const char* names[3];
};

const TResultName kResultNames[] = {
    {mrOk, {"IDOK", "mrOk", "OK"}},
    {mrCancel, {"IDCANCEL", "mrCancel", "Cancel"}},
    {mrAbort, {"IDABORT", "mrAbort", "Abort"}},
    {mrRetry, {"IDRETRY", "mrRetry", "Retry"}},
    {mrIgnore, {"IDIGNORE", "mrIgnore", "Ignore"}},
    {mrYes, {"IDYES", "mrYes", "Yes"}},
    {mrNo, {"IDNO", "mrNo", "No"}},
    {mrAll, {"mrAll", "All", nullptr}},
    {mrNoToAll, {"mrNoToAll", "NoToAll", nullptr}},
    {mrYesToAll, {"mrYesToAll", "YesToAll", nullptr}},
};

std::string NameOf(TModalResult r) {
  for (const auto& n : kResultNames)
    if (n.result == r) return n.names[0];
  return std::to_string(r);
}

// The defaults of a run: windows on a display; on a headless run the script's answer
// or the default button.
class TDefaultDialogs final : public IDialogService {
 public:
  TModalResult MessageDialog(const TDialogRequest& Request) override {
    IPresenter* presenter = Application->Presenter();
    if (!presenter->Headless()) return vx::vcl::ShowMessageForm(Request);
    TModalResult result = Request.Default;
    bool scripted = false;
    if (auto* headless = dynamic_cast<vx::display::THeadlessPresenter*>(presenter); headless && headless->Script())
      scripted = headless->Script()->TakeAnswer(Request.Buttons, result);
    std::string text = Request.Text;
    for (char& c : text)
      if (c == '\r' || c == '\n') c = ' ';
    std::fprintf(stderr, "message box \"%s\": %s -> %s%s\n", Request.Caption.c_str(), text.c_str(),
                 NameOf(result).c_str(), scripted ? "" : " (default)");
    std::fflush(stderr);
    return result;
  }
};

std::unique_ptr<IDialogService>& Service() {
  static std::unique_ptr<IDialogService> service;
  return service;
}

}  // namespace

IDialogService& DialogService() {
  auto& s = Service();
  if (!s) s = std::make_unique<TDefaultDialogs>();
  return *s;
}

std::unique_ptr<IDialogService> SetDialogService(std::unique_ptr<IDialogService> Service_) {
  auto& s = Service();
  std::unique_ptr<IDialogService> previous = std::move(s);
  s = std::move(Service_);
  return previous;
}

TModalResult ModalResultOf(TMsgDlgBtn Button) {
  switch (Button) {
    case mbYes: return mrYes;
    case mbNo: return mrNo;
    case mbOK: return mrOk;
    case mbCancel: return mrCancel;
    case mbAbort: return mrAbort;
    case mbRetry: return mrRetry;
    case mbIgnore: return mrIgnore;
    case mbAll: return mrAll;
    case mbNoToAll: return mrNoToAll;
    case mbYesToAll: return mrYesToAll;
    case mbHelp: return mrNone;
  }
  return mrNone;
}

std::string ButtonCaption(TModalResult Result) {
  switch (Result) {
    case mrOk: return "OK";
    case mrCancel: return "Cancel";
    case mrAbort: return "&Abort";
    case mrRetry: return "&Retry";
    case mrIgnore: return "&Ignore";
    case mrYes: return "&Yes";
    case mrNo: return "&No";
    case mrAll: return "&All";
    case mrNoToAll: return "N&o to All";
    case mrYesToAll: return "Yes to &All";
    default: return "";
  }
}

TModalResult ModalResultFromName(const std::string& Name) {
  for (const auto& n : kResultNames)
    for (const char* name : n.names)
      if (name && SameText(Name, name)) return n.result;
  int value = 0;
  if (TryStrToInt(Name, value) && value > 0) return value;
  return -1;
}

int ShowMessageBox(const std::string& Text, const std::string& Caption, UINT Flags) {
  TDialogRequest r;
  r.Text = Text;
  r.Caption = Caption;
  switch (Flags & MB_TYPEMASK) {
    case MB_OKCANCEL: r.Buttons = {mrOk, mrCancel}; break;
    case MB_ABORTRETRYIGNORE: r.Buttons = {mrAbort, mrRetry, mrIgnore}; break;
    case MB_YESNOCANCEL: r.Buttons = {mrYes, mrNo, mrCancel}; break;
    case MB_YESNO: r.Buttons = {mrYes, mrNo}; break;
    case MB_RETRYCANCEL: r.Buttons = {mrRetry, mrCancel}; break;
    default: r.Buttons = {mrOk}; break;
  }
  switch (Flags & MB_ICONMASK) {
    case MB_ICONHAND: r.Type = mtError; break;
    case MB_ICONQUESTION: r.Type = mtConfirmation; break;
    case MB_ICONEXCLAMATION: r.Type = mtWarning; break;
    case MB_ICONASTERISK: r.Type = mtInformation; break;
    default: r.Type = mtCustom; break;
  }
  const size_t def = (Flags & MB_DEFMASK) >> 8;
  r.Default = def < r.Buttons.size() ? r.Buttons[def] : r.Buttons[0];
  // Escape answers Cancel when there is one, and OK in a box with only OK.
  r.Cancel = mrNone;
  for (TModalResult b : r.Buttons)
    if (b == mrCancel) r.Cancel = mrCancel;
  if (r.Buttons.size() == 1) r.Cancel = mrOk;
  return DialogService().MessageDialog(r);
}

int MessageDlg(const std::string& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int) {
  static const char* const captions[] = {"Warning", "Error", "Information", "Confirm"};
  TDialogRequest r;
  r.Text = Msg;
  r.Type = DlgType;
  r.Caption = DlgType == mtCustom ? Application->Title() : captions[DlgType];
  for (int b = mbYes; b <= mbYesToAll; ++b)
    if (Buttons.Contains(TMsgDlgBtn(b))) r.Buttons.push_back(ModalResultOf(TMsgDlgBtn(b)));
  if (r.Buttons.empty()) r.Buttons.push_back(mrOk);
  if (Buttons.Contains(mbOK))
    r.Default = mrOk;
  else if (Buttons.Contains(mbYes))
    r.Default = mrYes;
  else
    r.Default = r.Buttons[0];
  if (Buttons.Contains(mbCancel))
    r.Cancel = mrCancel;
  else if (Buttons.Contains(mbNo))
    r.Cancel = mrNo;
  else
    r.Cancel = r.Default;
  return DialogService().MessageDialog(r);
}

void ShowMessage(const std::string& Msg) {
  TDialogRequest r;
  r.Text = Msg;
  r.Caption = Application->Title();
  r.Buttons = {mrOk};
  r.Default = mrOk;
  r.Cancel = mrOk;
  DialogService().MessageDialog(r);
}

bool LoginDialogEx(const std::string& ADatabaseName, std::string& AUserName, std::string& APassword,
                   bool NameReadOnly) {
  std::string user = AUserName, password;
  if (!DialogService().Login(ADatabaseName, user, password, NameReadOnly)) return false;
  if (!NameReadOnly) AUserName = user;
  APassword = password;
  return true;
}

bool TSaveDialog::Execute() {
  TFileDialogRequest r;
  r.Title = title_.empty() ? std::string("Save As") : title_;
  r.FileName = fileName_;
  r.Filter = filter_;
  r.DefaultExt = defaultExt_;
  r.InitialDir = initialDir_;
  if (!DialogService().SaveFile(r) || r.FileName.empty()) return false;
  std::string name = r.FileName;
  if (!defaultExt_.empty() && ExtractFileExt(name).empty()) {
    const std::string ext = defaultExt_[0] == '.' ? defaultExt_ : "." + defaultExt_;
    name += ext;
  }
  if (options_.Contains(ofOverwritePrompt) && FileExists(name)) {
    if (MessageDlg(name + " already exists.\nDo you want to replace it?", mtWarning, {mbYes, mbNo}, 0) != mrYes)
      return false;
  }
  if (options_.Contains(ofPathMustExist)) {
    const std::string dir = ExtractFileDir(name);
    if (!dir.empty() && !DirectoryExists(dir)) return false;
  }
  fileName_ = name;
  return true;
}

namespace vx::vcl {
TModalResult ShowMessageForm(const TDialogRequest& Request) { return Request.Default; }
}  // namespace vx::vcl
