#include "window/paint.h"

#include <cstring>

#include "procedures/install.h"
#include "window/layout.h"

namespace {

const COLORREF BLACK = RGB(0, 0, 0);
const COLORREF WHITE = RGB(255, 255, 255);
const COLORREF GREY = RGB(100, 100, 100);

// Selecting a null font would fail anyway; after FreeWindowResources the DC's
// current font is used.
HGDIOBJ SelectIfSet(HDC dc, HGDIOBJ object) {
  return object ? SelectObject(dc, object) : nullptr;
}

void Restore(HDC dc, HGDIOBJ previous) {
  if (previous) SelectObject(dc, previous);
}

void DrawTextIn(HDC dc, const char* text, const LayoutBox& box, UINT format) {
  RECT rect = {box.left, box.top, box.right, box.bottom};
  DrawTextA(dc, text, static_cast<int>(strlen(text)), &rect, format);
}

WindowLayout LayoutOf(const SetupContext* context) {
  WindowLayout layout;
  ComputeLayout(context->bitmap_width, context->bitmap_height, &layout);
  return layout;
}

void StoreButtonRect(SetupContext* context, const LayoutBox& box) {
  context->button_rect.left = box.left;
  context->button_rect.top = box.top;
  context->button_rect.right = box.right;
  context->button_rect.bottom = box.bottom;
}

}  // namespace

void BlitBitmap(HDC dc, int x, int y, HBITMAP bitmap) {
  if (!bitmap) return;
  BITMAP info;
  if (!GetObjectA(bitmap, sizeof info, &info)) return;
  HDC memory = CreateCompatibleDC(dc);
  if (!memory) return;
  HGDIOBJ previous = SelectObject(memory, bitmap);
  BitBlt(dc, x, y, info.bmWidth, info.bmHeight, memory, 0, 0, SRCCOPY);
  SelectObject(memory, previous);
  DeleteDC(memory);
}

void PaintWindow(SetupContext* context, HDC dc) {
  WindowLayout layout = LayoutOf(context);
  HGDIOBJ old_font = SelectIfSet(dc, context->label_font);
  SetBkMode(dc, TRANSPARENT);
  const char* label = OsLabel(context->os_generation);
  SetTextColor(dc, BLACK);
  DrawTextIn(dc, label, layout.os_label_shadow, DT_SINGLELINE);
  SetTextColor(dc, WHITE);
  DrawTextIn(dc, label, layout.os_label, DT_SINGLELINE);
  Restore(dc, old_font);
  DrawInfoBand(context, dc);
  DrawActionButton(context, dc, 0);
}

void DrawInfoBand(SetupContext* context, HDC dc) {
  WindowLayout layout = LayoutOf(context);
  HGDIOBJ old_brush = SelectObject(dc, GetStockObject(WHITE_BRUSH));
  HGDIOBJ old_pen = SelectObject(dc, GetStockObject(NULL_PEN));
  // A null pen leaves the last column and row unfilled, hence the + 1.
  Rectangle(dc, layout.band.left, layout.band.top, layout.band.right + 1, layout.band.bottom + 1);
  HGDIOBJ old_font = SelectIfSet(dc, context->text_font);
  SetTextColor(dc, BLACK);
  SetBkMode(dc, TRANSPARENT);
  DrawTextIn(dc, BandLine1(context->product_installed), layout.band_line1, DT_SINGLELINE);
  SetTextColor(dc, GREY);
  DrawTextIn(dc, BandLine2(context->product_installed), layout.band_line2, DT_SINGLELINE);
  Restore(dc, old_font);
  SelectObject(dc, old_pen);
  SelectObject(dc, old_brush);
}

void DrawActionButton(SetupContext* context, HDC dc, int pressed) {
  WindowLayout layout = LayoutOf(context);
  const LayoutBox& b = layout.button;
  StoreButtonRect(context, b);
  HGDIOBJ old_pen = SelectObject(dc, GetStockObject(BLACK_PEN));
  HGDIOBJ old_brush = SelectObject(dc, GetStockObject(pressed ? BLACK_BRUSH : WHITE_BRUSH));
  SetTextColor(dc, pressed ? WHITE : BLACK);
  RoundRect(dc, b.left, b.top, b.right + 1, b.bottom + 1, 8, 8);
  HGDIOBJ old_font = SelectIfSet(dc, context->caption_font);
  SetBkMode(dc, TRANSPARENT);
  DrawTextIn(dc, ButtonCaption(context->product_installed), b, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
  Restore(dc, old_font);
  SelectObject(dc, old_brush);
  SelectObject(dc, old_pen);
}

void DrawProgressPanel(SetupContext* context, HDC dc, int phase) {
  WindowLayout layout = LayoutOf(context);
  const LayoutBox& b = layout.button;
  StoreButtonRect(context, b);
  HGDIOBJ old_pen = SelectObject(dc, GetStockObject(BLACK_PEN));
  HGDIOBJ old_brush = SelectObject(dc, GetStockObject(BLACK_BRUSH));
  HGDIOBJ old_font = SelectIfSet(dc, context->caption_font);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, WHITE);
  RoundRect(dc, b.left, b.top, b.right + 1, b.bottom + 1, 8, 8);
  if (phase == 1) DrawTextIn(dc, INSTALLING_TEXT, layout.installing, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
  if (context->text_font) SelectObject(dc, context->text_font);
  char status[128];
  CopyStatusText(context, status, sizeof status);
  DrawTextIn(dc, status, layout.status, DT_SINGLELINE | DT_CENTER);
  Restore(dc, old_font);
  SelectObject(dc, old_brush);
  SelectObject(dc, old_pen);
}
