// The framework's clipboard object over the clipboard functions: text cut or copied in
// one control and pasted into another; pictures and graphics go on it in every form
// their class offers, and come back as the first form a registered graphic class reads.
#pragma once

#include <string>

#include "platform/vcl/graphics.h"

VX_EXCEPTION(EClipboardException, Exception)

class TClipboard : public TPersistent {
  VX_CLASS(TClipboard, TPersistent)

 public:
  // Nested opens are counted; the clipboard closes with the last Close. Raises
  // EClipboardException when another thread has it open.
  void Open();
  void Close();
  // Empties it (opening it for the call when it is not open).
  void Clear();
  bool HasFormat(uint16_t Format) const;
  // The data of a format, still owned by the clipboard.
  HANDLE GetAsHandle(uint16_t Format);
  // Puts data under a format; the clipboard owns it then.
  void SetAsHandle(uint16_t Format, HANDLE Value);

  // The text held (empty when there is none); setting it replaces the contents.
  std::string AsText();
  void SetAsText(const std::string& Value);

  // A picture or graphic replaces the contents: the graphic puts its forms.
  void Assign(TPersistent* Source) override;

 protected:
  // Into a picture: the first form on the clipboard that a graphic class reads.
  void AssignTo(TPersistent* Dest) override;

 private:
  void AssignGraphic(TGraphic* Graphic);
  int openCount_ = 0;
};

// The process's clipboard object.
TClipboard* Clipboard();
