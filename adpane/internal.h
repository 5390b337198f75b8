// What the library's units share beyond its exports: the record, the probe, the maximised window's
// thread and the calling thread's use of OLE.
#pragma once
#include "adpane/adpane.h"

// The ad server's host name (the build's setting); the page address and the probe both use it.
#include "adhost.h"

// The class of the system's dialog windows, which the panel and the maximised window use.
#define AD_DIALOG_CLASS MAKEINTATOM(0x8002)
#define AD_WINDOW_TEXT "Advertisement"

// The record with its address made a NUL-terminated string whatever the main program wrote.
AdvRecord* Record();

// 1 if the system reports a connection, else 0.
int IsConnected();
// Non-zero if a connection to the address's server can be made; may block as long as the network.
BOOL IsReachable(const char* url);
// Starts the server probe (WebThr, its number as the parameter) on a thread of its own: it checks
// that the address can be reached, reports that through ProbeVerdict, then asks the server. The
// probe's number.
LONG GetInfo();
DWORD WINAPI WebThr(LPVOID run);
// Whether `run` is the number of the probe started last, and it has not been told to stop.
bool IsCurrentProbe(LONG run);
// Makes a running probe give up and waits for it `ms` milliseconds at most.
void StopProbe(DWORD ms);
// Called on the probe's thread: hands the reachability check's answer to the thread that ran C_init.
void ProbeVerdict(LONG run, BOOL reachable);

// The maximised advertisement window's thread and its dialog procedure.
DWORD WINAPI BrowserThr(LPVOID);
INT_PTR CALLBACK C_dlgproc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp);

// OLE on the calling thread, counted per thread so that C_close ends only what was begun here.
void OleEnter();
void OleLeave();
