// The maximised advertisement window: its own thread, message loop and dialog procedure.
#define ADPANE_BUILD
#include "adpane/internal.h"
#include "adpane/WebBrowser.h"

namespace {
const DWORD kMaximisedStyle = WS_VISIBLE | WS_MAXIMIZE | WS_CAPTION | WS_SYSMENU;

BOOL OnSize(HWND wnd, int width, int height) {
  HWND browser = GetBrowserHandle(wnd);
  if (!browser) return FALSE;
  MoveWindow(browser, 0, 0, width, height, TRUE);
  UpdateWindow(wnd);
  return TRUE;
}

void OnClose(HWND wnd) {
  DestroyBrowserWindow(wnd);
  PostQuitMessage(0);
}
}  // namespace

INT_PTR CALLBACK C_dlgproc(HWND wnd, UINT msg, WPARAM, LPARAM lp) {
  switch (msg) {
    case WM_SIZE: return OnSize(wnd, LOWORD(lp), HIWORD(lp));
    case WM_CLOSE:
    case WM_DESTROY: OnClose(wnd); return TRUE;
    default: return FALSE;
  }
}

DWORD WINAPI BrowserThr(LPVOID) {
  AdvRecord* a = Record();
  EnableWindow(a->hwndParent, FALSE);
  OleEnter();
  HWND wnd = CreateWindowExA(0, AD_DIALOG_CLASS, AD_WINDOW_TEXT, kMaximisedStyle, 0, 0, 0, 0, nullptr, nullptr,
                             nullptr, nullptr);
  *C_hwnd_main() = wnd;
  if (wnd) {
    SetWindowLongPtrA(wnd, DWLP_DLGPROC, (LONG_PTR)C_dlgproc);
    if (CreateBrowserWindow(wnd) == 0) OpenURL(wnd, a->url);
  }
  EnableWindow(a->hwndParent, TRUE);
  MSG msg;
  while (wnd && GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  // The window goes while OLE is still up on this thread, rather than with the thread.
  if (wnd) {
    DestroyBrowserWindow(wnd);
    DestroyWindow(wnd);
  }
  C_close();
  return 1;
}
