// The run-entry editor: a file of the program folder run during installation or uninstallation.
#include "entries/entries.h"
#include "app/func.h"
#include "app/func1.h"
#include "app/func4.h"
#include "entries/editor.h"
#include "entries/entryops.h"
#include "lang/dlgtexts.h"
#include "res/resource.h"

namespace {
struct Run {
  const char* rel;
  bool uninstall, silent;
};

uint32_t WriteRun(const char* file, uint32_t old, const void* how) {
  const Run* r = (const Run*)how;
  return StoreRunEntry(file, r->rel, r->uninstall, r->silent, old);
}

void SilentFollowsFamily(HWND wnd, bool install) {
  if (!install) CheckDlgButton(wnd, IDC_RUN_SILENT, BST_UNCHECKED);
  EnableWindow(GetDlgItem(wnd, IDC_RUN_SILENT), install);
}

BOOL OnInit(HWND wnd) {
  Wypelnia_dialog2(wnd);
  return TRUE;
}

void OnCommand(HWND wnd, int id, int) {
  switch (id) {
    case IDB_RUN_BROWSE: PobierzPlik(wnd, PICK_RUN); break;
    case IDC_RUN_INSTALL: SilentFollowsFamily(wnd, true); break;
    case IDC_RUN_UNINSTALL: SilentFollowsFamily(wnd, false); break;
  }
}

// Apply closes the dialog whatever its outcome; a refused entry stays as it was.
int OnApply(HWND wnd) {
  Zastosuj4(wnd);
  return APPLY_CLOSE;
}

bool TakeSelected(EntryEditState* rec) { return TakePathEntry(IDL_RUN, rec); }
}  // namespace

const EditorKind kRunEditor = {
    {1, IDD_RUN, DialogProc4, ThtMain3, InitLang4, OnInit, OnCommand, nullptr, IDB_RUN_CLOSE, true},
    ENTRIES_RUN, dialog2_init, TakeSelected, IDE_RUN_PATH, IDB_RUN_APPLY, OnApply};

void DialogUruchom() { OpenEditor(kRunEditor); }

DWORD WINAPI ThtMain3(LPVOID) { return RunEditor(kRunEditor); }

void WypelnijUruchom() { EditEntry(ENTRIES_RUN); }

INT_PTR CALLBACK DialogProc4(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  return EditorProc(kRunEditor, wnd, msg, wp, lp);
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
  Run r{rel, IsDlgButtonChecked(wnd, IDC_RUN_INSTALL) != BST_CHECKED,
        IsDlgButtonChecked(wnd, IDC_RUN_SILENT) == BST_CHECKED};
  EntryStore store{ENTRIES_RUN, rel, r.uninstall ? FAMILY_COUNT : FAMILY_RUN,
                   r.uninstall ? FAMILY_RUNU : FAMILY_COUNT, WriteRun, &r};
  StoreFromEditor(store);
}
