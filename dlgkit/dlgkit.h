// Exports of the dialog helper library: dialog runner, start-up guards, system queries, pickers.
#pragma once
#include <windows.h>

#ifdef DLGKIT_BUILD
#define DLGKIT_API extern "C" __declspec(dllexport)
#else
#define DLGKIT_API extern "C" __declspec(dllimport)
#endif

// Runs the dialog `templ` of the main program's module modally on the calling thread, then pumps the
// thread's queue until its quit message. Returns 0.
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
