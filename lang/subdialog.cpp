// The sub-dialogs' skeleton: the slots, the launch protocol and the shared dialog procedure.
#include "lang/subdialog.h"
#include "build/winhandles.h"
#include "dlgkit/dlgkit.h"
#include <array>
#include <utility>

namespace {
constexpr std::array<BYTE, kSlotCount> AllSlotsFree() {
  std::array<BYTE, kSlotCount> all{};
  for (BYTE& flag : all) flag = kSlotFree;
  return all;
}

std::array<BYTE, kSlotCount> d = AllSlotsFree();
HANDLE Thread[kSlotCount];
DWORD threadId[kSlotCount];  // which thread's dialog holds each slot

BYTE Load(const BYTE* flag) { return __atomic_load_n(flag, __ATOMIC_ACQUIRE); }
void Store(BYTE* flag, BYTE value) { __atomic_store_n(flag, value, __ATOMIC_RELEASE); }

BOOL OnInit(const SubDialog& row, HWND wnd) {
  if (row.texts) row.texts(wnd);
  return row.init ? row.init(wnd) : TRUE;
}

void OnCommand(const SubDialog& row, HWND wnd, int id, int code) {
  if (id == row.closeButton || (id == IDCANCEL && row.escapeCloses)) SendMessageA(wnd, WM_CLOSE, 0, 0);
  else if (row.command) row.command(wnd, id, code);
}

void OnClose(const SubDialog& row, HWND wnd) {
  if (row.close) row.close(wnd);
  else EndSubDialog(row.slot);
}
}  // namespace

void OpenSubDialog(const SubDialog& row) { LaunchDialog(row.slot, row.thread); }

DWORD RunSubDialog(const SubDialog& row) {
  // A dialog that could not be made never closes: its slot is given back here, or none of its
  // kind could open again.
  if (StartMain(row.proc, row.dialogId) == -1) EndSubDialog(row.slot);
  return 1;
}

INT_PTR SubDialogProc(const SubDialog& row, HWND wnd, UINT msg, WPARAM wp, LPARAM) {
  switch (msg) {
    case WM_INITDIALOG: return OnInit(row, wnd);
    case WM_COMMAND: OnCommand(row, wnd, LOWORD(wp), HIWORD(wp)); return TRUE;
    case WM_CLOSE:
    case WM_DESTROY: OnClose(row, wnd); return TRUE;
    default: return FALSE;
  }
}

BYTE* dialog() { return d.data(); }
HANDLE* Threadfunc() { return Thread; }
bool IsOpen(int slot) { return Load(&d[slot]) != kSlotFree; }

void LaunchDialog(int slot, LPTHREAD_START_ROUTINE routine) {
  if (IsOpen(slot)) return;
  // The thread starts once its slot and its identifier are stored: a dialog that closes at once
  // still finds itself the holder.
  DWORD id = 0;
  HANDLE thread = CreateThread(nullptr, 0, routine, nullptr, CREATE_SUSPENDED, &id);
  if (!thread) return;
  Thread[slot] = thread;
  __atomic_store_n(&threadId[slot], id, __ATOMIC_RELEASE);
  Store(&d[slot], 0);
  ResumeThread(thread);
}

bool HoldsSlot(int slot) {
  return IsOpen(slot) && __atomic_load_n(&threadId[slot], __ATOMIC_ACQUIRE) == GetCurrentThreadId();
}

void EndSubDialog(int slot) {
  // WM_CLOSE and the WM_DESTROY after it: the first one ends the dialog. A dialog that ended
  // already may see its WM_DESTROY after a new one of its kind has taken the slot.
  if (!HoldsSlot(slot)) return;
  UniqueHandle ended(std::exchange(Thread[slot], nullptr));
  Store(&d[slot], kSlotFree);
  PostQuitMessage(0);
}
