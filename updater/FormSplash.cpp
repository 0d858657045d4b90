#include "updater/FormSplash.h"

#include "codecs/gif/GifImage.h"
#include "platform/rtl/classes.h"
#include "platform/rtl/sysutils.h"
#include "updater/AutoUpdaterUtils.h"

namespace {
// splash.gif reaches the GIF picture class through the picture registry only: the
// splash holds the codec's unit, which keeps the class registered.
struct TGifUnitUse {
  TGifUnitUse() { GIFImageInitialize(); }
  ~TGifUnitUse() { GIFImageFinalize(); }
} g_gifUnit;
}  // namespace

TSplash::TSplash(TComponent* AOwner) : TForm(AOwner) {
  BeginLoading();
  SetName("Splash");
  SetCaption("");
  SetBorderStyle(bsNone);
  SetFormStyle(fsStayOnTop);
  SetPosition(poScreenCenter);
  SetBounds(0, 0, 775, 513);
  imgSplash = new TImage(this);
  imgSplash->SetName("imgSplash");
  imgSplash->SetParent(this);
  OnCreate = TNotifyEvent(this, &TSplash::FormCreate);
  OnShow = TNotifyEvent(this, &TSplash::FormShow);
  EndLoading();
}

void TSplash::FormCreate(TObject*) { imgSplash->SetBounds(0, 0, imgSplash->Width(), imgSplash->Height()); }

void TSplash::FormShow(TObject*) {
  try {
    const std::string file = IncludeTrailingPathDelimiter(ImageFolder) + "splash.gif";
    if (!IsPlainFile(file)) throw EFOpenError("no picture file: " + file);
    imgSplash->Picture()->LoadFromFile(file);
    imgSplash->SetBounds(imgSplash->Left(), imgSplash->Top(), imgSplash->Picture()->Width(),
                         imgSplash->Picture()->Height());
    SetClientSize(imgSplash->Width(), imgSplash->Height());
  } catch (const std::exception&) {
    SetWidth(0);
    SetHeight(0);
  }
}
