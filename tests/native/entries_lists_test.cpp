// The entry list files: counters, numbering, removal, edits, the registry quote rule and relative
// paths.
#include <cstring>

#include "entries_testutil.h"

using namespace entriestest;

namespace {

RegistryEntry Reg(const char* key, const char* name, const char* value, unsigned type = REG_T_STRING,
                  bool dynam = false) {
  RegistryEntry e{};
  std::strcpy(e.key, key);
  std::strcpy(e.name, name);
  std::strcpy(e.value, value);
  e.type = type;
  e.dynam = dynam;
  return e;
}

const char kHkcu[] = "HKEY_CURRENT_USER\\Software\\Orvane\\Test";

}  // namespace

// ---- Counters and new numbers ----------------------------------------------------------------------

TEST(EntryCounters, MissingOrEmptyFileCountsOne) {
  TempDir t;
  for (int f = 0; f < FAMILY_COUNT; ++f) EXPECT_EQ(ReadCounter(t.reg.c_str(), EntryFamily(f)), 1u) << f;
  WriteFile(t.init, "");
  EXPECT_EQ(ReadCounter(t.init.c_str(), FAMILY_RUN), 1u);
  EXPECT_EQ(ReadCounter(t.init.c_str(), FAMILY_RUNU), 1u);

  EXPECT_EQ(StoreShortcut(t.lnk.c_str(), "app.exe", true, true, 0), PackItemData(1, 1));
  EXPECT_EQ(Get(t.lnk, "desktop", 1), "app.exe");
  EXPECT_EQ(Get(t.lnk, "menu", 1), "app.exe");
  EXPECT_EQ(Get(t.lnk, "index1", "max"), "2");
  EXPECT_EQ(Get(t.lnk, "index2", "max"), "2");

  EXPECT_EQ(StoreRunEntry(t.init.c_str(), "bin\\setup.exe", false, true, 0), PackItemData(1, 0));
  EXPECT_EQ(StoreRunEntry(t.init.c_str(), "unins.exe", true, true, 0), PackItemData(0, 1));
  EXPECT_EQ(Get(t.init, "Run", 1), "bin\\setup.exe");
  EXPECT_EQ(Get(t.init, "RunU", 1), "unins.exe");
  EXPECT_EQ(Get(t.init, "silent", 1), "1");
  EXPECT_EQ(Get(t.init, "index", "max"), "2");
  EXPECT_EQ(Get(t.init, "index", "maxU"), "2");

  EXPECT_EQ(StoreRegistryEntry(t.reg.c_str(), Reg(kHkcu, "", "v"), 0), 1u);
  EXPECT_EQ(Get(t.reg, "index", "max"), "2");
  for (const char* s : {"key", "name", "value", "type", "dynam", "line"}) EXPECT_TRUE(HasKey(t.reg, s, 1)) << s;
  EXPECT_EQ(Get(t.reg, "type", 1), "3");
  EXPECT_EQ(Get(t.reg, "dynam", 1), "0");
  EXPECT_EQ(Get(t.reg, "line", 1), "0");
}

TEST(EntryCounters, NumbersFollowTheCounter) {
  TempDir t;
  WriteFile(t.init, "[index]\r\nmax=7\r\nmaxU=12\r\n");
  EXPECT_EQ(StoreRunEntry(t.init.c_str(), "a.exe", false, false, 0), PackItemData(7, 0));
  EXPECT_EQ(StoreRunEntry(t.init.c_str(), "b.exe", true, false, 0), PackItemData(0, 12));
  EXPECT_EQ(Get(t.init, "index", "max"), "8");
  EXPECT_EQ(Get(t.init, "index", "maxU"), "13");
  EXPECT_EQ(Get(t.init, "silent", 7), "0");
  EXPECT_FALSE(HasKey(t.init, "silent", 12)) << "no silent key for an uninstallation entry";
}

TEST(EntryCounters, DamagedCounters) {
  TempDir t;
  struct Case { const char* stored; unsigned want; } cases[] = {
      {"abc", 1}, {"0", 1}, {"", 1}, {"65535", 65535}, {"65536", 0}, {"99999", 0},
      {"123456", 12345},  // read as 5 characters
      {"0042", 42}, {"17x", 17},
  };
  for (const Case& c : cases) {
    WriteFile(t.reg, std::string("[index]\r\nmax=") + c.stored + "\r\n");
    EXPECT_EQ(ReadCounter(t.reg.c_str(), FAMILY_REGISTRY), c.want) << c.stored;
  }
  // No number left: nothing is written.
  WriteFile(t.reg, "[index]\r\nmax=65536\r\n");
  WriteFile(t.lnk, "[index1]\r\nmax=3\r\n[index2]\r\nmax=70000\r\n");
  WriteFile(t.init, "[index]\r\nmax=65536\r\n");
  std::string reg = ReadFile(t.reg), lnk = ReadFile(t.lnk), init = ReadFile(t.init);
  EXPECT_EQ(StoreRegistryEntry(t.reg.c_str(), Reg(kHkcu, "n", "v"), 0), 0u);
  EXPECT_EQ(StoreShortcut(t.lnk.c_str(), "a.exe", true, true, 0), 0u);
  EXPECT_EQ(StoreRunEntry(t.init.c_str(), "a.exe", false, true, 0), 0u);
  EXPECT_EQ(ReadFile(t.reg), reg);
  EXPECT_EQ(ReadFile(t.lnk), lnk);
  EXPECT_EQ(ReadFile(t.init), init);
  EXPECT_EQ(StoreShortcut(t.lnk.c_str(), "a.exe", true, false, 0), PackItemData(3, 0)) << "desktop alone fits";
  // The last number there is: 65535, and the counter goes past it.
  WriteFile(t.reg, "[index]\r\nmax=65535\r\n");
  EXPECT_EQ(StoreRegistryEntry(t.reg.c_str(), Reg(kHkcu, "n", "v"), 0), 65535u);
  EXPECT_EQ(Get(t.reg, "index", "max"), "65536");
  EXPECT_EQ(ReadCounter(t.reg.c_str(), FAMILY_REGISTRY), 0u);
}

TEST(EntryCounters, NeverLowered) {
  TempDir t;
  const char* f = t.lnk.c_str();
  WriteFile(t.lnk, "[index1]\r\nmax=10\r\n[index2]\r\nmax=2\r\n");
  RaiseCounter(f, FAMILY_DESKTOP, 3);
  EXPECT_EQ(Get(t.lnk, "index1", "max"), "10");
  RaiseCounter(f, FAMILY_DESKTOP, 10);
  EXPECT_EQ(Get(t.lnk, "index1", "max"), "11");
  RaiseCounter(f, FAMILY_MENU, 4);  // a damaged counter below a number in use is repaired
  EXPECT_EQ(Get(t.lnk, "index2", "max"), "5");
  DeleteCounter(f, FAMILY_MENU);
  RaiseCounter(f, FAMILY_MENU, 6);
  EXPECT_EQ(Get(t.lnk, "index2", "max"), "7");
  // Through an edit: an entry numbered 3 under a counter of 10 leaves the counter alone.
  uint32_t data = PackItemData(3, 0);
  WriteFile(t.lnk, "[desktop]\r\n3=old.exe\r\n[index1]\r\nmax=10\r\n");
  RemoveEntry(ENTRIES_SHORTCUTS, f, data, false, nullptr);
  EXPECT_EQ(StoreShortcut(f, "new.exe", true, false, data), data);
  EXPECT_EQ(Get(t.lnk, "desktop", 3), "new.exe");
  EXPECT_EQ(Get(t.lnk, "index1", "max"), "10");
}

// ---- Removal ---------------------------------------------------------------------------------------

TEST(EntryRemoval, RegistryNumbersLeaveGaps) {
  TempDir t;
  const char* f = t.reg.c_str();
  uint32_t d1 = StoreRegistryEntry(f, Reg(kHkcu, "one", "1"), 0);
  uint32_t d2 = StoreRegistryEntry(f, Reg(kHkcu, "two", "2"), 0);
  uint32_t d3 = StoreRegistryEntry(f, Reg(kHkcu, "three", "3"), 0);
  ASSERT_EQ(d1, 1u);
  ASSERT_EQ(d2, 2u);
  ASSERT_EQ(d3, 3u);
  RemoveEntry(ENTRIES_REGISTRY, f, d2, false, nullptr);
  EXPECT_EQ(StoreRegistryEntry(f, Reg(kHkcu, "four", "4"), 0), 4u);
  for (const char* s : {"key", "name", "value", "type", "dynam"}) {
    EXPECT_TRUE(HasKey(t.reg, s, 1)) << s;
    EXPECT_FALSE(HasKey(t.reg, s, 2)) << s;
    EXPECT_TRUE(HasKey(t.reg, s, 3)) << s;
    EXPECT_TRUE(HasKey(t.reg, s, 4)) << s;
  }
  EXPECT_TRUE(HasKey(t.reg, "line", 2)) << "\"line\" keys stay";
  EXPECT_EQ(Get(t.reg, "name", 4), "four");
  EXPECT_EQ(Get(t.reg, "index", "max"), "5");
}

TEST(EntryRemoval, LastRunEntryDeletesMaxKeepsMaxU) {
  TempDir t;
  const char* f = t.init.c_str();
  uint32_t run = StoreRunEntry(f, "setup.exe", false, true, 0);
  uint32_t unins = StoreRunEntry(f, "unins.exe", true, false, 0);
  RemoveEntry(ENTRIES_RUN, f, run, false, nullptr);
  EXPECT_EQ(Get(t.init, "index", "max"), "2");
  RemoveEntry(ENTRIES_RUN, f, unins, true, nullptr);
  EXPECT_EQ(Get(t.init, "index", "max"), "<missing>");
  EXPECT_EQ(Get(t.init, "index", "maxU"), "2");
  EXPECT_FALSE(HasKey(t.init, "Run", 1));
  EXPECT_FALSE(HasKey(t.init, "RunU", 1));
  EXPECT_EQ(Get(t.init, "silent", 1), "1") << "\"silent\" keys stay";
  EXPECT_EQ(StoreRunEntry(f, "again.exe", false, false, 0), PackItemData(1, 0)) << "\"Run\" starts again";
  EXPECT_EQ(StoreRunEntry(f, "more.exe", true, false, 0), PackItemData(0, 2)) << "\"RunU\" continues";
  EXPECT_EQ(Get(t.init, "silent", 1), "0") << "the next entry with the number writes its own";
}

TEST(EntryRemoval, RemovingTheMiddleRunEntry) {
  TempDir t;
  const char* f = t.init.c_str();
  StoreRunEntry(f, "a.exe", false, false, 0);
  uint32_t b = StoreRunEntry(f, "b.exe", false, true, 0);
  StoreRunEntry(f, "c.exe", false, false, 0);
  RemoveEntry(ENTRIES_RUN, f, b, false, nullptr);
  EXPECT_TRUE(HasKey(t.init, "Run", 1));
  EXPECT_FALSE(HasKey(t.init, "Run", 2));
  EXPECT_TRUE(HasKey(t.init, "Run", 3));
  EXPECT_EQ(Get(t.init, "silent", 2), "1");
  EXPECT_EQ(Get(t.init, "index", "max"), "4");
}

TEST(EntryRemoval, Shortcuts) {
  TempDir t;
  const char* f = t.lnk.c_str();
  uint32_t both = StoreShortcut(f, "app.exe", true, true, 0);
  uint32_t menu = StoreShortcut(f, "help.exe", false, true, 0);
  ASSERT_EQ(menu, PackItemData(0, 2));
  RemoveEntry(ENTRIES_SHORTCUTS, f, menu, false, nullptr);
  EXPECT_TRUE(HasKey(t.lnk, "desktop", 1));
  EXPECT_TRUE(HasKey(t.lnk, "menu", 1));
  EXPECT_FALSE(HasKey(t.lnk, "menu", 2));
  EXPECT_EQ(Get(t.lnk, "index2", "max"), "3");
  RemoveEntry(ENTRIES_SHORTCUTS, f, both, true, nullptr);
  EXPECT_EQ(Get(t.lnk, "index1", "max"), "<missing>");
  EXPECT_EQ(Get(t.lnk, "index2", "max"), "<missing>");
  EXPECT_EQ(StoreShortcut(f, "next.exe", true, true, 0), PackItemData(1, 1));
}

TEST(EntryRemoval, ZeroNumbersDeleteNothing) {
  TempDir t;
  WriteFile(t.reg, "[key]\r\n0=x\r\n[index]\r\nmax=3\r\n");
  WriteFile(t.init, "[Run]\r\n0=x\r\n[RunU]\r\n0=y\r\n");
  std::string reg = ReadFile(t.reg), init = ReadFile(t.init);
  RemoveEntry(ENTRIES_REGISTRY, t.reg.c_str(), 0x00050000, false, nullptr);  // low 16 bits only
  RemoveEntry(ENTRIES_RUN, t.init.c_str(), 0, false, nullptr);
  EXPECT_EQ(ReadFile(t.reg), reg);
  EXPECT_EQ(ReadFile(t.init), init);
}

TEST(EntryRemoval, UpdatesTheEditorRecord) {
  TempDir t;
  EntryEditState s{};
  s.editing = 1;
  s.position = 4;
  RemoveEntry(ENTRIES_SHORTCUTS, t.lnk.c_str(), PackItemData(0, 9), false, &s);
  EXPECT_STREQ(s.number1, "1");
  EXPECT_STREQ(s.number2, "9");
  EXPECT_EQ(s.editing, 1);
  EXPECT_EQ(s.position, 4);
  RemoveEntry(ENTRIES_RUN, t.init.c_str(), PackItemData(12, 0), false, &s);
  EXPECT_STREQ(s.number1, "12");
  EXPECT_STREQ(s.number2, "0");
  RemoveEntry(ENTRIES_REGISTRY, t.reg.c_str(), 0x0003FFFF, true, &s);
  EXPECT_STREQ(s.number1, "65535");
  EXPECT_STREQ(s.number2, "0");
  EXPECT_EQ(s.editing, 0) << "an emptied list resets its record";
  EXPECT_EQ(s.position, -1);
}

// ---- Edits -----------------------------------------------------------------------------------------

TEST(EntryEdit, ShortcutKeepsItsNumbers) {
  TempDir t;
  const char* f = t.lnk.c_str();
  uint32_t a = StoreShortcut(f, "a.exe", true, true, 0);
  StoreShortcut(f, "b.exe", true, true, 0);
  RemoveEntry(ENTRIES_SHORTCUTS, f, a, false, nullptr);
  EXPECT_EQ(StoreShortcut(f, "a2.exe", true, true, a), a);
  EXPECT_EQ(Get(t.lnk, "desktop", 1), "a2.exe");
  EXPECT_EQ(Get(t.lnk, "menu", 1), "a2.exe");
  EXPECT_EQ(Get(t.lnk, "index1", "max"), "3");
  EXPECT_EQ(Get(t.lnk, "index2", "max"), "3");
}

TEST(EntryEdit, OnlyShortcutRewritesTheCounters) {
  TempDir t;
  const char* f = t.lnk.c_str();
  uint32_t a = StoreShortcut(f, "a.exe", true, true, 0);
  RemoveEntry(ENTRIES_SHORTCUTS, f, a, true, nullptr);
  EXPECT_EQ(StoreShortcut(f, "a.exe", true, true, a), a);
  EXPECT_EQ(Get(t.lnk, "index1", "max"), "2");
  EXPECT_EQ(Get(t.lnk, "index2", "max"), "2");
  EXPECT_EQ(StoreShortcut(f, "b.exe", true, true, 0), PackItemData(2, 2)) << "no number taken twice";
}

TEST(EntryEdit, ShortcutLocations) {
  TempDir t;
  const char* f = t.lnk.c_str();
  WriteFile(t.lnk, "[index1]\r\nmax=5\r\n[index2]\r\nmax=8\r\n");
  uint32_t d = StoreShortcut(f, "d.exe", true, false, 0);
  StoreShortcut(f, "x.exe", true, true, 0);
  ASSERT_EQ(d, PackItemData(5, 0));
  // Ticking the start menu gives a fresh number from "index2".
  RemoveEntry(ENTRIES_SHORTCUTS, f, d, false, nullptr);
  d = StoreShortcut(f, "d.exe", true, true, d);
  EXPECT_EQ(d, PackItemData(5, 9));
  EXPECT_EQ(Get(t.lnk, "index2", "max"), "10");
  // Unticking the desktop deletes that key and keeps the start-menu number.
  RemoveEntry(ENTRIES_SHORTCUTS, f, d, false, nullptr);
  d = StoreShortcut(f, "d.exe", false, true, d);
  EXPECT_EQ(d, PackItemData(0, 9));
  EXPECT_FALSE(HasKey(t.lnk, "desktop", 5));
  EXPECT_EQ(Get(t.lnk, "menu", 9), "d.exe");
  EXPECT_EQ(Get(t.lnk, "index1", "max"), "7");
  // No location: refused, nothing written.
  std::string before = ReadFile(t.lnk);
  EXPECT_EQ(StoreShortcut(f, "d.exe", false, false, d), 0u);
  EXPECT_EQ(ReadFile(t.lnk), before);
}

TEST(EntryEdit, EmptiedListRewritesWhatTheEntryUses) {
  TempDir t;
  const char* f = t.lnk.c_str();
  WriteFile(t.lnk, "[desktop]\r\n5=d.exe\r\n[index1]\r\nmax=6\r\n[index2]\r\nmax=4\r\n");
  uint32_t d = PackItemData(5, 0);
  RemoveEntry(ENTRIES_SHORTCUTS, f, d, true, nullptr);
  EXPECT_EQ(StoreShortcut(f, "d.exe", true, true, d), PackItemData(5, 1));
  EXPECT_EQ(Get(t.lnk, "index1", "max"), "6");
  EXPECT_EQ(Get(t.lnk, "index2", "max"), "2");
}

TEST(EntryEdit, RunEntryBetweenFamilies) {
  TempDir t;
  const char* f = t.init.c_str();
  uint32_t a = StoreRunEntry(f, "a.exe", false, true, 0);
  StoreRunEntry(f, "b.exe", false, false, 0);
  StoreRunEntry(f, "c.exe", true, false, 0);
  // Editing the first of the installation entries in place leaves "max" alone.
  RemoveEntry(ENTRIES_RUN, f, a, false, nullptr);
  EXPECT_EQ(StoreRunEntry(f, "a2.exe", false, false, a), a);
  EXPECT_EQ(Get(t.init, "Run", 1), "a2.exe");
  EXPECT_EQ(Get(t.init, "silent", 1), "0");
  EXPECT_EQ(Get(t.init, "index", "max"), "3");
  // Moving it to the uninstallation family: new "RunU" number, its "silent" key stays.
  RemoveEntry(ENTRIES_RUN, f, a, false, nullptr);
  uint32_t moved = StoreRunEntry(f, "a2.exe", true, true, a);
  EXPECT_EQ(moved, PackItemData(0, 2));
  EXPECT_FALSE(HasKey(t.init, "Run", 1));
  EXPECT_EQ(Get(t.init, "RunU", 2), "a2.exe");
  EXPECT_EQ(Get(t.init, "silent", 1), "0");
  EXPECT_EQ(Get(t.init, "index", "maxU"), "3");
  EXPECT_EQ(Get(t.init, "index", "max"), "3");
}

TEST(EntryEdit, OnlyRunEntry) {
  TempDir t;
  const char* f = t.init.c_str();
  WriteFile(t.init, "[index]\r\nmax=4\r\nmaxU=6\r\n");
  uint32_t a = StoreRunEntry(f, "a.exe", false, false, 0);
  ASSERT_EQ(a, PackItemData(4, 0));
  RemoveEntry(ENTRIES_RUN, f, a, true, nullptr);
  EXPECT_EQ(StoreRunEntry(f, "a.exe", false, true, a), a);
  EXPECT_EQ(Get(t.init, "index", "max"), "5") << "deleted by the removal, written again";
  // The only entry, an uninstallation one, becomes an installation entry: "max" starts at 1.
  uint32_t u = StoreRunEntry(f, "u.exe", true, false, 0);
  RemoveEntry(ENTRIES_RUN, f, a, false, nullptr);
  RemoveEntry(ENTRIES_RUN, f, u, true, nullptr);
  EXPECT_EQ(StoreRunEntry(f, "u.exe", false, false, u), PackItemData(1, 0));
  EXPECT_EQ(Get(t.init, "index", "max"), "2");
  EXPECT_EQ(Get(t.init, "index", "maxU"), "7");
}

TEST(EntryEdit, RegistryEntry) {
  TempDir t;
  const char* f = t.reg.c_str();
  uint32_t one = StoreRegistryEntry(f, Reg(kHkcu, "a", "1"), 0);
  StoreRegistryEntry(f, Reg(kHkcu, "b", "2"), 0);
  StoreRegistryEntry(f, Reg(kHkcu, "c", "3"), 0);
  RemoveEntry(ENTRIES_REGISTRY, f, one, false, nullptr);
  EXPECT_EQ(StoreRegistryEntry(f, Reg(kHkcu, "a2", "x", REG_T_DWORD), one), one);
  EXPECT_EQ(Get(t.reg, "name", 1), "a2");
  EXPECT_EQ(Get(t.reg, "type", 1), "1");
  EXPECT_EQ(Get(t.reg, "index", "max"), "4");

  TempDir u;
  const char* g = u.reg.c_str();
  uint32_t only = StoreRegistryEntry(g, Reg(kHkcu, "a", "1"), 0);
  RemoveEntry(ENTRIES_REGISTRY, g, only, true, nullptr);
  EXPECT_EQ(Get(u.reg, "index", "max"), "<missing>");
  EXPECT_EQ(StoreRegistryEntry(g, Reg(kHkcu, "a", "2"), only), only);
  EXPECT_EQ(Get(u.reg, "index", "max"), "2");
  // Item data from a damaged project: only the low 16 bits name the entry.
  RemoveEntry(ENTRIES_REGISTRY, g, 0x00070001, false, nullptr);
  EXPECT_EQ(StoreRegistryEntry(g, Reg(kHkcu, "a", "3"), 0x00070001), 1u);
  EXPECT_EQ(Get(u.reg, "value", 1), "3");
}

// ---- Registry entries: the quote rule, types, reading back ------------------------------------------

TEST(RegistryEntries, QuotedValueData) {
  TempDir t;
  const char* f = t.reg.c_str();
  uint32_t n = StoreRegistryEntry(f, Reg(kHkcu, "Path", "\"C:\\Program Files\\App\\app.exe\" -x \"a b\""), 0);
  std::string raw;
  ASSERT_TRUE(Raw(t.reg, "value", std::to_string(n), &raw));
  EXPECT_EQ(raw, "\"C:\\Program Files\\App\\app.exe\" -x \"a b\"") << "stored with its quotes";
  EXPECT_EQ(Get(t.reg, "line", n), "1");
  EXPECT_EQ(Get(t.reg, "value", n), "C:\\Program Files\\App\\app.exe\" -x \"a b") << "the reading strips them";
  RegistryEntry back{};
  ReadRegistryEntry(f, n, &back);
  EXPECT_STREQ(back.value, "\"C:\\Program Files\\App\\app.exe\" -x \"a b\"") << "the reader puts them back";
  EXPECT_STREQ(back.key, kHkcu);
  EXPECT_STREQ(back.name, "Path");

  // What the editor shows when the entry is opened again (and the installer writes) is what was
  // entered; only a lone double quote, which the line rule counts as quoted, gains a pair.
  struct Case { const char* value; const char* line; const char* shown; } cases[] = {
      {"\"quoted\"", "1", "\"quoted\""}, {"\"", "1", "\"\"\""}, {"\"\"", "1", "\"\""},
      {"\"open", "0", "\"open"},           {"close\"", "0", "close\""}, {"plain", "0", "plain"},
      {"", "0", ""},                     {"'single'", "0", "'single'"}, {"  padded  ", "0", "  padded  "},
      {"\" x\" ", "0", "\" x\" "},        {"'", "0", "'"},
  };
  for (const Case& c : cases) {
    uint32_t m = StoreRegistryEntry(f, Reg(kHkcu, "n", c.value), 0);
    EXPECT_EQ(Get(t.reg, "line", m), c.line) << c.value;
    EXPECT_EQ(RegistryValueQuoted(c.value), c.line[0] == '1') << c.value;
    RegistryEntry back{};
    ReadRegistryEntry(f, m, &back);
    EXPECT_STREQ(back.value, c.shown) << c.value;
  }
  RegistryEntry e{};
  uint32_t q = StoreRegistryEntry(f, Reg(kHkcu, "n", "\"quoted\""), 0);
  ReadRegistryEntry(f, q, &e);
  EXPECT_STREQ(e.value, "\"quoted\"");
  uint32_t empty = StoreRegistryEntry(f, Reg(kHkcu, "n", "\"\""), 0);
  ReadRegistryEntry(f, empty, &e);
  EXPECT_STREQ(e.value, "\"\"");
}

TEST(RegistryEntries, QuotedValueAtFullLength) {
  TempDir t;
  std::string inner(257, 'v');
  uint32_t n = StoreRegistryEntry(t.reg.c_str(), Reg(kHkcu, "n", ("\"" + inner + "\"").c_str()), 0);
  RegistryEntry e{};
  ReadRegistryEntry(t.reg.c_str(), n, &e);
  EXPECT_EQ(std::string(e.value), "\"" + inner + "\"");
  // A hand-made file with a longer value: the quotes still fit, the text is cut.
  WriteFile(t.reg, "[value]\r\n1=" + std::string(400, 'w') + "\r\n[line]\r\n1=1\r\n");
  ReadRegistryEntry(t.reg.c_str(), 1, &e);
  EXPECT_EQ(std::string(e.value), "\"" + std::string(257, 'w') + "\"");
}

TEST(EntryTexts, ReadBackAsEntered) {
  TempDir t;
  uint32_t d = StoreShortcut(t.lnk.c_str(), " lead.exe", true, false, 0);
  EXPECT_EQ(Get(t.lnk, "desktop", ItemDataHigh(d)), " lead.exe");
  uint32_t r = StoreRunEntry(t.init.c_str(), "'q'", true, false, 0);
  EXPECT_EQ(Get(t.init, "RunU", ItemDataLow(r)), "'q'");
  uint32_t g = StoreRegistryEntry(t.reg.c_str(), Reg("HKEY_USERS\\x ", "\"n\"", "v"), 0);
  EXPECT_EQ(Get(t.reg, "key", g), "HKEY_USERS\\x ");
  EXPECT_EQ(Get(t.reg, "name", g), "\"n\"");
}

TEST(RegistryEntries, TypeAndPathFlag) {
  TempDir t;
  const char* f = t.reg.c_str();
  uint32_t a = StoreRegistryEntry(f, Reg(kHkcu, "a", "%PATH%", REG_T_EXPAND, true), 0);
  uint32_t b = StoreRegistryEntry(f, Reg(kHkcu, "b", "1", REG_T_DWORD, true), 0);
  uint32_t c = StoreRegistryEntry(f, Reg(kHkcu, "c", "x", 9, false), 0);
  EXPECT_EQ(Get(t.reg, "type", a), "2");
  EXPECT_EQ(Get(t.reg, "dynam", a), "1");
  EXPECT_EQ(Get(t.reg, "type", b), "1");
  EXPECT_EQ(Get(t.reg, "dynam", b), "0") << "only REG_EXPAND_SZ carries the flag";
  EXPECT_EQ(Get(t.reg, "type", c), "3");
  RegistryEntry e{};
  ReadRegistryEntry(f, a, &e);
  EXPECT_EQ(e.type, unsigned{REG_T_EXPAND});
  EXPECT_TRUE(e.dynam);
  ReadRegistryEntry(f, b, &e);
  EXPECT_EQ(e.type, unsigned{REG_T_DWORD});
  EXPECT_FALSE(e.dynam);

  WriteFile(t.reg, "[key]\r\n1=HKEY_USERS\\\r\n2=HKEY_USERS\\\r\n3=HKEY_USERS\\\r\n[type]\r\n1=2\r\n2=7\r\n3=-1\r\n");
  ReadRegistryEntry(f, 1, &e);
  EXPECT_EQ(e.type, unsigned{REG_T_EXPAND});
  EXPECT_TRUE(e.dynam) << "a missing flag reads as set";
  ReadRegistryEntry(f, 2, &e);
  EXPECT_EQ(e.type, unsigned{REG_T_STRING});
  ReadRegistryEntry(f, 3, &e);
  EXPECT_EQ(e.type, unsigned{REG_T_STRING});
  ReadRegistryEntry(f, 9, &e);
  EXPECT_STREQ(e.key, "");
  EXPECT_STREQ(e.name, "");
  EXPECT_STREQ(e.value, "");
  EXPECT_EQ(e.type, unsigned{REG_T_STRING});
  EXPECT_FALSE(e.dynam);
}

TEST(Numbering, PlanGivesTheItemDataAStoreWillWrite) {
  TempDir t;
  ProfileWriteString("index1", "max", "5", t.lnk.c_str());
  ProfileWriteString("index2", "max", "70000", t.lnk.c_str());
  ProfileWriteString("index", "max", "4", t.init.c_str());
  ProfileWriteString("index", "maxU", "70000", t.init.c_str());
  const EntryFamily N = FAMILY_COUNT;
  const struct {
    const std::string* file;
    EntryFamily high, low;
    uint32_t old;
    bool emptied;
    uint32_t plan;
  } kCases[] = {
      {&t.lnk, FAMILY_DESKTOP, N, 0, false, PackItemData(5, 0)},
      {&t.lnk, FAMILY_DESKTOP, N, PackItemData(2, 3), false, PackItemData(2, 0)},  // an untick keeps the other
      {&t.lnk, FAMILY_DESKTOP, FAMILY_MENU, PackItemData(2, 3), false, PackItemData(2, 3)},
      {&t.lnk, FAMILY_DESKTOP, FAMILY_MENU, PackItemData(2, 0), false, 0},  // no start-menu number left
      {&t.lnk, FAMILY_DESKTOP, FAMILY_MENU, PackItemData(2, 0), true, PackItemData(2, 1)},  // counters gone
      {&t.lnk, N, N, 0, false, 0},
      {&t.init, FAMILY_RUN, N, PackItemData(0, 2), false, PackItemData(4, 0)},
      {&t.init, N, FAMILY_RUNU, PackItemData(3, 0), true, 0},  // "maxU" outlives an emptied list
      {&t.reg, N, FAMILY_REGISTRY, 0, false, 1},
      {&t.reg, N, FAMILY_REGISTRY, 7, false, 7},
  };
  for (size_t i = 0; i < sizeof kCases / sizeof kCases[0]; ++i) {
    const auto& c = kCases[i];
    SCOPED_TRACE(i);
    EXPECT_EQ(PlanItemData(c.file->c_str(), c.high, c.low, c.old, c.emptied), c.plan);
  }
  EXPECT_FALSE(fs::exists(t.reg)) << "planning writes nothing";
}

// ---- Run entries and line breaks -----------------------------------------------------------------------

TEST(RunEntries, SilentFlag) {
  TempDir t;
  WriteFile(t.init, "[silent]\r\n1=1\r\n2=0\r\n3=\r\n4=x\r\n5=01\r\n");
  const char* f = t.init.c_str();
  EXPECT_TRUE(ReadRunSilent(f, 1));
  EXPECT_FALSE(ReadRunSilent(f, 2));
  EXPECT_FALSE(ReadRunSilent(f, 3));
  EXPECT_TRUE(ReadRunSilent(f, 4));
  EXPECT_FALSE(ReadRunSilent(f, 5));
  EXPECT_FALSE(ReadRunSilent(f, 6)) << "missing reads as \"0\"";
}

TEST(EntryTexts, LineBreaksNeverStartAKey) {
  TempDir t;
  uint32_t d = StoreRunEntry(t.init.c_str(), "a.exe\r\n[index]\r\nmax=1", false, false, 0);
  EXPECT_EQ(Get(t.init, "Run", ItemDataHigh(d)), "a.exe");
  EXPECT_EQ(Get(t.init, "index", "max"), "2");
  uint32_t r = StoreRegistryEntry(t.reg.c_str(), Reg(kHkcu, "n\n2=x", "v\rline=1"), 0);
  EXPECT_EQ(Get(t.reg, "name", r), "n");
  EXPECT_EQ(Get(t.reg, "value", r), "v");
  EXPECT_EQ(Get(t.reg, "name", 2), "<missing>");
}

// ---- Relative paths --------------------------------------------------------------------------------

TEST(RelativePaths, InsideTheProgramFolder) {
  struct Case { const char* full; const char* folder; const char* want; } cases[] = {
      {"C:\\Prog\\bin\\app.exe", "C:\\Prog", "bin\\app.exe"},
      {"C:\\Prog\\bin\\app.exe", "C:\\Prog\\", "bin\\app.exe"},  // one trailing backslash removed
      {"c:\\prog\\App.exe", "C:\\Prog", "App.exe"},              // drive and folder in any case
      {"C:\\x.exe", "C:\\", "x.exe"},
      {"C:\\Prog\\\xA3\xF3" "d\xBC\\plik.txt", "C:\\Prog", "\xA3\xF3" "d\xBC\\plik.txt"},
      {"C:\\Prog\\a..b\\.hidden", "C:\\Prog", "a..b\\.hidden"},
  };
  for (const Case& c : cases) {
    char out[260] = "junk";
    EXPECT_TRUE(RelativePath(c.full, c.folder, out, sizeof out)) << c.full;
    EXPECT_STREQ(out, c.want) << c.full;
  }
}

TEST(RelativePaths, OutsideIsRefused) {
  struct Case { const char* full; const char* folder; } cases[] = {
      {"C:\\Program\\app.exe", "C:\\Prog"},      // prefix of a name, not a folder
      {"D:\\Prog\\app.exe", "C:\\Prog"},
      {"C:\\Prog", "C:\\Prog"},                  // the folder itself
      {"C:\\Prog\\", "C:\\Prog"},
      {"C:\\Prog\\..\\Windows\\x.exe", "C:\\Prog"},
      {"C:\\Prog\\a\\..\\..\\x.exe", "C:\\Prog"},
      {"C:\\Prog\\.\\x.exe", "C:\\Prog"},
      {"C:\\Prog\\...\\x.exe", "C:\\Prog"},
      {"C:\\Prog\\. .\\x.exe", "C:\\Prog"},
      {"C:\\Prog\\a/../../x.exe", "C:\\Prog"},
      {"C:\\Prog\\\\x.exe", "C:\\Prog"},         // empty component
      {"C:\\Prog\\sub\\", "C:\\Prog"},
      {"C:\\Prog\\x.exe:stream", "C:\\Prog"},
      {"x.exe", ""},
      {"C:\\Prog\\x.exe", "C:\\Prog\\\\"},       // only one backslash is removed
  };
  for (const Case& c : cases) {
    char out[260] = "junk";
    EXPECT_FALSE(RelativePath(c.full, c.folder, out, sizeof out)) << c.full;
    EXPECT_STREQ(out, "") << c.full;
  }
  char small[6] = "junk";
  EXPECT_FALSE(RelativePath("C:\\P\\abcdef", "C:\\P", small, sizeof small)) << "doesn't fit";
  EXPECT_STREQ(small, "");
  EXPECT_TRUE(RelativePath("C:\\P\\abcde", "C:\\P", small, sizeof small));
  EXPECT_STREQ(small, "abcde");
  EXPECT_FALSE(RelativePath(nullptr, "C:\\P", small, sizeof small));
  EXPECT_FALSE(RelativePath("C:\\P\\a", nullptr, small, sizeof small));
}

// ---- Files the platform's own profile functions wrote -----------------------------------------------

// The same operations, run on Windows through GetPrivateProfileStringA / WritePrivateProfileStringA
// (under Wine), left exactly these files.
TEST(PlatformFiles, SameBytesAsThePlatformFunctions) {
  const char kLnk[] =
      "[desktop]\r\n1=doc\\help.exe\r\n[index1]\r\nmax=2\r\n[menu]\r\n2=doc\\help.exe\r\n[index2]\r\nmax=3\r\n";
  const char kInit[] =
      "[Run]\r\n[silent]\r\n1=0\r\n[index]\r\nmaxU=4\r\nmax=2\r\n[RunU]\r\n2=clean.exe\r\n3=readme.exe\r\n";
  const char kReg[] =
      "[key]\r\n3=HKEY_CURRENT_USER\\Software\\A\r\n4=HKEY_CURRENT_USER\\Software\\A\r\n"
      "1=HKEY_CURRENT_USER\\Software\\A\r\n[name]\r\n3=N3\r\n4=N4\r\n1=Path\r\n[value]\r\n3=\"\r\n4=x=y\r\n"
      "1=\"'single'\"\r\n[line]\r\n1=0\r\n2=0\r\n3=1\r\n4=0\r\n[dynam]\r\n3=0\r\n4=0\r\n1=0\r\n[type]\r\n3=1\r\n"
      "4=0\r\n1=3\r\n[index]\r\nmax=5\r\n";

  TempDir t;
  const char *lnk = t.lnk.c_str(), *init = t.init.c_str(), *reg = t.reg.c_str();
  // Registry: three entries, the 2nd removed, one added, the 1st edited.
  RegistryEntry e = Reg("HKEY_CURRENT_USER\\Software\\A", "Path", "\"C:\\Program Files\\A\"");
  uint32_t r1 = StoreRegistryEntry(reg, e, 0);
  e = Reg("HKEY_CURRENT_USER\\Software\\A", "", "plain", REG_T_EXPAND, true);
  uint32_t r2 = StoreRegistryEntry(reg, e, 0);
  e = Reg("HKEY_CURRENT_USER\\Software\\A", "N3", "\"", REG_T_DWORD, true);
  StoreRegistryEntry(reg, e, 0);
  RemoveEntry(ENTRIES_REGISTRY, reg, r2, false, nullptr);
  StoreRegistryEntry(reg, Reg("HKEY_CURRENT_USER\\Software\\A", "N4", "x=y", REG_T_BINARY), 0);
  RemoveEntry(ENTRIES_REGISTRY, reg, r1, false, nullptr);
  StoreRegistryEntry(reg, Reg("HKEY_CURRENT_USER\\Software\\A", "Path", "'single'"), r1);
  // Run entries: both families emptied, added again, one moved to uninstallation.
  uint32_t a = StoreRunEntry(init, "bin\\setup.exe", false, true, 0);
  uint32_t b = StoreRunEntry(init, "unins.exe", true, false, 0);
  RemoveEntry(ENTRIES_RUN, init, a, false, nullptr);
  RemoveEntry(ENTRIES_RUN, init, b, true, nullptr);
  uint32_t c = StoreRunEntry(init, "readme.exe", false, false, 0);
  StoreRunEntry(init, "clean.exe", true, false, 0);
  RemoveEntry(ENTRIES_RUN, init, c, false, nullptr);
  StoreRunEntry(init, "readme.exe", true, false, c);
  // Shortcuts: the list emptied by the removal step of an edit that ticks a new location.
  uint32_t s1 = StoreShortcut(lnk, "app.exe", true, true, 0);
  uint32_t s2 = StoreShortcut(lnk, "doc\\help.exe", false, true, 0);
  RemoveEntry(ENTRIES_SHORTCUTS, lnk, s1, false, nullptr);
  RemoveEntry(ENTRIES_SHORTCUTS, lnk, s2, true, nullptr);
  EXPECT_EQ(StoreShortcut(lnk, "doc\\help.exe", true, true, s2), PackItemData(1, 2));

  EXPECT_EQ(ReadFile(t.lnk), kLnk);
  EXPECT_EQ(ReadFile(t.init), kInit);
  EXPECT_EQ(ReadFile(t.reg), kReg);

  // And the platform's files read back through the operations.
  TempDir w;
  WriteFile(w.lnk, kLnk);
  WriteFile(w.init, kInit);
  WriteFile(w.reg, kReg);
  EXPECT_EQ(ReadCounter(w.lnk.c_str(), FAMILY_DESKTOP), 2u);
  EXPECT_EQ(ReadCounter(w.lnk.c_str(), FAMILY_MENU), 3u);
  EXPECT_EQ(ReadCounter(w.init.c_str(), FAMILY_RUN), 2u);
  EXPECT_EQ(ReadCounter(w.init.c_str(), FAMILY_RUNU), 4u);
  EXPECT_FALSE(ReadRunSilent(w.init.c_str(), 1));
  RegistryEntry back{};
  ReadRegistryEntry(w.reg.c_str(), 4, &back);
  EXPECT_STREQ(back.name, "N4");
  EXPECT_STREQ(back.value, "x=y");
  EXPECT_EQ(back.type, unsigned{REG_T_BINARY});
}
