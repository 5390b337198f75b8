// Folder and file pickers: one folder browser, one file dialog with a table of modes.
#include "app/func4.h"
#include "app/func.h"
#include "app/func1.h"
#include "win/winhandles.h"
#include "res/resource.h"
#include <commdlg.h>
#include <shlobj.h>
#include <string.h>
#include <string>

namespace {
struct FilterPart {
  StrDef text;
  const char* pattern;
};
struct ModeInfo {
  int mode;
  bool save;
  FilterPart filter[2];
  int parts;
  StrDef title;
};
const ModeInfo kModes[] = {
    {PICK_PROJECT_SAVE, true, {{S_FILTER_KPJ, "*.kpj"}}, 1, S_PICK_SAVE_PRJ_TITLE},
    {PICK_PROJECT_OPEN, false, {{S_FILTER_KPJ, "*.kpj"}}, 1, S_PICK_OPEN_PRJ_TITLE},
    {PICK_SETUP, true, {{S_FILTER_EXE, "*.exe"}}, 1, S_PICK_SETUP_TITLE},
    {PICK_LICENCE, false, {{S_FILTER_TXT, "*.txt"}}, 1, S_PICK_LICENCE_TITLE},
    {PICK_INFO, false, {{S_FILTER_TXT, "*.txt"}, {S_FILTER_HTML, "*.html"}}, 2, S_PICK_INFO_TITLE},
    {PICK_SHORTCUT, false, {{S_FILTER_ALL, "*.*"}}, 1, S_PICK_LNK_TITLE},
    {PICK_RUN, false, {{S_FILTER_ALL, "*.*"}}, 1, S_PICK_RUN_TITLE},
};

const ModeInfo* FindMode(int mode) {
  for (const ModeInfo& m : kModes)
    if (m.mode == mode) return &m;
  return nullptr;
}

bool IsProjectMode(int mode) { return mode == PICK_PROJECT_SAVE || mode == PICK_PROJECT_OPEN; }
}  // namespace

void PobiezFolderInstalacyjny() {
  char title[kLookupMax], display[kPathMax] = {0}, path[kPathMax] = {0};
  memcpy(title, GetOwnLang(S_PICK_FOLDER_TITLE), kLookupMax);
  BROWSEINFOA bi = {};
  bi.hwndOwner = *HwndMain();
  bi.pszDisplayName = display;
  bi.lpszTitle = title;
  bi.ulFlags = BIF_RETURNONLYFSDIRS;
  UniquePidl id(SHBrowseForFolderA(&bi));
  if (id && SHGetPathFromIDListA(id.get(), path)) SetDlgItemTextA(*HwndMain(), IDE_FOLDER, path);
}

bool PobierzPlik(HWND owner, int mode) {
  const ModeInfo* m = FindMode(mode);
  if (!m) return false;
  // Each description is copied out of the lookup's buffer before the next lookup; the filter is
  // sized for the longest translations (63 bytes each).
  std::string filter;
  for (int i = 0; i < m->parts; ++i) {
    filter += GetOwnLang(m->filter[i].text);
    filter += '\0';
    filter += m->filter[i].pattern;
    filter += '\0';
  }
  filter += '\0';
  char title[kLookupMax];
  memcpy(title, GetOwnLang(m->title), kLookupMax);

  char file[kPathMax] = {0};
  if (IsProjectMode(mode)) snprintf(file, sizeof file, "%s", PlikProjektu());
  else GetDlgItemTextA(owner, mode, file, kPathMax);
  char folder[kPathMax] = {0};
  if (mode != PICK_SETUP) GetDlgItemTextA(*HwndMain(), IDE_FOLDER, folder, kPathMax);

  OPENFILENAMEA ofn = {};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = owner;
  ofn.hInstance = GetModuleHandleA(nullptr);
  ofn.lpstrFilter = filter.c_str();
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = file;
  ofn.nMaxFile = kPathMax;
  ofn.lpstrInitialDir = folder[0] ? folder : nullptr;
  ofn.lpstrTitle = title;
  ofn.lpstrDefExt = "*";
  ofn.Flags = m->save ? 0 : (OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST);
  BOOL chosen = m->save ? GetSaveFileNameA(&ofn) : GetOpenFileNameA(&ofn);
  if (!chosen) {
    if (CommDlgExtendedError() != 0) ShowMessage(S_DIALOG_ERROR, MB_OK | MB_ICONERROR);
    return false;
  }
  if (IsProjectMode(mode)) {
    if (strlen(file) < kProjectPathMin) return false;
    memcpy(PlikProjektu(), file, kPathMax);
    EnMenu(MF_ENABLED);
    return true;
  }
  char program[kPathMax] = {0};
  GetDlgItemTextA(*HwndMain(), IDE_FOLDER, program, kPathMax);
  if (mode != PICK_SETUP && !strstr(file, program)) {
    ShowMessage(S_OUTSIDE_FOLDER, MB_OK | MB_ICONERROR);
    return false;
  }
  SetDlgItemTextA(owner, mode, file);
  return true;
}
