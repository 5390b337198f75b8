// The packing progress dialog: two bars with percentages and the abort button.
#include "build/kopiuj.h"
#include "app/func.h"
#include "app/func1.h"
#include "dlgkit/dlgkit.h"
#include "lang/dlgtexts.h"
#include "res/resource.h"
#include <commctrl.h>
#include <stdio.h>

namespace {
HWND hProg[2], hProc[2];
short count[2];
short shownPos[2];  // what each bar shows: a position is sent only when it changes
short g[2];
BYTE cancel = 1;
BYTE c = 1;
HWND hDlg;

void OnInit(HWND wnd) {
  EnMenu2(MF_GRAYED);
  InitLang6(wnd);
  Progress(0, false, wnd);
  hDlg = wnd;
}

void OnClose() {
  // Once per dialog, and only for the dialog of this build: an ended dialog's late WM_DESTROY
  // must not cancel the next build.
  if (!HoldsSlot(SLOT_PACKING)) return;
  if (c == 1) {
    cancel = 0;
    UsunZBin();
  }
  c = 1;
  hProg[0] = hProg[1] = hProc[0] = hProc[1] = nullptr;  // progress outside a build goes nowhere
  EnMenu2(MF_ENABLED);
  EndSubDialog(SLOT_PACKING);
}
}  // namespace

short* Granica() { return g; }
BYTE* CancelGzc() { return &cancel; }
BYTE* Cancel() { return &c; }
HWND* HwndCopy() { return &hDlg; }

void DialogKopiuj() {
  INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&icc);
  if (!dialog()[SLOT_PACKING]) return;
  hDlg = nullptr;
  LaunchDialog(SLOT_PACKING, ThtMain5);
  // Give the dialog a moment to take its bars, so that the first steps' progress is shown.
  // Messages the dialog sends to the main window while it opens are served meanwhile.
  for (DWORD start = GetTickCount(); !hDlg && !dialog()[SLOT_PACKING] && GetTickCount() - start < 2000;) {
    MSG m;
    PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    Sleep(2);
  }
}

DWORD WINAPI ThtMain5(LPVOID) {
  StartMain(DialogProc6, IDD_PACKING);
  return 1;
}

INT_PTR CALLBACK DialogProc6(HWND wnd, UINT msg, WPARAM wp, LPARAM) {
  switch (msg) {
    case WM_INITDIALOG: OnInit(wnd); return FALSE;
    case WM_COMMAND:
      if (LOWORD(wp) == IDB_PACK_CANCEL) SendMessageA(wnd, WM_CLOSE, 0, 0);
      return TRUE;
    case WM_CLOSE:
    case WM_DESTROY: OnClose(); return TRUE;
    default: return FALSE;
  }
}

void InitLang6(HWND wnd) {
  static const CtlText texts[] = {
      {IDS_PACK_TOTAL, S_PACK_TOTAL}, {IDS_PACK_CURRENT, S_PACK_CURRENT}, {IDB_PACK_CANCEL, S_PACK_CANCEL}};
  SetDialogTexts(wnd, &S_PACK_CAPTION, texts);
}

void Progress(short value, bool bar, HWND dlg) {
  if (dlg) {
    hProg[0] = GetDlgItem(dlg, IDP_PACK_TOTAL);
    hProg[1] = GetDlgItem(dlg, IDP_PACK_CURRENT);
    hProc[0] = GetDlgItem(dlg, IDS_PACK_TOTAL_PCT);
    hProc[1] = GetDlgItem(dlg, IDS_PACK_CURR_PCT);
    shownPos[0] = shownPos[1] = 0;  // new bars start empty
    return;
  }
  int i = bar ? 1 : 0;
  if (value != shownPos[i]) {
    shownPos[i] = value;
    SendMessageA(hProg[i], PBM_SETPOS, (WPARAM)value, 0);
  }
  if (value == count[i]) return;
  char text[16];
  snprintf(text, sizeof text, "%d%%", value);
  SendMessageA(hProc[i], WM_SETTEXT, 0, (LPARAM)text);
  count[i] = value;
}

void UsunZBin() {
  char bin[kPathMax];
  if (WorkPath(VAL_BINDIR, bin)) wyliczpliki(bin, true);
}

void CloseProgressByBuild() {
  c = 0;
  if (hDlg) SendMessageA(hDlg, WM_CLOSE, 0, 0);
  c = 1;
  hDlg = nullptr;
}
