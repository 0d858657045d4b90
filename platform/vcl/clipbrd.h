// The clipboard: text cut or copied in one control of the program and pasted into
// another. It belongs to the program; other programs neither see it nor fill it.
#pragma once

#include <string>

#include "platform/rtl/classes.h"

constexpr uint16_t CF_TEXT = 1;

class TClipboard : public TPersistent {
  VX_CLASS(TClipboard, TPersistent)

 public:
  std::string AsText() const;
  // Replaces what the clipboard holds.
  void SetAsText(const std::string& Value);
  bool HasFormat(uint16_t Format) const;
  void Clear();
};

// The program's clipboard; it lives until the program ends.
TClipboard* Clipboard();
