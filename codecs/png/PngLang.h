// Message texts and exception classes of the PNG picture class.
#pragma once

#include <string>

#include "platform/rtl/exceptions.h"

// Every PNG error derives directly from Exception, so callers can catch each one by
// its exact class.
VX_EXCEPTION(EPngError, Exception)
VX_EXCEPTION(EPngUnexpectedEnd, Exception)
VX_EXCEPTION(EPngInvalidCRC, Exception)
VX_EXCEPTION(EPngInvalidIHDR, Exception)
VX_EXCEPTION(EPNGMissingMultipleIDAT, Exception)
VX_EXCEPTION(EPNGZLIBError, Exception)
VX_EXCEPTION(EPNGInvalidPalette, Exception)
VX_EXCEPTION(EPNGInvalidFileHeader, Exception)
VX_EXCEPTION(EPNGIHDRNotFirst, Exception)
VX_EXCEPTION(EPNGNotExists, Exception)
VX_EXCEPTION(EPNGSizeExceeds, Exception)
VX_EXCEPTION(EPNGMissingPalette, Exception)
VX_EXCEPTION(EPNGUnknownCriticalChunk, Exception)
VX_EXCEPTION(EPNGUnknownCompression, Exception)
VX_EXCEPTION(EPNGUnknownInterlace, Exception)
VX_EXCEPTION(EPNGNoImageData, Exception)
VX_EXCEPTION(EPNGCouldNotLoadResource, Exception)
VX_EXCEPTION(EPNGCannotChangeTransparent, Exception)
VX_EXCEPTION(EPNGHeaderNotPresent, Exception)
VX_EXCEPTION(EPNGOutMemory, Exception)

// The texts the codec raises its errors with.
extern const char* const EPngInvalidCRCText;
extern const char* const EPNGInvalidIHDRText;
extern const char* const EPNGMissingMultipleIDATText;
extern const char* const EPNGZLIBErrorText;
extern const char* const EPNGInvalidPaletteText;
extern const char* const EPNGInvalidFileHeaderText;
extern const char* const EPNGIHDRNotFirstText;
extern const char* const EPNGNotExistsText;
extern const char* const EPNGSizeExceedsText;
extern const char* const EPNGUnknownPalEntryText;
extern const char* const EPNGMissingPaletteText;
extern const char* const EPNGUnknownCriticalChunkText;
extern const char* const EPNGUnknownCompressionText;
extern const char* const EPNGUnknownInterlaceText;
extern const char* const EPNGCannotAssignChunkText;
extern const char* const EPNGUnexpectedEndText;
extern const char* const EPNGNoImageDataText;
extern const char* const EPNGCannotChangeSizeText;
extern const char* const EPNGCannotAddChunkText;
extern const char* const EPNGCannotAddInvalidImageText;
extern const char* const EPNGCouldNotLoadResourceText;
extern const char* const EPNGOutMemoryText;
extern const char* const EPNGCannotChangeTransparentText;
extern const char* const EPNGHeaderNotPresentText;
