// Dialog texts by control identifier.
#include "lang/dlgtexts.h"
#include "app/func1.h"

void SetDialogTexts(HWND wnd, const StrDef* caption, const CtlText* table, size_t count) {
  if (caption) SetWindowTextA(wnd, GetOwnLang(*caption));
  for (size_t i = 0; i < count; ++i) {
    HWND c = GetDlgItem(wnd, table[i].id);
    if (c) SetWindowTextA(c, GetOwnLang(table[i].text));
  }
}
