// The three entry list files: counters, numbering, storing, removing and reading entries, list item
// data and relative paths (no Win32 here; file access goes through listprofile.h).
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/installerlayout.h"
#include "core/regvalue.h"
#include "core/entrystate.h"

// The section that tells a reader to put back the double quotes the reading stripped.
inline const char* line() { return kSectionRegLine; }

// Longest text or path the files carry, without its terminator.
constexpr size_t ENTRY_TEXT_MAX = 259;
// Entry numbers travel in 16-bit halves of the list item data.
constexpr unsigned ENTRY_NUMBER_MAX = 0xFFFF;
// A counter is read as at most this many characters.
constexpr size_t ENTRY_COUNTER_CHARS = 5;

// The numbering families, each with its own counter.
enum EntryFamily {
  FAMILY_DESKTOP = 0,  // "lnk.cfg": "desktop", counter "max" of "index1", high half
  FAMILY_MENU,         // "lnk.cfg": "menu", counter "max" of "index2", low half
  FAMILY_RUN,          // "init.cfg": "Run", counter "max" of "index", high half
  FAMILY_RUNU,         // "init.cfg": "RunU", counter "maxU" of "index", low half
  FAMILY_REGISTRY,     // "reg.cfg": six sections, counter "max" of "index", the whole data (low 16 bits)
  FAMILY_COUNT
};

// The three lists of the main window.
enum EntryList { ENTRIES_SHORTCUTS = 0, ENTRIES_RUN, ENTRIES_REGISTRY };

// Names of a family: its counter's section and key, and the section of its entries ("key" for the
// registry). Static strings.
const char* FamilyIndexSection(EntryFamily family);
const char* FamilyCounterKey(EntryFamily family);
const char* FamilySection(EntryFamily family);

// ---- List item data -------------------------------------------------------------------------------
inline uint32_t PackItemData(unsigned high, unsigned low) {
  return (static_cast<uint32_t>(high & 0xFFFF) << 16) | (low & 0xFFFF);
}
inline unsigned ItemDataHigh(uint32_t data) { return data >> 16; }
inline unsigned ItemDataLow(uint32_t data) { return data & 0xFFFF; }

// Writes number in decimal into out (size bytes; the records' number fields take 7).
void EntryNumberText(unsigned number, char* out, size_t size);

// ---- Counters -------------------------------------------------------------------------------------

// The number the family's next new entry takes: its counter (at most 5 characters), 1 when the
// counter is missing or holds no number; 0 when it is past 65535 (no number left).
unsigned ReadCounter(const char* file, EntryFamily family);
// Makes the counter greater than number, never lowering it: a missing counter becomes number + 1.
void RaiseCounter(const char* file, EntryFamily family, unsigned number);
// Deletes the counter, so that numbering starts again at 1.
void DeleteCounter(const char* file, EntryFamily family);

// The item data an entry will get that uses family `high` for the high half and/or `low` for the low
// half (FAMILY_COUNT: that half unused; the registry family goes in the low half): each half keeps
// its number from oldData, a newly used family takes its counter's. listEmptied: the entry's
// removal empties the list, which deletes the counters that RemoveEntry deletes (they count as 1).
// 0 when a number is not to be had. Writes nothing: a store asks it before removing the old entry.
uint32_t PlanItemData(const char* file, EntryFamily high, EntryFamily low, uint32_t oldData, bool listEmptied);

// ---- Storing entries ------------------------------------------------------------------------------
// oldData is 0 for a new entry, else the item data of the entry being replaced, whose keys
// RemoveEntry has already deleted. The entry keeps each old number it had in a family that it still
// uses; a family it newly uses gives it the counter's number. Every counter used ends up greater than
// the entry's number. A line break in a text is not stored (it would start another key).

// Stores a shortcut to relPath at the ticked locations. Returns its item data (desktop number high,
// start-menu number low), or 0 with nothing written when no location is ticked or no number is left.
uint32_t StoreShortcut(const char* file, const char* relPath, bool desktop, bool menu, uint32_t oldData);

// Stores a run entry: family "RunU" when uninstall, else "Run" with its "silent" key. Returns its item
// data ("Run" number high, "RunU" number low), or 0 with nothing written when no number is left.
uint32_t StoreRunEntry(const char* file, const char* relPath, bool uninstall, bool silent,
                       uint32_t oldData);

// The "silent" flag of a "Run" entry: set unless the value (default "0") starts with '0' or is empty.
bool ReadRunSilent(const char* file, unsigned runNumber);

// A registry entry's texts as typed, its type and the path flag.
struct RegistryEntry {
  char key[ENTRY_TEXT_MAX + 1];
  char name[ENTRY_TEXT_MAX + 1];
  char value[ENTRY_TEXT_MAX + 1];
  unsigned type;  // RegType; anything else is stored as REG_SZ
  bool dynam;     // stored as "1" only for REG_T_EXPAND
};

// True when value data needs "line" = "1": it begins and ends with a double quote (a lone double
// quote counts).
bool RegistryValueQuoted(const char* value);

// Stores a registry entry under its old number (low 16 bits of oldData) or a new one. Returns the
// number (the item data), 0 with nothing written when no number is left.
uint32_t StoreRegistryEntry(const char* file, const RegistryEntry& entry, uint32_t oldData);

// Reads registry entry `number` as the editor shows it: texts (empty when missing), the value with
// its double quotes put back when "line" is non-zero, type (default REG_SZ; out of range reads as
// REG_SZ), and the path flag (for REG_EXPAND_SZ only, default set).
void ReadRegistryEntry(const char* file, unsigned number, RegistryEntry* out);

// ---- Removing entries -----------------------------------------------------------------------------

// Deletes the keys of the entry whose list item carried `data`: shortcuts "menu" (low half) and
// "desktop" (high half); run entries "RunU" (low) and "Run" (high); registry entries "key", "value",
// "type", "name", "dynam" (low 16 bits); a zero number deletes nothing. "silent" and "line" stay.
// When listEmpty (the list has no item left), also deletes the list's counters: both of "lnk.cfg",
// "max" of "init.cfg" ("maxU" stays), "max" of "reg.cfg".
// When state is given it is updated as the removal does: shortcuts get the old numbers in number1 /
// number2 ("1" for a missing one), run and registry entries "0" or the old number; and when
// listEmpty, editing = 0 and position = -1.
void RemoveEntry(EntryList list, const char* file, uint32_t data, bool listEmpty, EntryEditState* state);

// ---- Relative paths -------------------------------------------------------------------------------

// Writes fullPath relative to the program folder into out (size bytes): the folder (one trailing
// backslash removed) and the backslash after it taken off the front. Returns false, with out empty,
// when the path doesn't lie inside the folder (compared without regard to ASCII case), names the
// folder itself, has an empty, "." or ".." component or a ':', or doesn't fit.
bool RelativePath(const char* fullPath, const char* programFolder, char* out, size_t size);
