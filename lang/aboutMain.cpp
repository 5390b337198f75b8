// The about dialog: product name and version.
#include "lang/lang.h"
#include "lang/dlgtexts.h"
#include "res/resource.h"

namespace {
const CtlText kAboutTexts[] = {{IDB_ABOUT_CLOSE, S_CLOSE}};
}  // namespace

const SubDialog kAboutDialog = {4, IDD_ABOUT, DialogProc7, ThtMain6, InitLang7, nullptr, nullptr, nullptr,
                                IDB_ABOUT_CLOSE, true};

void DialogAbout() { OpenSubDialog(kAboutDialog); }
DWORD WINAPI ThtMain6(LPVOID) { return RunSubDialog(kAboutDialog); }
INT_PTR CALLBACK DialogProc7(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  return SubDialogProc(kAboutDialog, wnd, msg, wp, lp);
}
void InitLang7(HWND wnd) { SetDialogTexts(wnd, &S_ABOUT_CAPTION, kAboutTexts); }
