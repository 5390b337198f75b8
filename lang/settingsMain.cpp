// The settings dialog (compression level and kind, language), its language list, and the help command.
#include "lang/lang.h"
#include "app/func.h"
#include "app/func1.h"
#include "win/winfs.h"
#include "dlgkit/dlgkit.h"
#include "lang/dlgtexts.h"
#include "res/resource.h"
#include <objbase.h>
#include <shellapi.h>
#include <stdio.h>
#include <string.h>

namespace {
const CtlText kSettingsTexts[] = {{IDB_SET_APPLY, S_APPLY}, {IDB_SET_HELP, S_HELP}, {IDB_SET_CLOSE, S_CLOSE},
                                  {IDS_SET_LEVEL, S_SETTINGS_LEVEL}, {IDS_SET_LANGUAGE, S_SETTINGS_LANG},
                                  {IDC_SET_LZMA, S_SETTINGS_LZMA}};

// A language file's name without its extension, when it can be a language: a plain file (no link)
// whose extension is exactly ".lng" and whose name fits the 31 characters that value "3" keeps.
bool LanguageName(const char* file, GzcKind kind, char* name) {
  if (kind != GZC_KIND_FILE) return false;
  const char* dot = strrchr(file, '.');
  if (!dot || _stricmp(dot, ".lng") != 0) return false;
  size_t n = (size_t)(dot - file);
  if (n == 0 || n >= (size_t)kLangNameMax) return false;
  memcpy(name, file, n);
  name[n] = 0;
  return true;
}

void AddLanguage(HWND list, const char* name) {
  if (SendMessageA(list, CB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)name) == CB_ERR)
    SendMessageA(list, CB_ADDSTRING, 0, (LPARAM)name);
}

BOOL OnInit(HWND wnd) {
  InitSettingDlg(wnd);
  return TRUE;
}

void OnCommand(HWND wnd, int id, int) {
  switch (id) {
    case IDB_SET_HELP: Pomoc(); break;
    case IDB_SET_APPLY:
      ZastosujUstawienia(wnd);
      SendMessageA(wnd, WM_CLOSE, 0, 0);
      break;
    default: break;
  }
}
}  // namespace

const SubDialog kSettingsDialog = {5, IDD_SETTINGS, DialogProc8, ThtMain7, InitLang8, OnInit, OnCommand, nullptr,
                                   IDB_SET_CLOSE, true};

void FindLang(HWND wnd) {
  HWND list = GetDlgItem(wnd, IDC_SET_LANGUAGE);
  SendMessageA(list, CB_ADDSTRING, 0, (LPARAM)Polski());
  char folder[kPathMax];
  if (ToolFolder(folder) && strlen(folder) + sizeof "Lang" <= (size_t)kPathMax) {
    strcat(folder, "Lang");
    ForEachEntry(folder, [list](const char* file, GzcKind kind) {
      char name[kLangNameMax];
      if (LanguageName(file, kind, name)) AddLanguage(list, name);
    });
  }
  char current[kLangNameMax];
  if (!ReadValue(ROOT_MACHINE, VAL_LANGNAME, current, sizeof current) || !current[0])
    snprintf(current, sizeof current, "%s", Polski());
  // From the second item on, wrapping to the first; a prefix match regardless of case.
  SendMessageA(list, CB_SELECTSTRING, 0, (LPARAM)current);
}

void DialogUstawien() { OpenSubDialog(kSettingsDialog); }
DWORD WINAPI ThtMain7(LPVOID) { return RunSubDialog(kSettingsDialog); }
INT_PTR CALLBACK DialogProc8(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  return SubDialogProc(kSettingsDialog, wnd, msg, wp, lp);
}

void InitLang8(HWND wnd) { SetDialogTexts(wnd, &S_SETTINGS_CAPTION, kSettingsTexts); }

void InitSettingDlg(HWND wnd) {
  SendDlgItemMessageA(wnd, IDE_SET_LEVEL, EM_LIMITTEXT, 1, 0);
  SetDlgItemTextA(wnd, IDE_SET_LEVEL, CompLevel().c_str() + 2);
  CheckDlgButton(wnd, IDC_SET_LZMA, LzmaSetting() ? BST_CHECKED : BST_UNCHECKED);
  FindLang(wnd);
}

void ZastosujUstawienia(HWND wnd) {
  // "wb" and the field's digit; an empty field (or anything but a digit) leaves zlib's default.
  char digit[2] = {0};
  GetDlgItemTextA(wnd, IDE_SET_LEVEL, digit, sizeof digit);
  SetCompLevel(digit[0] >= '0' && digit[0] <= '9' ? digit[0] : 0);
  SetLzmaSetting(IsDlgButtonChecked(wnd, IDC_SET_LZMA) == BST_CHECKED);

  HWND list = GetDlgItem(wnd, IDC_SET_LANGUAGE);
  LRESULT sel = SendMessageA(list, CB_GETCURSEL, 0, 0);
  if (sel == CB_ERR || SendMessageA(list, CB_GETLBTEXTLEN, sel, 0) >= kLangNameMax) return;
  char name[kLangNameMax] = {0};
  SendMessageA(list, CB_GETLBTEXT, sel, (LPARAM)name);
  ZapiszJezyk(name);
}

void Pomoc() {
  char path[kPathMax] = {0};
  ReadValue(ROOT_MACHINE, VAL_HELPFILE, path, kPathMax);
  INT_PTR shown = 0;
  if (path[0]) {  // an empty path would have the shell open something else
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    shown = (INT_PTR)ShellExecuteA(nullptr, nullptr, path, nullptr, nullptr, SW_SHOWMAXIMIZED);
    if (SUCCEEDED(com)) CoUninitialize();
  }
  // 32 is a failure too (a library the handler needs is missing): only above it did it open.
  if (shown <= 32) ShowMessage(S_HELP_ERROR, MB_OK | MB_ICONWARNING);
}
