// The three entry list files: counters, numbering, storing, removing and reading entries.
#include "entries/listfiles.h"

#include <cstdio>
#include <cstring>

#include "entries/listprofile.h"
#include "entries/profile.h"

namespace {

struct FamilyNames {
  const char* indexSection;
  const char* counterKey;
  const char* section;
};

const FamilyNames kFamilies[FAMILY_COUNT] = {
    {kSectionIndexDesktop, kKeyMax, kSectionDesktop},
    {kSectionIndexMenu, kKeyMax, kSectionMenu},
    {kSectionIndex, kKeyMax, kSectionRun},
    {kSectionIndex, kKeyMaxU, kSectionRunU},
    {kSectionIndex, kKeyMax, kSectionRegKey},
};

// Sections a registry removal deletes; "line" is not among them.
const char* const kRegRemoved[] = {kSectionRegKey, kSectionRegValue, kSectionRegType, kSectionRegName,
                                   kSectionRegDynam};

// A number as a key: decimal, no sign, no leading zeros.
struct NumberKey {
  char text[12];
  explicit NumberKey(unsigned number) { std::snprintf(text, sizeof text, "%u", number); }
};

// Up to the first line break: a value may not start a line of its own in the file.
struct OneLine {
  char text[ENTRY_TEXT_MAX + 1];
  explicit OneLine(const char* s) {
    size_t n = s ? std::strcspn(s, "\r\n") : 0;
    if (n > ENTRY_TEXT_MAX) n = ENTRY_TEXT_MAX;
    if (n) std::memcpy(text, s, n);
    text[n] = '\0';
  }
};

void WriteKey(const char* file, const char* section, unsigned number, const char* value) {
  ListProfileWrite(section, NumberKey(number).text, value, file);
}

// A text as entered: the reading would trim its blanks and strip its enclosing quotes.
void WriteText(const char* file, const char* section, unsigned number, const char* text) {
  WriteKey(file, section, number, ProfileQuoted(text).c_str());
}

void DeleteKey(const char* file, const char* section, unsigned number) {
  if (number) ListProfileWrite(section, NumberKey(number).text, nullptr, file);
}

// The counter as stored: 1 when missing or holding no number.
unsigned long CounterValue(const char* file, EntryFamily family) {
  char buf[ENTRY_COUNTER_CHARS + 1];
  const FamilyNames& f = kFamilies[family];
  ListProfileGet(f.indexSection, f.counterKey, "1", buf, sizeof buf, file);
  unsigned long value = 0;
  for (const char* p = buf; *p >= '0' && *p <= '9'; ++p) value = value * 10 + (*p - '0');
  return value ? value : 1;
}

// The entry's number in a family: its old one, or the next from the counter (0: none left).
unsigned TakeNumber(const char* file, EntryFamily family, unsigned oldNumber) {
  return oldNumber ? oldNumber : ReadCounter(file, family);
}

void SetNumber(char* field, unsigned number) { EntryNumberText(number, field, sizeof(EntryEditState::number1)); }

}  // namespace

const char* FamilyIndexSection(EntryFamily family) { return kFamilies[family].indexSection; }
const char* FamilyCounterKey(EntryFamily family) { return kFamilies[family].counterKey; }
const char* FamilySection(EntryFamily family) { return kFamilies[family].section; }

void EntryNumberText(unsigned number, char* out, size_t size) {
  if (size) std::snprintf(out, size, "%u", number);
}

unsigned ReadCounter(const char* file, EntryFamily family) {
  unsigned long value = CounterValue(file, family);
  return value > ENTRY_NUMBER_MAX ? 0 : static_cast<unsigned>(value);
}

void RaiseCounter(const char* file, EntryFamily family, unsigned number) {
  if (CounterValue(file, family) > number) return;
  const FamilyNames& f = kFamilies[family];
  ListProfileWrite(f.indexSection, f.counterKey, NumberKey(number + 1).text, file);
}

void DeleteCounter(const char* file, EntryFamily family) {
  const FamilyNames& f = kFamilies[family];
  ListProfileWrite(f.indexSection, f.counterKey, nullptr, file);
}

uint32_t PlanItemData(const char* file, EntryFamily high, EntryFamily low, uint32_t oldData, bool listEmptied) {
  auto number = [&](EntryFamily family, unsigned old) -> unsigned {
    if (family == FAMILY_COUNT) return 0;
    if (old) return old;
    // The removal deletes every counter of the emptied list but "maxU".
    return listEmptied && family != FAMILY_RUNU ? 1 : ReadCounter(file, family);
  };
  unsigned h = number(high, ItemDataHigh(oldData)), l = number(low, ItemDataLow(oldData));
  if ((high != FAMILY_COUNT && !h) || (low != FAMILY_COUNT && !l)) return 0;
  return PackItemData(h, l);
}

uint32_t StoreShortcut(const char* file, const char* relPath, bool desktop, bool menu, uint32_t oldData) {
  if (!desktop && !menu) return 0;
  unsigned d = desktop ? TakeNumber(file, FAMILY_DESKTOP, ItemDataHigh(oldData)) : 0;
  unsigned m = menu ? TakeNumber(file, FAMILY_MENU, ItemDataLow(oldData)) : 0;
  if ((desktop && !d) || (menu && !m)) return 0;
  OneLine path(relPath);
  if (d) {
    WriteText(file, FamilySection(FAMILY_DESKTOP), d, path.text);
    RaiseCounter(file, FAMILY_DESKTOP, d);
  }
  if (m) {
    WriteText(file, FamilySection(FAMILY_MENU), m, path.text);
    RaiseCounter(file, FAMILY_MENU, m);
  }
  return PackItemData(d, m);
}

uint32_t StoreRunEntry(const char* file, const char* relPath, bool uninstall, bool silent,
                       uint32_t oldData) {
  EntryFamily family = uninstall ? FAMILY_RUNU : FAMILY_RUN;
  unsigned n = TakeNumber(file, family, uninstall ? ItemDataLow(oldData) : ItemDataHigh(oldData));
  if (!n) return 0;
  WriteText(file, FamilySection(family), n, OneLine(relPath).text);
  if (!uninstall) WriteKey(file, kSectionSilent, n, silent ? "1" : "0");
  RaiseCounter(file, family, n);
  return uninstall ? PackItemData(0, n) : PackItemData(n, 0);
}

bool ReadRunSilent(const char* file, unsigned runNumber) {
  char buf[3];
  ListProfileGet(kSectionSilent, NumberKey(runNumber).text, "0", buf, sizeof buf, file);
  return buf[0] != '0' && buf[0] != '\0';
}

bool RegistryValueQuoted(const char* value) {
  size_t n = std::strlen(value);
  return n > 0 && value[0] == '"' && value[n - 1] == '"';
}

uint32_t StoreRegistryEntry(const char* file, const RegistryEntry& entry, uint32_t oldData) {
  unsigned n = TakeNumber(file, FAMILY_REGISTRY, ItemDataLow(oldData));
  if (!n) return 0;
  OneLine value(entry.value);
  unsigned type = entry.type <= REG_T_STRING ? entry.type : unsigned{REG_T_STRING};
  char typeText[2] = {static_cast<char>('0' + type), '\0'};
  WriteText(file, kSectionRegKey, n, OneLine(entry.key).text);
  WriteText(file, kSectionRegName, n, OneLine(entry.name).text);
  // With "line" = "1" the readers put the stripped double quotes back themselves.
  const bool quoted = RegistryValueQuoted(value.text);
  if (quoted)
    WriteKey(file, kSectionRegValue, n, value.text);
  else
    WriteText(file, kSectionRegValue, n, value.text);
  WriteKey(file, line(), n, quoted ? "1" : "0");
  WriteKey(file, kSectionRegDynam, n, entry.dynam && type == REG_T_EXPAND ? "1" : "0");
  WriteKey(file, kSectionRegType, n, typeText);
  RaiseCounter(file, FAMILY_REGISTRY, n);
  return n;
}

void ReadRegistryEntry(const char* file, unsigned number, RegistryEntry* out) {
  NumberKey key(number);
  ListProfileGet(kSectionRegKey, key.text, "", out->key, sizeof out->key, file);
  ListProfileGet(kSectionRegName, key.text, "", out->name, sizeof out->name, file);
  size_t n = ListProfileGet(kSectionRegValue, key.text, "", out->value, sizeof out->value, file);
  if (n >= sizeof out->value) n = std::strlen(out->value);
  if (ListProfileInt(line(), key.text, 0, file) != 0) {
    // The reading stripped them; both must fit, so a too long text loses its tail, not a quote.
    if (n > sizeof out->value - 3) n = sizeof out->value - 3;
    std::memmove(out->value + 1, out->value, n);
    out->value[0] = '"';
    out->value[n + 1] = '"';
    out->value[n + 2] = '\0';
  }
  int type = ListProfileInt(kSectionRegType, key.text, REG_T_STRING, file);
  out->type = type >= REG_T_BINARY && type <= REG_T_STRING ? static_cast<unsigned>(type) : unsigned{REG_T_STRING};
  out->dynam = out->type == REG_T_EXPAND && ListProfileInt(kSectionRegDynam, key.text, 1, file) != 0;
}

void RemoveEntry(EntryList list, const char* file, uint32_t data, bool listEmpty, EntryEditState* state) {
  unsigned high = ItemDataHigh(data), low = ItemDataLow(data);
  switch (list) {
    case ENTRIES_SHORTCUTS:
      DeleteKey(file, FamilySection(FAMILY_MENU), low);
      DeleteKey(file, FamilySection(FAMILY_DESKTOP), high);
      if (listEmpty) {
        DeleteCounter(file, FAMILY_DESKTOP);
        DeleteCounter(file, FAMILY_MENU);
      }
      if (state) {
        SetNumber(state->number1, high ? high : 1);
        SetNumber(state->number2, low ? low : 1);
      }
      break;
    case ENTRIES_RUN:
      DeleteKey(file, FamilySection(FAMILY_RUNU), low);
      DeleteKey(file, FamilySection(FAMILY_RUN), high);
      if (listEmpty) DeleteCounter(file, FAMILY_RUN);
      if (state) {
        SetNumber(state->number1, high);
        SetNumber(state->number2, low);
      }
      break;
    case ENTRIES_REGISTRY:
      if (low)
        for (const char* section : kRegRemoved) DeleteKey(file, section, low);
      if (listEmpty) DeleteCounter(file, FAMILY_REGISTRY);
      if (state) {
        SetNumber(state->number1, low);
        SetNumber(state->number2, 0);
      }
      break;
  }
  if (state && listEmpty) EntryEditReset(state);
}

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Every component names something below the folder: not empty, not made of dots (and blanks, which
// the platform drops), no drive or stream colon.
bool StaysInside(const char* rest) {
  if (std::strchr(rest, ':')) return false;
  const char* p = rest;
  for (;;) {
    const char* end = p;
    while (*end && !IsSeparator(*end)) ++end;
    if (end == p) return false;
    bool dotsOnly = true;
    for (const char* q = p; q < end; ++q)
      if (*q != '.' && *q != ' ') dotsOnly = false;
    if (dotsOnly) return false;
    if (!*end) return true;
    p = end + 1;
  }
}

}  // namespace

bool RelativePath(const char* fullPath, const char* programFolder, char* out, size_t size) {
  if (!out || size == 0) return false;
  out[0] = '\0';
  if (!fullPath || !programFolder) return false;
  size_t folderLen = std::strlen(programFolder);
  if (folderLen && programFolder[folderLen - 1] == '\\') --folderLen;
  if (folderLen == 0) return false;
  size_t fullLen = std::strlen(fullPath);
  if (fullLen <= folderLen + 1 || fullPath[folderLen] != '\\') return false;
  for (size_t i = 0; i < folderLen; ++i) {
    unsigned char a = fullPath[i], b = programFolder[i];
    if (a >= 'A' && a <= 'Z') a += 32;
    if (b >= 'A' && b <= 'Z') b += 32;
    if (a != b) return false;
  }
  const char* rest = fullPath + folderLen + 1;
  size_t restLen = fullLen - folderLen - 1;
  if (restLen >= size || !StaysInside(rest)) return false;
  std::memcpy(out, rest, restLen + 1);
  return true;
}
