// The currency editor of the third-party editor set: a text editor for an amount. The
// user types a plain number (digits, a decimal point, a leading minus; thousands
// separators are passed over); away from the focus the amount is shown in the display
// format.
#pragma once

#include <string>

#include "platform/cx/cxtextedit.h"

class TcxCurrencyEditProperties : public TcxCustomTextEditProperties {
  VX_CLASS(TcxCurrencyEditProperties, TcxCustomTextEditProperties)

 public:
  // Amounts are right-aligned.
  TcxCurrencyEditProperties();
  void Assign(TPersistent* Source) override;

  // The decimals an amount keeps (0 to 8); the user may type no more than these.
  int DecimalPlaces() const { return decimalPlaces_; }
  void SetDecimalPlaces(int Value);
  // The picture of FormatFloat an amount is shown in; empty: thousands separators and
  // DecimalPlaces decimals.
  const std::string& DisplayFormat() const { return displayFormat_; }
  void SetDisplayFormat(const std::string& Value);
  // Leaving the editor brings the amount into this range, unless both are 0.
  double MinValue() const { return minValue_; }
  void SetMinValue(double Value);
  double MaxValue() const { return maxValue_; }
  void SetMaxValue(double Value);

  // The amount as shown away from the focus, and as edited.
  std::string DisplayText(double Value) const;
  std::string EditText(double Value) const;
  // Whether the user may leave this text in the editor while typing.
  bool IsEditText(const std::string& Text) const;
  // The amount of a text (thousands separators allowed; empty is 0); false for text
  // that is no number.
  bool TryTextToValue(const std::string& Text, double& Value) const;
  // The amount rounded to the decimals and brought into the range.
  double Normalize(double Value) const;

 private:
  int decimalPlaces_ = 2;
  std::string displayFormat_;
  double minValue_ = 0;
  double maxValue_ = 0;
};

class TcxCurrencyEdit : public TcxCustomTextEdit {
  VX_CLASS(TcxCurrencyEdit, TcxCustomTextEdit)

 public:
  explicit TcxCurrencyEdit(TComponent* AOwner);
  TcxCurrencyEditProperties* Properties() const {
    return static_cast<TcxCurrencyEditProperties*>(TcxCustomEdit::Properties());
  }

  // The amount; while the user types it follows the text.
  double Value() const { return value_; }
  void SetValue(double Value);
  // A text that is a number sets the amount; other text leaves it as it is.
  void SetText(const std::string& Value) override;
  void Clear() override { SetValue(0); }

 protected:
  bool IsValidEditText(const std::string& NewText) override;
  void InnerTextChanged() override;
  void PropertiesChanged() override;
  void DoEnter() override;
  void DoExit() override;
  void KeyDown(WORD& Key, TShiftState Shift) override;

 private:
  // Shows the amount as the focus state wants it, without a change event.
  void ShowValue();

  double value_ = 0;
  bool formatting_ = false;
};
