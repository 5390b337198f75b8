// The shortcut editor: a file of the program folder, on the desktop and/or in the start menu.
#include "entries/entries.h"
#include "app/func.h"
#include "app/func1.h"
#include "app/func3.h"
#include "app/func4.h"
#include "build/func2.h"
#include "dlgkit/dlgkit.h"
#include "entries/entryops.h"
#include "lang/dlgtexts.h"
#include "res/resource.h"
#include <stdio.h>
#include <string.h>

namespace {
struct Locations {
  bool desktop, menu;
};

uint32_t WriteShortcut(const char* file, const char* rel, uint32_t old, const void* how) {
  const Locations* at = (const Locations*)how;
  return StoreShortcut(file, rel, at->desktop, at->menu, old);
}

void OnClose() { EndSubDialog(SLOT_SHORTCUT); }
}  // namespace

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

bool FillRecordFromList(int list, EntryEditState* rec) {
  HWND box = GetDlgItem(*HwndMain(), list);
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

void DialogSkrotow() { LaunchDialog(SLOT_SHORTCUT, ThtMain2); }

DWORD WINAPI ThtMain2(LPVOID) {
  StartMain(DialogProc3, IDD_SHORTCUT);
  return 1;
}

void WypelnijSkruty() {
  if (!dialog()[SLOT_SHORTCUT]) return;  // the open editor keeps its entry
  if (FillRecordFromList(IDL_SHORTCUTS, dialog1_init())) DialogSkrotow();
}

INT_PTR CALLBACK DialogProc3(HWND wnd, UINT msg, WPARAM wp, LPARAM) {
  switch (msg) {
    case WM_INITDIALOG:
      InitLang3(wnd);
      InitCheckBox(wnd);
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wp)) {
        case IDE_LNK_PATH:
          if (HIWORD(wp) == EN_CHANGE) EnableButton(wnd, IDB_LNK_APPLY, wnd, IDE_LNK_PATH);
          break;
        case IDB_LNK_BROWSE: PobierzPlik(wnd, PICK_SHORTCUT); break;
        case IDB_LNK_APPLY:
          if (Zastosuj3(wnd) == 0) SendMessageA(wnd, WM_CLOSE, 0, 0);
          break;
        case IDB_LNK_CLOSE:
        case IDCANCEL: SendMessageA(wnd, WM_CLOSE, 0, 0); break;
      }
      return TRUE;
    case WM_CLOSE:
    case WM_DESTROY: OnClose(); return TRUE;
    default: return FALSE;
  }
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
  if (!TakeEntryPath(wnd, IDE_LNK_PATH, full, rel)) return 1;
  Locations at{IsDlgButtonChecked(wnd, IDC_LNK_DESKTOP) == BST_CHECKED,
               IsDlgButtonChecked(wnd, IDC_LNK_MENU) == BST_CHECKED};
  if (!at.desktop && !at.menu) {
    ShowMessage(S_LNK_NO_PLACE, MB_OK | MB_ICONINFORMATION);
    return 1;
  }
  return StoreFromEditor(ENTRIES_SHORTCUTS, rel, WriteShortcut, &at) ? 0 : 1;
}
