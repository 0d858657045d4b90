// ShellExecute: starts a program, or opens a document, folder or URL with the
// desktop's opener (xdg-open), never through a shell.
#pragma once

#include <string>

#include "platform/win/process.h"
#include "platform/win/wintypes.h"

// Result codes of ShellExecute (values of 32 and below are failures).
constexpr int SE_ERR_FNF = 2;
constexpr int SE_ERR_PNF = 3;
constexpr int SE_ERR_ACCESSDENIED = 5;
constexpr int SE_ERR_OOM = 8;
constexpr int SE_ERR_SHARE = 26;
constexpr int SE_ERR_ASSOCINCOMPLETE = 27;
constexpr int SE_ERR_DDETIMEOUT = 28;
constexpr int SE_ERR_DDEFAIL = 29;
constexpr int SE_ERR_DDEBUSY = 30;
constexpr int SE_ERR_NOASSOC = 31;
constexpr int SE_ERR_DLLNOTFOUND = 32;

// The verb "open" (or none). lpFile is a URL ("scheme://..." or "mailto:"), a program,
// a document or a folder; a bare name is looked for in lpDirectory (else the current
// folder), then, for programs, on PATH and under the machine's App Paths key (where
// EXCEL.EXE names the desktop's opener). A program gets lpParameters split by the
// Windows rules and runs in lpDirectory; anything else is handed to xdg-open. Does not
// wait. The result is 42 on success, else 0 (no resources), SE_ERR_FNF, SE_ERR_PNF,
// SE_ERR_ACCESSDENIED, SE_ERR_OOM, ERROR_BAD_FORMAT (not a program this system can
// run) or SE_ERR_NOASSOC (another verb, or no opener installed). A run that is headless
// opens nothing (HeadlessSkipsOpening): a URL, a document, a folder or a program
// registered under App Paths answers 42 without being started.
// The web browser of the original system, "iexplore.exe" named without a folder, is the
// desktop's opener here: its parameters (an address) go to xdg-open whole, as its one
// argument.
HINSTANCE ShellExecute(HWND hwnd, const char* lpOperation, const char* lpFile, const char* lpParameters,
                       const char* lpDirectory, int nShowCmd);

// An unattended run never opens a document or address: when the application's presenter
// is headless, says so on standard error ("headless run: PROGRAM PARAMETERS not
// started") and answers true, and the caller goes on as though the program had started.
// Every way to a program that opens what it is given asks first; the programs a caller
// starts for its own work do not.
bool HeadlessSkipsOpening(const std::string& Program, const std::string& Parameters);
