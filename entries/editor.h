// The skeleton of the three entry editors (shortcut, run entry, registry entry): opening, the add
// and double-click rules, the dialog procedure's shared part and the store. Each editor gives only
// what is its own in an EditorKind: its fields, its checks, its store.
#pragma once
#include <windows.h>
#include "entries/entrystate.h"
#include "entries/listfiles.h"
#include "lang/subdialog.h"

// What Apply leaves behind: the dialog closes, or stays open with what was typed.
enum ApplyOutcome { APPLY_CLOSE = 0, APPLY_STAY = 1 };

struct EditorKind {
  // Its row among the sub-dialogs: slot, template, DialogProc3..5 (EditorProc), ThtMain2..4
  // (RunEditor), InitLang3..5, the record's entry into the controls, its own controls, its close button.
  SubDialog dialog;
  EntryList list;                          // the list it edits (its control, remove button)
  EntryEditState* (*record)();             // dialog1_init..dialog3_init
  bool (*take)(EntryEditState* rec);       // the selected item into the record for editing; false: none
  int field, apply;                        // Apply is enabled exactly while `field` holds text
  int (*onApply)(HWND wnd);                // Apply: an ApplyOutcome
};
extern const EditorKind kShortcutEditor, kRunEditor, kRegistryEditor;
const EditorKind& EditorOf(EntryList list);

bool EditorOpen(EntryList list);
// The launcher: opens the editor on a thread of its own unless it is open.
void OpenEditor(const EditorKind& kind);
// The thread routine's body: runs the dialog until it ends. Returns 1.
DWORD RunEditor(const EditorKind& kind);
// The add button: a new entry (the record of an open editor stays its own), then the launcher.
void AddEntry(EntryList list);
// The double-click: unless the editor is open, the selected entry into its record, then the launcher.
void EditEntry(EntryList list);
// The dialog procedure of every editor: the field and Apply here, the rest as every sub-dialog.
INT_PTR EditorProc(const EditorKind& kind, HWND wnd, UINT msg, WPARAM wp, LPARAM lp);

// Path editors: the selected item of `list` as the record's full path (program folder + item text).
bool TakePathEntry(int list, EntryEditState* rec);
// Reads a dialog's path field with one trailing backslash removed (also in the field) and checks
// it as Apply does: "X:\..." and existing (message 54), inside the program folder (message 40).
// On success `rel` holds the path relative to the program folder.
bool TakeEntryPath(HWND wnd, int field, char* full, char* rel);

// Writes an entry's keys into its list file; returns the new item data, 0 when refused.
typedef uint32_t (*EntryWriter)(const char* file, uint32_t oldData, const void* how);
// What an editor stores: the list item's text, the numbering families the entry uses (FAMILY_COUNT:
// that half of the item data unused) and the writer with its own data.
struct EntryStore {
  EntryList list;
  const char* text;
  EntryFamily high, low;
  EntryWriter write;
  const void* how;
};
// May an editor store now? Not while a build, a project save or an open runs: they read or replace
// the list files and the lists. Main window's thread only.
bool EditorMayStore();
// An editor's Apply, from its own thread: on the main window's thread the entry its record edits is
// replaced (or, when adding, a new one added at the end); the record follows the stored entry. A
// refused store changes nothing, in the list or in the file. While an editor may not store, the
// calling thread's windows are disabled and the Apply waits. True when stored.
bool StoreFromEditor(const EntryStore& store);
