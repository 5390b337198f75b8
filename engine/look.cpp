// The look the installer and the uninstaller share: header band, side picture, emblem, fonts.
#include "engine/look.h"

#include <commctrl.h>

#include "win/winhandles.h"
#include "engine/resource.h"

namespace {
// The product's colours: teal tile, dark outline, amber parcel.
// The outlines are the system's black pen.
const COLORREF kTeal = RGB(0x2a, 0x9d, 0x8f), kDark = RGB(0x1b, 0x3a, 0x4b), kAmber = RGB(0xf2, 0xb1, 0x34),
               kAmberMid = RGB(0xd9, 0x96, 0x2a), kAmberLow = RGB(0xb8, 0x7a, 0x1c);

HFONT FontLike(HFONT base, int weight, int scalePercent) {
  LOGFONTW lf;
  if (!base || !GetObjectW(base, sizeof lf, &lf)) return nullptr;
  lf.lfWeight = weight;
  lf.lfHeight = lf.lfHeight * scalePercent / 100;
  return CreateFontIndirectW(&lf);
}

// Solid areas are painted with the context's own brush in the colour wanted: nothing to create or free.
void Fill(HDC dc, const RECT& r, COLORREF c) {
  SetDCBrushColor(dc, c);
  FillRect(dc, &r, (HBRUSH)GetStockObject(DC_BRUSH));
}

// A polygon given in a 64-unit square, drawn into the square at (x, y) of side `s`.
void Shape(HDC dc, int x, int y, int s, const signed char* xy, int n, COLORREF fill) {
  POINT p[8];
  for (int i = 0; i < n; ++i) p[i] = {x + xy[2 * i] * s / 64, y + xy[2 * i + 1] * s / 64};
  UniqueGdi b(CreateSolidBrush(fill));
  HGDIOBJ old = SelectObject(dc, b.get());
  Polygon(dc, p, n);
  SelectObject(dc, old);
}

// The emblem: a parcel with an arrow into it, on a teal tile with cut corners, fitted into `r`.
void DrawEmblem(HDC dc, const RECT& r, bool tile) {
  int s = r.right - r.left < r.bottom - r.top ? r.right - r.left : r.bottom - r.top;
  int x = r.left + (r.right - r.left - s) / 2, y = r.top + (r.bottom - r.top - s) / 2;
  static const signed char back[] = {3, 11, 11, 3, 53, 3, 61, 11, 61, 53, 53, 61, 11, 61, 3, 53},
                   top[] = {14, 26, 32, 18, 50, 26, 32, 34}, left[] = {14, 26, 32, 34, 32, 54, 14, 46},
                   right[] = {32, 34, 50, 26, 50, 46, 32, 54},
                   arrow[] = {26, 6, 38, 6, 38, 14, 44, 14, 32, 24, 20, 14, 26, 14};
  if (tile) Shape(dc, x, y, s, back, 8, kTeal);
  Shape(dc, x, y, s, top, 4, kAmber);
  Shape(dc, x, y, s, left, 4, kAmberMid);
  Shape(dc, x, y, s, right, 4, kAmberLow);
  Shape(dc, x, y, s, arrow, 7, RGB(255, 255, 255));
}

// The side picture: dark teal fading into teal, the emblem large in its upper part, an amber edge.
void DrawSide(HDC dc, const RECT& r) {
  int h = r.bottom - r.top, w = r.right - r.left;
  const int bands = 48;
  for (int i = 0; i < bands; ++i) {
    RECT b = {r.left, r.top + h * i / bands, r.right, r.top + h * (i + 1) / bands};
    int t = i * 256 / bands;
    Fill(dc, b,
         RGB((GetRValue(kDark) * (256 - t) + GetRValue(kTeal) * t) / 256, (GetGValue(kDark) * (256 - t) + GetGValue(kTeal) * t) / 256,
             (GetBValue(kDark) * (256 - t) + GetBValue(kTeal) * t) / 256));
  }
  RECT edge = {r.right - (w / 40 > 2 ? w / 40 : 2), r.top, r.right, r.bottom};
  Fill(dc, edge, kAmber);
  int s = w * 3 / 5;
  RECT e = {r.left + (w - s) / 2, r.top + h / 6, r.left + (w - s) / 2 + s, r.top + h / 6 + s};
  DrawEmblem(dc, e, false);
}
}  // namespace

void LookInit(HWND dlg, Look* look) {
  HFONT font = (HFONT)SendMessageW(dlg, WM_GETFONT, 0, 0);
  look->bold = FontLike(font, FW_BOLD, 100);
  look->large = FontLike(font, FW_BOLD, 160);
  look->white = CreateSolidBrush(RGB(255, 255, 255));
}

void LookFree(Look* look) {
  HGDIOBJ made[] = {look->bold, look->large, look->white};
  for (HGDIOBJ o : made)
    if (o) DeleteObject(o);
  *look = Look();
}

void LookSetSide(HWND dlg, Look* look, bool side) {
  look->side = side;
  static const int header[] = {IDS_SUBTITLE, IDS_HEADLINE, IDS_EMBLEM};
  for (int id : header) ShowWindow(GetDlgItem(dlg, id), side ? SW_HIDE : SW_SHOW);
  ShowWindow(GetDlgItem(dlg, IDS_SIDE), side ? SW_SHOW : SW_HIDE);
  SendDlgItemMessageW(dlg, IDS_TITLE, WM_SETFONT, (WPARAM)(side ? look->large : look->bold), FALSE);
  InvalidateRect(dlg, nullptr, TRUE);
}

INT_PTR LookErase(HWND dlg, const Look& look, HDC dc) {
  RECT r;
  GetClientRect(dlg, &r);
  FillRect(dc, &r, (HBRUSH)(COLOR_BTNFACE + 1));
  RECT end = {0, 0, 0, look.side ? look.sideEnd : look.headerEnd};
  MapDialogRect(dlg, &end);
  r.bottom = end.bottom;
  FillRect(dc, &r, look.white);
  return TRUE;
}

INT_PTR LookCtlColor(HWND dlg, const Look& look, HDC dc, HWND ctl) {
  // Beside the side picture every text stands on white; under the header band only the header's.
  if (!look.side && ctl != GetDlgItem(dlg, IDS_TITLE) && ctl != GetDlgItem(dlg, IDS_SUBTITLE)) return FALSE;
  SetBkColor(dc, RGB(255, 255, 255));
  return (INT_PTR)look.white;
}

INT_PTR LookDrawItem(const DRAWITEMSTRUCT* di) {
  if (di->CtlID == IDS_SIDE) DrawSide(di->hDC, di->rcItem);
  else if (di->CtlID == IDS_EMBLEM) DrawEmblem(di->hDC, di->rcItem, true);
  else return FALSE;
  return TRUE;
}

void LookPlace(HWND dlg, int id, int x, int y, int cx, int cy) {
  RECT r = {x, y, x + cx, y + cy};
  MapDialogRect(dlg, &r);
  SetWindowPos(GetDlgItem(dlg, id), nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void LookRun(int id, DLGPROC proc, LPARAM param, Look* look) {
  INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&icc);
  // A Unicode dialog: its texts come in every language, whatever the system's 8-bit code page.
  DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), nullptr, proc, param);
  LookFree(look);
}
