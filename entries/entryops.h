// Keeping the main window's entry lists and the list files in step: removal, insertion, buttons.
#pragma once
#include <windows.h>
#include "entries/listfiles.h"

// The main window's side of one list: its control, remove button, file value and editor record.
struct ListInfo {
  EntryList list;
  int control;       // 500, 501, 502
  int removeButton;  // 406, 408, 410
  const char* value; // per-user value of the list's file
};
const ListInfo& ListOf(EntryList list);

// Removes the list item at `position` (the selected one when -1) with its keys, as the remove
// buttons do; updates the list's editor record. Returns the item's data (0 when there was none).
// Main window's thread only.
uint32_t DelFromListBox(EntryList list, int position, char* file);
void UsunSkrot();                      // button 406: the selected shortcut entry
void UsunRegProgram(bool registry);    // button 408 (run entry) or 410 (registry entry)
// Takes the selected registry entry into its editor record (editing = 1 when one is selected);
// leaves the record of an open editor alone.
void PerformRemReg();
// Inserts a stored entry's item at `position` (-1 appends) with `data`; returns its position.
int StrManage(int list, const char* relPath, uint32_t data, int position);
// Enables `button` of `wnd` exactly when `field` of `fieldWnd` holds text.
void EnableButton(HWND wnd, int button, HWND fieldWnd, int field);
// The program folder (field 301) with one trailing backslash removed, also in the field.
void ProgramFolder(char* out);
// The list's file path from its per-user value.
bool ListFile(EntryList list, char* out);
