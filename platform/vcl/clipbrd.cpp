#include "platform/vcl/clipbrd.h"

#include <mutex>
#include <optional>

namespace {

struct TClipboardData {
  std::mutex lock;
  std::optional<std::string> text;
};

TClipboardData& Data() {
  static TClipboardData* data = new TClipboardData();
  return *data;
}

}  // namespace

std::string TClipboard::AsText() const {
  auto& d = Data();
  std::lock_guard<std::mutex> hold(d.lock);
  return d.text.value_or(std::string());
}

void TClipboard::SetAsText(const std::string& Value) {
  auto& d = Data();
  std::lock_guard<std::mutex> hold(d.lock);
  d.text = Value;
}

bool TClipboard::HasFormat(uint16_t Format) const {
  auto& d = Data();
  std::lock_guard<std::mutex> hold(d.lock);
  return Format == CF_TEXT && d.text.has_value();
}

void TClipboard::Clear() {
  auto& d = Data();
  std::lock_guard<std::mutex> hold(d.lock);
  d.text.reset();
}

TClipboard* Clipboard() {
  static TClipboard* clipboard = new TClipboard();
  return clipboard;
}
