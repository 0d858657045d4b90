// The frame controller and the settings-store component.
#include <algorithm>

#include "platform/rtl/typinfo.h"
#include "widgets/RzCommon.h"

namespace {

enum TPushIndex {
  piAll,
  piColor,
  piFocusColor,
  piDisabledColor,
  piParentColor,
  piFlatButtonColor,
  piFlatButtons,
  piFrameColor,
  piFrameHotColor,
  piFrameHotTrack,
  piFrameHotStyle,
  piFrameSides,
  piFrameStyle,
  piFrameVisible,
  piFramingPreference
};

// Sets the published property when the control has one of that name.
void SetIfPublished(TControl* Control, const char* Name, const TPropValue& Value) {
  if (IsPublishedProp(Control, Name)) SetPropValue(Control, Name, Value);
}

}  // namespace

TRzFrameController::TRzFrameController(TComponent* AOwner) : TComponent(AOwner) {}

// The registered controls hear of the controller's end through their free notification.
TRzFrameController::~TRzFrameController() = default;

void TRzFrameController::AddControl(TControl* Control) {
  if (!Control) return;
  if (!controls_) controls_ = std::make_unique<std::vector<TControl*>>();
  if (std::find(controls_->begin(), controls_->end(), Control) != controls_->end()) return;
  controls_->push_back(Control);
  // A registered control that goes away is dropped from the list.
  Control->FreeNotification(this);
  ApplyToControl(Control, piAll);
}

void TRzFrameController::RemoveControl(TControl* Control) {
  if (!controls_) return;
  auto it = std::find(controls_->begin(), controls_->end(), Control);
  if (it == controls_->end()) return;
  controls_->erase(it);
  Control->RemoveFreeNotification(this);
  if (controls_->empty()) controls_.reset();
}

void TRzFrameController::Link(TRzFrameController*& Slot, TRzFrameController* Value, TControl* Control) {
  if (Slot == Value) return;
  if (Slot) Slot->RemoveControl(Control);
  Slot = Value;
  if (Value) {
    Value->AddControl(Control);
    Value->FreeNotification(Control);
  }
}

void TRzFrameController::EndUpdate() {
  if (--updateCount_ <= 0) {
    updateCount_ = 0;
    PushToControls(piAll);
  }
}

void TRzFrameController::PushToControls(int Index) {
  if (updateCount_ > 0 || !controls_) return;
  // A control may unregister while it takes the settings.
  const std::vector<TControl*> list = *controls_;
  for (TControl* c : list)
    if (controls_ && std::find(controls_->begin(), controls_->end(), c) != controls_->end()) ApplyToControl(c, Index);
}

void TRzFrameController::ApplyToControl(TControl* Control, int Index) {
  if (!::Is<TControl>(Control)) return;
  if (auto* client = dynamic_cast<IFrameControllerClient*>(Control)) {
    client->FrameControllerChanged();
    return;
  }
  auto ord = [](int64_t v) { return TPropValue(v); };
  const bool all = Index == piAll;
  if (all || Index == piParentColor) SetIfPublished(Control, "ParentColor", ord(parentColor_));
  if ((all && !parentColor_) || Index == piColor) SetIfPublished(Control, "Color", ord(color_));
  if (all || Index == piDisabledColor) SetIfPublished(Control, "DisabledColor", ord(disabledColor_));
  if (all || Index == piFocusColor) SetIfPublished(Control, "FocusColor", ord(focusColor_));
  if (all || Index == piFlatButtonColor) SetIfPublished(Control, "FlatButtonColor", ord(flatButtonColor_));
  if (all || Index == piFlatButtons) SetIfPublished(Control, "FlatButtons", ord(flatButtons_));
  if (all || Index == piFrameColor) SetIfPublished(Control, "FrameColor", ord(frameColor_));
  if (all || Index == piFrameHotColor) SetIfPublished(Control, "FrameHotColor", ord(frameHotColor_));
  if (all || Index == piFrameHotTrack) SetIfPublished(Control, "FrameHotTrack", ord(frameHotTrack_));
  if (all || Index == piFrameHotStyle) SetIfPublished(Control, "FrameHotStyle", ord(frameHotStyle_));
  if (all || Index == piFrameSides) SetIfPublished(Control, "FrameSides", TPropValue(SidesToString(frameSides_)));
  if (all || Index == piFrameStyle) SetIfPublished(Control, "FrameStyle", ord(frameStyle_));
  if (all || Index == piFrameVisible) SetIfPublished(Control, "FrameVisible", ord(frameVisible_));
  if (all || Index == piFramingPreference) SetIfPublished(Control, "FramingPreference", ord(framingPreference_));
}

void TRzFrameController::Assign(TPersistent* Source) {
  auto* src = ::As<TRzFrameController>(Source);
  if (!src) {
    TComponent::Assign(Source);
    return;
  }
  BeginUpdate();
  try {
    SetColor(src->color_);
    SetParentColor(src->parentColor_);
    SetFlatButtonColor(src->flatButtonColor_);
    SetFlatButtons(src->flatButtons_);
    SetDisabledColor(src->disabledColor_);
    SetFocusColor(src->focusColor_);
    SetFrameColor(src->frameColor_);
    SetFrameHotColor(src->frameHotColor_);
    SetFrameHotTrack(src->frameHotTrack_);
    SetFrameHotStyle(src->frameHotStyle_);
    SetFrameSides(src->frameSides_);
    SetFrameStyle(src->frameStyle_);
    SetFrameVisible(src->frameVisible_);
    SetFramingPreference(src->framingPreference_);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TRzFrameController::SetColor(TColor Value) {
  if (color_ == Value) return;
  if (focusColor_ == color_) focusColor_ = Value;
  color_ = Value;
  parentColor_ = false;
  PushToControls(piColor);
}

void TRzFrameController::SetParentColor(bool Value) {
  if (parentColor_ == Value) return;
  parentColor_ = Value;
  PushToControls(piParentColor);
  if (!Value) PushToControls(piColor);
}

void TRzFrameController::SetFlatButtonColor(TColor Value) {
  SetAndNotify(flatButtonColor_, Value, [this] { PushToControls(piFlatButtonColor); });
}
void TRzFrameController::SetFlatButtons(bool Value) {
  SetAndNotify(flatButtons_, Value, [this] { PushToControls(piFlatButtons); });
}
void TRzFrameController::SetDisabledColor(TColor Value) {
  SetAndNotify(disabledColor_, Value, [this] { PushToControls(piDisabledColor); });
}
void TRzFrameController::SetFocusColor(TColor Value) {
  SetAndNotify(focusColor_, Value, [this] { PushToControls(piFocusColor); });
}
void TRzFrameController::SetFrameColor(TColor Value) {
  SetAndNotify(frameColor_, Value, [this] { PushToControls(piFrameColor); });
}
void TRzFrameController::SetFrameHotColor(TColor Value) {
  SetAndNotify(frameHotColor_, Value, [this] { PushToControls(piFrameHotColor); });
}
void TRzFrameController::SetFrameHotStyle(TFrameStyle Value) {
  SetAndNotify(frameHotStyle_, Value, [this] { PushToControls(piFrameHotStyle); });
}
void TRzFrameController::SetFrameSides(TSides Value) {
  SetAndNotify(frameSides_, Value, [this] { PushToControls(piFrameSides); });
}
void TRzFrameController::SetFrameStyle(TFrameStyle Value) {
  SetAndNotify(frameStyle_, Value, [this] { PushToControls(piFrameStyle); });
}
void TRzFrameController::SetFrameVisible(bool Value) {
  SetAndNotify(frameVisible_, Value, [this] { PushToControls(piFrameVisible); });
}
void TRzFrameController::SetFramingPreference(TFramingPreference Value) {
  SetAndNotify(framingPreference_, Value, [this] { PushToControls(piFramingPreference); });
}

void TRzFrameController::SetFrameHotTrack(bool Value) {
  if (frameHotTrack_ == Value) return;
  frameHotTrack_ = Value;
  if (Value) {
    SetFrameVisible(true);
    if (!ComponentState().Contains(csLoading)) SetFrameSides(sdAllSides);
  }
  PushToControls(piFrameHotTrack);
}

void TRzFrameController::SetRegIniFile(TRzRegIniFile* Value) {
  if (regIniFile_ == Value) return;
  if (regIniFile_) regIniFile_->RemoveFreeNotification(this);
  regIniFile_ = Value;
  if (Value) Value->FreeNotification(this);
}

void TRzFrameController::Loaded() {
  TComponent::Loaded();
  PushToControls(piAll);
}

void TRzFrameController::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation != TOperation::opRemove) return;
  if (AComponent == regIniFile_) regIniFile_ = nullptr;
  if (controls_) {
    auto it = std::find(controls_->begin(), controls_->end(), AComponent);
    if (it != controls_->end()) {
      controls_->erase(it);
      if (controls_->empty()) controls_.reset();
    }
  }
}

void TRzFrameController::ReadOldFrameFlat(bool Value) {
  SetFrameHotTrack(Value);
  if (Value) {
    SetFrameStyle(fsStatus);
    SetFrameHotStyle(fsLowered);
  }
}

void TRzFrameController::ReadOldFrameFocusStyle(const std::string& Ident) {
  SetFrameHotStyle(StringToFrameStyle(Ident));
}

void TRzFrameController::ReadOldFrameFlatStyle(const std::string& Ident) {
  TRzOldPropReader reader;
  reader.ReadOldIdentProp(Ident);
}

// ---- TRzRegIniFile ----

TRzRegIniFile::TRzRegIniFile(TComponent* AOwner) : TComponent(AOwner) {}
TRzRegIniFile::~TRzRegIniFile() = default;

void TRzRegIniFile::SetPath(const std::string& Value) { SetAndNotify(path_, Value, [this] { refresh_ = true; }); }

void TRzRegIniFile::SetPathType(TRzPathType Value) { SetAndNotify(pathType_, Value, [this] { refresh_ = true; }); }

void TRzRegIniFile::SetRegKey(TRzRegKey Value) { SetAndNotify(regKey_, Value, [this] { refresh_ = true; }); }

void TRzRegIniFile::SetRegAccess(TRzRegAccess Value) { SetAndNotify(regAccess_, Value, [this] { refresh_ = true; }); }
