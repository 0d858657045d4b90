#include "platform/vcl/dialogs.h"

#include <cstdio>

#include <algorithm>

#include "platform/rtl/sysutils.h"
#include "platform/vcl/stdctrls.h"

namespace vx::vcl {
// Modal windows for the requests, on a display.
TModalResult ShowMessageForm(const TDialogRequest& Request);
bool ShowLoginForm(const std::string& Title, std::string& UserName, std::string& Password, bool NameReadOnly);
bool ShowSaveForm(TFileDialogRequest& Request);
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

// A line on standard error for an answer given in place of a person.
void Say(const std::string& Line) {
  std::fprintf(stderr, "%s\n", Line.c_str());
  std::fflush(stderr);
}

// The defaults of a run: the script's answer when the presenter has one; else windows
// on a display; else, headless, the unattended answer, so that nobody is waited for.
class TDefaultDialogs final : public IDialogService {
 public:
  TModalResult MessageDialog(const TDialogRequest& Request) override {
    IPresenter* presenter = Application->Presenter();
    TModalResult result = mrNone;
    const bool scripted = presenter->ScriptedAnswer(Request.Buttons, result);
    if (!scripted && !presenter->Headless()) return vx::vcl::ShowMessageForm(Request);
    const bool unattended = !scripted && Request.Unattended != mrNone;
    if (!scripted) result = unattended ? Request.Unattended : Request.Default;
    std::string text = Request.Text;
    for (char& c : text)
      if (c == '\r' || c == '\n') c = ' ';
    Say("message box \"" + Request.Caption + "\": " + text + " -> " + NameOf(result) +
        (scripted ? "" : unattended ? " (unattended)" : " (default)"));
    return result;
  }
  // Headless, without a script's "login" line nobody types a password: cancelled.
  bool Login(const std::string& Title, std::string& UserName, std::string& Password, bool NameReadOnly) override {
    IPresenter* presenter = Application->Presenter();
    bool confirmed = false;
    const bool scripted = presenter->ScriptedLogin(confirmed, Password);
    if (!scripted && !presenter->Headless())
      return vx::vcl::ShowLoginForm(Title, UserName, Password, NameReadOnly);
    Say("login \"" + Title + "\" as " + UserName + " -> " + (confirmed ? "confirmed" : "cancelled") +
        (scripted ? "" : " (default)"));
    return confirmed;
  }
  // Headless, without a script's "save" line the dialog is cancelled.
  bool SaveFile(TFileDialogRequest& Request) override {
    IPresenter* presenter = Application->Presenter();
    std::string file;
    const bool scripted = presenter->ScriptedSaveFile(file);
    if (!scripted && !presenter->Headless()) return vx::vcl::ShowSaveForm(Request);
    Say("save dialog \"" + Request.Title + "\" -> " + (file.empty() ? "cancelled" : file) +
        (scripted ? "" : " (default)"));
    if (file.empty()) return false;
    Request.FileName = file;
    return true;
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

TDialogRequest MessageBoxRequest(const std::string& Text, const std::string& Caption, UINT Flags) {
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
  return r;
}

int ShowMessageBox(const std::string& Text, const std::string& Caption, UINT Flags) {
  return DialogService().MessageDialog(MessageBoxRequest(Text, Caption, Flags));
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

namespace {

constexpr int kMargin = 12;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;
constexpr int kGap = 6;

// A modal dialog laid out in code: prompt labels and edits, then a row of buttons.
class TPromptForm : public TForm {
  VX_CLASS(TPromptForm, TForm)

 public:
  explicit TPromptForm(TComponent* AOwner) : TForm(AOwner) {
    SetBorderStyle(bsDialog);
    SetBorderIcons({biSystemMenu});
    SetPosition(poScreenCenter);
    SetKeyPreview(false);
  }

  // Lays the buttons out under the content and sizes the form.
  void AddButtons(const std::vector<TModalResult>& Results, TModalResult Default, TModalResult Cancel,
                  int ContentWidth, int ContentBottom) {
    const int n = int(Results.size());
    const int rowWidth = n * kButtonWidth + (n - 1) * kGap;
    const int width = std::max(ContentWidth, rowWidth) + 2 * kMargin;
    int x = (width - rowWidth) / 2;
    const int y = ContentBottom + kMargin;
    for (TModalResult r : Results) {
      auto* b = new TButton(this);
      b->SetCaption(ButtonCaption(r));
      b->SetModalResult(r);
      b->SetDefault(r == Default);
      b->SetCancel(r == Cancel);
      b->SetBounds(x, y, kButtonWidth, kButtonHeight);
      b->SetParent(this);
      if (r == Default) SetActiveControl(b);
      x += kButtonWidth + kGap;
    }
    SetClientSize(width, y + kButtonHeight + kMargin);
  }
};

int TextBlockHeight(TLabel* Label) { return Label->Height(); }

}  // namespace

TModalResult ShowMessageForm(const TDialogRequest& Request) {
  TPromptForm form(Application);
  form.SetCaption(Request.Caption);
  auto* text = new TLabel(&form);
  text->SetShowAccelChar(false);
  text->SetCaption(Request.Text);
  text->SetLeft(kMargin);
  text->SetTop(kMargin);
  text->SetParent(&form);
  if (text->Width() > 400) {
    text->SetWordWrap(true);
    text->SetAutoSize(false);
    text->SetWidth(400);
    text->SetAutoSize(true);
  }
  form.AddButtons(Request.Buttons, Request.Default, Request.Cancel, text->Width(), kMargin + TextBlockHeight(text));
  const TModalResult r = form.ShowModal();
  for (TModalResult b : Request.Buttons)
    if (b == r) return r;
  // Closed by the window's close button.
  return Request.Cancel != mrNone ? Request.Cancel : Request.Default;
}

bool ShowLoginForm(const std::string& Title, std::string& UserName, std::string& Password, bool NameReadOnly) {
  TPromptForm form(Application);
  form.SetCaption("Database Login");
  auto* title = new TLabel(&form);
  title->SetCaption("Database: " + Title);
  title->SetBounds(kMargin, kMargin, 0, 0);
  title->SetParent(&form);
  auto* userLabel = new TLabel(&form);
  userLabel->SetCaption("&User Name:");
  userLabel->SetBounds(kMargin, 40, 0, 0);
  userLabel->SetParent(&form);
  auto* user = new TEdit(&form);
  user->SetBounds(100, 36, 160, 21);
  user->SetText(UserName);
  user->SetReadOnly(NameReadOnly);
  user->SetParent(&form);
  userLabel->SetFocusControl(user);
  auto* passLabel = new TLabel(&form);
  passLabel->SetCaption("&Password:");
  passLabel->SetBounds(kMargin, 68, 0, 0);
  passLabel->SetParent(&form);
  auto* pass = new TEdit(&form);
  pass->SetBounds(100, 64, 160, 21);
  pass->SetPasswordChar('*');
  pass->SetParent(&form);
  passLabel->SetFocusControl(pass);
  form.AddButtons({mrOk, mrCancel}, mrOk, mrCancel, 260 - kMargin, 85);
  form.SetActiveControl(NameReadOnly ? pass : user);
  if (form.ShowModal() != mrOk) return false;
  UserName = user->Text();
  Password = pass->Text();
  return true;
}

bool ShowSaveForm(TFileDialogRequest& Request) {
  TPromptForm form(Application);
  form.SetCaption(Request.Title);
  auto* label = new TLabel(&form);
  label->SetCaption("File &name:");
  label->SetBounds(kMargin, kMargin + 4, 0, 0);
  label->SetParent(&form);
  auto* name = new TEdit(&form);
  std::string initial = Request.FileName;
  if (!Request.InitialDir.empty() && !initial.empty() && ExtractFilePath(initial).empty())
    initial = IncludeTrailingPathDelimiter(Request.InitialDir) + initial;
  name->SetText(initial);
  name->SetBounds(80, kMargin, 300, 21);
  name->SetParent(&form);
  label->SetFocusControl(name);
  form.AddButtons({mrOk, mrCancel}, mrOk, mrCancel, 380 - kMargin, kMargin + 21);
  form.SetActiveControl(name);
  if (form.ShowModal() != mrOk || Trim(name->Text()).empty()) return false;
  Request.FileName = Trim(name->Text());
  return true;
}

}  // namespace vx::vcl
