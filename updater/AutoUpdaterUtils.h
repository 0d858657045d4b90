// The updater's program log (LoaderLog.log beside the program) and the small file,
// version, date and process helpers that the update steps rely on.
#pragma once

#include <cstdint>
#include <string>

#include "platform/rtl/sysutils.h"
#include "platform/win/messages.h"
#include "platform/win/wintypes.h"

class TLogFile;
class TPersistent;

// Writes one line to LoaderLog.log. A detail line is written only while a file
// DETAILLOG.FLAG exists in the current folder.
void WriteLog(const std::string& Msg, bool Detail = false);
// Formats the arguments, then writes the line as WriteLog does. The detail flag comes
// first here, since the arguments end the list.
template <class... Args>
void WriteLogFmt(bool Detail, FormatText<std::type_identity_t<Args>...> Fmt, const Args&... args) {
  WriteLog(Format<Args...>(Fmt, args...), Detail);
}
// The program log's component, created on first use.
TLogFile& LoaderLogFile();

// The text for a ShellExecute result code.
std::string ShellExecuteErrorText(int Code);
// False for an empty name or a missing file; true when the file cannot be opened
// for writing or another process holds it open or locked.
bool IsFileLocked(const std::string& FileName);
// True when the file exists, is not empty and does not start with "<!" (an HTML
// page in place of a list).
bool IsValidDownloadFile(const std::string& FileName);
// True when the file exists and is a plain file (no folder, pipe or device).
bool IsPlainFile(const std::string& FileName);
// Compares dot-separated versions field by field over A's fields (anything from
// the first "|" on is ignored): 1 when A is newer, -1 when older, 0 when equal.
// Any error (a field that is not a number, B having fewer fields) gives -1.
int CompareVersion(const std::string& A, const std::string& B);
// Creates the folder and its missing parents; false instead of an error.
bool ForceDirectoriesSafe(const std::string& Dir);
// True when DateText (YYYYMMDD) lies more than Days whole days from today, in
// either direction, or cannot be read as a date.
bool IsDateExpired(const std::string& DateText, int Days);
// How many times the first occurrence of Sub can be removed from Text in turn;
// -1 on error.
int CountOccurrences(const std::string& Sub, const std::string& Text);
// The file's size in bytes; -1 when it does not exist, is no plain file (a folder, a
// pipe, a device) or cannot be opened. Never creates the file.
int64_t GetLocalFileSize(const std::string& FileName);
// The text between the first and second "." of the file name (folders are not
// looked at): "x.dll.cab" gives "dll", "a.b" gives "b", a name without "." gives "".
std::string ExtractInnerExt(const std::string& FileName);
// Runs "regsvr32 /s <file>" hidden through the shell, without waiting; returns
// the shell's result code.
HINSTANCE RegisterServer(const std::string& FileName);
// MD5 of the whole file as 32 lower-case hexadecimal digits; empty when the file
// does not exist or cannot be read. Size, when given, receives what GetLocalFileSize
// would give, from the same open.
std::string GetFileMD5(const std::string& FileName, int64_t* Size = nullptr);
// Starts a program in its own folder with CommandLine (empty: none) and, with Wait,
// waits for its end while the application's windows stay painted but take no input.
// The exit code when waited for, 0 when started without waiting, -1 when the program
// does not exist or did not start. A quit message taken while waiting ends the whole
// program at once with the message's code.
int ExecuteAndWait(const std::string& Program, const std::string& CommandLine, int ShowCmd, bool Wait);
// Posted by a window that waits for a person (the fast/safe choice, the failure
// dialog) to itself, to learn whether anybody will answer.
constexpr UINT WM_UNATTENDED_TURN = WM_USER + 1002;
// Who answers what a window waits for: a person on a display; the headless script,
// which has just carried out its next action; or nobody, since the run is headless and
// its script (if any) has nothing left that it can do now. The window then takes the
// answer it shows as chosen, so that an unattended run always ends.
enum class TUnattended { Person, ScriptActed, Nobody };
TUnattended UnattendedTurn();

// Loads the program resource of type "PNG" named Name and assigns the picture to Dest
// (a picture or a bitmap); false when there is no such resource, it is no PNG
// picture, or Dest is null.
bool LoadPngResourceTo(HINSTANCE Instance, const std::string& Name, TPersistent* Dest);
