// The cabinet library's compression interface (FCI). This library decompresses
// only: the entry points exist so that bindings resolve all of the library's names,
// and each reports that no cabinet can be made.
#pragma once

#include "platform/cabinet/fdi.h"

enum FCIERROR : int {
  FCIERR_NONE = 0,
  FCIERR_OPEN_SRC = 1,
  FCIERR_READ_SRC = 2,
  FCIERR_ALLOC_FAIL = 3,
  FCIERR_TEMP_FILE = 4,
  FCIERR_BAD_COMPR_TYPE = 5,
  FCIERR_CAB_FILE = 6,
  FCIERR_USER_ABORT = 7,
  FCIERR_MCI_FAIL = 8,
};

constexpr int CB_MAX_DISK_NAME = 256;
constexpr int CB_MAX_CABINET_NAME = 256;

using HFCI = void*;
using TCOMP = USHORT;

// Where and how the cabinets of a set are made.
struct CCAB {
  ULONG cb = 0;              // largest cabinet size
  ULONG cbFolderThresh = 0;  // folder size at which a new folder starts
  UINT cbReserveCFHeader = 0;
  UINT cbReserveCFFolder = 0;
  UINT cbReserveCFData = 0;
  int iCab = 0;
  int iDisk = 0;
  int fFailOnIncompressible = 0;
  USHORT setID = 0;
  char szDisk[CB_MAX_DISK_NAME] = {};
  char szCab[CB_MAX_CABINET_NAME] = {};
  char szCabPath[CB_MAX_CAB_PATH] = {};
};
using PCCAB = CCAB*;

using PFNFCIFILEPLACED = int (*)(PCCAB pccab, char* pszFile, int64_t cbFile, BOOL fContinuation, void* pv);
using PFNFCIOPEN = INT_PTR (*)(char* pszFile, int oflag, int pmode, int* err, void* pv);
using PFNFCIREAD = UINT (*)(INT_PTR hf, void* memory, UINT cb, int* err, void* pv);
using PFNFCIWRITE = UINT (*)(INT_PTR hf, void* memory, UINT cb, int* err, void* pv);
using PFNFCICLOSE = int (*)(INT_PTR hf, int* err, void* pv);
using PFNFCISEEK = int64_t (*)(INT_PTR hf, int64_t dist, int seektype, int* err, void* pv);
using PFNFCIDELETE = int (*)(char* pszFile, int* err, void* pv);
using PFNFCIGETTEMPFILE = BOOL (*)(char* pszTempName, int cbTempName, void* pv);
using PFNFCIGETNEXTCABINET = BOOL (*)(PCCAB pccab, ULONG cbPrevCab, void* pv);
using PFNFCISTATUS = LONG (*)(UINT typeStatus, ULONG cb1, ULONG cb2, void* pv);
using PFNFCIGETOPENINFO = INT_PTR (*)(char* pszName, USHORT* pdate, USHORT* ptime, USHORT* pattribs, int* err,
                                      void* pv);

extern "C" {
HFCI FCICreate(PERF perf, PFNFCIFILEPLACED pfnfcifp, PFNALLOC pfna, PFNFREE pfnf, PFNFCIOPEN pfnopen,
               PFNFCIREAD pfnread, PFNFCIWRITE pfnwrite, PFNFCICLOSE pfnclose, PFNFCISEEK pfnseek,
               PFNFCIDELETE pfndelete, PFNFCIGETTEMPFILE pfnfcigtf, PCCAB pccab, void* pv);
BOOL FCIAddFile(HFCI hfci, char* pszSourceFile, char* pszFileName, BOOL fExecute, PFNFCIGETNEXTCABINET pfnfcignc,
                PFNFCISTATUS pfnfcis, PFNFCIGETOPENINFO pfnfcigoi, TCOMP typeCompress);
BOOL FCIFlushCabinet(HFCI hfci, BOOL fGetNextCab, PFNFCIGETNEXTCABINET pfnfcignc, PFNFCISTATUS pfnfcis);
BOOL FCIFlushFolder(HFCI hfci, PFNFCIGETNEXTCABINET pfnfcignc, PFNFCISTATUS pfnfcis);
BOOL FCIDestroy(HFCI hfci);
}
