// The run-entry editor: a file of the program folder run during installation or uninstallation.
#include "entries/entries.h"
#include "app/func.h"
#include "app/func1.h"
#include "app/func4.h"
#include "dlgkit/dlgkit.h"
#include "entries/entryops.h"
#include "lang/dlgtexts.h"
#include "res/resource.h"
#include <string.h>

namespace {
struct Family {
  bool uninstall, silent;
};

uint32_t WriteRun(const char* file, const char* rel, uint32_t old, const void* how) {
  const Family* f = (const Family*)how;
  return StoreRunEntry(file, rel, f->uninstall, f->silent, old);
}

void SilentFollowsFamily(HWND wnd, bool install) {
  if (!install) CheckDlgButton(wnd, IDC_RUN_SILENT, BST_UNCHECKED);
  EnableWindow(GetDlgItem(wnd, IDC_RUN_SILENT), install);
}
}  // namespace

void DialogUruchom() { LaunchDialog(SLOT_RUN, ThtMain3); }

DWORD WINAPI ThtMain3(LPVOID) {
  StartMain(DialogProc4, IDD_RUN);
  return 1;
}

void WypelnijUruchom() {
  if (!dialog()[SLOT_RUN]) return;  // the open editor keeps its entry
  if (FillRecordFromList(IDL_RUN, dialog2_init())) DialogUruchom();
}

INT_PTR CALLBACK DialogProc4(HWND wnd, UINT msg, WPARAM wp, LPARAM) {
  switch (msg) {
    case WM_INITDIALOG:
      InitLang4(wnd);
      Wypelnia_dialog2(wnd);
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wp)) {
        case IDE_RUN_PATH:
          if (HIWORD(wp) == EN_CHANGE) EnableButton(wnd, IDB_RUN_APPLY, wnd, IDE_RUN_PATH);
          break;
        case IDB_RUN_BROWSE: PobierzPlik(wnd, PICK_RUN); break;
        case IDC_RUN_INSTALL: SilentFollowsFamily(wnd, true); break;
        case IDC_RUN_UNINSTALL: SilentFollowsFamily(wnd, false); break;
        case IDB_RUN_APPLY:
          Zastosuj4(wnd);
          SendMessageA(wnd, WM_CLOSE, 0, 0);
          break;
        case IDB_RUN_CLOSE:
        case IDCANCEL: SendMessageA(wnd, WM_CLOSE, 0, 0); break;
      }
      return TRUE;
    case WM_CLOSE:
    case WM_DESTROY: EndSubDialog(SLOT_RUN); return TRUE;
    default: return FALSE;
  }
}

void InitLang4(HWND wnd) {
  static const CtlText texts[] = {{IDS_RUN_LABEL, S_RUN_LABEL},       {IDB_RUN_BROWSE, S_BROWSE},
                                  {IDC_RUN_INSTALL, S_RUN_INSTALL},   {IDC_RUN_UNINSTALL, S_RUN_UNINSTALL},
                                  {IDC_RUN_SILENT, S_RUN_SILENT},     {IDB_RUN_APPLY, S_APPLY},
                                  {IDB_RUN_CLOSE, S_CLOSE}};
  SetDialogTexts(wnd, &S_RUN_CAPTION, texts);
  CheckDlgButton(wnd, IDC_RUN_INSTALL, BST_CHECKED);
}

void Wypelnia_dialog2(HWND wnd) {
  EntryEditState* rec = dialog2_init();
  if (!rec->editing) return;
  SetDlgItemTextA(wnd, IDE_RUN_PATH, rec->text);
  bool uninstall = ItemDataLow(rec->data) != 0;
  CheckDlgButton(wnd, IDC_RUN_UNINSTALL, uninstall ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(wnd, IDC_RUN_INSTALL, uninstall ? BST_UNCHECKED : BST_CHECKED);
  SilentFollowsFamily(wnd, !uninstall);
  if (!uninstall) {
    char file[kPathMax];
    bool silent = ListFile(ENTRIES_RUN, file) && ReadRunSilent(file, ItemDataHigh(rec->data));
    CheckDlgButton(wnd, IDC_RUN_SILENT, silent ? BST_CHECKED : BST_UNCHECKED);
  }
}

void Zastosuj4(HWND wnd) {
  char full[kPathMax], rel[kPathMax];
  if (!TakeEntryPath(wnd, IDE_RUN_PATH, full, rel)) return;
  Family f{IsDlgButtonChecked(wnd, IDC_RUN_INSTALL) != BST_CHECKED,
           IsDlgButtonChecked(wnd, IDC_RUN_SILENT) == BST_CHECKED};
  StoreFromEditor(ENTRIES_RUN, rel, WriteRun, &f);
}
