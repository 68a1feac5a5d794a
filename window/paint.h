// Everything the window shows, drawn with plain GDI and stock objects only.
// Each operation puts back every object it selects.
#pragma once
#include <windows.h>
#include "startup/context.h"

// Draws nothing for a null bitmap (the size would be unknown).
void BlitBitmap(HDC dc, int x, int y, HBITMAP bitmap);
void PaintWindow(SetupContext* context, HDC dc);
void DrawInfoBand(SetupContext* context, HDC dc);
void DrawActionButton(SetupContext* context, HDC dc, int pressed);
void DrawProgressPanel(SetupContext* context, HDC dc, int phase);
