// The predefined style sheets of the grids: a list of two banded-view style sheets,
// and the program-wide styles the grid adapter uses.
#pragma once

#include "platform/cx/cxgridbandedtableview.h"
#include "platform/cx/cxstyles.h"

class TStyleSheetList : public TComponent {
  VX_CLASS(TStyleSheetList, TComponent)

 public:
  explicit TStyleSheetList(TComponent* AOwner);
  ~TStyleSheetList() override;

  int Count() const { return int(sheets_.size()); }
  // The sheet at Index, or null outside 0 to Count - 1.
  TcxGridBandedTableViewStyleSheet* GetStyleSheet(int Index) const;
  TcxStyleRepository* StyleRepository() const { return repository_; }

 private:
  TcxStyleRepository* repository_;
  std::vector<TcxGridBandedTableViewStyleSheet*> sheets_;
};

// The unit's program-wide objects, made by its initialization and freed by its
// finalization: the list of sheets, the style of editable cells, and the style the
// adapter fills for each selected cell.
extern TStyleSheetList* StyleSheetList;
extern TcxStyle* EditableStyle;
extern TcxStyle* ColoredSelectionStyle;

namespace Grid5StyleSeets {
void Initialization();
void Finalization();
void Register();
}  // namespace Grid5StyleSeets
