#include "tests/support/xserver.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

extern char** environ;

namespace {

bool Exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

// Spawns a program with DISPLAY set to Display (unset when empty), output discarded.
pid_t Spawn(const std::string& display, const std::vector<std::string>& argv) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e)
    if (std::string(*e).rfind("DISPLAY=", 0) != 0) env.push_back(*e);
  if (!display.empty()) env.push_back("DISPLAY=" + display);
  std::vector<std::string> args = argv;
  std::vector<char*> a, e;
  for (auto& s : args) a.push_back(s.data());
  a.push_back(nullptr);
  for (auto& s : env) e.push_back(s.data());
  e.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  if (posix_spawnp(&pid, a[0], &actions, nullptr, a.data(), e.data()) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

}  // namespace

TXvfb::TXvfb(int Width, int Height) {
  const std::string screen = std::to_string(Width) + "x" + std::to_string(Height) + "x24";
  for (int n = 91; n < 190 && name_.empty(); ++n) {
    const std::string num = std::to_string(n), name = ":" + num;
    if (Exists("/tmp/.X11-unix/X" + num) || Exists("/tmp/.X" + num + "-lock")) continue;
    const pid_t pid = Spawn("", {"Xvfb", name, "-screen", "0", screen, "-nolisten", "tcp"});
    if (pid < 0) return;
    for (int i = 0; i < 200; ++i) {
      if (Display* d = XOpenDisplay(name.c_str())) {
        XCloseDisplay(d);
        name_ = name;
        pid_ = pid;
        break;
      }
      if (waitpid(pid, nullptr, WNOHANG) == pid) break;  // the number was taken meanwhile
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (name_.empty() && kill(pid, SIGTERM) == 0) waitpid(pid, nullptr, 0);
  }
}

TXvfb::~TXvfb() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
}

int TXvfb::Run(const std::vector<std::string>& Argv) const {
  const pid_t pid = Spawn(name_, Argv);
  if (pid < 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<uint32_t> TXvfb::Capture(unsigned long Window, int Width, int Height) const {
  std::vector<uint32_t> out;
  Display* d = XOpenDisplay(name_.c_str());
  if (!d) return out;
  if (XImage* img = XGetImage(d, Window, 0, 0, unsigned(Width), unsigned(Height), AllPlanes, ZPixmap)) {
    for (int y = 0; y < Height; ++y)
      for (int x = 0; x < Width; ++x) out.push_back(uint32_t(XGetPixel(img, x, y)) & 0xFFFFFF);
    XDestroyImage(img);
  }
  XCloseDisplay(d);
  return out;
}

bool TXvfb::SendClose(unsigned long Window) const {
  Display* d = XOpenDisplay(name_.c_str());
  if (!d) return false;
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = Window;
  e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
  e.xclient.format = 32;
  e.xclient.data.l[0] = long(XInternAtom(d, "WM_DELETE_WINDOW", False));
  const bool ok = XSendEvent(d, Window, False, NoEventMask, &e) != 0;
  XCloseDisplay(d);
  return ok;
}
