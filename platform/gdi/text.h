// Fonts through FreeType and fontconfig: the framework's font names map to
// installed families ("MS Sans Serif", "Tahoma", "Arial" to DejaVu Sans, the
// Korean system fonts to Nanum Gothic), LOGFONT sizes to pixel sizes, and glyphs are
// rendered one bit per pixel (no smoothing) and cached.
//
// Metrics, as the device reports TrueType fonts: with ppem the pixel size of the em,
// ascent = ceil(usWinAscent * ppem / unitsPerEm), descent = ceil(usWinDescent * ...),
// height = ascent + descent, internal leading = height - ppem; a negative LOGFONT
// height is -ppem, a positive one the cell height (ppem = round(height * unitsPerEm /
// (usWinAscent + usWinDescent))). A glyph's advance is FreeType's hinted advance for
// monochrome rendering, plus one pixel when bold is synthesised. No kerning.
#pragma once

#include <memory>
#include <string>

#include "platform/gdi/gdi.h"

namespace vx::gdi {

struct FontFace;

// The font for a LOGFONT (never null: an unknown face falls back to a sans-serif).
std::shared_ptr<FontFace> ResolveFont(const LOGFONT& lf);

// Makes a face name use a font file, for every style (bold and italic are then
// synthesised unless the file itself is bold or italic). Empty path: removes it.
void SetFontFile(const std::string& faceName, const std::string& path);

// The file a face name resolves to, for tests and diagnostics.
std::string FontFileOf(const LOGFONT& lf);

}  // namespace vx::gdi
