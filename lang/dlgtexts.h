// Dialog texts by control identifier: each dialog lists its labelled controls in one table.
#pragma once
#include <windows.h>
#include <stddef.h>
#include "lang/strings.h"

struct CtlText {
  int id;       // control identifier in the dialog's template
  StrDef text;  // its string index and built-in text
};

// Sets `wnd`'s caption (unless `caption` is null) and the text of every control of `table`, each
// looked up in the selected language. Controls missing from the dialog are passed over.
void SetDialogTexts(HWND wnd, const StrDef* caption, const CtlText* table, size_t count);
template <size_t N>
void SetDialogTexts(HWND wnd, const StrDef* caption, const CtlText (&table)[N]) {
  SetDialogTexts(wnd, caption, table, N);
}
