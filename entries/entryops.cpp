// Removing entries from the main window's lists and their files, inserting stored entries.
#include "entries/entryops.h"
#include "app/func.h"
#include "app/func1.h"
#include "app/func3.h"
#include "entries/editor.h"
#include "res/resource.h"
#include <string.h>
#include <vector>

namespace {
const ListInfo kLists[] = {
    {ENTRIES_SHORTCUTS, IDL_SHORTCUTS, IDB_LNK_REMOVE, VAL_LNKCFG},
    {ENTRIES_RUN, IDL_RUN, IDB_RUN_REMOVE, VAL_INITCFG},
    {ENTRIES_REGISTRY, IDL_REGISTRY, IDB_REG_REMOVE, VAL_REGCFG},
};

HWND Main() { return *HwndMain(); }
}  // namespace

const ListInfo& ListOf(EntryList list) { return kLists[list]; }

bool ListFile(EntryList list, char* out) { return WorkPath(ListOf(list).value, out); }

void ProgramFolder(char* out) {
  obetnijslash(IDE_FOLDER);
  out[0] = 0;
  GetDlgItemTextA(Main(), IDE_FOLDER, out, kPathMax);
}

uint32_t DelFromListBox(EntryList list, int position, char* file) {
  const ListInfo& li = ListOf(list);
  HWND box = GetDlgItem(Main(), li.control);
  if (position < 0) position = (int)SendMessageA(box, LB_GETCURSEL, 0, 0);
  file[0] = 0;
  ListFile(list, file);
  if (position < 0 || position >= (int)SendMessageA(box, LB_GETCOUNT, 0, 0)) return 0;
  uint32_t data = (uint32_t)SendMessageA(box, LB_GETITEMDATA, position, 0);
  SendMessageA(box, LB_DELETESTRING, position, 0);
  LRESULT count = SendMessageA(box, LB_GETCOUNT, 0, 0);
  bool empty = count <= 0;
  if (empty) EnableWindow(GetDlgItem(Main(), li.removeButton), FALSE);

  // An open editor keeps pointing at its own entry: an item above it moves it up one place, and
  // when its own entry goes, its Apply adds the entry anew instead of replacing another.
  EntryEditState* rec = EditorOf(list).record();
  if (EditorOpen(list) && rec->editing) {
    if (position < rec->position) --rec->position;
    else if (position == rec->position) rec->editing = 0, rec->position = -1;
  }
  RemoveEntry(list, file, data, empty, nullptr);
  if (empty) EntryEditReset(rec);
  return data;
}

void UsunSkrot() {
  char file[kPathMax];
  uint32_t data = DelFromListBox(ENTRIES_SHORTCUTS, -1, file);
  EntryEditState* rec = dialog1_init();
  if (EditorOpen(ENTRIES_SHORTCUTS)) return;  // an open editor keeps the numbers of its own entry
  EntryNumberText(ItemDataLow(data) ? ItemDataLow(data) : 1, rec->number2, sizeof rec->number2);
  EntryNumberText(ItemDataHigh(data) ? ItemDataHigh(data) : 1, rec->number1, sizeof rec->number1);
}

void UsunRegProgram(bool registry) {
  char file[kPathMax];
  if (registry) {
    // The selected item (PerformRemReg took it into the record unless the editor is open, whose
    // record points at its own entry).
    DelFromListBox(ENTRIES_REGISTRY, -1, file);
    if (!EditorOpen(ENTRIES_REGISTRY)) EntryEditReset(dialog3_init());
    return;
  }
  DelFromListBox(ENTRIES_RUN, -1, file);
}

void PerformRemReg() {
  if (EditorOpen(ENTRIES_REGISTRY)) return;  // the open editor's record is its own
  HWND box = GetDlgItem(Main(), IDL_REGISTRY);
  EntryEditState* rec = dialog3_init();
  memset(rec, 0, sizeof *rec);
  rec->position = (int)SendMessageA(box, LB_GETCURSEL, 0, 0);
  if (rec->position < 0) return;
  rec->data = (uint32_t)SendMessageA(box, LB_GETITEMDATA, rec->position, 0);
  EntryNumberText(ItemDataLow(rec->data), rec->number1, sizeof rec->number1);
  rec->editing = 1;
}

int StrManage(int list, const char* relPath, uint32_t data, int position) {
  HWND box = GetDlgItem(Main(), list);
  int at = (int)SendMessageA(box, LB_INSERTSTRING, (WPARAM)position, (LPARAM)relPath);
  if (at >= 0) SendMessageA(box, LB_SETITEMDATA, at, (LPARAM)data);
  return at;
}

void EnableButton(HWND wnd, int button, HWND fieldWnd, int field) {
  char text[2] = {0};
  GetDlgItemTextA(fieldWnd, field, text, sizeof text);
  EnableWindow(GetDlgItem(wnd, button), text[0] != 0);
}
