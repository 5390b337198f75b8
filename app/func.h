// The main window: process-wide state, its dialog procedure and the shared operations on it.
#pragma once
#include <windows.h>
#include "entries/entrystate.h"
#include "lang/subdialog.h"

HWND* HwndMain();           // the main window
const int kBuildFailed = 2; // exit code of an unattended build that wrote no whole installer
const int kMainEnded = 1;   // exit code of the program once its main window has ended
// The process-wide records behind the system's accessors (the sub-dialogs' slots are
// lang/subdialog.h's). Their flags are written by one thread and read by others: read and write
// them through the questions below, which do so atomically.
BYTE* noProgressGzc();      // 1 = no build running
BYTE* SavePrj();            // 1 = project has unsaved changes
// A build, a project save or a project open runs (build flag 0): the entry editors may not store,
// a close of the main window waits for its end.
bool BuildRunning();
void SetBuildRunning(bool running);
bool ProjectModified();     // the close-time prompt offers to save (modified flag 1)
char* PlikProjektu();       // project file path (260 bytes), empty = none
const size_t kProjectPathMin = 8;  // a chosen project path shorter than this is no name ("X:\a.kpj")
EntryEditState* dialog1_init(); // shortcut editor
EntryEditState* dialog2_init(); // run-entry editor
EntryEditState* dialog3_init(); // registry-entry editor

INT_PTR CALLBACK DialogProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp);
void InicjujDialogi();
// Hands the advertisement panel its place over the main window's picture and starts it.
void reklama(HWND wnd);
void InitLang1(HWND wnd);
void MakeOwnMenu();
void EnableButtons();
void initbtn();
void LockButtons(bool lock);
void EnMenu(UINT flags);
void EnMenu2(UINT flags);
void MenuOn();
void CleadDir();
// Hands the build the main window's hooks (build/buildhooks.h): its pump, messages, settings,
// working folder, buttons and dialog slot; for the unattended build those without any window.
// Start-up calls it before anything can build or pack.
void GiveBuildHooks();
// Keeps the window alive from a loop that works byte by byte: dispatches one waiting message, but
// looks at the queue only when a few milliseconds have passed, and at the clock only every 1024
// calls; the other calls cost an increment, inline. True if a message was dispatched.
extern unsigned msgLoopCalls;  // the main window's thread is the only caller
const unsigned kMsgLoopClockEvery = 1024;  // a power of two: calls between two looks at the clock
bool MsgLoopLook();
inline bool MsgLoop() { return (++msgLoopCalls & (kMsgLoopClockEvery - 1)) ? false : MsgLoopLook(); }
// How many of the next MsgLoop calls are sure only to count: a byte loop may count them at once
// (MsgLoopSkip) and call MsgLoop itself for the one after.
inline unsigned MsgLoopQuiet() { return (kMsgLoopClockEvery - 1) - (msgLoopCalls & (kMsgLoopClockEvery - 1)); }
inline void MsgLoopSkip(unsigned calls) { msgLoopCalls += calls; }
// Dispatches one message waiting for this thread, at once (MsgLoop without its thrift): for a
// thread that waits rather than works. True if there was one.
bool PumpMessage();
// Closes the main window if a close was asked for while a build ran; the build calls it at its end.
void CloseIfPending();
// Runs fn(arg) on the main window's thread and waits for it: every change of the entry lists and
// their files happens there, one at a time.
void RunOnMainThread(void (*fn)(void*), void* arg);
