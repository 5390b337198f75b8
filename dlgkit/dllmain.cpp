// The dialog helper library: modal dialog runner, start-up guards, small system queries and text
// painting on dialogs.
#define DLGKIT_BUILD
#include "dlgkit.h"
#include "win/winhandles.h"
#include <commdlg.h>
#include <shellapi.h>
#include <objbase.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {
const int kPathMax = 260;
thread_local char ownName[kPathMax];
thread_local char langResult[kPathMax];

bool QueryVersion(OSVERSIONINFOA& v) {
  ZeroMemory(&v, sizeof v);
  v.dwOSVersionInfoSize = sizeof v;
  return GetVersionExA(&v) != 0;
}
}  // namespace

int StartMain(DLGPROC proc, int templ) {
  MSG msg;
  if (DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(templ), nullptr, proc, 0) == -1) {
    // No dialog (no template, a control class or memory missing): no quit message is coming, so
    // none is waited for; one that the procedure posted while it failed goes, so that it does not
    // end the thread's next dialog.
    PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
    return -1;
  }
  // The dialog ends by posting the quit message; the modal loop hands it back to this queue.
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return 0;
}

int IsNT(void) {
  OSVERSIONINFOA v;
  if (QueryVersion(v) && v.dwPlatformId != VER_PLATFORM_WIN32_WINDOWS) return 0;
  MessageBoxA(nullptr, "This program requires Windows NT or newer", Own_name(), MB_OK | MB_ICONERROR);
  return 1;
}

float WinWer(void) {
  OSVERSIONINFOA v;
  if (!QueryVersion(v)) return 0.0f;
  char text[32];
  snprintf(text, sizeof text, "%u.%u", (unsigned)v.dwMajorVersion, (unsigned)v.dwMinorVersion);
  return (float)atof(text);
}

char* Own_name(void) {
  DWORD n = GetModuleFileNameA(GetModuleHandleA(nullptr), ownName, kPathMax);
  if (n >= (DWORD)kPathMax) n = kPathMax - 1;
  ownName[n] = 0;
  char* slash = strrchr(ownName, '\\');
  return slash ? slash + 1 : ownName;
}

int WinSemaphore(void) {
  UniqueHandle h(CreateSemaphoreA(nullptr, 0, 1, Own_name()));
  if (h && GetLastError() == ERROR_ALREADY_EXISTS) return 1;
  h.release();  // the first instance keeps its handle open for the rest of its life
  return 0;
}

DWORD_PTR SetIco(HWND wnd, int id) {
  HICON icon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id & 0xFFFF));
  return SetClassLongPtrA(wnd, GCLP_HICON, (LONG_PTR)icon);
}

DWORD FileOpen(HWND owner, const char* filter, char* path, int save) {
  OPENFILENAMEA ofn;
  ZeroMemory(&ofn, sizeof ofn);
  ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400A;  // the classic record, without the Windows 2000 tail
  ofn.hwndOwner = owner;
  ofn.hInstance = GetModuleHandleA(nullptr);
  ofn.lpstrFilter = filter;
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = path;
  ofn.nMaxFile = kPathMax;
  ofn.lpstrTitle = "Select file:";
  ofn.Flags = save ? 0 : (OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST);
  ofn.lpstrDefExt = "*";
  if (save) GetSaveFileNameA(&ofn);
  else GetOpenFileNameA(&ofn);
  return CommDlgExtendedError();
}

void ShellOpen(const char* path, const char* folder) {
  HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  ShellExecuteA(nullptr, nullptr, path, nullptr, folder, SW_SHOWNORMAL);
  if (SUCCEEDED(hr)) CoUninitialize();
}

char* GetLang(const char* key, const char* def, const char* file) {
  char path[kPathMax];
  DWORD n = GetModuleFileNameA(GetModuleHandleA(nullptr), path, kPathMax);
  if (n >= (DWORD)kPathMax) n = kPathMax - 1;
  path[n] = 0;
  char* slash = strrchr(path, '\\');
  if (slash) slash[1] = 0;
  char file_path[kPathMax];
  int len = snprintf(file_path, sizeof file_path, "%sLang\\%s", path, file ? file : "");
  if (len < 0 || len >= kPathMax) {  // a path past the limit names no file of ours
    snprintf(langResult, sizeof langResult, "%s", def ? def : "");
    return langResult;
  }
  GetPrivateProfileStringA("lng", key, def ? def : "", langResult, kPathMax, file_path);
  return langResult;
}

// ---- Text painting: bold lines inside WM_PAINT, lines at once, control fonts, colour keys ----
namespace {
const DWORD kChooseFontFlags = CF_SCREENFONTS | CF_EFFECTS;  // 0x101
const BYTE kEastEurope = EASTEUROPE_CHARSET;                 // 238

// The open painting series: one per process, opened by phase 0 or 1, closed by phase 0 or 3.
HWND seriesWnd;
HDC seriesDc;
PAINTSTRUCT seriesPs;

void FontDescription(LOGFONTA* lf, int height, LONG weight) {
  ZeroMemory(lf, sizeof *lf);
  lf->lfHeight = height;
  lf->lfWeight = weight;
  lf->lfCharSet = kEastEurope;
}

// Draws one line in a font made from `lf` and deletes the font again; a font that cannot be made
// leaves the context's current one.
void DrawLine(HDC dc, const LOGFONTA& lf, int x, int y, const char* text) {
  UniqueGdi font(CreateFontIndirectA(&lf));
  HGDIOBJ old = font ? SelectObject(dc, font.get()) : nullptr;
  TextOutA(dc, x, y, text, lstrlenA(text));
  if (font) SelectObject(dc, old);
}
}  // namespace

void InitPaintStruct(CHOOSEFONTA* cf, HWND owner, LOGFONTA* lf, int height, COLORREF colour) {
  cf->lStructSize = sizeof(CHOOSEFONTA);  // 60 bytes in the 32-bit program
  cf->hwndOwner = owner;
  cf->lpLogFont = lf;
  cf->Flags = kChooseFontFlags;
  cf->rgbColors = colour;
  cf->nFontType = SCREEN_FONTTYPE;
  FontDescription(lf, height, FW_BOLD);
}

void PrintOnDlg(HWND wnd, const char* text, COLORREF colour, int transparent, int size, int x, int y, WORD phase) {
  if (phase == 0 || phase == 1) {
    seriesWnd = wnd;
    seriesDc = BeginPaint(wnd, &seriesPs);
    if (seriesDc && transparent) SetBkMode(seriesDc, TRANSPARENT);
  }
  if (seriesDc && text) {
    CHOOSEFONTA cf;
    LOGFONTA lf;
    ZeroMemory(&cf, sizeof cf);
    InitPaintStruct(&cf, wnd, &lf, -size, colour);
    SetTextColor(seriesDc, colour);
    DrawLine(seriesDc, lf, x, y, text);
  }
  if ((phase == 0 || phase == 3) && seriesWnd) {
    EndPaint(seriesWnd, &seriesPs);
    seriesWnd = nullptr;
    seriesDc = nullptr;
  }
}

void PrintOnDlg2(HWND wnd, const char* text, int x, int y, const CHOOSEFONTA* cf) {
  HDC dc = GetDC(wnd);
  if (!dc) return;
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, cf->rgbColors);
  if (text && cf->lpLogFont) DrawLine(dc, *cf->lpLogFont, x, y, text);
  ReleaseDC(wnd, dc);
}

LRESULT set_font(HWND dlg, int height, int control, HDC) {
  LOGFONTA lf;
  FontDescription(&lf, height, FW_NORMAL);
  HFONT font = CreateFontIndirectA(&lf);
  return SendDlgItemMessageA(dlg, control, WM_SETFONT, (WPARAM)font, 1);
}

void SetBkTransparent(HBITMAP bmp, COLORREF key) {
  BITMAP info;
  if (!GetObjectA(bmp, sizeof info, &info)) return;
  UniqueGdi maskBitmap(CreateBitmap(info.bmWidth, info.bmHeight, 1, 1, nullptr));
  UniqueDc imageDc(CreateCompatibleDC(nullptr)), maskDcOwned(CreateCompatibleDC(nullptr));
  HDC image = imageDc.get(), maskDc = maskDcOwned.get();
  if (maskBitmap && image && maskDc) {
    HGDIOBJ oldImage = SelectObject(image, bmp);
    HGDIOBJ oldMask = SelectObject(maskDc, maskBitmap.get());
    // Colour to mono: pixels of the background colour become 1, all others 0. Mono to colour:
    // 1 becomes the background colour (the key), 0 the text colour (black); XOR with the image
    // then turns key pixels black and leaves the others.
    SetBkColor(image, key);
    SetTextColor(image, RGB(0, 0, 0));
    BitBlt(maskDc, 0, 0, info.bmWidth, info.bmHeight, image, 0, 0, SRCCOPY);
    BitBlt(image, 0, 0, info.bmWidth, info.bmHeight, maskDc, 0, 0, SRCINVERT);
    SelectObject(maskDc, oldMask);
    SelectObject(image, oldImage);
  }
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
