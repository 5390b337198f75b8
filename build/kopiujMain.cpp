// The packing progress dialog: two bars with percentages and the abort button.
#include "build/kopiuj.h"
#include "build/buildhooks.h"
#include "lang/dlgtexts.h"
#include "res/resource.h"
#include <commctrl.h>
#include <stdio.h>
#include <mutex>
#include <utility>
#include <vector>

namespace {
HWND hProg[2], hProc[2];
short count[2];
short shownPos[2];  // what each bar shows: a position is sent only when it changes
short g[2];
BYTE cancel = 1;
BYTE c = 1;
HWND hDlg;
const DWORD kOpenWaitMs = 2000;     // how long a build's start and its close wait for the dialog to take its bars
const DWORD kOpenPollMs = 2;
// A build's report of both bars (wParam overall, lParam current), shown on the dialog's thread.
const UINT WM_BUILD_PROGRESS = WM_APP + 1;
// A dialog slower to open than the build waits for: what the build reports meanwhile is kept (up to
// this many reports) and shown by the dialog when it takes its bars, before anything reported later.
const size_t kEarlyReportsMax = 1024;
std::mutex reportsLock;  // guards the two below and the dialog's taking of its bars
std::vector<std::pair<short, short>> earlyReports;
bool opening;  // a dialog was started and has not yet taken its bars
DWORD openedAt;  // tick count at which the dialog took its bars

// Every flag here is written by one thread and read by the other.
BYTE Load(const BYTE* flag) { return __atomic_load_n(flag, __ATOMIC_ACQUIRE); }
void Store(BYTE* flag, BYTE value) { __atomic_store_n(flag, value, __ATOMIC_RELEASE); }
void SetWindow(HWND wnd) { __atomic_store_n(&hDlg, wnd, __ATOMIC_RELEASE); }
bool ClosedByAuthor() { return Load(&c) == 1; }
void SetClosedByAuthor(bool author) { Store(&c, author ? 1 : 0); }

BOOL OnInit(HWND wnd) {
  const BuildHooks& h = BuildHooksInUse();
  if (h.menus) h.menus(false);
  Progress(0, false, wnd);
  std::lock_guard<std::mutex> lock(reportsLock);
  for (const auto& r : earlyReports) {
    Progress(r.first, false, nullptr);
    Progress(r.second, true, nullptr);
  }
  earlyReports.clear();
  opening = false;
  openedAt = GetTickCount();
  SetWindow(wnd);
  return FALSE;
}

// Waits a moment for a dialog that is still opening to take its bars: at the build's start, so that
// its first progress is shown, and at its end, since a dialog closed before it has its window would
// open after the build and stay. Messages sent to this thread meanwhile are served.
void WaitForOpening() {
  auto open = [] { return IsOpen(kPackingDialog.slot); };
  for (DWORD start = GetTickCount(); !ProgressWindow() && open() && GetTickCount() - start < kOpenWaitMs;) {
    MSG m;
    PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    Sleep(kOpenPollMs);
  }
}

void OnClose(HWND) {
  // Once per dialog, and only for the dialog of this build: an ended dialog's late WM_DESTROY
  // must not cancel the next build.
  const BuildHooks& h = BuildHooksInUse();
  if (!HoldsSlot(kPackingDialog.slot)) return;
  if (ClosedByAuthor()) {
    Store(&cancel, 0);
    UsunZBin();
  }
  SetClosedByAuthor(true);
  hProg[0] = hProg[1] = hProc[0] = hProc[1] = nullptr;  // progress outside a build goes nowhere
  SetWindow(nullptr);
  if (h.menus) h.menus(true);
  EndSubDialog(kPackingDialog.slot);
}
}  // namespace

// Escape leaves a build alone: only the abort button cancels it.
const SubDialog kPackingDialog = {3, IDD_PACKING, DialogProc6, ThtMain5, InitLang6, OnInit, nullptr, OnClose,
                                  IDB_PACK_CANCEL, false};

short* Granica() { return g; }
BYTE* CancelGzc() { return &cancel; }
BYTE* Cancel() { return &c; }
HWND* HwndCopy() { return &hDlg; }
bool BuildCancelled() { return Load(&cancel) == 0; }
void ClearBuildCancel() { Store(&cancel, 1); }
HWND ProgressWindow() { return __atomic_load_n(&hDlg, __ATOMIC_ACQUIRE); }

void DialogKopiuj() {
  INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&icc);
  if (IsOpen(kPackingDialog.slot)) return;
  SetWindow(nullptr);
  {
    std::lock_guard<std::mutex> lock(reportsLock);
    earlyReports.clear();
    opening = true;
  }
  OpenSubDialog(kPackingDialog);
  // Give the dialog a moment to take its bars, so that the first steps' progress is shown where it
  // is made (what is reported while it still opens is kept for it).
  WaitForOpening();
}

DWORD WINAPI ThtMain5(LPVOID) { return RunSubDialog(kPackingDialog); }
INT_PTR CALLBACK DialogProc6(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_BUILD_PROGRESS) {
    Progress((short)wp, false, nullptr);
    Progress((short)lp, true, nullptr);
    return TRUE;
  }
  return SubDialogProc(kPackingDialog, wnd, msg, wp, lp);
}

void ShowBuildProgress(short overall, short current) {
  // A message sent to another thread waits until that thread runs (under Wine on a busy machine,
  // milliseconds a report), so the report is queued instead. Sent messages are handled in the order
  // they were sent: every report is shown before the build's own close.
  std::lock_guard<std::mutex> lock(reportsLock);
  if (HWND wnd = ProgressWindow())
    SendNotifyMessageA(wnd, WM_BUILD_PROGRESS, (WPARAM)overall, (LPARAM)current);
  else if (opening && earlyReports.size() < kEarlyReportsMax)
    earlyReports.push_back({overall, current});
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
  std::string bin = BuildPathOf(BUILD_BIN_FOLDER);
  const BuildHooks& h = BuildHooksInUse();
  if (h.deleteFiles && !bin.empty()) h.deleteFiles(bin.c_str());
}

void CloseProgressByBuild(DWORD shownAtLeastMs) {
  WaitForOpening();
  // Counted from the dialog's own opening, which may come well after the build asked for it.
  DWORD shown = GetTickCount() - openedAt;
  if (ProgressWindow() && shown < shownAtLeastMs) Sleep(shownAtLeastMs - shown);
  SetClosedByAuthor(false);
  if (HWND wnd = ProgressWindow()) SendMessageA(wnd, WM_CLOSE, 0, 0);
  SetClosedByAuthor(true);
  SetWindow(nullptr);
  std::lock_guard<std::mutex> lock(reportsLock);
  earlyReports.clear();
  opening = false;
}
