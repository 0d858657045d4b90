#include "platform/cabinet/fci.h"

#include <cerrno>

extern "C" {

HFCI FCICreate(PERF perf, PFNFCIFILEPLACED, PFNALLOC, PFNFREE, PFNFCIOPEN, PFNFCIREAD, PFNFCIWRITE, PFNFCICLOSE,
               PFNFCISEEK, PFNFCIDELETE, PFNFCIGETTEMPFILE, PCCAB, void*) {
  if (perf) {
    perf->erfOper = FCIERR_CAB_FILE;
    perf->erfType = ENOSYS;
    perf->fError = TRUE;
  }
  return nullptr;
}

// Without a context from FCICreate there is nothing these could act on.
BOOL FCIAddFile(HFCI, char*, char*, BOOL, PFNFCIGETNEXTCABINET, PFNFCISTATUS, PFNFCIGETOPENINFO, TCOMP) {
  return FALSE;
}
BOOL FCIFlushCabinet(HFCI, BOOL, PFNFCIGETNEXTCABINET, PFNFCISTATUS) { return FALSE; }
BOOL FCIFlushFolder(HFCI, PFNFCIGETNEXTCABINET, PFNFCISTATUS) { return FALSE; }
BOOL FCIDestroy(HFCI) { return FALSE; }

}  // extern "C"
