// An X server for tests: Xvfb on a display number of its own choosing, started by the
// object and stopped with it; programs run against it; its windows read back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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
  // Sends the window manager's close request (WM_DELETE_WINDOW) to a window.
  bool SendClose(unsigned long Window) const;

 private:
  std::string name_;
  int pid_ = -1;
};
