#include "platform/vcl/actnlist.h"

#include <algorithm>

// ---- TBasicAction ----

TBasicAction::~TBasicAction() {
  Destroying();
  while (!clients_.empty()) {
    TBasicActionLink* link = clients_.back();
    clients_.pop_back();
    link->action_ = nullptr;
  }
}

bool TBasicAction::Execute() {
  if (!OnExecute) return false;
  OnExecute(this);
  return true;
}

bool TBasicAction::Update() {
  if (!OnUpdate) return false;
  OnUpdate(this);
  return true;
}

void TBasicAction::RegisterChanges(TBasicActionLink* Value) {
  if (std::find(clients_.begin(), clients_.end(), Value) == clients_.end()) clients_.push_back(Value);
}

void TBasicAction::UnRegisterChanges(TBasicActionLink* Value) {
  clients_.erase(std::remove(clients_.begin(), clients_.end(), Value), clients_.end());
}

void TBasicAction::Change() {
  OnChange(this);
  for (TBasicActionLink* link : std::vector<TBasicActionLink*>(clients_)) link->Change();
}

// ---- TBasicActionLink ----

TBasicActionLink::~TBasicActionLink() {
  if (action_) action_->UnRegisterChanges(this);
}

void TBasicActionLink::SetAction(TBasicAction* Value) {
  if (action_ == Value) return;
  if (action_) action_->UnRegisterChanges(this);
  action_ = Value;
  if (action_) action_->RegisterChanges(this);
}

bool TBasicActionLink::Execute(TComponent*) { return action_ && action_->Execute(); }

bool TBasicActionLink::Update() { return action_ && action_->Update(); }

// ---- TCustomAction ----

template <class F>
void TCustomAction::EachLink(F f) {
  for (TBasicActionLink* link : std::vector<TBasicActionLink*>(clients_))
    if (auto* l = As<TActionLink>(link)) f(l);
}

TAction::~TAction() = default;

bool TCustomAction::Execute() {
  if (autoCheck_) SetChecked(!checked_);
  return TContainedAction::Execute();
}

void TCustomAction::SetCaption(const std::string& Value) {
  if (caption_ == Value) return;
  EachLink([&](TActionLink* l) { l->SetCaption(Value); });
  caption_ = Value;
  Change();
}

void TCustomAction::SetChecked(bool Value) {
  if (checked_ == Value) return;
  EachLink([&](TActionLink* l) { l->SetChecked(Value); });
  checked_ = Value;
  Change();
}

void TCustomAction::SetEnabled(bool Value) {
  if (enabled_ == Value) return;
  EachLink([&](TActionLink* l) { l->SetEnabled(Value); });
  enabled_ = Value;
  Change();
}

void TCustomAction::SetVisible(bool Value) {
  if (visible_ == Value) return;
  EachLink([&](TActionLink* l) { l->SetVisible(Value); });
  visible_ = Value;
  Change();
}

void TCustomAction::SetHint(const std::string& Value) {
  if (hint_ == Value) return;
  EachLink([&](TActionLink* l) { l->SetHint(Value); });
  hint_ = Value;
  Change();
}

// ---- TActionLink ----

bool TActionLink::IsCaptionLinked() { return ::Is<TCustomAction>(action_); }
bool TActionLink::IsCheckedLinked() { return ::Is<TCustomAction>(action_); }
bool TActionLink::IsEnabledLinked() { return ::Is<TCustomAction>(action_); }
bool TActionLink::IsHintLinked() { return ::Is<TCustomAction>(action_); }
bool TActionLink::IsVisibleLinked() { return ::Is<TCustomAction>(action_); }
