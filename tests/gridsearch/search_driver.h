// Works the search dialog of a grid's adapter as a person would: Ctrl+F on the grid's
// form, the column chosen with the keys, the options clicked, the text typed, Enter.
#pragma once

#include <string>

#include "gridsearch/Grid5Adapter.h"
#include "gridsearch/uGrid5SearchOption.h"
#include "tests/platform/cx/grid_fixture.h"

class TSearchDriver {
 public:
  TSearchDriver(THeadlessGui& Gui, TGridForm& Grid) : gui_(Gui), grid_(Grid) {}

  // The grid's form hands its keys to the adapter first, as a client program does.
  void Attach(TGrid5Adapter* Adapter) {
    adapter_ = Adapter;
    grid_.form->SetKeyPreview(true);
    grid_.form->OnKeyDown = TKeyEvent(this, &TSearchDriver::FormKeyDown);
  }

  // One search: the column (-1: all), the text, the direction ("down", "up", "whole")
  // and the options; what the dialog said, or "found <record>".
  std::string Search(int Column, const std::string& Text, const std::string& Direction, bool CaseSense, bool BlankNot,
                     bool InlineText) {
    TfGrid5SearchOption* d = Dialog();
    if (!d) return "no dialog";
    ChooseColumn(d, Column);
    if (!d->SubOptionShown()) THeadlessGui::Click(d->btn_SubOptionOpen);
    THeadlessGui::Click(Direction == "down" ? d->rb_To_Down : Direction == "up" ? d->rb_To_Up : d->rb_Repeat);
    for (auto [box, on] : {std::pair{d->chk_CaseSense, CaseSense}, {d->chk_BlankNot, BlankNot}, {d->chk_InlineText, InlineText}})
      if (box->Checked() != on) THeadlessGui::Click(box);
    // The old text selected and typed over.
    THeadlessGui::Click(d->edt_Search_Text);
    THeadlessGui::Key(VK_HOME);
    THeadlessGui::Key(VK_END, {ssShift});
    THeadlessGui::Key(VK_DELETE);
    if (!Text.empty()) vx::display::InjectText(d, Text);
    const size_t boxes = gui_.Boxes().size();
    THeadlessGui::Key(VK_RETURN);
    if (gui_.Boxes().size() > boxes) return gui_.Boxes().back().Text;
    return "found " + std::to_string(grid_.view->DataController()->FocusedRecordIndex());
  }

  // The dialog open now, opened by Ctrl+F when there is none.
  TfGrid5SearchOption* Dialog() {
    if (!adapter_->SearchDialog()) {
      grid_.form->SetFocus();
      grid_.Key('F', {ssCtrl});
    }
    return adapter_->SearchDialog();
  }

 private:
  void FormKeyDown(TObject* Sender, WORD& Key, TShiftState Shift) {
    if (adapter_ && adapter_->FunctionKeyCheck(Sender, Key, Shift)) Key = 0;
  }
  // Up to the first item ("all columns"), then down to the column's.
  void ChooseColumn(TfGrid5SearchOption* D, int Column) {
    auto* items = D->cb_Search_Col->Properties()->Items();
    const int target = Column < 0 ? 0 : D->cb_Search_Col->Properties()->IndexOfValue(Variant(std::to_string(Column)));
    THeadlessGui::Click(D->cb_Search_Col);  // drops the list down
    THeadlessGui::Key(VK_ESCAPE);           // and closes it
    for (int i = 0; i < items->Count() && D->cb_Search_Col->ItemIndex() > 0; ++i) THeadlessGui::Key(VK_UP);
    for (int i = 0; i < target; ++i) THeadlessGui::Key(VK_DOWN);
  }

  THeadlessGui& gui_;
  TGridForm& grid_;
  TGrid5Adapter* adapter_ = nullptr;
};
