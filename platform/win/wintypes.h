// The Win32 base types, handles and geometry records that the stand-in layer and
// the code above it share. Handles are opaque values handed out by their owning
// service; none is ever a pointer to be dereferenced.
#pragma once

#include <cstdint>

using BYTE = uint8_t;
using WORD = uint16_t;
using DWORD = uint32_t;
using UINT = uint32_t;
using LONG = int32_t;
using ULONG = uint32_t;
using BOOL = int32_t;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;
using UINT_PTR = uintptr_t;
using INT_PTR = intptr_t;
using LONG_PTR = intptr_t;
using ULONG_PTR = uintptr_t;
using COLORREF = uint32_t;
using ATOM = uint16_t;
using ULONGLONG = uint64_t;
using DWORD_PTR = uintptr_t;
using LPSTR = char*;
using LPCSTR = const char*;
using LPVOID = void*;
using LPCVOID = const void*;
using LPDWORD = DWORD*;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

#define VX_DECLARE_HANDLE(name) \
  struct name##__;              \
  using name = name##__*

using HANDLE = void*;
VX_DECLARE_HANDLE(HWND);
VX_DECLARE_HANDLE(HDC);
VX_DECLARE_HANDLE(HGDIOBJ);
VX_DECLARE_HANDLE(HBITMAP);
VX_DECLARE_HANDLE(HPEN);
VX_DECLARE_HANDLE(HBRUSH);
VX_DECLARE_HANDLE(HFONT);
VX_DECLARE_HANDLE(HPALETTE);
VX_DECLARE_HANDLE(HRGN);
VX_DECLARE_HANDLE(HICON);
VX_DECLARE_HANDLE(HCURSOR);
VX_DECLARE_HANDLE(HMENU);
VX_DECLARE_HANDLE(HINSTANCE);
VX_DECLARE_HANDLE(HKEY);
using HMODULE = HINSTANCE;

inline const HANDLE INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(intptr_t{-1});

// A signed 64-bit count (times in 100-nanosecond units, file sizes).
union LARGE_INTEGER {
  struct {
    DWORD LowPart;
    LONG HighPart;
  } u;
  int64_t QuadPart;
};

// Accepted where Win32 takes one; inheritance and security descriptors have no meaning here.
struct SECURITY_ATTRIBUTES {
  DWORD nLength = sizeof(SECURITY_ATTRIBUTES);
  void* lpSecurityDescriptor = nullptr;
  BOOL bInheritHandle = FALSE;
};

struct POINT {
  LONG x = 0;
  LONG y = 0;
  bool operator==(const POINT&) const = default;
};

struct SIZE {
  LONG cx = 0;
  LONG cy = 0;
  bool operator==(const SIZE&) const = default;
};

// Right and bottom are outside the rectangle, as everywhere in the window system.
struct RECT {
  LONG left = 0;
  LONG top = 0;
  LONG right = 0;
  LONG bottom = 0;
  bool operator==(const RECT&) const = default;
};

using TPoint = POINT;
using TRect = RECT;

inline RECT Rect(LONG left, LONG top, LONG right, LONG bottom) { return RECT{left, top, right, bottom}; }
inline POINT Point(LONG x, LONG y) { return POINT{x, y}; }
inline RECT Bounds(LONG left, LONG top, LONG width, LONG height) {
  return RECT{left, top, left + width, top + height};
}

constexpr COLORREF RGB(BYTE r, BYTE g, BYTE b) {
  return COLORREF(r) | (COLORREF(g) << 8) | (COLORREF(b) << 16);
}
constexpr BYTE GetRValue(COLORREF c) { return BYTE(c & 0xFF); }
constexpr BYTE GetGValue(COLORREF c) { return BYTE((c >> 8) & 0xFF); }
constexpr BYTE GetBValue(COLORREF c) { return BYTE((c >> 16) & 0xFF); }

constexpr WORD LOWORD(uintptr_t v) { return WORD(v & 0xFFFF); }
constexpr WORD HIWORD(uintptr_t v) { return WORD((v >> 16) & 0xFFFF); }
constexpr BYTE LOBYTE(uintptr_t v) { return BYTE(v & 0xFF); }
constexpr BYTE HIBYTE(uintptr_t v) { return BYTE((v >> 8) & 0xFF); }
constexpr DWORD MAKELONG(WORD lo, WORD hi) { return DWORD(lo) | (DWORD(hi) << 16); }
constexpr LPARAM MAKELPARAM(WORD lo, WORD hi) { return LPARAM(MAKELONG(lo, hi)); }
constexpr WPARAM MAKEWPARAM(WORD lo, WORD hi) { return WPARAM(MAKELONG(lo, hi)); }
// Signed coordinates packed in an LPARAM (mouse messages).
constexpr int GET_X_LPARAM(LPARAM lp) { return int(int16_t(LOWORD(uintptr_t(lp)))); }
constexpr int GET_Y_LPARAM(LPARAM lp) { return int(int16_t(HIWORD(uintptr_t(lp)))); }

constexpr DWORD INFINITE = 0xFFFFFFFF;
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_ABANDONED = 0x80;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;
constexpr DWORD STILL_ACTIVE = 259;
constexpr DWORD MAX_PATH = 260;

constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
constexpr DWORD ERROR_TOO_MANY_OPEN_FILES = 4;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_BAD_FORMAT = 11;
constexpr DWORD ERROR_SHARING_VIOLATION = 32;
constexpr DWORD ERROR_NOT_SUPPORTED = 50;
constexpr DWORD ERROR_FILE_EXISTS = 80;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD ERROR_ALREADY_EXISTS = 183;
constexpr DWORD ERROR_BAD_EXE_FORMAT = 193;
constexpr DWORD ERROR_DIRECTORY = 267;
constexpr DWORD ERROR_NOT_OWNER = 288;
constexpr DWORD ERROR_ARITHMETIC_OVERFLOW = 534;
constexpr DWORD ERROR_INVALID_WINDOW_HANDLE = 1400;
constexpr DWORD ERROR_INVALID_THREAD_ID = 1444;

// The calling thread's last error, as GetLastError / SetLastError.
DWORD GetLastError();
void SetLastError(DWORD code);
