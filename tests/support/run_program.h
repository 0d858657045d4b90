// Runs a program to its end under a time limit and tells how it ended, for tests
// that judge a whole program by its exit.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace vxtest {

struct RunOptions {
  std::string folder;                      // working folder; empty: the caller's
  std::map<std::string, std::string> env;  // set on top of the caller's environment
  double timeoutSeconds = 60;
  double killAfterSeconds = -1;            // SIGKILL at this moment; RunResult.signal tells
};

struct RunResult {
  bool exited = false;  // ended by exit, not by a signal or the time limit
  int exitCode = -1;
  int signal = 0;
  bool timedOut = false;
  double seconds = 0;
};

// Runs argv[0] (found on PATH when it holds no "/"); a program that outlives the
// time limit is killed with everything it started.
RunResult RunProgram(const std::vector<std::string>& argv, const RunOptions& options = {});

// The start of a command line that runs a program as the user nobody, who may not read
// the source or build tree (it may lie in a folder closed to others): the shared
// libraries of the tree that Program loads and the sanitizers' suppression files go
// into Folder, readable by all, and the rest of the command line finds them there.
// Program itself must lie where nobody reads it. Needs the superuser.
std::vector<std::string> AsNobody(const std::string& Program, const std::string& Folder);

}  // namespace vxtest
