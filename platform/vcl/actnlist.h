// Actions: commands with a caption, checked and enabled state that controls link to.
// A link follows its action's changes into its client control and runs the action
// when the control is clicked.
#pragma once

#include <string>
#include <vector>

#include "platform/rtl/classes.h"
#include "platform/rtl/events.h"

class TBasicActionLink;

class TBasicAction : public TComponent {
  VX_CLASS(TBasicAction, TComponent)

 public:
  explicit TBasicAction(TComponent* AOwner) : TComponent(AOwner) {}
  // Lets go of its links (their action becomes null).
  ~TBasicAction() override;
  // Runs OnExecute; true when there is one.
  virtual bool Execute();
  // Runs OnUpdate; true when there is one.
  virtual bool Update();
  void RegisterChanges(TBasicActionLink* Value);
  void UnRegisterChanges(TBasicActionLink* Value);
  int ClientCount() const { return int(clients_.size()); }

  TNotifyEvent OnExecute;
  TNotifyEvent OnUpdate;
  TNotifyEvent OnChange;

 protected:
  // Tells every link.
  virtual void Change();
  std::vector<TBasicActionLink*> clients_;
};

// The tie between a client (a control) and an action. Link classes are made through
// their class reference (a default constructor), then attached to their client.
class TBasicActionLink : public TObject {
  VX_CLASS(TBasicActionLink, TObject)

 public:
  TBasicActionLink() = default;
  ~TBasicActionLink() override;
  TBasicActionLink(const TBasicActionLink&) = delete;
  TBasicActionLink& operator=(const TBasicActionLink&) = delete;

  // Binds the link to its client (the framework does it in the constructor).
  void Attach(TObject* AClient) { AssignClient(AClient); }
  TBasicAction* Action() const { return action_; }
  virtual void SetAction(TBasicAction* Value);
  // Runs the action; false without one.
  virtual bool Execute(TComponent* Target = nullptr);
  virtual bool Update();
  TNotifyEvent OnChange;

 protected:
  friend class TBasicAction;
  virtual void AssignClient(TObject* /*AClient*/) {}
  virtual void Change() { OnChange(action_); }
  virtual bool IsOnExecuteLinked() { return true; }
  virtual void SetOnExecute(TNotifyEvent /*Value*/) {}

  TBasicAction* action_ = nullptr;
};

class TContainedAction : public TBasicAction {
  VX_CLASS(TContainedAction, TBasicAction)

 public:
  explicit TContainedAction(TComponent* AOwner) : TBasicAction(AOwner) {}
  const std::string& Category() const { return category_; }
  void SetCategory(const std::string& Value) { category_ = Value; }

 private:
  std::string category_;
};

class TActionLink;

// An action with the properties that controls show.
class TCustomAction : public TContainedAction {
  VX_CLASS(TCustomAction, TContainedAction)

 public:
  explicit TCustomAction(TComponent* AOwner) : TContainedAction(AOwner) {}
  // With AutoCheck, executing toggles Checked first.
  bool Execute() override;

  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& Value);
  bool Checked() const { return checked_; }
  void SetChecked(bool Value);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool Value);
  bool Visible() const { return visible_; }
  void SetVisible(bool Value);
  const std::string& Hint() const { return hint_; }
  void SetHint(const std::string& Value);
  bool AutoCheck() const { return autoCheck_; }
  void SetAutoCheck(bool Value) { autoCheck_ = Value; }
  int GroupIndex() const { return groupIndex_; }
  void SetGroupIndex(int Value) { groupIndex_ = Value; }
  int ImageIndex() const { return imageIndex_; }
  void SetImageIndex(int Value) { imageIndex_ = Value; }
  WORD ShortCut() const { return shortCut_; }
  void SetShortCut(WORD Value) { shortCut_ = Value; }

 private:
  template <class F>
  void EachLink(F f);
  std::string caption_, hint_;
  bool checked_ = false, enabled_ = true, visible_ = true, autoCheck_ = false;
  int groupIndex_ = 0, imageIndex_ = -1;
  WORD shortCut_ = 0;
};

class TAction : public TCustomAction {
  VX_CLASS(TAction, TCustomAction)

 public:
  explicit TAction(TComponent* AOwner) : TCustomAction(AOwner) {}
  ~TAction() override;
};

// A link whose client shows a custom action's properties. Each "linked" test says
// whether the client follows that property (the base: the action is a custom action);
// the setters change the client when it does.
class TActionLink : public TBasicActionLink {
  VX_CLASS(TActionLink, TBasicActionLink)

 public:
  virtual bool IsCaptionLinked();
  virtual bool IsCheckedLinked();
  virtual bool IsEnabledLinked();
  virtual bool IsHintLinked();
  virtual bool IsVisibleLinked();
  virtual void SetCaption(const std::string& /*Value*/) {}
  virtual void SetChecked(bool /*Value*/) {}
  virtual void SetEnabled(bool /*Value*/) {}
  virtual void SetHint(const std::string& /*Value*/) {}
  virtual void SetVisible(bool /*Value*/) {}
};
