#include "platform/display/presenter.h"

#include <cstdlib>
#include <string>

#include "platform/display/headless.h"
#include "platform/display/x11.h"

namespace vx::display {

std::unique_ptr<IPresenter> CreateDefaultPresenter() {
  const char* headless = std::getenv("VX_HEADLESS");
  const bool forceHeadless = headless && *headless && std::string(headless) != "0";
  const char* script = std::getenv("VX_HEADLESS_SCRIPT");
  if (!forceHeadless && !(script && *script)) {
    if (auto x11 = TryX11Presenter()) return x11;
  }
  return std::make_unique<THeadlessPresenter>(script ? script : "");
}

}  // namespace vx::display
