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
// A message-only window of that thread, from C_init until the probe's reachability verdict: the
// panel is made on the thread that owns the main window, without that thread waiting for the network.
HWND courier;
LONG courierRun;  // the number of the probe whose verdict the courier waits for
const UINT WM_AD_VERDICT = WM_APP + 1;  // wParam: the probe's number; lParam: non-zero if reachable
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

// The panel with its browser, navigating to the address.
void CreatePanel(AdvRecord* a) {
  OleEnter();
  panel = CreateWindowExA(0, AD_DIALOG_CLASS, AD_WINDOW_TEXT, a->style, a->x, a->y, a->width, a->height,
                          a->hwndParent, nullptr, a->hInstance, nullptr);
  if (panel) SetWindowLongPtrA(panel, DWLP_DLGPROC, (LONG_PTR)PanelProc);
  if (panel && CreateBrowserWindow(panel) == 0) OpenURL(panel, a->url);
}

void DropCourier() {
  if (courier) DestroyWindow(courier);
  courier = nullptr;
}

// The verdict of the probe it waits for: the panel if the address answered (and the main window is
// still there), then the courier goes; a verdict of an earlier probe is not heard.
INT_PTR CALLBACK CourierProc(HWND, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg != WM_AD_VERDICT || (LONG)wp != courierRun || !IsCurrentProbe((LONG)wp)) return FALSE;
  AdvRecord* a = Record();
  if (lp && IsWindow(a->hwndParent)) CreatePanel(a);
  DropCourier();
  return TRUE;
}
}  // namespace

void ProbeVerdict(LONG run, BOOL reachable) {
  HWND to = courier;
  if (to) PostMessageA(to, WM_AD_VERDICT, (WPARAM)run, reachable ? 1 : 0);
}

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
  panel = nullptr;
  EnableWindow(a->hwndParent, FALSE);
  if (IsConnected()) {
    courier = CreateWindowExA(0, AD_DIALOG_CLASS, AD_WINDOW_TEXT, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr,
                              nullptr);
    if (courier) {
      SetWindowLongPtrA(courier, DWLP_DLGPROC, (LONG_PTR)CourierProc);
      courierRun = GetInfo();
    }
  }
  EnableWindow(a->hwndParent, TRUE);
  C_CloseThr();
}

void C_close(void) {
  if (GetCurrentThreadId() == panelThread) {
    StopProbe(kProbeStopWait);
    DropCourier();
  }
  OleLeave();
  C_CloseThr();
}

void C_destroy(void) {
  if (panel) DestroyBrowserWindow(panel);
}

BOOL C_ieHwnd(void) { return EnumThreadWindows(GetCurrentThreadId(), close_ie, 0); }

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
