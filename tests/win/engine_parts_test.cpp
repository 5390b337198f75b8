// The engine's plain-data parts: language data, registry text forms, image end, uninstall log.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/langdata.h"
#include "engine/langids.h"
#include "core/peimage.h"
#include "core/regvalue.h"
#include "engine/unlog.h"
#include "uitest.h"

namespace {
std::string Lang() { return uitest::ReadFile(uitest::DistDir() + "bin\\Lang.dat"); }

size_t Count(const std::string& s, const std::string& what) {
  size_t n = 0;
  for (size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + 1)) ++n;
  return n;
}

TEST(EngineLangData, TheShippedFileHoldsFifteenCompleteSets) {
  std::string lang = Lang();
  ASSERT_FALSE(lang.empty());
  EXPECT_EQ(0u, lang.find("PRLANG "));
  EXPECT_EQ(lang.size(), LangDataLength(lang.data(), lang.size()));
  const std::vector<std::string> sets = LangSets(lang.data(), lang.size());
  EXPECT_EQ((std::vector<std::string>{"pl", "en", "de", "fr", "es", "it", "pt-BR", "nl", "cs", "hu", "uk", "ru", "tr",
                                      "ja", "zh-CN"}),
            sets);
  std::vector<std::string> pl, other;
  ASSERT_TRUE(LangLoad(lang.data(), lang.size(), "pl", L_COUNT, &pl));
  for (size_t set = 1; set < sets.size(); ++set) {
    SCOPED_TRACE(sets[set]);
    ASSERT_TRUE(LangLoad(lang.data(), lang.size(), sets[set].c_str(), L_COUNT, &other));
    for (int id = 1; id < L_COUNT; ++id) {
      EXPECT_FALSE(pl[id].empty()) << id;
      // A text missing from a set would be taken from the Polish one.
      EXPECT_NE(pl[id], other[id]) << id;
      EXPECT_EQ(Count(pl[id], "%s"), Count(other[id], "%s")) << id;
    }
  }
  // Stored in UTF-8, line breaks as CR LF.
  EXPECT_EQ(u8"Zakończ", pl[L_FINISH]);
  const char* const kChineseFinish = u8"完成";  // (outside the macro, which quotes itself in code page 1250)
  EXPECT_EQ(kChineseFinish, other[L_FINISH]);
  EXPECT_NE(std::string::npos, pl[L_WELCOME_TEXT].find(u8"komputerze.\r\n\r\nZalecane"));
  EXPECT_EQ(u8"Podaj pełną ścieżkę folderu, na przykład C:\\Program Files\\Program.", pl[L_BAD_FOLDER]);
}

// The set of an interface language: its language, and the region for Portuguese and Chinese.
TEST(EngineLangData, TheInterfaceLanguageChoosesItsSetElseEnglish) {
  const struct {
    unsigned short langId;
    const char* set;
  } kCases[] = {
      {0x0415, "pl"}, {0x0409, "en"},    {0x0809, "en"},    {0x0407, "de"}, {0x0c07, "de"},  {0x040c, "fr"},
      {0x0c0a, "es"}, {0x0410, "it"},    {0x0416, "pt-BR"}, {0x0816, "en"}, {0x0413, "nl"},  {0x0405, "cs"},
      {0x040e, "hu"}, {0x0422, "uk"},    {0x0419, "ru"},    {0x041f, "tr"}, {0x0411, "ja"},  {0x0804, "zh-CN"},
      {0x1004, "zh-CN"}, {0x0404, "en"}, {0x0c04, "en"},    {0x0408, "en"}, {0x0000, "en"},
  };
  for (const auto& c : kCases) EXPECT_STREQ(c.set, LangForUi(c.langId)) << std::hex << c.langId;
  const std::vector<std::string> sets{"pl", "en", "pt-BR", "zh-CN"};
  EXPECT_EQ("pt-BR", LangFind(sets, "PT-br"));
  EXPECT_EQ("zh-CN", LangFind(sets, "zh-cn"));
  EXPECT_EQ("en", LangFind(sets, "EN"));
  EXPECT_EQ("", LangFind(sets, "pt"));
  EXPECT_EQ("", LangFind(sets, "e"));
}

TEST(EngineLangData, TheBlockDelimitsItselfAndRefusesDamage) {
  std::string body = "@pl\n1=Jeden\n# uwaga\n\n2=Dwa %s\n@en\n1=One\n";
  std::string block = "PRLANG " + std::to_string(body.size()) + "\r\n" + body;
  std::string after = block + "GZC trailing archive";
  EXPECT_EQ(block.size(), LangDataLength(after.data(), after.size()));
  EXPECT_EQ(0u, LangDataLength(block.data(), block.size() - 1));  // cut short
  std::string noCrLf = "PRLANG 3\n@pl";
  EXPECT_EQ(0u, LangDataLength(noCrLf.data(), noCrLf.size()));
  std::string noDigits = "PRLANG \r\n";
  EXPECT_EQ(0u, LangDataLength(noDigits.data(), noDigits.size()));
  std::string huge = "PRLANG 99999999\r\n";
  EXPECT_EQ(0u, LangDataLength(huge.data(), huge.size()));
  EXPECT_EQ(0u, LangDataLength("XXLANG 1\r\nx", 11));

  std::vector<std::string> t;
  ASSERT_TRUE(LangLoad(after.data(), after.size(), "en", 3, &t));
  EXPECT_EQ("One", t[1]);
  EXPECT_EQ("Dwa %s", t[2]);  // missing in English: the first set's
  ASSERT_TRUE(LangLoad(block.data(), block.size(), "xx", 3, &t));
  EXPECT_EQ("Jeden", t[1]);
  std::string before = "1=x\n@pl\n";
  std::string bad = "PRLANG " + std::to_string(before.size()) + "\r\n" + before;
  EXPECT_FALSE(LangLoad(bad.data(), bad.size(), "pl", 3, &t));
  EXPECT_TRUE(t.empty());
}

TEST(EngineLangData, FormatFillsEachPlaceholderInTurn) {
  EXPECT_EQ(L"a 1 b 2 100%", LangFormat(L"a %s b %s 100%%", {L"1", L"2"}));
  EXPECT_EQ(L"x  y", LangFormat(L"x %s y", {}));
  EXPECT_EQ(L"%d stays", LangFormat(L"%d stays", {L"unused"}));
}

TEST(EngineRegValue, BinaryFormIsPairsOfHexDigits) {
  std::vector<unsigned char> b;
  ASSERT_TRUE(RegParseBinary("01 aB ff,00-7f", &b));
  EXPECT_EQ((std::vector<unsigned char>{0x01, 0xab, 0xff, 0x00, 0x7f}), b);
  ASSERT_TRUE(RegParseBinary("0102", &b));
  EXPECT_EQ((std::vector<unsigned char>{1, 2}), b);
  ASSERT_TRUE(RegParseBinary("", &b));
  EXPECT_TRUE(b.empty());
  for (const char* bad : {"abc", "0g", "1 2", "0x01", "01;02", "zz"}) {
    b = {9};
    EXPECT_FALSE(RegParseBinary(bad, &b)) << bad;
    EXPECT_EQ(std::vector<unsigned char>{9}, b) << bad;
  }
}

TEST(EngineRegValue, DwordFormIsPlainDecimal) {
  uint32_t v = 0;
  ASSERT_TRUE(RegParseDword("4294967295", &v));
  EXPECT_EQ(4294967295u, v);
  ASSERT_TRUE(RegParseDword(" 007 ", &v));
  EXPECT_EQ(7u, v);
  for (const char* bad : {"", " ", "4294967296", "-1", "+1", "0x10", "1 2", "12x", "99999999999999999999"})
    EXPECT_FALSE(RegParseDword(bad, &v)) << bad;
}

TEST(EngineRegValue, KeysSplitIntoTheFourRoots) {
  RegRoot root;
  std::string sub;
  ASSERT_TRUE(RegSplitKey("HKEY_CURRENT_USER\\Software\\A b", &root, &sub));
  EXPECT_EQ(REG_ROOT_HKCU, root);
  EXPECT_EQ("Software\\A b", sub);
  ASSERT_TRUE(RegSplitKey("hkey_local_machine\\X", &root, &sub));
  EXPECT_EQ(REG_ROOT_HKLM, root);
  ASSERT_TRUE(RegSplitKey("HKEY_CLASSES_ROOT\\.abc", &root, &sub));
  EXPECT_EQ(REG_ROOT_HKCR, root);
  ASSERT_TRUE(RegSplitKey("HKEY_USERS\\.DEFAULT\\x", &root, &sub));
  EXPECT_EQ(REG_ROOT_HKU, root);
  for (const char* bad : {"HKEY_CURRENT_USER", "HKEY_CURRENT_USER\\", "HKCU\\x", "HKEY_CURRENT_USERX\\a",
                          "HKEY_CURRENT_USER\\a\\\\b", "HKEY_CURRENT_USER\\a\\", "HKEY_CURRENT_USER\\\\a",
                          "HKEY_CURRENT_USER\\a\tb", "HKEY_NOWHERE\\a"})
    EXPECT_FALSE(RegSplitKey(bad, &root, &sub)) << bad;
  EXPECT_STREQ("HKEY_USERS", RegRootName(REG_ROOT_HKU));
}

TEST(EngineRegValue, ValueDataAsTheInstallerWritesIt) {
  const struct {
    RegType type;
    const char* text;
    bool fits;
    std::string data;
  } kCases[] = {
      {REG_T_BINARY, "0a 0B", true, std::string("\x0a\x0b", 2)},
      {REG_T_BINARY, "", true, ""},
      {REG_T_BINARY, "abc", false, ""},
      {REG_T_DWORD, "258", true, std::string("\x02\x01\0\0", 4)},
      {REG_T_DWORD, "4294967296", false, ""},
      {REG_T_EXPAND, "%TEMP%", true, std::string("%TEMP%\0", 7)},
      {REG_T_STRING, "", true, std::string(1, '\0')},
      {REG_T_COUNT, "1", false, ""},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(RegTypeName(c.type)) + " " + c.text);
    std::string data = "old";
    EXPECT_EQ(c.fits, RegValueData(c.type, c.text, &data));
    if (c.fits) {
      EXPECT_EQ(c.data, data);
    }
  }
  EXPECT_TRUE(RegRelativeValue("bin\\a.exe"));
  for (const char* bad : {"", "..\\a", "C:\\a", "\\a", "a\\..\\..\\b"}) EXPECT_FALSE(RegRelativeValue(bad)) << bad;
}

TEST(EngineRegValue, EditorRootsAreExactCasePrefixes) {
  EXPECT_EQ(REG_ROOT_HKLM, RegKeyRoot("HKEY_LOCAL_MACHINE\\Software"));
  EXPECT_EQ(REG_ROOT_HKU, RegKeyRoot("HKEY_USERS\\"));
  for (const char* bad : {"hkey_local_machine\\x", "HKEY_USERS", "HKEY_CURRENT_CONFIG\\x", "", " HKEY_USERS\\"})
    EXPECT_EQ(REG_ROOT_NONE, RegKeyRoot(bad)) << bad;
  EXPECT_STREQ("REG_EXPAND_SZ", RegTypeName(REG_T_EXPAND));
}

TEST(EngineRegValue, LineRuleRestoresTheStrippedQuotes) {
  EXPECT_EQ("\"a b\"", RegRestoreQuotes("a b", true));
  EXPECT_EQ("a b", RegRestoreQuotes("a b", false));
}

TEST(EnginePeImage, TheEngineEndsWhereItsFileEndsAndAnInstallerWhereItsDataBegins) {
  std::string engine = uitest::ReadFile(uitest::DistDir() + "bin\\Packrift.dat");
  ASSERT_GT(engine.size(), PE_HEAD_MAX);
  const unsigned char* head = (const unsigned char*)engine.data();
  EXPECT_EQ(engine.size(), PeImageEnd(head, PE_HEAD_MAX));
  std::string uninst = uitest::ReadFile(uitest::DistDir() + "bin\\UnInst.dat");
  std::string withData = uninst + Lang();
  EXPECT_EQ(uninst.size(), PeImageEnd((const unsigned char*)withData.data(), PE_HEAD_MAX));
  // Headers cut short, a wrong signature, not an image at all.
  EXPECT_EQ(0u, PeImageEnd(head, 100));
  std::string broken = engine.substr(0, PE_HEAD_MAX);
  uint32_t pe = *(const uint32_t*)(broken.data() + 0x3C);
  broken[pe] = 'X';
  EXPECT_EQ(0u, PeImageEnd((const unsigned char*)broken.data(), broken.size()));
  std::string text(PE_HEAD_MAX, 'M');
  EXPECT_EQ(0u, PeImageEnd((const unsigned char*)text.data(), text.size()));
}

TEST(EngineUninstallLog, LinesRoundTripAndDamageIsRefused) {
  std::string log = LogHeader();
  ASSERT_TRUE(LogLine('P', "Zażółć", "", &log));
  ASSERT_TRUE(LogLine('F', "lib\\a b.txt", "", &log));
  ASSERT_TRUE(LogLine('V', "HKEY_CURRENT_USER\\Software\\x", "", &log));
  ASSERT_TRUE(LogLine('V', "HKEY_CURRENT_USER\\Software\\x", "Name", &log));
  EXPECT_FALSE(LogLine('F', "a\tb", "", &log));
  EXPECT_FALSE(LogLine('F', "a\r\nV\tHKEY_USERS\\x", "", &log));
  EXPECT_FALSE(LogLine('Q', "x", "", &log));
  EXPECT_EQ("PRLOG 2\r\nP\tZażółć\r\nF\tlib\\a b.txt\r\nV\tHKEY_CURRENT_USER\\Software\\x\t\r\n"
            "V\tHKEY_CURRENT_USER\\Software\\x\tName\r\n",
            log);
  std::vector<LogItem> items;
  ASSERT_TRUE(LogParse(log, &items));
  ASSERT_EQ(4u, items.size());
  EXPECT_EQ('F', items[1].tag);
  EXPECT_EQ("lib\\a b.txt", items[1].a);
  EXPECT_EQ("", items[2].b);
  EXPECT_EQ("Name", items[3].b);
  // A log of the installers before: code page 1250, read in UTF-8.
  ASSERT_TRUE(LogParse("PRLOG 1\r\nF\tza\xbf\xf3\xb3\xe6.txt\r\n", &items));
  ASSERT_EQ(1u, items.size());
  EXPECT_EQ(u8"zażółć.txt", items[0].a);
  for (const std::string& bad : {std::string("P\tx\r\n"), LogHeader() + "Z\tx\r\n", LogHeader() + "F\ta\tb\r\n",
                                 LogHeader() + "V\tkey-only\r\n", LogHeader() + "F\t\r\n", LogHeader() + "Fx\r\n"}) {
    EXPECT_FALSE(LogParse(bad, &items)) << bad;
    EXPECT_TRUE(items.empty());
  }
}
}  // namespace
