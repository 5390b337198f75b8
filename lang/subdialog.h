// The sub-dialogs' skeleton: every dialog the main window opens on a thread of its own (the three
// entry editors, packing progress, about, settings) is one row of this kind and its handlers.
#pragma once
#include <windows.h>

// The may-open flags and thread handles: one of each per slot, slots 0 to kSlotCount - 1.
const int kSlotCount = 6;
const BYTE kSlotFree = 1;  // a may-open flag's value while no dialog of its kind is open

// A sub-dialog: its slot, template, procedure, thread, texts and handlers. Its procedure and its
// thread routine are thin names over SubDialogProc and RunSubDialog with this row.
struct SubDialog {
  int slot;                       // its may-open flag and thread handle; no other row's
  int dialogId;                   // its template
  DLGPROC proc;                   // DialogProcN
  LPTHREAD_START_ROUTINE thread;  // ThtMainN
  void (*texts)(HWND wnd);        // InitLangN: caption and labels in the selected language
  // After the texts on WM_INITDIALOG: the controls' state. Its answer is WM_INITDIALOG's: TRUE
  // gives the first control the focus. Null: TRUE.
  BOOL (*init)(HWND wnd);
  // Every command but the closing ones below. Null: none.
  void (*command)(HWND wnd, int id, int code);
  // WM_CLOSE and the WM_DESTROY after it; it must end the dialog (EndSubDialog). Null: EndSubDialog.
  void (*close)(HWND wnd);
  int closeButton;    // closes the dialog (WM_CLOSE)
  bool escapeCloses;  // Escape (IDCANCEL) closes it too
};

// The launcher: starts the dialog on a thread of its own, unless one of its kind is open.
void OpenSubDialog(const SubDialog& row);
// The thread routine's body: runs the dialog until it ends (StartMain). Returns 1.
DWORD RunSubDialog(const SubDialog& row);
// The dialog procedure: texts and init, the closing commands, the row's commands, its close.
INT_PTR SubDialogProc(const SubDialog& row, HWND wnd, UINT msg, WPARAM wp, LPARAM lp);

// The slots themselves. The flags are written by one thread and read by others: ask IsOpen.
BYTE* dialog();         // may-open flags, one per slot, kSlotFree = none open
HANDLE* Threadfunc();   // thread of the open dialog of each slot
bool IsOpen(int slot);  // a dialog of the slot's kind is open
// Starts the dialog of `slot` on a thread of its own running `routine`, unless one is open.
void LaunchDialog(int slot, LPTHREAD_START_ROUTINE routine);
// True on the thread of the open dialog of `slot`, until it has ended.
bool HoldsSlot(int slot);
// Ends a sub-dialog as every dialog procedure does on WM_CLOSE / WM_DESTROY; only the dialog that
// holds the slot ends (and frees) it.
void EndSubDialog(int slot);
