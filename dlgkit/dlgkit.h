// Exports of the dialog helper library: dialog runner, start-up guards, system queries, pickers.
#pragma once
#include <windows.h>
#include <commdlg.h>

#ifdef DLGKIT_BUILD
#define DLGKIT_API extern "C" __declspec(dllexport)
#else
#define DLGKIT_API extern "C" __declspec(dllimport)
#endif

// Runs the dialog `templ` of the main program's module modally on the calling thread, then pumps the
// thread's queue until its quit message. Returns 0; -1 at once when the dialog could not be made.
DLGKIT_API int StartMain(DLGPROC proc, int templ);
// 0 on the NT family; 1 after telling the user the system is too old.
DLGKIT_API int IsNT(void);
// The system version as major.minor; 0.0 when unknown.
DLGKIT_API float WinWer(void);
// The running program's file name; a per-thread library buffer, valid until the next call.
DLGKIT_API char* Own_name(void);
// 1 when another instance of the same program file runs, else 0 (the first keeps the name alive).
DLGKIT_API int WinSemaphore(void);
// Sets icon `id` of the main program as the class icon of `wnd`'s class; returns the previous one.
DLGKIT_API DWORD_PTR SetIco(HWND wnd, int id);
// The system's open or save dialog on `path` (at least 260 bytes); returns CommDlgExtendedError().
DLGKIT_API DWORD FileOpen(HWND owner, const char* filter, char* path, int save);
// Opens a document or program through the shell.
DLGKIT_API void ShellOpen(const char* path, const char* folder);
// Text of `key` in section "lng" of Lang\<file> beside the program, or `def`; a per-thread
// library buffer, valid until the next call.
DLGKIT_API char* GetLang(const char* key, const char* def, const char* file);

// Text painting on dialogs. Fonts are bold or normal, of a given height, East European character
// set (238), with the system's default face for it.

// Fills `cf` (owner, font description `lf`, flags screen fonts and effects, `colour`, screen font
// type; its other fields stay as they were) and `lf` (height as given, bold, character set 238,
// everything else 0). The caller owns both; `cf` points at `lf`.
DLGKIT_API void InitPaintStruct(CHOOSEFONTA* cf, HWND owner, LOGFONTA* lf, int height, COLORREF colour);
// Draws `text` at (x, y) of `wnd`'s client area in a bold font with characters `size` pixels high,
// in `colour`; with `transparent` set at the start of a series, without a background box. Phase 0
// paints one line within BeginPaint/EndPaint; a series is phase 1 (BeginPaint, draw), any number
// of phase 2 (draw) and phase 3 (draw, EndPaint), all inside one WM_PAINT of the window's thread.
DLGKIT_API void PrintOnDlg(HWND wnd, const char* text, COLORREF colour, int transparent, int size, int x, int y,
                           WORD phase);
// Draws `text` at (x, y) of `wnd` at once (outside WM_PAINT, so the next repaint covers it) in
// the font and colour of `cf`, as InitPaintStruct filled it; no background box.
DLGKIT_API void PrintOnDlg2(HWND wnd, const char* text, int x, int y, const CHOOSEFONTA* cf);
// Gives control `control` of `dlg` a normal-weight font whose cells are `height` pixels high. The
// control keeps the font for the rest of the process (each call makes one more). `dc` is unused.
// Returns the result of WM_SETFONT (0).
DLGKIT_API LRESULT set_font(HWND dlg, int height, int control, HDC dc);
// Turns every pixel of `bmp` that has the colour `key` black, in place; others stay as they were.
DLGKIT_API void SetBkTransparent(HBITMAP bmp, COLORREF key);
