// Text output. (Glyph rendering arrives with the font engine.)
#include "platform/gdi/dc.h"

BOOL TextOut(HDC, int, int, const char*, int) { return FALSE; }
BOOL ExtTextOut(HDC, int, int, UINT, const RECT*, const char*, UINT, const int*) { return FALSE; }
BOOL GetTextExtentPoint32(HDC, const char*, int, SIZE* size) {
  if (size) *size = SIZE{};
  return FALSE;
}
BOOL GetTextMetrics(HDC, TEXTMETRIC*) { return FALSE; }
int GetTextFace(HDC, int, char*) { return 0; }
int DrawText(HDC, const char*, int, RECT*, UINT) { return 0; }
int DrawTextEx(HDC, char*, int, RECT*, UINT, DRAWTEXTPARAMS*) { return 0; }
