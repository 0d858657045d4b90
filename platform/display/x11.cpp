#include "platform/display/x11.h"

namespace vx::display {

std::unique_ptr<IPresenter> TryX11Presenter(const std::string&) { return nullptr; }

}  // namespace vx::display
