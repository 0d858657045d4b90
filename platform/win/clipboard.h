// Movable memory blocks and the clipboard. The clipboard belongs to this process: its
// windows copy and paste through it; nothing is shared with other programs.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/win/wintypes.h"

using HGLOBAL = void*;

constexpr UINT GMEM_FIXED = 0x0000;
constexpr UINT GMEM_MOVEABLE = 0x0002;
constexpr UINT GMEM_ZEROINIT = 0x0040;
constexpr UINT GHND = GMEM_MOVEABLE | GMEM_ZEROINIT;

// Null when the block cannot be allocated.
HGLOBAL GlobalAlloc(UINT uFlags, size_t dwBytes);
// The block's bytes, or null for a handle that is not a live block.
void* GlobalLock(HGLOBAL hMem);
BOOL GlobalUnlock(HGLOBAL hMem);
size_t GlobalSize(HGLOBAL hMem);
// Null on success; the handle itself when it is not a live block.
HGLOBAL GlobalFree(HGLOBAL hMem);

// Standard formats. Memory formats hold HGLOBAL blocks; CF_BITMAP and CF_PALETTE hold
// drawing objects, which the clipboard frees when it is emptied.
constexpr uint16_t CF_TEXT = 1;
constexpr uint16_t CF_BITMAP = 2;
constexpr uint16_t CF_PALETTE = 9;

// The format number of a name (from 0xC000 on; the same name, ignoring case, gives the
// same number); 0 for an empty name.
UINT RegisterClipboardFormat(const char* lpszFormat);
// One thread at a time has the clipboard open; FALSE while another thread has.
BOOL OpenClipboard(HWND hWndNewOwner);
BOOL CloseClipboard();
// Frees the data held; the clipboard must be open.
BOOL EmptyClipboard();
// Puts data under a format, replacing (and freeing) what it held; the clipboard owns it
// then. Null, with ERROR_CLIPBOARD_NOT_OPEN, when the calling thread has not opened it.
HANDLE SetClipboardData(UINT uFormat, HANDLE hMem);
// The data of a format (still owned by the clipboard), or null.
HANDLE GetClipboardData(UINT uFormat);
BOOL IsClipboardFormatAvailable(UINT format);
// The formats in the order they were put: 0 gives the first, a format the one after it;
// 0 after the last.
UINT EnumClipboardFormats(UINT format);

constexpr DWORD ERROR_CLIPBOARD_NOT_OPEN = 1418;
