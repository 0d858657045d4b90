// An X server for tests: Xvfb on a display number of its own choosing, started by the
// object and stopped with it; programs run against it; its windows read back through
// one connection of the object's own (so that polling never floods the server).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct _XDisplay;

class TXvfb {
 public:
  // Starts Xvfb with one screen of Width x Height at 24 bits; Name() is empty when it
  // could not be started.
  explicit TXvfb(int Width = 800, int Height = 600);
  ~TXvfb();
  TXvfb(const TXvfb&) = delete;
  TXvfb& operator=(const TXvfb&) = delete;

  // ":<number>".
  const std::string& Name() const { return name_; }
  // Runs a program (found on PATH) against this display and waits for it; its exit
  // code, or -1 when it did not run.
  int Run(const std::vector<std::string>& Argv) const;
  // The pixels of a window as 0xRRGGBB rows, from the top left; empty on failure.
  std::vector<uint32_t> Capture(unsigned long Window, int Width, int Height) const;
  // A shown top-level window whose title holds TitlePart; 0 when there is none.
  unsigned long FindWindow(const std::string& TitlePart) const;
  // Sends the window manager's close request (WM_DELETE_WINDOW) to a window.
  bool SendClose(unsigned long Window) const;

 private:
  // The object's connection, opened on first use; null when the server cannot be reached.
  _XDisplay* Connection() const;
  std::string name_;
  int pid_ = -1;
  mutable _XDisplay* dpy_ = nullptr;
};
