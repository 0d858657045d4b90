#include "bizcontrols/vxBizBar.h"

#include <memory>

#include "platform/vcl/imglist.h"

TvxCustomBizBar::~TvxCustomBizBar() {
  Destroying();
  SetFocusControl(nullptr);
}

void TvxCustomBizBar::SetTransparent(bool Value) {
  if (Transparent() == Value) return;
  SetControlStyle(Value ? ControlStyle() - TControlStyle{csOpaque} : ControlStyle() + TControlStyle{csOpaque});
  Invalidate();
}

void TvxCustomBizBar::SetFocusControl(TWinControl* Value) {
  if (focusControl_ == Value) return;
  if (focusControl_) focusControl_->RemoveFreeNotification(this);
  focusControl_ = Value;
  if (focusControl_) focusControl_->FreeNotification(this);
}

void TvxCustomBizBar::Notification(TComponent* AComponent, TOperation Operation) {
  TWinControl::Notification(AComponent, Operation);
  if (Operation == TOperation::opRemove && AComponent == focusControl_) focusControl_ = nullptr;
}

bool TvxCustomBizBar::LoadResourceBMP(HINSTANCE Instance, const std::string& ResName, TPersistent* Target) {
  try {
    TResourceStream resource(Instance, ResName, "BMP");
    auto bitmap = std::make_unique<TBitmap>();
    bitmap->LoadFromStream(&resource);
    if (auto* picture = As<TPicture>(Target)) {
      picture->Assign(bitmap.get());
    } else if (auto* target = As<TBitmap>(Target)) {
      target->Assign(bitmap.get());
    } else if (auto* list = As<TCustomImageList>(Target)) {
      list->Add(bitmap.get(), nullptr);
    } else {
      return false;
    }
    return true;
  } catch (const std::exception&) {
    return false;
  }
}
