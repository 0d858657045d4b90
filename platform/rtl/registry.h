// The registry: a file-backed store and the framework's TRegistry class over it.
//
// Each root key is one text file in the registry folder ($VX_REGISTRY_DIR, by default
// ~/.config/vx-registry), named after the root (HKEY_LOCAL_MACHINE.reg, ...), in the
// registry editor's REGEDIT4 format:
//
//   REGEDIT4
//
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Pelmora\Orvel]
//   "ProxyIP"="127.0.0.1"
//   "Count"=dword:0000002a
//   @="the key's default value"
//
// Strings escape "\" and '"' with a backslash; strings holding control characters are
// written as hex(1): bytes so that no value can break the line structure. Key and value
// names match without regard to case and keep the case they were created with. Every
// change re-reads the file under an exclusive lock, writes a temporary file and renames
// it over the old one (over the file a symbolic link names, when the store is a link);
// reads pick up a file that changed on disk, so processes see each other's writes.
// Values of other types found in a file are kept as they are, and so are sections this
// store cannot hold (another root's, or a key path beyond the limits below).
//
// A key path holds at most kMaxRegistryKeyDepth names of at most kMaxRegistryKeyName
// bytes each, kMaxRegistryKeyPath bytes in all below the root; longer paths cannot be
// opened. A file that does not read as this format (another encoding, another line
// structure) is never written over: reads find it empty and changes fail.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/system.h"
#include "platform/win/wintypes.h"

namespace vx_registry {
struct TValue;
}

inline const HKEY HKEY_CLASSES_ROOT = reinterpret_cast<HKEY>(uintptr_t{0x80000000});
inline const HKEY HKEY_CURRENT_USER = reinterpret_cast<HKEY>(uintptr_t{0x80000001});
inline const HKEY HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(uintptr_t{0x80000002});
inline const HKEY HKEY_USERS = reinterpret_cast<HKEY>(uintptr_t{0x80000003});
inline const HKEY HKEY_CURRENT_CONFIG = reinterpret_cast<HKEY>(uintptr_t{0x80000005});

constexpr size_t kMaxRegistryKeyDepth = 512;
constexpr size_t kMaxRegistryKeyName = 255;
constexpr size_t kMaxRegistryKeyPath = 4096;

class TRegistry : public TObject {
  VX_CLASS(TRegistry, TObject)

 public:
  // Starts at HKEY_CURRENT_USER with no key open.
  TRegistry();

  HKEY RootKey() const { return root_; }
  // Closes the open key.
  void SetRootKey(HKEY Value);
  // The open key's path below the root, as it was asked for ("" when none).
  const std::string& CurrentPath() const { return currentPath_; }

  // A path starting with "\" is taken from the root, any other from the open key (or
  // from the root when none is open). CanCreate makes missing keys. True when the key
  // is open afterwards; on false the previous key stays open.
  bool OpenKey(const std::string& Key, bool CanCreate);
  // Opens an existing key for reading; writes to it fail.
  bool OpenKeyReadOnly(const std::string& Key);
  void CloseKey();
  bool KeyExists(const std::string& Key);
  bool ValueExists(const std::string& Name);
  // "" (the key's default value) names the default value.
  // A missing value reads as ""; a value of another type raises ERegistryException.
  std::string ReadString(const std::string& Name);
  // Raises ERegistryException for a missing value or one of another type.
  Integer ReadInteger(const std::string& Name);
  // Raise ERegistryException when no key is open, the key is read-only or it has gone.
  void WriteString(const std::string& Name, const std::string& Value);
  void WriteInteger(const std::string& Name, Integer Value);
  bool DeleteValue(const std::string& Name);
  // Deletes a key with everything below it; relative or from the root like OpenKey.
  bool DeleteKey(const std::string& Key);
  // Why the last open or write failed; empty after one that succeeded.
  const std::string& LastErrorMsg() const { return lastError_; }

 private:
  std::vector<std::string> Resolve(const std::string& Key, std::string* shownPath) const;
  bool Open(const std::string& Key, bool CanCreate, bool ReadOnly);
  bool SetValue(const std::string& Name, const std::function<bool(vx_registry::TValue&)>& Assign);

  HKEY root_;
  bool open_ = false;
  bool readOnly_ = false;
  std::vector<std::string> keyPath_;
  std::string currentPath_;
  std::string lastError_;
};

// The folder that holds the store's files.
std::string RegistryFolder();

// The folders that %WINDOWS% and %SYSTEM% stand for: the values "SystemRoot" and
// "SystemDirectory" of HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion,
// by default folders below the user's data folder ($XDG_DATA_HOME or ~/.local/share)
// "vx-windows" and "vx-windows/system32". As in Win32 the result is the length
// copied, or the size needed (with the terminating zero) when uSize is too small.
UINT GetWindowsDirectory(char* lpBuffer, UINT uSize);
UINT GetSystemDirectory(char* lpBuffer, UINT uSize);
