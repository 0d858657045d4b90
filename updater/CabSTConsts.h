// Texts of the cabinet reader's errors, by FDI and FCI error number. They are kept
// together here so that a translation touches this unit only.
#pragma once

#include <string>

namespace CabSTConsts {

extern const char* const SFDIErrorNone;
extern const char* const SFDIErrorCabinetNotFound;
extern const char* const SFDIErrorNotACabinet;
extern const char* const SFDIErrorUnknownCabinetVersion;
extern const char* const SFDIErrorCorruptCabinet;
extern const char* const SFDIErrorAllocFail;
extern const char* const SFDIErrorBadComprType;
extern const char* const SFDIErrorMdiFail;
extern const char* const SFDIErrorTargetFile;
extern const char* const SFDIErrorReserveMismatch;
extern const char* const SFDIErrorWrongCabinet;
extern const char* const SFDIErrorUserAbort;
extern const char* const SFDIError;

extern const char* const SFCIErrorNone;
extern const char* const SFCIErrorOpenSrc;
extern const char* const SFCIErrorReadSrc;
extern const char* const SFCIErrorAllocFail;
extern const char* const SFCIErrorTempFile;
extern const char* const SFCIErrorBadComprType;
extern const char* const SFCIErrorCabFile;
extern const char* const SFCIErrorUserAbort;
extern const char* const SFCIErrorMciFail;
extern const char* const SFCIError;

}  // namespace CabSTConsts

// The text for an FDI error number; "FDI error" for numbers outside the table.
std::string FDIErrorText(int erfOper);
// The text for an FCI error number; "FCI error" for numbers outside the table.
std::string FCIErrorText(int erfOper);
