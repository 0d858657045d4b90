// Processes: Windows command lines, starting programs, waiting for them and their exit
// codes. Programs are found by path or on PATH; the child gets the arguments that the
// Windows command-line rules make of the command line.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/win/handles.h"
#include "platform/win/winuser.h"
#include "platform/win/wintypes.h"

// Show commands (SW_..., winuser.h) are accepted; a program here has no window to
// show or hide.

constexpr DWORD STARTF_USESHOWWINDOW = 0x00000001;
// Creation flags (accepted without effect).
constexpr DWORD CREATE_NEW_CONSOLE = 0x00000010;
constexpr DWORD NORMAL_PRIORITY_CLASS = 0x00000020;
constexpr DWORD HIGH_PRIORITY_CLASS = 0x00000080;

struct STARTUPINFO {
  DWORD cb = sizeof(STARTUPINFO);
  DWORD dwFlags = 0;
  WORD wShowWindow = 0;
};

struct PROCESS_INFORMATION {
  HANDLE hProcess = nullptr;
  HANDLE hThread = nullptr;
  DWORD dwProcessId = 0;
  DWORD dwThreadId = 0;
};

// Splits a command line by the Windows rules. The first item is the program: up to the
// next blank, or between quotes without any escaping. The others are separated by
// blanks and tabs; quotes group and are removed ("" inside quotes is one literal
// quote); 2n backslashes before a quote give n backslashes and the quote acts, 2n+1
// give n backslashes and a literal quote; other backslashes are literal; an unclosed
// quote runs to the end.
std::vector<std::string> CommandLineToArgv(std::string_view CommandLine);
// The same rules for a parameter text, whose first item is an argument like the others.
std::vector<std::string> SplitCommandLineArguments(std::string_view Parameters);

// The program a name stands for: a name with a separator is a path (NativePath); a bare
// name is looked up on PATH, where "x.exe" also finds "x". "" when there is none.
std::string FindProgram(const std::string& Name);

// Starts a program. With lpApplicationName it is the program (a path; relative names
// count from the current folder) and lpCommandLine gives the arguments after its first
// item; without it the command line's first item names the program (FindProgram). The
// child runs in lpCurrentDirectory when given, inherits the environment and, unless
// bInheritHandles, no descriptors beyond the standard three. On failure the last error
// is ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_DIRECTORY
// (working folder), ERROR_BAD_EXE_FORMAT or ERROR_NOT_ENOUGH_MEMORY. hThread waits like
// hProcess; both handles are closed with CloseHandle.
BOOL CreateProcess(const char* lpApplicationName, const char* lpCommandLine,
                   const SECURITY_ATTRIBUTES* lpProcessAttributes, const SECURITY_ATTRIBUTES* lpThreadAttributes,
                   BOOL bInheritHandles, DWORD dwCreationFlags, void* lpEnvironment, const char* lpCurrentDirectory,
                   const STARTUPINFO* lpStartupInfo, PROCESS_INFORMATION* lpProcessInformation);

// STILL_ACTIVE while the process runs; then its exit status (128 + the signal number
// for a process ended by a signal, the code given to TerminateProcess for one ended so).
BOOL GetExitCodeProcess(HANDLE hProcess, DWORD* lpExitCode);
BOOL TerminateProcess(HANDLE hProcess, UINT uExitCode);
// A program here has no input queue to become idle: answers 0 at once for a process.
DWORD WaitForInputIdle(HANDLE hProcess, DWORD dwMilliseconds);

// Starts a program without keeping a handle (the layer collects its exit status).
// Answers 0, or the errno of the failure.
int SpawnDetached(const std::string& Program, const std::vector<std::string>& Args, const std::string& Folder);
