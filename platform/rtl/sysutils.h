// Strings, conversions, formatting, dates and file names, as the framework's
// run-time library offers them. Case mapping is ASCII only. Positions are 1-based,
// as in the framework; 0 means "not found".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/format.h"
#include "platform/rtl/system.h"
#include "platform/win/wintypes.h"

// ---- Strings ----

std::string UpperCase(std::string_view s);
std::string LowerCase(std::string_view s);
// Compares ignoring ASCII case: <0, 0 or >0.
int CompareText(std::string_view a, std::string_view b);
bool SameText(std::string_view a, std::string_view b);
// Compares bytes: <0, 0 or >0.
int CompareStr(std::string_view a, std::string_view b);
// Removes blanks and control characters (<= ' ') from both ends.
std::string Trim(std::string_view s);
std::string TrimLeft(std::string_view s);
std::string TrimRight(std::string_view s);

// 1-based position of the first SubStr in S; 0 when absent or SubStr is empty.
int Pos(std::string_view SubStr, std::string_view S);
// As Pos, searching from Offset on; 0 when Offset is outside S.
int PosEx(std::string_view SubStr, std::string_view S, int Offset = 1);
// Count characters from the 1-based Index. An Index below 1 counts as 1; an Index
// past the end or a negative Count gives "".
std::string Copy(std::string_view S, int Index, int Count);
// Removes Count characters from the 1-based Index; nothing when Index is outside S.
void Delete(std::string& S, int Index, int Count);
// Inserts Source before the 1-based Index, clamped to 1..Length+1.
void Insert(std::string_view Source, std::string& S, int Index);

enum class TReplaceFlag { rfReplaceAll, rfIgnoreCase };
using TReplaceFlags = TSet<TReplaceFlag>;
constexpr auto rfReplaceAll = TReplaceFlag::rfReplaceAll;
constexpr auto rfIgnoreCase = TReplaceFlag::rfIgnoreCase;
// Replaces the first (or, with rfReplaceAll, every) OldPattern by NewPattern.
std::string StringReplace(std::string_view S, std::string_view OldPattern, std::string_view NewPattern,
                          TReplaceFlags Flags);

// UTF-8 text as code points and back; a byte that starts no valid sequence stands for
// itself (as in Latin-1).
std::u32string Utf8ToCodePoints(std::string_view S);
std::string CodePointToUtf8(char32_t C);

// ---- Integer conversions ----

std::string IntToStr(int64_t Value);
// Upper-case hexadecimal, at least Digits digits. Negative values show the
// two's complement of their own type's width (8 digits for 32-bit types).
std::string IntToHex(uint64_t Value, int Digits, int TypeBytes);
template <class T>
  requires std::is_integral_v<T>
std::string IntToHex(T Value, int Digits) {
  return IntToHex(static_cast<uint64_t>(Value), Digits, sizeof(T) < 4 ? 4 : int(sizeof(T)));
}

// Integer text: leading blanks, an optional sign, then decimal digits or "$"/"0x"
// and hexadecimal digits; nothing after the digits. Hexadecimal may use the
// type's full unsigned range ("$FFFFFFFF" is -1). Errors raise EConvertError
// "'<text>' is not a valid integer value".
Integer StrToInt(std::string_view S);
Int64 StrToInt64(std::string_view S);
Integer StrToIntDef(std::string_view S, Integer Default);
Int64 StrToInt64Def(std::string_view S, Int64 Default);
// A length as protocols send it: decimal digits only (at most 18), blanks around
// allowed; -1 for anything else.
Int64 DecimalLength(std::string_view S);
bool TryStrToInt(std::string_view S, Integer& Value);
bool TryStrToInt64(std::string_view S, Int64& Value);

// ---- Floating point ----

// Shortest general form with 15 significant digits, "." as decimal point.
std::string FloatToStr(long double Value);
// Optional blanks around [sign] digits [. digits] [E [sign] digits]. Errors raise
// EConvertError "'<text>' is not a valid floating point value".
double StrToFloat(std::string_view S);
double StrToFloatDef(std::string_view S, double Default);
bool TryStrToFloat(std::string_view S, double& Value);
// Formats by a picture: "0" digit, "#" optional digit, "." decimal point, ","
// thousands separators, quoted literal text, up to three ";"-separated sections
// (positive; negative; zero). "#,###" gives "" for 0.
std::string FormatFloat(std::string_view Picture, long double Value);

// Whole part, toward zero. Raises EInvalidOp outside the 64-bit range.
Int64 Trunc(double Value);
// Nearest whole number, halves to even. Raises EInvalidOp outside the 64-bit range.
Int64 Round(double Value);

// ---- Dates and times (TDateTime: days since 1899-12-30, fraction = time of day) ----

bool IsLeapYear(Word Year);
// Raise EConvertError "Invalid argument to date encode" / "... time encode".
TDateTime EncodeDate(Word Year, Word Month, Word Day);
TDateTime EncodeTime(Word Hour, Word Min, Word Sec, Word MSec);
bool TryEncodeDate(Word Year, Word Month, Word Day, TDateTime& Date);
bool TryEncodeTime(Word Hour, Word Min, Word Sec, Word MSec, TDateTime& Time);
void DecodeDate(TDateTime Date, Word& Year, Word& Month, Word& Day);
void DecodeTime(TDateTime Time, Word& Hour, Word& Min, Word& Sec, Word& MSec);
// Local time, to the millisecond.
TDateTime Now();
TDateTime Date();
TDateTime Time();
// Whole days between two moments (absolute, truncated).
Integer DaysBetween(TDateTime ANow, TDateTime AThen);
TDateTime IncDay(TDateTime AValue, Integer ANumberOfDays = 1);
// Specifiers: c, d, dd, ddd, dddd, ddddd, m, mm, mmm, mmmm, yy, yyyy, h, hh, n, nn,
// s, ss, z, zzz, "/" (date separator "-"), ":" (time separator), quoted text. An "m"
// right after an hour means minutes. "c" is "yyyy-mm-dd" then " hh:nn:ss" unless the
// time is midnight.
std::string FormatDateTime(std::string_view Picture, TDateTime DateTime);

// ---- Program parameters ----

// Records main's arguments for ParamCount / ParamStr.
void InitParams(int argc, char** argv);
Integer ParamCount();
// ParamStr(0) is the program file's full path; an index out of range gives "".
std::string ParamStr(Integer Index);
// A setting of the run in seconds, from the environment variable Name: a decimal
// number of at least 0; Default when the variable is unset or holds anything else.
double EnvironmentSeconds(const char* Name, double Default);

// ---- File names ----
// "\" and "/" are both path delimiters everywhere; ":" also ends a drive.

bool IsPathDelimiter(std::string_view S, int Index);
std::string IncludeTrailingPathDelimiter(std::string_view S);
std::string IncludeTrailingBackslash(std::string_view S);
std::string ExcludeTrailingPathDelimiter(std::string_view S);
std::string ExcludeTrailingBackslash(std::string_view S);
std::string ExtractFilePath(std::string_view FileName);  // with the final delimiter
std::string ExtractFileDir(std::string_view FileName);   // without it (except for a root)
std::string ExtractFileName(std::string_view FileName);
std::string ExtractFileExt(std::string_view FileName);   // with the ".", or ""
std::string ExtractFileDrive(std::string_view FileName);  // "C:" or "\\server\share", or ""
std::string ChangeFileExt(std::string_view FileName, std::string_view Extension);
// The absolute form: relative names are taken from the current folder, "." and ".."
// are resolved, delimiters become "/".
std::string ExpandFileName(std::string_view FileName);

// The one conversion of a file name to the operating system's path. Delimiters
// become "/"; each component that does not exist under its exact name is matched
// against its folder's entries ignoring case (the existing name's case is used; a
// name that matches nothing keeps the case given, so new files keep it); a name
// ending in ".exe" (any case) that does not exist stands for the same name without
// the extension when that exists. A folder's entries are read once and kept while the
// folder is unchanged (the changes made through the functions here are applied to
// them), so many new names in one folder cost one reading of it.
std::string NativePath(std::string_view FileName);
// Whether two names reach the same file once each is resolved as NativePath resolves
// it (case, ".exe", either delimiter, "." and ".." parts, symbolic links): the same file
// when both exist, else the same full path below the real folders, ignoring case. A rule
// that protects or singles out a file asks this, never the names' texts.
bool ReachSameFile(std::string_view A, std::string_view B);
// open(2) of a file through NativePath, close-on-exec added (new files get mode 0666
// less the umask). Opening a name that exists as written costs the one open; the
// folders are searched only when it does not.
int OpenNative(std::string_view FileName, int Flags);
// Opens an existing plain file (for reading, or with the open(2) access and status
// Flags given), without blocking on anything that is not one: -1 with errno EINVAL for
// a folder, a pipe, a device or a socket. Never creates the file.
int OpenRegularFile(std::string_view FileName, int Flags = 0);
// The whole content of an existing plain file, read as OpenRegularFile opens it; false
// (with errno) when there is none or it cannot be read.
bool ReadRegularFile(std::string_view FileName, std::string& Data);

// ---- Files and folders (all through NativePath) ----

bool FileExists(std::string_view FileName);       // a file (not a folder)
bool DirectoryExists(std::string_view Directory);
bool CreateDir(std::string_view Dir);
// Creates the folder and every missing parent. Raises EInOutError for an empty name.
bool ForceDirectories(std::string_view Dir);
bool RemoveDir(std::string_view Dir);
bool DeleteFile(std::string_view FileName);
// Fails when NewName exists.
bool RenameFile(std::string_view OldName, std::string_view NewName);
// Puts OldName in the place of NewName in one step, replacing a file of that name;
// with KeepMode, a file that replaces another first takes its permissions.
bool RenameReplacing(std::string_view OldName, std::string_view NewName, bool KeepMode = false);
// Makes a new empty file (or, with Folder, a new folder) named Base, "~", the number of
// this process, "-", 16 random hexadecimal digits and Suffix, where no entry of that
// name was; returns the name, or "" with errno when none could be made. Nothing that
// existed is ever touched. The process number tells whoever finds such a scratch
// entry left behind whether its maker may still be at work (ProcessEnded).
std::string CreateUniqueName(std::string_view Base, std::string_view Suffix, bool Folder);
// CreateUniqueName for a file, kept open for writing: the descriptor of the exclusive
// create (close-on-exec), so that what is written goes to the file that was made, never
// to one put in its place; -1 with errno when none could be made. Name receives its name.
int CreateUniqueFile(std::string_view Base, std::string_view Suffix, std::string& Name);
// The parts of a name (or a path) that CreateUniqueName made with Suffix: what stands
// before the "~" and the number of the process that made it. False for any other name.
bool SplitUniqueName(std::string_view Name, std::string_view Suffix, std::string& Base, int& Maker);
// True when no process of that number exists any more (one of another user exists).
bool ProcessEnded(int Pid);
// The file that Path names once symbolic links are followed (as far as they lead;
// a link to nothing gives the name it leads to); Path itself when it is no link.
std::string FollowLinks(std::string_view Path);
// Makes Data the whole content of FileName in one step: written to a new file beside
// the one that symbolic links lead to, which keeps its permission bits, and renamed
// over it. A failed write leaves the old file as it was; false with errno then.
bool ReplaceFileContents(std::string_view FileName, std::string_view Data);
// Copies a file with its permission bits and modification time. With
// FailIfExists an existing target fails the copy; otherwise it is replaced only
// once the copy is complete.
bool CopyFile(std::string_view ExistingFileName, std::string_view NewFileName, bool FailIfExists);
std::string GetCurrentDir();
bool SetCurrentDir(std::string_view Dir);
// The bytes this user may still write on the file system that holds Path; -1 (with
// errno) when that cannot be told. (The framework names a drive by its number; here any
// path on the file system names it.)
int64_t DiskFree(std::string_view Path);

// ---- Packages ----
//
// A package is a shared library of units that a program loads at run time. Each unit
// may have an initialization, a finalization and a design-time Register procedure
// that puts its components on the palette (RegisterComponents, classes.h). A package
// exports three C entry points, and nothing else of its internals:
//   Initialize          runs the units' initialization, in the table's order
//   Finalize            runs their finalization, in reverse order
//   GetPackageInfoTable describes the package and its units
// A package's source defines them with one line over its table of units:
//   const TPackageUnit kUnits[] = {{"PngImage", PngImageInitialize, PngImageFinalize, nullptr},
//                                  {"vxImageButton", nullptr, nullptr, vxImageButton::Register}};
//   const TPackageInfoTable kPackage{"vxpackage", kUnits, std::size(kUnits)};
//   VX_PACKAGE_ENTRY_POINTS(kPackage)
// The package links the platform library and none of its static parts again, so every
// class descriptor, picture format and registry exists once in the process; when the
// package goes, the module-unload procedures drop whatever still points into it.

struct TPackageUnit {
  const char* Name;
  void (*Initialization)();  // each of the three may be null
  void (*Finalization)();
  void (*Register)();
};

struct TPackageInfoTable {
  const char* Name;
  const TPackageUnit* Units;
  size_t UnitCount;
};

VX_EXCEPTION(EPackageError, Exception)

// Loads the package and runs its Initialize; loading a package again counts it again.
// A name without a folder is looked for beside the program first, then in the folders
// the dynamic loader searches for the program's own libraries (its run path,
// LD_LIBRARY_PATH, the system's), then as the loader finds it; a path is taken as it
// is. Raises EPackageError "Can't load package <name>.\n<reason>" when the library
// cannot be loaded, lacks an entry point or fails to initialize. A failed
// initialization is undone as the last UnloadPackage is (below): the reason says what
// the initialization raised and what failed in the undoing.
HMODULE LoadPackage(const std::string& Name);
// Undoes one LoadPackage. The last, in this order: runs the package's Finalize (without
// the package lock: a unit's finalization may stop a thread of its own that loads or
// looks up a package on its way out); runs the module-stop procedures, which end what
// still runs the package's code (the thread unit's terminates the package's threads and
// waits for them to leave its code, serving their Synchronize calls when called on the
// main thread); tells the module-unload procedures (each, even when one raises); unloads
// the library. A stop that fails (a thread that has not ended within ten seconds) leaves
// the package finalized: its units are finalized, its library stays mapped for the code
// that still runs, GetPackageInfo answers null; a later UnloadPackage tries the stop
// again, and a later LoadPackage initializes the units again and counts one load. What
// failed (a finalization, the stop, an unload procedure) raises one EPackageError
// "Can't unload package <name>.\n<reasons>", after the steps that remain; an error of a
// class of the package's own becomes its message before the library goes. While that
// last UnloadPackage, or the undoing of a failed load, runs, the package is being
// unloaded: LoadPackage and UnloadPackage of it raise EPackageError ("... is being
// unloaded"), on any thread, and GetPackageInfo answers null. A module that is not
// loaded is left as it is.
void UnloadPackage(HMODULE Module);
// The table of a package loaded by LoadPackage, or null.
const TPackageInfoTable* GetPackageInfo(HMODULE Module);
// Runs the Register procedure of every unit of a loaded package, as a form designer
// does when it installs a design-time package.
void RegisterPackage(HMODULE Module);

// Told of a module (after its Finalize and the module-stop procedures, before it is
// unloaded) so that a registry can drop what points into it, the latest added first.
// The registries of this library add their own; they do not depend on one another.
using TModuleUnloadProc = void (*)(HMODULE Module);
void AddModuleUnloadProc(TModuleUnloadProc Proc);
void RemoveModuleUnloadProc(TModuleUnloadProc Proc);

// Told of a package's last unloading after its Finalize, without the package lock and
// before the module-unload procedures: ends what still runs code of Module and waits at
// most TimeoutMs for it; raises, saying what still runs, when that is not over then. The
// latest added first.
using TModuleStopProc = void (*)(HMODULE Module, DWORD TimeoutMs);
void AddModuleStopProc(TModuleStopProc Proc);

namespace vx_packages {
// The work of a package's Initialize and Finalize (see VX_PACKAGE_ENTRY_POINTS): Count
// counts the Initialize calls not yet undone and Done the units initialized. When a
// unit's initialization raises, the error goes on and the call still counts: the
// Finalize that undoes it finalizes the units done so far. A finalization that raises
// does not stop the others; the first error goes on.
void InitializeUnits(const TPackageInfoTable& Table, int& Count, size_t& Done);
void FinalizeUnits(const TPackageInfoTable& Table, int& Count, size_t& Done);
}  // namespace vx_packages

#define VX_PACKAGE_ENTRY_POINTS(Table)                                                        \
  namespace {                                                                                 \
  int vx_package_count = 0;                                                                   \
  size_t vx_package_done = 0;                                                                 \
  }                                                                                           \
  extern "C" __attribute__((visibility("default"))) void Initialize() {                       \
    vx_packages::InitializeUnits(Table, vx_package_count, vx_package_done);                   \
  }                                                                                           \
  extern "C" __attribute__((visibility("default"))) void Finalize() {                         \
    vx_packages::FinalizeUnits(Table, vx_package_count, vx_package_done);                     \
  }                                                                                           \
  extern "C" __attribute__((visibility("default"))) const TPackageInfoTable* GetPackageInfoTable() { \
    return &(Table);                                                                          \
  }

// ---- Code pages ----

VX_EXCEPTION(EEncodingError, Exception)

// The bytes of a code page at a file's boundary; text in memory is UTF-8.
class TEncoding {
 public:
  // The encoding of a Windows code page number (949: Korean, 65001: UTF-8); one object
  // per code page for the life of the program. Raises EEncodingError for a code page
  // the system cannot convert.
  static TEncoding* GetEncoding(int CodePage);
  static TEncoding* UTF8() { return GetEncoding(65001); }

  int CodePage() const { return codePage_; }
  // The code page's bytes as UTF-8; a byte sequence that is no character of the code
  // page becomes U+FFFD.
  std::string GetString(std::string_view Bytes) const;
  // UTF-8 text as the code page's bytes; a character the code page lacks becomes "?".
  std::string GetBytes(std::string_view Text) const;

 private:
  TEncoding(int CodePage, std::string Name) : codePage_(CodePage), name_(std::move(Name)) {}
  int codePage_;
  std::string name_;
};
