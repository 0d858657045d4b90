// The cabinet library's decompression interface (FDI): contexts, the error record,
// the cabinet-information record, the notifications raised while a cabinet is
// copied, and the memory and file callbacks through which every allocation and
// every file access of the library goes.
#pragma once

#include <cstdint>

#include "platform/win/wintypes.h"

using INT_PTR = intptr_t;
using USHORT = uint16_t;

// The error record filled by the library: erfOper is the FDI (or FCI) error number,
// erfType the system error code behind it (0 when there is none), fError whether
// an error happened at all.
struct ERF {
  int erfOper = 0;
  int erfType = 0;
  BOOL fError = FALSE;
};
using PERF = ERF*;

enum FDIERROR : int {
  FDIERROR_NONE = 0,
  FDIERROR_CABINET_NOT_FOUND = 1,
  FDIERROR_NOT_A_CABINET = 2,
  FDIERROR_UNKNOWN_CABINET_VERSION = 3,
  FDIERROR_CORRUPT_CABINET = 4,
  FDIERROR_ALLOC_FAIL = 5,
  FDIERROR_BAD_COMPR_TYPE = 6,
  FDIERROR_MDI_FAIL = 7,
  FDIERROR_TARGET_FILE = 8,
  FDIERROR_RESERVE_MISMATCH = 9,
  FDIERROR_WRONG_CABINET = 10,
  FDIERROR_USER_ABORT = 11,
};

// Open flags handed to the open callback, as the C run-time library spells them.
constexpr int _O_RDONLY = 0x0000;
constexpr int _O_WRONLY = 0x0001;
constexpr int _O_RDWR = 0x0002;
constexpr int _O_ACCMODE = 0x0003;
constexpr int _O_APPEND = 0x0008;
constexpr int _O_RANDOM = 0x0010;
constexpr int _O_SEQUENTIAL = 0x0020;
constexpr int _O_TEMPORARY = 0x0040;
constexpr int _O_CREAT = 0x0100;
constexpr int _O_TRUNC = 0x0200;
constexpr int _O_EXCL = 0x0400;
constexpr int _O_SHORT_LIVED = 0x1000;
constexpr int _O_BINARY = 0x8000;

// File attributes stored per file in a cabinet.
constexpr USHORT _A_RDONLY = 0x01;
constexpr USHORT _A_HIDDEN = 0x02;
constexpr USHORT _A_SYSTEM = 0x04;
constexpr USHORT _A_ARCH = 0x20;
constexpr USHORT _A_EXEC = 0x40;        // run after extraction
constexpr USHORT _A_NAME_IS_UTF = 0x80;  // the stored name is UTF-8

// Folder indexes of files that cross cabinet boundaries.
constexpr USHORT ifoldCONTINUED_FROM_PREV = 0xFFFD;
constexpr USHORT ifoldCONTINUED_TO_NEXT = 0xFFFE;
constexpr USHORT ifoldCONTINUED_PREV_AND_NEXT = 0xFFFF;

// Size of the path buffer of the next-cabinet notification, terminator included.
constexpr int CB_MAX_CAB_PATH = 256;

constexpr int cpuUNKNOWN = -1;
constexpr int cpu80286 = 0;
constexpr int cpu80386 = 1;

using HFDI = void*;

struct FDICABINETINFO {
  LONG cbCabinet = 0;  // total size of the cabinet file
  USHORT cFolders = 0;
  USHORT cFiles = 0;
  USHORT setID = 0;
  USHORT iCabinet = 0;  // position in its set, from 0
  BOOL fReserve = FALSE;
  BOOL hasprev = FALSE;
  BOOL hasnext = FALSE;
};
using PFDICABINETINFO = FDICABINETINFO*;

enum FDINOTIFICATIONTYPE : int {
  fdintCABINET_INFO = 0,
  fdintPARTIAL_FILE = 1,
  fdintCOPY_FILE = 2,
  fdintCLOSE_FILE_INFO = 3,
  fdintNEXT_CABINET = 4,
  fdintENUMERATE = 5,
};

// What a notification carries, by type:
//   CABINET_INFO   psz1 next cabinet name, psz2 next disk name, psz3 cabinet path,
//                  setID, iCabinet
//   PARTIAL_FILE   psz1 file name, psz2/psz3 cabinet and disk the file starts on
//   COPY_FILE      psz1 file name, cb size, date, time, attribs, iFolder;
//                  return 0 to skip, -1 to abort, else the handle to write to
//   CLOSE_FILE_INFO psz1 file name, hf handle, date, time, attribs (without the
//                  run-after-extract bit), cb run-after-extract (0/1), iFolder;
//                  return TRUE, or FALSE/-1 to abort
//   NEXT_CABINET   psz1 next cabinet name, psz2 its disk, psz3 the path buffer
//                  (CB_MAX_CAB_PATH bytes, changeable), fdie why it is asked again
// Every other notification returns 0 to go on; -1 aborts the copy.
struct FDINOTIFICATION {
  LONG cb = 0;
  char* psz1 = nullptr;
  char* psz2 = nullptr;
  char* psz3 = nullptr;
  void* pv = nullptr;
  INT_PTR hf = 0;
  USHORT date = 0;
  USHORT time = 0;
  USHORT attribs = 0;
  USHORT setID = 0;
  USHORT iCabinet = 0;
  USHORT iFolder = 0;
  FDIERROR fdie = FDIERROR_NONE;
};
using PFDINOTIFICATION = FDINOTIFICATION*;

// Memory and file callbacks. Read and write return the bytes moved or (UINT)-1,
// close 0 or -1, seek the new position or -1, open a handle or -1.
using PFNALLOC = void* (*)(ULONG cb);
using PFNFREE = void (*)(void* pv);
using PFNOPEN = INT_PTR (*)(char* pszFile, int oflag, int pmode);
using PFNREAD = UINT (*)(INT_PTR hf, void* pv, UINT cb);
using PFNWRITE = UINT (*)(INT_PTR hf, void* pv, UINT cb);
using PFNCLOSE = int (*)(INT_PTR hf);
using PFNSEEK = int64_t (*)(INT_PTR hf, int64_t dist, int seektype);
using PFNFDINOTIFY = INT_PTR (*)(FDINOTIFICATIONTYPE fdint, PFDINOTIFICATION pfdin);
using PFNFDIDECRYPT = int (*)(void* pfdid);

extern "C" {
HFDI FDICreate(PFNALLOC pfnalloc, PFNFREE pfnfree, PFNOPEN pfnopen, PFNREAD pfnread, PFNWRITE pfnwrite,
               PFNCLOSE pfnclose, PFNSEEK pfnseek, int cpuType, PERF perf);
BOOL FDIIsCabinet(HFDI hfdi, INT_PTR hf, PFDICABINETINFO pfdici);
BOOL FDICopy(HFDI hfdi, char* pszCabinet, char* pszCabPath, int flags, PFNFDINOTIFY pfnfdin,
             PFNFDIDECRYPT pfnfdid, void* pvUser);
BOOL FDIDestroy(HFDI hfdi);
}
