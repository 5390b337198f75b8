// The registry-entry editor: a key, a value name, a type and the value data the installer writes.
#include "entries/entries.h"
#include "app/func.h"
#include "app/func1.h"
#include "entries/editor.h"
#include "entries/entryops.h"
#include "lang/dlgtexts.h"
#include "lang/lang.h"
#include "res/resource.h"
#include <string>

namespace {
uint32_t WriteRegistry(const char* file, uint32_t old, const void* how) {
  return StoreRegistryEntry(file, *(const RegistryEntry*)how, old);
}

RegType SelectedType(HWND wnd) {
  LRESULT at = SendDlgItemMessageA(wnd, IDC_REG_TYPE, CB_GETCURSEL, 0, 0);
  if (at == CB_ERR) return REG_T_STRING;
  return (RegType)SendDlgItemMessageA(wnd, IDC_REG_TYPE, CB_GETITEMDATA, at, 0);
}

void SelectType(HWND wnd, RegType type) {
  LRESULT count = SendDlgItemMessageA(wnd, IDC_REG_TYPE, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i)
    if ((RegType)SendDlgItemMessageA(wnd, IDC_REG_TYPE, CB_GETITEMDATA, i, 0) == type)
      SendDlgItemMessageA(wnd, IDC_REG_TYPE, CB_SETCURSEL, i, 0);
}

void ReadField(HWND wnd, int id, char* out) {
  out[0] = 0;
  GetDlgItemTextA(wnd, id, out, (int)ENTRY_TEXT_MAX + 1);
}

// The value text against its type, by the installer's own parsing; the message says what is wrong.
bool ValueFits(const RegistryEntry& e) {
  std::string data;
  if (!RegValueData((RegType)e.type, e.value, &data)) {
    ShowMessage(e.type == REG_T_DWORD ? S_REG_NOT_DWORD : S_REG_NOT_BINARY, MB_OK | MB_ICONERROR);
    return false;
  }
  if (e.dynam && !RegRelativeValue(e.value)) {
    ShowMessage(S_REG_NOT_RELATIVE, MB_OK | MB_ICONERROR);
    return false;
  }
  return true;
}

BOOL OnInit(HWND wnd) {
  InitCombo(wnd);
  InitDialog5(wnd);
  return TRUE;
}

void OnCommand(HWND wnd, int id, int) {
  if (id == IDC_REG_TYPE) obslugacheckboxa(wnd);
  if (id == IDB_REG_HELP) Pomoc();
}

bool TakeSelected(EntryEditState* rec) {
  PerformRemReg();
  return rec->editing != 0;
}
}  // namespace

const EditorKind kRegistryEditor = {
    {2, IDD_REGISTRY, DialogProc5, ThtMain4, InitLang5, OnInit, OnCommand, nullptr, IDB_REG_CLOSE, true},
    ENTRIES_REGISTRY, dialog3_init, TakeSelected, IDE_REG_KEY, IDB_REG_APPLY, Zastosuj5};

void DialogReg() { OpenEditor(kRegistryEditor); }

DWORD WINAPI ThtMain4(LPVOID) { return RunEditor(kRegistryEditor); }

void WypelnijRejestr() { EditEntry(ENTRIES_REGISTRY); }

INT_PTR CALLBACK DialogProc5(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  return EditorProc(kRegistryEditor, wnd, msg, wp, lp);
}

void InitLang5(HWND wnd) {
  // The fields and the type list keep their own texts.
  static const CtlText texts[] = {{IDS_REG_KEY_LABEL, S_REG_KEY}, {IDS_REG_NAME_LABEL, S_REG_NAME},
                                  {IDS_REG_TYPE_LABEL, S_REG_TYPE}, {IDS_REG_VALUE_LABEL, S_REG_VALUE},
                                  {IDB_REG_HELP, S_HELP},          {IDB_REG_CLOSE, S_CLOSE},
                                  {IDB_REG_APPLY, S_APPLY},        {IDC_REG_DYNAMIC, S_REG_DYNAMIC}};
  SetDialogTexts(wnd, &S_REG_CAPTION, texts);
}

void InitCombo(HWND wnd) {
  for (int t = REG_T_BINARY; t < REG_T_COUNT; ++t) {
    LRESULT at = SendDlgItemMessageA(wnd, IDC_REG_TYPE, CB_ADDSTRING, 0, (LPARAM)RegTypeName((RegType)t));
    if (at >= 0) SendDlgItemMessageA(wnd, IDC_REG_TYPE, CB_SETITEMDATA, at, t);
  }
}

void InitDialog5(HWND wnd) {
  EntryEditState* rec = dialog3_init();
  RegType type = REG_T_STRING;
  char file[kPathMax];
  if (rec->editing && ListFile(ENTRIES_REGISTRY, file)) {
    // By the entry's own number: a walk over the numbers would pick another entry after a removal.
    RegistryEntry e;
    ReadRegistryEntry(file, ItemDataLow(rec->data), &e);
    SetDlgItemTextA(wnd, IDE_REG_KEY, e.key);
    SetDlgItemTextA(wnd, IDE_REG_NAME, e.name);
    SetDlgItemTextA(wnd, IDE_REG_VALUE, e.value);
    type = (RegType)e.type;
    if (type == REG_T_EXPAND) {
      CheckDlgButton(wnd, IDC_REG_DYNAMIC, e.dynam ? BST_CHECKED : BST_UNCHECKED);
      EnableWindow(GetDlgItem(wnd, IDC_REG_DYNAMIC), TRUE);
    }
  }
  SelectType(wnd, type);
}

void obslugacheckboxa(HWND wnd) {
  bool expand = SelectedType(wnd) == REG_T_EXPAND;
  if (!expand) CheckDlgButton(wnd, IDC_REG_DYNAMIC, BST_UNCHECKED);
  EnableWindow(GetDlgItem(wnd, IDC_REG_DYNAMIC), expand);
}

bool CzToJestKlucz(HWND wnd) {
  char key[ENTRY_TEXT_MAX + 1];
  ReadField(wnd, IDE_REG_KEY, key);
  return RegKeyRoot(key) != REG_ROOT_NONE;
}

int Zastosuj5(HWND wnd) {
  if (!CzToJestKlucz(wnd)) {
    ShowMessage(S_REG_BAD_KEY, MB_OK | MB_ICONERROR);
    return APPLY_CLOSE;
  }
  RegistryEntry e;
  ReadField(wnd, IDE_REG_KEY, e.key);
  ReadField(wnd, IDE_REG_NAME, e.name);
  ReadField(wnd, IDE_REG_VALUE, e.value);
  e.type = SelectedType(wnd);
  e.dynam = IsDlgButtonChecked(wnd, IDC_REG_DYNAMIC) == BST_CHECKED;
  if (!ValueFits(e)) return APPLY_STAY;
  char text[kLookupMax];
  lstrcpynA(text, e.name[0] ? e.name : GetOwnLang(S_REG_NO_NAME), sizeof text);
  EntryStore store{ENTRIES_REGISTRY, e.name[0] ? e.name : text, FAMILY_COUNT, FAMILY_REGISTRY, WriteRegistry, &e};
  StoreFromEditor(store);  // refused: the entry stays as it was; the dialog closes either way
  return APPLY_CLOSE;
}
