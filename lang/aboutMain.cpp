// The about dialog: product name and version.
#include "lang/lang.h"
#include "app/func.h"
#include "dlgkit/dlgkit.h"
#include "lang/dlgtexts.h"
#include "res/resource.h"

namespace {
const CtlText kAboutTexts[] = {{IDB_ABOUT_CLOSE, S_CLOSE}};
}  // namespace

void DialogAbout() { LaunchDialog(SLOT_ABOUT, ThtMain6); }

DWORD WINAPI ThtMain6(LPVOID) {
  StartMain(DialogProc7, IDD_ABOUT);
  return 1;
}

INT_PTR CALLBACK DialogProc7(HWND wnd, UINT msg, WPARAM wp, LPARAM) {
  switch (msg) {
    case WM_INITDIALOG: InitLang7(wnd); return TRUE;
    case WM_COMMAND:
      if (LOWORD(wp) == IDB_ABOUT_CLOSE || LOWORD(wp) == IDCANCEL) SendMessageA(wnd, WM_CLOSE, 0, 0);
      return TRUE;
    case WM_CLOSE:
    case WM_DESTROY: EndSubDialog(SLOT_ABOUT); return TRUE;
    default: return FALSE;
  }
}

void InitLang7(HWND wnd) { SetDialogTexts(wnd, &S_ABOUT_CAPTION, kAboutTexts); }
