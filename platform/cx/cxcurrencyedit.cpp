#include "platform/cx/cxcurrencyedit.h"

#include <algorithm>
#include <cmath>

#include "platform/rtl/sysutils.h"

// ---- TcxCurrencyEditProperties ----

TcxCurrencyEditProperties::TcxCurrencyEditProperties() { Alignment()->SetHorz(taRightJustify); }

void TcxCurrencyEditProperties::Assign(TPersistent* Source) {
  if (auto* p = As<TcxCurrencyEditProperties>(Source)) {
    decimalPlaces_ = p->decimalPlaces_;
    displayFormat_ = p->displayFormat_;
    minValue_ = p->minValue_;
    maxValue_ = p->maxValue_;
  }
  TcxCustomTextEditProperties::Assign(Source);
}

void TcxCurrencyEditProperties::SetDecimalPlaces(int Value) {
  Value = std::clamp(Value, 0, 8);
  SetAndNotify(decimalPlaces_, Value, [this] { Changed(); });
}

void TcxCurrencyEditProperties::SetDisplayFormat(const std::string& Value) {
  SetAndNotify(displayFormat_, Value, [this] { Changed(); });
}

void TcxCurrencyEditProperties::SetMinValue(double Value) {
  SetAndNotify(minValue_, Value, [this] { Changed(); });
}

void TcxCurrencyEditProperties::SetMaxValue(double Value) {
  SetAndNotify(maxValue_, Value, [this] { Changed(); });
}

std::string TcxCurrencyEditProperties::DisplayText(double Value) const {
  if (!displayFormat_.empty()) return FormatFloat(displayFormat_, Value);
  std::string picture = "#,##0";
  if (decimalPlaces_ > 0) picture += "." + std::string(size_t(decimalPlaces_), '0');
  return FormatFloat(picture, Value);
}

std::string TcxCurrencyEditProperties::EditText(double Value) const {
  std::string picture = "0";
  if (decimalPlaces_ > 0) picture += "." + std::string(size_t(decimalPlaces_), '#');
  return FormatFloat(picture, Value);
}

bool TcxCurrencyEditProperties::IsEditText(const std::string& Text) const {
  size_t i = 0;
  if (i < Text.size() && Text[i] == '-') ++i;
  while (i < Text.size() && (std::isdigit(static_cast<unsigned char>(Text[i])) || Text[i] == ',')) ++i;
  if (i < Text.size() && Text[i] == '.') {
    if (decimalPlaces_ == 0) return false;
    const size_t point = i++;
    while (i < Text.size() && std::isdigit(static_cast<unsigned char>(Text[i]))) ++i;
    if (i - point - 1 > size_t(decimalPlaces_)) return false;
  }
  return i == Text.size();
}

bool TcxCurrencyEditProperties::TryTextToValue(const std::string& Text, double& Value) const {
  std::string plain;
  for (char c : Trim(Text))
    if (c != ',') plain += c;
  if (plain.empty() || plain == "-" || plain == "." || plain == "-.") {
    Value = 0;
    return true;
  }
  return TryStrToFloat(plain, Value) && std::isfinite(Value);
}

double TcxCurrencyEditProperties::Normalize(double Value) const {
  const double scale = std::pow(10.0, decimalPlaces_);
  // Rounded half away from zero, as amounts are.
  Value = std::round(Value * scale) / scale;
  if (minValue_ != 0 || maxValue_ != 0) Value = std::clamp(Value, minValue_, std::max(minValue_, maxValue_));
  return Value == 0 ? 0 : Value;  // no "-0"
}

// ---- TcxCurrencyEdit ----

TcxCurrencyEdit::TcxCurrencyEdit(TComponent* AOwner)
    : TcxCustomTextEdit(AOwner, std::make_unique<TcxCurrencyEditProperties>()) {
  PropertiesChanged();
  ShowValue();
}

void TcxCurrencyEdit::ShowValue() {
  formatting_ = true;
  try {
    SetEditText(Focused() ? Properties()->EditText(value_) : Properties()->DisplayText(value_));
  } catch (...) {
    formatting_ = false;
    throw;
  }
  formatting_ = false;
}

void TcxCurrencyEdit::SetValue(double Value) {
  Value = Properties()->Normalize(Value);
  const bool changed = Value != value_;
  value_ = Value;
  ShowValue();
  if (changed) Properties()->OnChange(this);
}

void TcxCurrencyEdit::SetText(const std::string& Value) {
  double v;
  if (Properties()->TryTextToValue(Value, v)) SetValue(v);
}

bool TcxCurrencyEdit::IsValidEditText(const std::string& NewText) { return Properties()->IsEditText(NewText); }

void TcxCurrencyEdit::InnerTextChanged() {
  if (formatting_) {
    // Only the way the amount is shown changed.
    TcxCustomEdit::SetText(InnerEdit()->Text());
    return;
  }
  double v;
  if (Properties()->TryTextToValue(InnerEdit()->Text(), v)) value_ = v;
  TcxCustomTextEdit::InnerTextChanged();
}

void TcxCurrencyEdit::PropertiesChanged() {
  TcxCustomTextEdit::PropertiesChanged();
  if (!formatting_ && !Focused()) ShowValue();
}

void TcxCurrencyEdit::DoEnter() {
  ShowValue();
  InnerEdit()->SelectAll();
  TcxCustomTextEdit::DoEnter();
}

void TcxCurrencyEdit::DoExit() {
  // Leaving posts the amount: rounded, in range, shown in the display format.
  const double posted = Properties()->Normalize(value_);
  const bool changed = posted != value_;
  value_ = posted;
  ShowValue();
  if (changed) Properties()->OnChange(this);
  TcxCustomTextEdit::DoExit();
}

void TcxCurrencyEdit::KeyDown(WORD& Key, TShiftState Shift) {
  TcxCustomTextEdit::KeyDown(Key, Shift);
  if (Key == VK_RETURN && Shift.Empty()) {
    // Enter posts the amount and leaves it for editing on.
    SetValue(value_);
    InnerEdit()->SelectAll();
  }
}
