// The advertisement panel library: its record and windows, the panel's creation and shutdown.
#define ADPANE_BUILD
#include "adpane/internal.h"
#include "adpane/WebBrowser.h"

namespace {
AdvRecord adv;
HWND panel;
HWND hm;
RECT lpRect;
DWORD panelThread;  // the thread that ran C_init: its C_close ends the probe too
thread_local int oleBegun;
// Closing the program waits this long at most for a probe that has been told to give up.
const DWORD kProbeStopWait = 1000;

BOOL CALLBACK close_ie(HWND wnd, LPARAM) { return DestroyWindow(wnd); }

// The panel keeps the dialog class's default behaviour; only when it goes with the main window
// does it let go of its browser, while OLE is still up on this thread.
INT_PTR CALLBACK PanelProc(HWND wnd, UINT msg, WPARAM, LPARAM) {
  if (msg == WM_DESTROY) DestroyBrowserWindow(wnd);
  return FALSE;
}
}  // namespace

AdvRecord* Record() {
  adv.url[sizeof adv.url - 1] = 0;
  return &adv;
}

void OleEnter() {
  if (SUCCEEDED(OleInitialize(nullptr))) ++oleBegun;
}

void OleLeave() {
  if (!oleBegun) return;
  --oleBegun;
  OleUninitialize();
}

AdvRecord* C_adv(void) { return &adv; }
HWND* C_hwnd(void) { return &panel; }
HWND* C_hwnd_main(void) { return &hm; }
RECT* C_rect(void) { return &lpRect; }

void C_init(void) {
  AdvRecord* a = Record();
  panelThread = GetCurrentThreadId();
  EnableWindow(a->hwndParent, FALSE);
  if (IsConnected() && IsReachable(a->url)) {
    GetInfo();
    OleEnter();
    panel = CreateWindowExA(0, AD_DIALOG_CLASS, AD_WINDOW_TEXT, a->style, a->x, a->y, a->width, a->height,
                            a->hwndParent, nullptr, a->hInstance, nullptr);
    if (panel) SetWindowLongPtrA(panel, DWLP_DLGPROC, (LONG_PTR)PanelProc);
    if (panel && CreateBrowserWindow(panel) == 0) OpenURL(panel, a->url);
  }
  EnableWindow(a->hwndParent, TRUE);
  C_CloseThr();
}

void C_close(void) {
  if (GetCurrentThreadId() == panelThread) StopProbe(kProbeStopWait);
  OleLeave();
  C_CloseThr();
}

void C_destroy(void) {
  if (panel) DestroyBrowserWindow(panel);
}

BOOL C_ieHwnd(void) { return EnumThreadWindows(GetCurrentThreadId(), close_ie, 0); }

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
