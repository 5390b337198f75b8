// The click on the panel over the main window's picture: opens the maximised advertisement.
#define ADPANE_BUILD
#include "adpane/internal.h"
#include "win/winhandles.h"

void StartBrowser(void) {
  if (!*(volatile int*)IsWebFullScr()) return;
  HWND* under = C_hwnd_main();
  RECT* rect = C_rect();
  POINT pt = {0, 0};
  GetCursorPos(&pt);
  *under = WindowFromPoint(pt);
  if (!*under || !GetWindowRect(*under, rect)) SetRectEmpty(rect);
  // The browser's window fills the panel: a window of exactly the panel's size is taken for it.
  AdvRecord* a = Record();
  if (a->width != rect->right - rect->left || a->height != rect->bottom - rect->top) return;
  // Each maximised window's thread lives on its own; nothing waits for it, so its handle goes now.
  UniqueHandle thread(CreateThread(nullptr, 0, BrowserThr, nullptr, 0, nullptr));
}
