#include "tests/support/xserver.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>


extern char** environ;

namespace {

// Spawns a program with DISPLAY set to Display (unset when empty), output discarded;
// when PassFd is not negative, that descriptor becomes the child's descriptor 3.
pid_t Spawn(const std::string& display, const std::vector<std::string>& argv, int PassFd = -1) {
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
  if (PassFd >= 0) posix_spawn_file_actions_adddup2(&actions, PassFd, 3);
  pid_t pid = -1;
  if (posix_spawnp(&pid, a[0], &actions, nullptr, a.data(), e.data()) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

}  // namespace

TXvfb::TXvfb(int Width, int Height) {
  // The server picks a free display number itself and writes it to descriptor 3, so
  // that servers started side by side by concurrent tests never share a number.
  const std::string screen = std::to_string(Width) + "x" + std::to_string(Height) + "x24";
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return;
  const pid_t pid = Spawn("", {"Xvfb", "-displayfd", "3", "-screen", "0", screen, "-nolisten", "tcp"}, fds[1]);
  close(fds[1]);
  std::string number;
  char c;
  while (pid > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
  close(fds[0]);
  if (pid <= 0) return;
  if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) {
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    return;
  }
  name_ = ":" + number;
  pid_ = pid;
}

TXvfb::~TXvfb() {
  if (dpy_) XCloseDisplay(dpy_);
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

Display* TXvfb::Connection() const {
  if (!dpy_ && !name_.empty()) dpy_ = XOpenDisplay(name_.c_str());
  return dpy_;
}

std::vector<uint32_t> TXvfb::Capture(unsigned long Window, int Width, int Height) const {
  std::vector<uint32_t> out;
  Display* d = Connection();
  if (!d) return out;
  if (XImage* img = XGetImage(d, Window, 0, 0, unsigned(Width), unsigned(Height), AllPlanes, ZPixmap)) {
    for (int y = 0; y < Height; ++y)
      for (int x = 0; x < Width; ++x) out.push_back(uint32_t(XGetPixel(img, x, y)) & 0xFFFFFF);
    XDestroyImage(img);
  }
  return out;
}

unsigned long TXvfb::FindWindow(const std::string& TitlePart) const {
  Display* d = Connection();
  if (!d) return 0;
  // A window may go between the listing and the look at it: that error is no failure.
  XSync(d, False);
  const XErrorHandler previous = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
  const Atom netWmName = XInternAtom(d, "_NET_WM_NAME", False);
  const Atom utf8 = XInternAtom(d, "UTF8_STRING", False);
  unsigned long found = 0;
  Window root, parent, *children = nullptr;
  unsigned int count = 0;
  if (XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &count)) {
    for (unsigned int i = 0; i < count && !found; ++i) {
      XWindowAttributes attrs;
      if (!XGetWindowAttributes(d, children[i], &attrs) || attrs.map_state != IsViewable) continue;
      Atom type;
      int format;
      unsigned long items, after;
      unsigned char* title = nullptr;
      if (XGetWindowProperty(d, children[i], netWmName, 0, 4096, False, utf8, &type, &format, &items, &after,
                             &title) == Success &&
          title) {
        if (std::string(reinterpret_cast<char*>(title), items).find(TitlePart) != std::string::npos)
          found = children[i];
        XFree(title);
      }
    }
    if (children) XFree(children);
  }
  XSync(d, False);
  XSetErrorHandler(previous);
  return found;
}

bool TXvfb::SendClose(unsigned long Window) const {
  Display* d = Connection();
  if (!d) return false;
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = Window;
  e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
  e.xclient.format = 32;
  e.xclient.data.l[0] = long(XInternAtom(d, "WM_DELETE_WINDOW", False));
  const bool ok = XSendEvent(d, Window, False, NoEventMask, &e) != 0;
  XFlush(d);
  return ok;
}
