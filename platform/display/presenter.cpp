#include "platform/display/presenter.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/display/headless.h"
#include "platform/display/x11.h"

namespace vx::display {

std::unique_ptr<IPresenter> CreateDefaultPresenter() {
  const char* headless = std::getenv("VX_HEADLESS");
  const bool forceHeadless = headless && *headless && std::string(headless) != "0";
  const char* script = std::getenv("VX_HEADLESS_SCRIPT");
  const bool scripted = script && *script;
  if (!forceHeadless) {
    // A scripted run is headless whatever the display: the display is only asked
    // whether it answers.
    if (!scripted)
      if (auto x11 = TryX11Presenter()) return x11;
    if (const char* display = std::getenv("DISPLAY"); display && *display && (!scripted || !X11DisplayAnswers())) {
      std::fprintf(stderr, "no X server answers at DISPLAY \"%s\": the run is headless\n", display);
      std::fflush(stderr);
    }
  }
  return std::make_unique<THeadlessPresenter>(scripted ? script : "");
}

}  // namespace vx::display
