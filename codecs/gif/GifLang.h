// Message texts, the exception class and the small enumerations of the GIF codec.
#pragma once

#include <string>

#include "platform/rtl/events.h"
#include "platform/vcl/graphics.h"

// Every hard error of the GIF codec.
VX_EXCEPTION(GIFException, EInvalidGraphic)

enum TGIFVersion { gvUnknown, gv87a, gv89a };
enum TGIFSeverity { gsInfo, gsWarning, gsError };

// The three version characters of the signature, indexed by gv87a and gv89a.
extern const char* const GIFVersions[3];

// A recoverable problem: the object that met it, how bad it is, and the text.
using TGIFWarning = Event<TObject*, TGIFSeverity, const std::string&>;

// The codec's texts. Every error is a GIFException carrying one of them unless the
// code says otherwise.
extern const char* const sOutOfData;
extern const char* const sTooManyColors;
extern const char* const sBadColorIndex;
extern const char* const sBadVersion;
extern const char* const sBadSignature;
extern const char* const sScreenBadColorSize;
extern const char* const sImageBadColorSize;
extern const char* const sUnknownExtension;
extern const char* const sBadExtensionLabel;
extern const char* const sOutOfMemDIB;
extern const char* const sDIBCreate;
extern const char* const sDecodeTooFewBits;
extern const char* const sDecodeCircular;
extern const char* const sBadTrailer;
extern const char* const sBadExtensionInstance;
extern const char* const sBadBlockSize;
extern const char* const sBadBlock;
extern const char* const sUnsupportedClass;
extern const char* const sInvalidData;
extern const char* const sBadHeight;
extern const char* const sBadWidth;
extern const char* const sFailedPaste;
extern const char* const sScreenSizeExceeded;
extern const char* const sNoColorTable;
extern const char* const sBadPixelCoordinates;
extern const char* const sUnsupportedBitmap;
extern const char* const sInvalidPixelFormat;
extern const char* const sBadDimension;
extern const char* const sNoDIB;
extern const char* const sInvalidStream;
extern const char* const sInvalidColor;
extern const char* const sInvalidBitSize;
extern const char* const sEmptyColorMap;
extern const char* const sEmptyImage;
extern const char* const sInvalidBitmapList;
extern const char* const sInvalidReduction;
extern const char* const sGIFImageFile;
extern const char* const sProgressLoading;
extern const char* const sProgressSaving;
extern const char* const sProgressConverting;
extern const char* const sProgressRendering;
extern const char* const sProgressCopying;
extern const char* const sProgressOptimizing;
