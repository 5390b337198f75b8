// The entry editors' state record: what the main window hands an entry dialog (no Win32 here).
#pragma once

#include <cstddef>
#include <cstdint>

// One record per list (shortcuts, run entries, registry entries); the main window owns all three.
struct EntryEditState {
  uint8_t editing;    // 1: the dialog edits the entry at `position`; 0: it adds a new one
  char text[260];     // full path of the entry's file (shortcuts, run entries); scratch (registry)
  uint32_t data;      // list item data of the entry being edited
  int32_t position;   // list position of the entry being edited or just added; -1 = none
  char number1[7];    // decimal: desktop number, "Run" number, registry entry number
  char number2[7];    // decimal: start-menu number, "RunU" number; unused by the registry record
};

// Fields in the record's order at their natural places (the layout of the 32-bit program).
static_assert(offsetof(EntryEditState, editing) == 0, "record layout");
static_assert(offsetof(EntryEditState, text) == 1, "record layout");
static_assert(offsetof(EntryEditState, data) == 264, "record layout");
static_assert(offsetof(EntryEditState, position) == 268, "record layout");
static_assert(offsetof(EntryEditState, number1) == 272, "record layout");
static_assert(offsetof(EntryEditState, number2) == 279, "record layout");
static_assert(sizeof(EntryEditState) == 288, "record layout");

// Nothing being edited, no position: what the main window sets at start and for a new project.
inline void EntryEditReset(EntryEditState* state) {
  state->editing = 0;
  state->position = -1;
}
