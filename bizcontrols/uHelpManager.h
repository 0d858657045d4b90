// The help editor of the help status bar: the lines of one help file in a grid of
// codes and texts, three fields to add or change a line, a button to delete a row and
// one to save the grid as the file. It edits the bar's own list of the file's lines,
// so what it saves is at once what the bar looks up. Modeless and on top of the
// program's windows; F2 applies, F5 saves, F6 deletes the focused row.
#pragma once

#include <string>

#include "platform/cx/cxbuttons.h"
#include "platform/cx/cxgrid.h"
#include "platform/cx/cxlabel.h"
#include "platform/cx/cxtextedit.h"
#include "platform/vcl/forms.h"

class TfHelpManager : public TForm {
  VX_CLASS(TfHelpManager, TForm)

 public:
  explicit TfHelpManager(TComponent* AOwner);

  TcxLabel* cxLabel1;
  TcxTextEdit* edt_HelpFileName;
  TcxLabel* cxLabel2;
  TcxTextEdit* edt_HelpCode;
  TcxLabel* cxLabel3;
  TcxTextEdit* edt_HelpText;
  TcxButton* btn_Set;
  TcxGrid* grd_Main;
  TcxGridLevel* grd_MainLevel1;
  TcxGridBandedTableView* grd_MainBandedTableView1;
  TcxGridBandedColumn* col_HelpCode;
  TcxGridBandedColumn* col_HelpText;
  TcxButton* btn_Save;
  TcxButton* btn_Del;

  // The values shown in the three fields (the file is named without folder and
  // extension).
  void SetHelpFileName(const std::string& Value);
  void SetHelpCode(const std::string& Value);
  void SetHelpText(const std::string& Value);
  // The lines edited and replaced by a save (not owned; dropped when the form closes).
  void SetHelpStringList(TStrings* Value) { helpList_ = Value; }
  TStrings* HelpStringList() const { return helpList_; }
  // The window told (message 9034) when the form closes.
  void SetParentHandle(HWND Value) { parentHandle_ = Value; }
  HWND ParentHandle() const { return parentHandle_; }

  // The first row whose code is Code, or -1.
  int FindHelpCode(const std::string& Code) const;
  // Appends a row for every line of the list that holds "|".
  void PrintHelpStringList();

  void FormCreate(TObject* /*Sender*/) {}
  void FormShow(TObject* Sender);
  void FormCloseQuery(TObject* Sender, bool& CanClose);
  void FormDestroy(TObject* Sender);
  void FormKeyDown(TObject* Sender, WORD& Key, TShiftState Shift);
  // Puts the code and text of the fields into the grid: into the code's row, or a new
  // one at the end.
  void btn_SetClick(TObject* Sender);
  // Makes the grid's rows the list's lines and writes them as the help file.
  void btn_SaveClick(TObject* Sender);
  // Deletes the focused row (the file changes with the next save).
  void btn_DelClick(TObject* Sender);

 private:
  // The cell being edited in place keeps what was typed into it.
  void PostEdit();
  // The form has closed: forget the list and tell the bar.
  void Detach();

  std::string helpFileName_, helpCode_, helpText_;
  HWND parentHandle_ = nullptr;
  TStrings* helpList_ = nullptr;
};

// The unit's form variable (the bar keeps its own reference to the form it opens).
extern TfHelpManager* fHelpManager;
