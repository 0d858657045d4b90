// The framework's button drawing: styles, glyph layouts and the classic button face.
#pragma once

#include "platform/vcl/graphics.h"

enum TButtonStyle { bsAutoDetect, bsWin31, bsNew };
enum TButtonLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };
enum TButtonState { bsUp, bsDisabled, bsDown, bsExclusive };

// Draws a push button's face over Client and answers the area inside it. The new style
// (bsNew, or bsAutoDetect) is a raised edge, sunken while down; the old style is a
// black frame (with cut corners when IsRounded) around BevelWidth bevels, with a
// second frame when focused.
TRect DrawButtonFace(TCanvas* Canvas, const TRect& Client, int BevelWidth, TButtonStyle Style, bool IsRounded,
                     bool IsDown, bool IsFocused);
