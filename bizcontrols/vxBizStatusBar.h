// The help status bar: a strip at the bottom of a business form with a one-line help
// text for the control that has the focus. The program hands the screen's
// active-control change to OnActiveControlChange; the bar derives a help code from the
// focused control (its name, its frame's and its name, or the grid view and column of
// an in-place grid editor) and shows the code's text: a run-time text first, else the
// text of the help file.
//
// Help files are "<program folder>/Help/<HelpFileName>.wxt": one "CODE|text" line per
// help text, in code page 949, lines ending in CR LF. The code is the field before the
// line's first "|" and is upper case; the text is the rest of the line.
#pragma once

#include <memory>
#include <string>

#include "bizcontrols/vxBizBar.h"
#include "platform/cx/cxlabel.h"
#include "platform/vcl/extctrls.h"

// Posted to the bar's window when its help editor closes.
constexpr UINT WM_HELPMANAGER_CLOSED = 9034;

class TEncoding;
class TfHelpManager;

class TvxBizStatusBar : public TvxCustomBizBar {
  VX_CLASS(TvxBizStatusBar, TvxCustomBizBar)

 public:
  explicit TvxBizStatusBar(TComponent* AOwner);
  ~TvxBizStatusBar() override;

  // The handler for the screen's OnActiveControlChange.
  void OnActiveControlChange(TObject* Sender);

  // Clears the file's texts and reads "<program folder>/Help/<Value>.wxt" when it
  // exists (making the Help folder when it does not). The shown text stays.
  const std::string& HelpFileName() const { return helpFileName_; }
  void SetHelpFileName(const std::string& Value);
  // Shows the text of the code (upper-cased); nothing is looked up, and the text is
  // empty, while HelpFileName is empty.
  const std::string& HelpCode() const { return helpCode_; }
  void SetHelpCode(const std::string& Value);
  // Shows a text of no code.
  const std::string& HelpText() const { return helpText_; }
  void SetHelpText(const std::string& Value);

  // Gives the code a text for the life of the bar, in place of the file's (never
  // written to a file); a blank text takes the code's run-time text away.
  void SetTempHelpText(const std::string& Code, const std::string& Text);
  // The code's run-time text, else its text in the file, else "".
  std::string GetHelpStingListText(const std::string& Code) const;

  // The help codes of a control: its name; its frame's name and its name; the name of
  // the grid view of its grid site and of the view's focused column. Upper case.
  static std::string GetFormControlName(TWinControl* Control);
  static std::string GetFormControlName_Frame(TWinControl* Control);
  static std::string GetFormControlName_Grid(TWinControl* Control);

  // The lines of the help file as read (the help editor edits and saves them).
  TStringList* HelpStringList() const { return fileList_.get(); }
  // The password prompt was passed (once for the bar's life).
  bool LoggedIn() const { return loggedIn_; }
  // The help editor open now, or null.
  TfHelpManager* HelpManager() const { return helpManager_; }
  // The folder of help files: the program's folder and "Help/".
  static std::string HelpFolder();
  // The help file of a name (HelpFolder, the name, ".wxt"), and the code page of its
  // bytes.
  static std::string HelpFilePath(const std::string& Name) { return HelpFolder() + Name + ".wxt"; }
  static TEncoding* HelpFileEncoding();

  TShape* ShapeLine() const { return shapeLine_; }
  TImage* ImagePre() const { return imagePre_; }
  TcxLabel* Edit() const { return edit_; }

 protected:
  void MakeShapeLine();
  void MakeImagePre();
  void MakeEdit();
  // A shape over the whole bar in its colours (the bar itself does not use it).
  TShape* MakeShape();
  // The icon's double click: the help editor, after the password prompt the first
  // time.
  void FImagePreDblClick(TObject* Sender);
  void EditResize(TObject* Sender);

  VX_MESSAGE_MAP(TvxBizStatusBar, TvxCustomBizBar)
  VX_MESSAGE_HANDLER(WM_HELPMANAGER_CLOSED, CloseHelpManager)
  VX_END_MESSAGE_MAP

  void CloseHelpManager(TMessage& Message);

 private:
  void ShowText();

  TShape* shapeLine_ = nullptr;
  TImage* imagePre_ = nullptr;
  TcxLabel* edit_ = nullptr;
  std::string helpFileName_, helpCode_, helpText_;
  std::unique_ptr<TStringList> fileList_;
  std::unique_ptr<TStringList> tempList_;
  bool loggedIn_ = false;
  TfHelpManager* helpManager_ = nullptr;
};

namespace vxBizStatusBar {

// Puts TvxBizStatusBar on the palette page "Vextra".
void Register();

}  // namespace vxBizStatusBar
