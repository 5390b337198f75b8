// Damaged and hostile list files: NUL bytes, huge lines, missing brackets, a 10 MB file, random bytes,
// and counters that would make a walk endless. Nothing may overrun (the suite runs under ASan) and
// the results must still follow the rules.
#include <chrono>
#include <cstring>
#include <random>

#include "entries_testutil.h"

using namespace entriestest;

namespace {

std::string Find(const std::string& text, const char* section, const char* key) {
  std::string v;
  return ProfileTextFind(text, section, key, &v) ? v : "<missing>";
}

}  // namespace

TEST(HostileProfile, NulBytes) {
  TempDir t;
  std::string f = t.path("nul.ini");
  WriteFile(f, std::string("[d]\r\nk=a\0b\r\nz=1\r\nn\0x=2\r\n[e\0f]\r\ny=3\r\n", 36));
  char buf[16];
  std::memset(buf, '#', sizeof buf);
  EXPECT_EQ(ProfileGetString("d", "k", "", buf, sizeof buf, f.c_str()), 1u);
  EXPECT_STREQ(buf, "a") << "a NUL ends the value";
  EXPECT_EQ(ProfileGetInt("d", "z", 0, f.c_str()), 1) << "the lines after it are read";
  EXPECT_EQ(ProfileGetInt("d", "n", 0, f.c_str()), 2) << "a NUL ends the name";
  EXPECT_EQ(ProfileGetInt("e", "y", 0, f.c_str()), 3);
  ASSERT_TRUE(ProfileWriteString("d", "z", "9", f.c_str()));
  std::string after = ReadFile(f);
  EXPECT_EQ(after.size(), 36u) << "the other bytes, NULs included, stay";
  EXPECT_EQ(ProfileGetInt("d", "z", 0, f.c_str()), 9);
}

TEST(HostileProfile, HugeLinesAreCutNotOverrun) {
  TempDir t;
  std::string f = t.path("huge.ini");
  std::string value(4 << 20, 'v');
  WriteFile(f, "[s]\r\nbig=" + value + "\r\n" + std::string(1 << 20, 'x') + "\r\nafter=1\r\n[" +
                   std::string(100000, 'n') + "]\r\nk=2\r\n");
  std::vector<char> buf(261, '#');
  EXPECT_EQ(ProfileGetString("s", "big", "", buf.data(), 260, f.c_str()), 259u);
  EXPECT_EQ(std::string(buf.data()), std::string(259, 'v'));
  EXPECT_EQ(buf[260], '#');
  EXPECT_EQ(ProfileGetInt("s", "after", 0, f.c_str()), 1);
  EXPECT_EQ(ProfileGetInt(std::string(100000, 'N').c_str(), "k", 0, f.c_str()), 2);
  // A counter read as 5 characters out of a huge value.
  WriteFile(t.reg, "[index]\r\nmax=" + std::string(1 << 20, '7') + "\r\n");
  EXPECT_EQ(ReadCounter(t.reg.c_str(), FAMILY_REGISTRY), 0u) << "77777 is past 65535";
}

TEST(HostileProfile, MissingBrackets) {
  std::string text = "[abc\r\nk=1\r\n]\r\n[\r\n[]\r\nj=2\r\n[x\r\n]y=3\r\n";
  EXPECT_EQ(Find(text, "", "k"), "1") << "'[abc' is a bare key of the nameless section";
  EXPECT_EQ(Find(text, "abc", "k"), "<missing>");
  EXPECT_EQ(Find(text, "", "j"), "<missing>") << "'[]' opens a second, unreachable nameless section";
  EXPECT_EQ(Find(text, "x", "]y"), "<missing>");
  std::string copy = text;
  ASSERT_TRUE(ProfileTextWrite(&copy, "abc", "k", "5"));
  EXPECT_EQ(copy, text + "[abc]\r\nk=5\r\n");
  EXPECT_EQ(Find(copy, "abc", "k"), "5");
}

TEST(HostileProfile, TenMegabyteFile) {
  TempDir t;
  std::string f = t.path("big.ini");
  std::string text;
  text.reserve(10 << 20);
  int sections = 0;
  while (text.size() < (10u << 20)) {
    text += "[s" + std::to_string(sections++) + "]\r\n";
    for (int k = 0; k < 20; ++k) text += std::to_string(k) + "=" + std::string(20, 'a' + k) + "\r\n";
  }
  WriteFile(f, text);
  auto start = std::chrono::steady_clock::now();
  std::string last = "s" + std::to_string(sections - 1);
  char buf[64];
  ProfileGetString(last.c_str(), "19", "", buf, sizeof buf, f.c_str());
  EXPECT_EQ(std::string(buf), std::string(20, 'a' + 19));
  ASSERT_TRUE(ProfileWriteString("s0", "new", "1", f.c_str()));
  ASSERT_TRUE(ProfileWriteString(last.c_str(), "3", nullptr, f.c_str()));
  ASSERT_TRUE(ProfileWriteString("tail", "k", "v", f.c_str()));
  auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(seconds, 20.0) << "each operation is one pass over the file";
  std::string after = ReadFile(f);
  EXPECT_EQ(after.size(), text.size() + std::strlen("new=1\r\n") - std::strlen("3=dddddddddddddddddddd\r\n") +
                              std::strlen("[tail]\r\nk=v\r\n"));
  EXPECT_EQ(ProfileGetInt("s0", "new", 0, f.c_str()), 1);
  EXPECT_EQ(ProfileGetInt("tail", "k", 7, f.c_str()), 0);
  ProfileGetString(last.c_str(), "3", "gone", buf, sizeof buf, f.c_str());
  EXPECT_STREQ(buf, "gone");
  ProfileGetString("s1", "3", "", buf, sizeof buf, f.c_str());
  EXPECT_STREQ(buf, "dddddddddddddddddddd");
}

TEST(HostileProfile, RandomBytesKeepTheRules) {
  // Whatever the text, a write is read back as written, a deletion makes the key disappear once its
  // duplicates are gone, and nothing overruns.
  std::mt19937 rng(20240611);
  const char alphabet[] = "[]=ab \t\r\n\"';\0\xA6\xEF\xBB\xBF";
  const char* names[] = {"a", "b", "ab", "A"};
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    size_t len = rng() % 120;
    for (size_t i = 0; i < len; ++i) text += alphabet[rng() % (sizeof alphabet - 1)];
    const char* section = names[rng() % 4];
    const char* key = names[rng() % 4];
    std::string value = "v" + std::to_string(rng() % 1000);
    std::string original = text;
    ProfileTextWrite(&text, section, key, value.c_str());
    ASSERT_EQ(Find(text, section, key), value) << "round " << round;
    int guard = 0;
    while (ProfileTextWrite(&text, section, key, nullptr)) ASSERT_LT(++guard, 200) << "round " << round;
    ASSERT_EQ(Find(text, section, key), "<missing>") << "round " << round;
    // Searching the untouched text never fails to terminate or overruns, whatever it asks.
    for (const char* s : names)
      for (const char* k : names) Find(original, s, k);
  }
}

TEST(HostileProfile, UnreadableFileIsNotReplaced) {
  TempDir t;
  std::string dir = t.path("adir");
  fs::create_directory(dir);
  EXPECT_FALSE(ProfileWriteString("a", "b", "c", dir.c_str()));
  EXPECT_TRUE(fs::is_directory(dir));
  char buf[8];
  EXPECT_EQ(ProfileGetString("a", "b", "dd", buf, sizeof buf, dir.c_str()), 2u);
  EXPECT_STREQ(buf, "dd");
}

TEST(HostileLists, DamagedEntriesReadSafely) {
  TempDir t;
  WriteFile(t.reg, "[key]\r\n1=" + std::string(5000, 'k') + "\r\n[name]\r\n1\r\n[value]\r\n1=\"\r\n[line]\r\n1=x\r\n"
                   "[type]\r\n1=0x2\r\n[dynam]\r\n1=\r\n");
  RegistryEntry e;
  std::memset(&e, '#', sizeof e);
  ReadRegistryEntry(t.reg.c_str(), 1, &e);
  EXPECT_EQ(std::strlen(e.key), ENTRY_TEXT_MAX);
  EXPECT_STREQ(e.name, "") << "a bare key reads as the default";
  EXPECT_STREQ(e.value, "\"") << "\"line\" = \"x\" is no number: no quotes added";
  EXPECT_EQ(e.type, unsigned{REG_T_EXPAND});
  EXPECT_TRUE(e.dynam) << "an empty flag reads as the default";
  WriteFile(t.init, "[silent]\r\n1=" + std::string(1000, '1') + "\r\n");
  EXPECT_TRUE(ReadRunSilent(t.init.c_str(), 1));
}
