// The shortcut editor: a file of the program folder, on the desktop and/or in the start menu.
#include "entries/entries.h"
#include "app/func.h"
#include "app/func1.h"
#include "app/func4.h"
#include "entries/editor.h"
#include "lang/dlgtexts.h"
#include "res/resource.h"

namespace {
struct Shortcut {
  const char* rel;
  bool desktop, menu;
};

uint32_t WriteShortcut(const char* file, uint32_t old, const void* how) {
  const Shortcut* s = (const Shortcut*)how;
  return StoreShortcut(file, s->rel, s->desktop, s->menu, old);
}

BOOL OnInit(HWND wnd) {
  InitCheckBox(wnd);
  return TRUE;
}

void OnCommand(HWND wnd, int id, int) {
  if (id == IDB_LNK_BROWSE) PobierzPlik(wnd, PICK_SHORTCUT);
}

bool TakeSelected(EntryEditState* rec) { return TakePathEntry(IDL_SHORTCUTS, rec); }
}  // namespace

const EditorKind kShortcutEditor = {
    {0, IDD_SHORTCUT, DialogProc3, ThtMain2, InitLang3, OnInit, OnCommand, nullptr, IDB_LNK_CLOSE, true},
    ENTRIES_SHORTCUTS, dialog1_init, TakeSelected, IDE_LNK_PATH, IDB_LNK_APPLY, Zastosuj3};

void DialogSkrotow() { OpenEditor(kShortcutEditor); }

DWORD WINAPI ThtMain2(LPVOID) { return RunEditor(kShortcutEditor); }

void WypelnijSkruty() { EditEntry(ENTRIES_SHORTCUTS); }

INT_PTR CALLBACK DialogProc3(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  return EditorProc(kShortcutEditor, wnd, msg, wp, lp);
}

void InitLang3(HWND wnd) {
  static const CtlText texts[] = {{IDS_LNK_SOURCE, S_LNK_SOURCE}, {IDS_LNK_FOLDER, S_LNK_FOLDER},
                                  {IDB_LNK_BROWSE, S_BROWSE},     {IDC_LNK_DESKTOP, S_LNK_DESKTOP},
                                  {IDC_LNK_MENU, S_LNK_MENU},     {IDB_LNK_APPLY, S_APPLY},
                                  {IDB_LNK_CLOSE, S_CLOSE}};
  SetDialogTexts(wnd, &S_LNK_CAPTION, texts);
}

void InitCheckBox(HWND wnd) {
  if (dialog1_init()->editing) {
    Wypelnia_dialog1(wnd);
    return;
  }
  CheckDlgButton(wnd, IDC_LNK_DESKTOP, BST_CHECKED);
  CheckDlgButton(wnd, IDC_LNK_MENU, BST_CHECKED);
}

void Wypelnia_dialog1(HWND wnd) {
  EntryEditState* rec = dialog1_init();
  SetDlgItemTextA(wnd, IDE_LNK_PATH, rec->text);
  CheckDlgButton(wnd, IDC_LNK_MENU, ItemDataLow(rec->data) ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(wnd, IDC_LNK_DESKTOP, ItemDataHigh(rec->data) ? BST_CHECKED : BST_UNCHECKED);
}

int Zastosuj3(HWND wnd) {
  char full[kPathMax], rel[kPathMax];
  if (!TakeEntryPath(wnd, IDE_LNK_PATH, full, rel)) return APPLY_STAY;
  Shortcut s{rel, IsDlgButtonChecked(wnd, IDC_LNK_DESKTOP) == BST_CHECKED,
             IsDlgButtonChecked(wnd, IDC_LNK_MENU) == BST_CHECKED};
  if (!s.desktop && !s.menu) {
    ShowMessage(S_LNK_NO_PLACE, MB_OK | MB_ICONINFORMATION);
    return APPLY_STAY;
  }
  EntryStore store{ENTRIES_SHORTCUTS, rel, s.desktop ? FAMILY_DESKTOP : FAMILY_COUNT,
                   s.menu ? FAMILY_MENU : FAMILY_COUNT, WriteShortcut, &s};
  return StoreFromEditor(store) ? APPLY_CLOSE : APPLY_STAY;
}
