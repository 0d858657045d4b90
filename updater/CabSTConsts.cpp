#include "updater/CabSTConsts.h"

#include <cstddef>

namespace CabSTConsts {

const char* const SFDIErrorNone = "No error";
const char* const SFDIErrorCabinetNotFound = "Cabinet not found";
const char* const SFDIErrorNotACabinet = "Cabinet file does not have the correct format";
const char* const SFDIErrorUnknownCabinetVersion = "Cabinet file has an unknown version number";
const char* const SFDIErrorCorruptCabinet = "Cabinet file is corrupt";
const char* const SFDIErrorAllocFail = "Could not allocate enough memory";
const char* const SFDIErrorBadComprType = "Unknown compression type in a cabinet folder";
const char* const SFDIErrorMdiFail = "Failure decompressing data from a cabinet file";
const char* const SFDIErrorTargetFile = "Failure writing to target file";
const char* const SFDIErrorReserveMismatch = "Cabinets in a set do not have the same RESERVE sizes";
const char* const SFDIErrorWrongCabinet = "Cabinet returned on fdintNEXT_CABINET is incorrect";
const char* const SFDIErrorUserAbort = "FDI aborted";
const char* const SFDIError = "FDI error";

const char* const SFCIErrorNone = "No error";
const char* const SFCIErrorOpenSrc = "Failure opening file to be stored in cabinet";
const char* const SFCIErrorReadSrc = "Failure reading file to be stored in cabinet";
const char* const SFCIErrorAllocFail = "Out of memory in FCI";
const char* const SFCIErrorTempFile = "Could not create a temporary file";
const char* const SFCIErrorBadComprType = "Unknown compression type";
const char* const SFCIErrorCabFile = "Could not create cabinet file";
const char* const SFCIErrorUserAbort = "Client requested abort";
const char* const SFCIErrorMciFail = "Failure compressing data";
const char* const SFCIError = "FCI error";

}  // namespace CabSTConsts

using namespace CabSTConsts;

namespace {
template <size_t N>
std::string TextOf(const char* const (&table)[N], int index, const char* other) {
  return index >= 0 && size_t(index) < N ? table[index] : other;
}
}  // namespace

std::string FDIErrorText(int erfOper) {
  const char* const kTexts[] = {
      SFDIErrorNone,         SFDIErrorCabinetNotFound, SFDIErrorNotACabinet,    SFDIErrorUnknownCabinetVersion,
      SFDIErrorCorruptCabinet, SFDIErrorAllocFail,     SFDIErrorBadComprType,   SFDIErrorMdiFail,
      SFDIErrorTargetFile,   SFDIErrorReserveMismatch, SFDIErrorWrongCabinet,   SFDIErrorUserAbort};
  return TextOf(kTexts, erfOper, SFDIError);
}

std::string FCIErrorText(int erfOper) {
  const char* const kTexts[] = {
      SFCIErrorNone,     SFCIErrorOpenSrc, SFCIErrorReadSrc,   SFCIErrorAllocFail, SFCIErrorTempFile,
      SFCIErrorBadComprType, SFCIErrorCabFile, SFCIErrorUserAbort, SFCIErrorMciFail};
  return TextOf(kTexts, erfOper, SFCIError);
}
