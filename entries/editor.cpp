// The entry editors' shared skeleton: opening, add and double-click, dialog procedure, store.
#include "entries/editor.h"
#include "app/func.h"
#include "app/func1.h"
#include "build/func2.h"
#include "dlgkit/dlgkit.h"
#include "entries/entryops.h"
#include "res/resource.h"
#include <stdio.h>
#include <string.h>
#include <vector>

namespace {
const DWORD kBuildPollMs = 20;  // a waiting Apply looks at the build flag at least this often

HWND Main() { return *HwndMain(); }
void OnFieldChange(const EditorKind& kind, HWND wnd) { EnableButton(wnd, kind.apply, wnd, kind.field); }

void OnApply(const EditorKind& kind, HWND wnd) {
  if (kind.onApply(wnd) == APPLY_CLOSE) SendMessageA(wnd, WM_CLOSE, 0, 0);
}

// True when the command was the field's or Apply's; the others are every sub-dialog's.
bool OnCommand(const EditorKind& kind, HWND wnd, int id, int code) {
  if (id == kind.field) {
    if (code == EN_CHANGE) OnFieldChange(kind, wnd);  // not on focus: the run editor's Apply starts enabled
    return true;
  }
  if (id != kind.apply) return false;
  OnApply(kind, wnd);
  return true;
}

struct StoreJob {
  const EntryStore* store;
  bool stored;
  bool busy;  // not stored: an editor may not store now
};

// Runs on the main window's thread, so that no removal or other store comes between its steps.
void StoreOnMain(void* arg) {
  StoreJob* job = (StoreJob*)arg;
  job->busy = !EditorMayStore();
  if (job->busy) return;
  const EntryStore& s = *job->store;
  const ListInfo& li = ListOf(s.list);
  EntryEditState* rec = EditorOf(s.list).record();
  HWND box = GetDlgItem(Main(), li.control);
  int count = (int)SendMessageA(box, LB_GETCOUNT, 0, 0);
  bool editing = rec->editing && rec->position >= 0 && rec->position < count;
  uint32_t old = editing ? rec->data : 0;
  int position = editing ? rec->position : -1;
  char file[kPathMax] = {0};
  ListFile(s.list, file);

  // Here a store is accepted or refused, before anything changes: an entry that can't have its
  // numbers (a counter past 65535 in a damaged project) leaves the old one in the list and file.
  if (!PlanItemData(file, s.high, s.low, old, editing && count == 1)) return;

  if (editing) DelFromListBox(s.list, position, file);
  uint32_t data = s.write(file, old, s.how);
  job->stored = data != 0;
  if (job->stored) {
    rec->position = StrManage(li.control, s.text, data, position);
    rec->data = data;
    bool registry = s.list == ENTRIES_REGISTRY;
    EntryNumberText(registry ? ItemDataLow(data) : ItemDataHigh(data), rec->number1, sizeof rec->number1);
    EntryNumberText(registry ? 0 : ItemDataLow(data), rec->number2, sizeof rec->number2);
    rec->editing = 1;
  }
  EnableButton(Main(), li.removeButton, Main(), IDE_FOLDER);
}
BOOL CALLBACK DisableEnabled(HWND wnd, LPARAM lp) {
  if (IsWindowEnabled(wnd)) {
    EnableWindow(wnd, FALSE);
    ((std::vector<HWND>*)lp)->push_back(wnd);
  }
  return TRUE;
}

// Keeps the calling (editor's) thread responsive, its windows disabled, until no build, save or
// open runs. False when the thread was asked to quit meanwhile.
bool WaitUntilEditorMayStore() {
  std::vector<HWND> disabled;
  EnumThreadWindows(GetCurrentThreadId(), DisableEnabled, (LPARAM)&disabled);
  bool quit = false;
  while (BuildRunning() && !quit) {  // the build flag is written by the main window's thread
    MsgWaitForMultipleObjects(0, nullptr, FALSE, kBuildPollMs, QS_ALLINPUT);
    MSG msg;
    while (!quit && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      quit = msg.message == WM_QUIT;
      if (quit) PostQuitMessage((int)msg.wParam);  // for the dialog's own loop
      else DispatchMessageA(&msg);
    }
  }
  for (HWND w : disabled) EnableWindow(w, TRUE);
  return !quit;
}
}  // namespace

bool EditorMayStore() { return !BuildRunning(); }

const EditorKind& EditorOf(EntryList list) {
  switch (list) {
    case ENTRIES_SHORTCUTS: return kShortcutEditor;
    case ENTRIES_RUN: return kRunEditor;
    default: return kRegistryEditor;
  }
}

bool EditorOpen(EntryList list) { return IsOpen(EditorOf(list).dialog.slot); }

void OpenEditor(const EditorKind& kind) { OpenSubDialog(kind.dialog); }

DWORD RunEditor(const EditorKind& kind) { return RunSubDialog(kind.dialog); }

void AddEntry(EntryList list) {
  const EditorKind& kind = EditorOf(list);
  if (!EditorOpen(list)) EntryEditReset(kind.record());
  OpenEditor(kind);
}

void EditEntry(EntryList list) {
  if (EditorOpen(list)) return;  // the open editor keeps its entry
  const EditorKind& kind = EditorOf(list);
  if (kind.take(kind.record())) OpenEditor(kind);
}

INT_PTR EditorProc(const EditorKind& kind, HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_COMMAND && OnCommand(kind, wnd, LOWORD(wp), HIWORD(wp))) return TRUE;
  return SubDialogProc(kind.dialog, wnd, msg, wp, lp);
}

bool TakePathEntry(int list, EntryEditState* rec) {
  HWND box = GetDlgItem(Main(), list);
  int pos = (int)SendMessageA(box, LB_GETCURSEL, 0, 0);
  if (pos < 0 || SendMessageA(box, LB_GETTEXTLEN, pos, 0) >= kPathMax) return false;
  memset(rec, 0, sizeof *rec);
  char item[kPathMax] = {0}, folder[kPathMax];
  SendMessageA(box, LB_GETTEXT, pos, (LPARAM)item);
  ProgramFolder(folder);
  snprintf(rec->text, sizeof rec->text, "%s\\%s", folder, item);
  rec->data = (uint32_t)SendMessageA(box, LB_GETITEMDATA, pos, 0);
  rec->position = pos;
  rec->editing = 1;
  return true;
}

bool TakeEntryPath(HWND wnd, int field, char* full, char* rel) {
  char text[kPathMax + 1] = {0};
  GetDlgItemTextA(wnd, field, text, sizeof text);
  size_t n = strlen(text);
  if (n && text[n - 1] == '\\') {
    text[--n] = 0;
    SetDlgItemTextA(wnd, field, text);
  }
  text[kPathMax - 1] = 0;
  if (!SprawdzSciezke(text)) return false;
  char folder[kPathMax];
  ProgramFolder(folder);
  if (!RelativePath(text, folder, rel, kPathMax)) {
    ShowMessage(S_OUTSIDE_FOLDER, MB_OK | MB_ICONERROR);
    return false;
  }
  memcpy(full, text, kPathMax);
  return true;
}

bool StoreFromEditor(const EntryStore& store) {
  StoreJob job{&store, false, false};
  RunOnMainThread(StoreOnMain, &job);
  // The main window's thread itself cannot wait for its own build.
  bool mainThread = GetWindowThreadProcessId(Main(), nullptr) == GetCurrentThreadId();
  while (job.busy && !mainThread && WaitUntilEditorMayStore()) RunOnMainThread(StoreOnMain, &job);
  return job.stored;
}
