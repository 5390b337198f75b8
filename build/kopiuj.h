// The packing progress dialog and the records through which a build feeds and cancels it.
#pragma once
#include <windows.h>
#include "lang/subdialog.h"

extern const SubDialog kPackingDialog;

void DialogKopiuj();                      // opens the dialog on a thread of its own, unless open; waits a moment for it
DWORD WINAPI ThtMain5(LPVOID);
INT_PTR CALLBACK DialogProc6(HWND wnd, UINT msg, WPARAM wp, LPARAM lp);
void InitLang6(HWND wnd);
// Shows `value` (percent) on the overall (bar false) or current (bar true) bar; with `dlg` given,
// takes that dialog's bars and labels instead.
void Progress(short value, bool bar, HWND dlg);
// A build's report of both bars from its own thread: queued to the dialog, which shows them with
// Progress in the order given (those made while it opens once it has opened); returns without
// waiting for it. Nothing while none is open or opening.
void ShowBuildProgress(short overall, short current);
short* Granica();     // bounds of the current step on the overall bar: [0] lo, [1] hi
// The flags below are written by one thread and read by the other: read and write them through the
// questions after them, which do so atomically.
BYTE* CancelGzc();    // 1 = go on, 0 = the author aborted
BYTE* Cancel();       // 1 = a close of the dialog is the author's; 0 = the build closes it
HWND* HwndCopy();     // the open dialog
bool BuildCancelled();     // the author aborted the running build (cancel flag 0)
void ClearBuildCancel();   // the next build goes on (cancel flag 1)
HWND ProgressWindow();     // the open dialog, null while none has taken its bars
void UsunZBin();      // deletes every file below the working folder's "bin"
// The build's own close of the dialog: neither cancels nor deletes; waits for a dialog still opening
// to have opened and to have been in view `shownAtLeastMs`, then for the close to be handled.
void CloseProgressByBuild(DWORD shownAtLeastMs = 0);
