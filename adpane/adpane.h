// Exports of the advertisement panel library: the panel's parameters, its windows, start-up,
// the click that opens the maximised advertisement, and shutdown.
#pragma once
#include <windows.h>

#ifdef ADPANE_BUILD
#define ADPANE_API extern "C" __declspec(dllexport)
#else
#define ADPANE_API extern "C" __declspec(dllimport)
#endif

// The panel's parameters: one per process, owned by the library, filled by the main program in
// place before C_init.
struct AdvRecord {
  char url[256];         // address of the advertisement page, NUL-terminated, system code page
  INT32 x, y;            // panel's top left corner in the client area of hwndParent, pixels
  INT32 width, height;   // panel's size, pixels
  HWND hwndParent;       // the main window that holds the panel
  DWORD style;           // window style of the panel
  HINSTANCE hInstance;   // instance handed to the panel's creation
};

ADPANE_API AdvRecord* C_adv(void);
// Starts the server probe when the system reports a connection and returns at once; the panel and
// its browser are made from the record on this thread's message loop once the probe has found the
// ad server reachable. Offline it only trims memory. Call it on the thread of hwndParent.
ADPANE_API void C_init(void);
ADPANE_API HWND* C_hwnd(void);       // the panel window (null before C_init or offline)
ADPANE_API HWND* C_hwnd_main(void);  // window under the cursor at the last click test, or the last maximised window
ADPANE_API RECT* C_rect(void);       // screen rectangle of the window under the cursor at the last click test
ADPANE_API int* IsWebFullScr(void);  // 1 when the ad server allows the maximised window
// On a click in the main window (WM_MOUSEACTIVATE): opens the maximised advertisement on a thread
// of its own when allowed and the window under the cursor has the panel's size.
ADPANE_API void StartBrowser(void);
// Trims the working set `ms` milliseconds from now, on a thread of its own.
ADPANE_API void C_sleep(DWORD ms);
// Trims the working set now.
ADPANE_API void C_CloseThr(void);
// Ends the calling thread's use of OLE and trims memory; on the thread that ran C_init it first
// stops the server probe, waiting for it a short fixed time at most.
ADPANE_API void C_close(void);
// Releases the browser of the panel; a second call does nothing.
ADPANE_API void C_destroy(void);
// Destroys every top-level window of the calling thread; the enumeration's result.
ADPANE_API BOOL C_ieHwnd(void);
