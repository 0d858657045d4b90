#include "platform/display/input.h"

#include "platform/rtl/sysutils.h"
#include "platform/vcl/forms.h"

namespace vx::display {

namespace {

HWND WindowOf(TCustomForm* Form) { return Form ? Form->Handle() : nullptr; }

UINT DownMessage(TMouseButton b) {
  return b == mbLeft ? WM_LBUTTONDOWN : b == mbRight ? WM_RBUTTONDOWN : WM_MBUTTONDOWN;
}

WPARAM ButtonFlag(TMouseButton b) { return b == mbLeft ? MK_LBUTTON : b == mbRight ? MK_RBUTTON : MK_MBUTTON; }

struct TNamedKey {
  const char* name;
  WORD key;
};

const TNamedKey kNamedKeys[] = {
    {"Enter", VK_RETURN},   {"Return", VK_RETURN}, {"Escape", VK_ESCAPE}, {"Esc", VK_ESCAPE},
    {"Tab", VK_TAB},        {"Space", VK_SPACE},   {"Backspace", VK_BACK}, {"BkSp", VK_BACK},
    {"Delete", VK_DELETE},  {"Del", VK_DELETE},    {"Insert", VK_INSERT}, {"Ins", VK_INSERT},
    {"Home", VK_HOME},      {"End", VK_END},       {"PageUp", VK_PRIOR},  {"PgUp", VK_PRIOR},
    {"PageDown", VK_NEXT},  {"PgDn", VK_NEXT},     {"Up", VK_UP},         {"Down", VK_DOWN},
    {"Left", VK_LEFT},      {"Right", VK_RIGHT},   {"Shift", VK_SHIFT},   {"Ctrl", VK_CONTROL},
    {"Control", VK_CONTROL}, {"Alt", VK_MENU},
};

}  // namespace

void InjectMouseMove(TCustomForm* Form, int X, int Y, WPARAM Keys) {
  PostMessage(WindowOf(Form), WM_MOUSEMOVE, Keys, PointToLParam(TPoint{X, Y}));
}

void InjectMouseDown(TCustomForm* Form, TMouseButton Button, int X, int Y, WPARAM Keys) {
  PostMessage(WindowOf(Form), DownMessage(Button), Keys | ButtonFlag(Button), PointToLParam(TPoint{X, Y}));
}

void InjectMouseUp(TCustomForm* Form, TMouseButton Button, int X, int Y, WPARAM Keys) {
  PostMessage(WindowOf(Form), DownMessage(Button) + 1, Keys & ~ButtonFlag(Button), PointToLParam(TPoint{X, Y}));
}

void InjectClick(TCustomForm* Form, int X, int Y, TMouseButton Button) {
  InjectMouseMove(Form, X, Y);
  InjectMouseDown(Form, Button, X, Y);
  InjectMouseUp(Form, Button, X, Y);
}

TPoint ControlCentre(TControl* Control) {
  TRect r;
  if (!Control || !Control->RectInForm(r)) return TPoint{0, 0};
  return TPoint{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

void InjectClickControl(TControl* Control, TMouseButton Button) {
  const TPoint p = ControlCentre(Control);
  InjectClick(Control->TopForm(), p.x, p.y, Button);
}

void InjectMouseLeave(TCustomForm* Form) { PostMessage(WindowOf(Form), WM_MOUSELEAVE, 0, 0); }

void InjectKeyDown(TCustomForm* Form, WORD Key, bool Alt) {
  PostMessage(WindowOf(Form), Alt ? WM_SYSKEYDOWN : WM_KEYDOWN, Key, Alt ? (KF_ALTDOWN_BIT | 1) : 1);
}

void InjectKeyUp(TCustomForm* Form, WORD Key, bool Alt) {
  PostMessage(WindowOf(Form), Alt ? WM_SYSKEYUP : WM_KEYUP, Key, (Alt ? KF_ALTDOWN_BIT : 0) | KF_UP_BIT | 1);
}

char32_t KeyChar(WORD Key, TShiftState Shift) {
  const bool shift = Shift.Contains(ssShift);
  if (Key >= 'A' && Key <= 'Z') {
    if (Shift.Contains(ssCtrl)) return char32_t(Key - 'A' + 1);
    return shift ? char32_t(Key) : char32_t(Key - 'A' + 'a');
  }
  if (Shift.Contains(ssCtrl)) return 0;
  if (Key >= '0' && Key <= '9' && !shift) return char32_t(Key);
  switch (Key) {
    case VK_SPACE: return U' ';
    case VK_RETURN: return U'\r';
    case VK_ESCAPE: return 27;
    case VK_BACK: return 8;
    case VK_TAB: return U'\t';
    default: return 0;
  }
}

void InjectKey(TCustomForm* Form, WORD Key, TShiftState Shift) {
  const bool alt = Shift.Contains(ssAlt);
  if (Shift.Contains(ssShift)) InjectKeyDown(Form, VK_SHIFT);
  if (Shift.Contains(ssCtrl)) InjectKeyDown(Form, VK_CONTROL);
  if (alt) InjectKeyDown(Form, VK_MENU, true);
  InjectKeyDown(Form, Key, alt);
  if (const char32_t ch = KeyChar(Key, Shift))
    PostMessage(WindowOf(Form), alt ? WM_SYSCHAR : WM_CHAR, WPARAM(ch), alt ? (KF_ALTDOWN_BIT | 1) : 1);
  InjectKeyUp(Form, Key, alt);
  if (alt) InjectKeyUp(Form, VK_MENU, false);
  if (Shift.Contains(ssCtrl)) InjectKeyUp(Form, VK_CONTROL);
  if (Shift.Contains(ssShift)) InjectKeyUp(Form, VK_SHIFT);
}

void InjectText(TCustomForm* Form, const std::string& Text) {
  for (char32_t cp : Utf8ToCodePoints(Text)) PostMessage(WindowOf(Form), WM_CHAR, WPARAM(cp), 1);
}

void InjectClose(TCustomForm* Form) { PostMessage(WindowOf(Form), WM_CLOSE, 0, 0); }

bool KeyFromName(const std::string& Name, WORD& Key, TShiftState& Shift) {
  std::string rest = Trim(Name);
  Shift = {};
  for (;;) {
    const size_t plus = rest.find('+');
    if (plus == std::string::npos || plus + 1 >= rest.size()) break;
    const std::string mod = rest.substr(0, plus);
    if (SameText(mod, "Ctrl") || SameText(mod, "Control"))
      Shift.Include(ssCtrl);
    else if (SameText(mod, "Shift"))
      Shift.Include(ssShift);
    else if (SameText(mod, "Alt"))
      Shift.Include(ssAlt);
    else
      return false;
    rest = rest.substr(plus + 1);
  }
  for (const auto& k : kNamedKeys)
    if (SameText(rest, k.name)) {
      Key = k.key;
      return true;
    }
  if (rest.size() >= 2 && (rest[0] == 'F' || rest[0] == 'f')) {
    try {
      const int n = std::stoi(rest.substr(1));
      if (n >= 1 && n <= 12) {
        Key = WORD(VK_F1 + n - 1);
        return true;
      }
    } catch (...) {
      return false;
    }
  }
  if (rest.size() == 1) {
    const char c = rest[0];
    if (c >= 'a' && c <= 'z') {
      Key = WORD(c - 'a' + 'A');
      return true;
    }
    if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
      Key = WORD(c);
      return true;
    }
  }
  return false;
}

}  // namespace vx::display
