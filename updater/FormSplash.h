// The borderless picture window shown while a client program starts.
#pragma once

#include <string>

#include "platform/vcl/extctrls.h"
#include "platform/vcl/forms.h"

class TSplash : public TForm {
  VX_CLASS(TSplash, TForm)

 public:
  explicit TSplash(TComponent* AOwner);

  TImage* imgSplash;
  // The folder that holds splash.gif.
  std::string ImageFolder;

  void FormCreate(TObject* Sender);
  // Shows splash.gif at its own size; without a readable picture the window has no size.
  void FormShow(TObject* Sender);
};
