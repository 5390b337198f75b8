// The portable private-profile reader and writer: files as the platform writes them, lookup rules,
// quote stripping, cutting, defaults, integers and in-place editing. The expected texts of writes are
// what the platform's own functions produced for the same calls (recorded under Wine).
#include "entries_testutil.h"

using namespace entriestest;

namespace {

std::string GetS(const char* section, const char* key, const char* def, size_t size, const std::string& file,
                 size_t* count = nullptr) {
  std::string buf(size + 1, '#');
  size_t n = ProfileGetString(section, key, def, buf.data(), size, file.c_str());
  if (count) *count = n;
  EXPECT_EQ(buf[size], '#') << "wrote past the buffer";
  return size ? std::string(buf.c_str()) : std::string();
}

std::string Find(const std::string& text, const char* section, const char* key) {
  std::string v;
  return ProfileTextFind(text, section, key, &v) ? v : "<missing>";
}

}  // namespace

TEST(ProfileRead, FileAsThePlatformWritesIt) {
  TempDir t;
  std::string f = t.path("a.ini");
  WriteFile(f, "[section]\r\nkey=value\r\n");
  EXPECT_EQ(GetS("section", "key", "", 260, f), "value");
  EXPECT_EQ(GetS("SECTION", "KEY", "", 260, f), "value") << "names compare without case";
  EXPECT_EQ(GetS("Section", "kEy", "", 260, f), "value");
  EXPECT_EQ(GetS("section", "other", "dflt", 260, f), "dflt");
  EXPECT_EQ(GetS("other", "key", "dflt", 260, f), "dflt");

  // A file the platform left after several writes and deletions of list entries.
  WriteFile(f, "[key]\r\n3=HKEY_CURRENT_USER\\Software\\A\r\n[value]\r\n3=\"\r\n1='single'\r\n[line]\r\n"
               "1=0\r\n2=0\r\n3=1\r\n[index]\r\nmax=5\r\n");
  EXPECT_EQ(GetS("key", "3", "", 260, f), "HKEY_CURRENT_USER\\Software\\A");
  EXPECT_EQ(GetS("value", "3", "", 260, f), "\"");
  EXPECT_EQ(GetS("line", "2", "", 260, f), "0");
  EXPECT_EQ(ProfileGetInt("index", "max", 1, f.c_str()), 5);
  EXPECT_EQ(ProfileGetInt("index", "maxU", 1, f.c_str()), 1);
}

TEST(ProfileRead, MissingFileGivesDefaults) {
  TempDir t;
  std::string f = t.path("none.ini");
  size_t n = 99;
  EXPECT_EQ(GetS("a", "b", "dflt", 10, f, &n), "dflt");
  EXPECT_EQ(n, 4u);
  EXPECT_EQ(ProfileGetInt("a", "b", 1, f.c_str()), 1);
  EXPECT_EQ(ProfileGetInt("a", "b", -3, f.c_str()), -3);
  EXPECT_FALSE(fs::exists(f)) << "reading never creates the file";
}

TEST(ProfileRead, QuotesAndBlanks) {
  TempDir t;
  std::string f = t.path("q.ini");
  WriteFile(f, "[s]\r\n a = \"q\" \r\nb='x'\r\nc=\"\r\nd=\"abc\r\ne=\"ab\"cd\"\r\nf=\"\"\r\ng=  \r\nh\r\n"
               "i='x\"\r\nj=abc\"\r\n");
  struct Case { const char* key; const char* want; } cases[] = {
      {"a", "q"},          // one pair stripped, blanks around name and value trimmed
      {"b", "x"},          // single quotes too
      {"c", "\""},         // a lone quote is not a pair
      {"d", "\"abc"},      // unbalanced
      {"e", "ab\"cd"},     // only the outer pair
      {"f", ""},           // an empty pair
      {"g", ""},           // blanks only: empty, not the default
      {"h", "D"},          // a bare key has no value: the default
      {"i", "'x\""},       // different quote characters
      {"j", "abc\""},
  };
  for (const Case& c : cases) EXPECT_EQ(GetS("s", c.key, "D", 100, f), c.want) << c.key;
}

TEST(ProfileRead, CutsToSizeMinusOne) {
  TempDir t;
  std::string f = t.path("c.ini");
  WriteFile(f, "[s]\r\nk=abcdef\r\nq=\"abcdef\"\r\n");
  size_t n = 0;
  EXPECT_EQ(GetS("s", "k", "", 4, f, &n), "abc");
  EXPECT_EQ(n, 3u);
  EXPECT_EQ(GetS("s", "k", "", 7, f, &n), "abcdef");
  EXPECT_EQ(n, 6u);
  EXPECT_EQ(GetS("s", "k", "", 6, f, &n), "abcde") << "one short: the last character goes";
  EXPECT_EQ(n, 5u);
  EXPECT_EQ(GetS("s", "k", "", 1, f, &n), "");
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(GetS("s", "k", "", 0, f, &n), "");  // nothing written at all (checked by the sentinel)
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(GetS("s", "q", "", 4, f, &n), "abc") << "quotes go first, then the cut";
  EXPECT_EQ(GetS("s", "none", "abcdef", 4, f, &n), "abc") << "the default is cut too";
}

TEST(ProfileRead, DefaultTreatment) {
  TempDir t;
  std::string f = t.path("d.ini");
  WriteFile(f, "[s]\r\n");
  EXPECT_EQ(GetS("s", "k", "def  \t", 100, f), "def") << "trailing blanks of the default go";
  EXPECT_EQ(GetS("s", "k", "  def", 100, f), "  def");
  EXPECT_EQ(GetS("s", "k", "\"q\"", 100, f), "q");
  EXPECT_EQ(GetS("s", "k", nullptr, 100, f), "");
  EXPECT_EQ(GetS(nullptr, "k", "d", 100, f), "d");
  EXPECT_EQ(GetS("s", nullptr, "d", 100, f), "d");
}

TEST(ProfileRead, ValuesWithEqualsSigns) {
  std::string text = "[d]\r\nk=a=b=c\r\nurl = http://x/?a=1&b=2\r\n";
  EXPECT_EQ(Find(text, "d", "k"), "a=b=c");
  EXPECT_EQ(Find(text, "d", "url"), "http://x/?a=1&b=2");
  EXPECT_TRUE(ProfileTextWrite(&text, "d", "new", "x=y"));
  EXPECT_EQ(Find(text, "d", "new"), "x=y");
  EXPECT_EQ(Find(text, "d", "x"), "<missing>");
}

TEST(ProfileRead, SectionHeaders) {
  std::string text = "x=1\r\n[a]b]\r\nk=1\r\n[ c ]\r\nk=2\r\n[d\r\nk=3\r\n[e]junk\r\nk=4\r\n";
  EXPECT_EQ(Find(text, "a]b", "k"), "1") << "the name runs to the last ']'";
  EXPECT_EQ(Find(text, "a", "k"), "<missing>");
  EXPECT_EQ(Find(text, "c", "k"), "2");
  EXPECT_EQ(Find(text, " c ", "k"), "2");
  EXPECT_EQ(Find(text, "e", "k"), "4");
  EXPECT_EQ(Find(text, "", "x"), "1") << "lines before the first header form the nameless section";
  EXPECT_EQ(Find(text, "d", "k"), "<missing>") << "'[d' is no header but a bare key of \"c\"";
  EXPECT_EQ(Find(text, "c", "[d"), "<missing>") << "a bare key has no value";
  std::string edited = text;
  ASSERT_TRUE(ProfileTextWrite(&edited, "c", "k", nullptr));
  EXPECT_EQ(Find(edited, "c", "k"), "3") << "the second k of \"c\" stands after '[d'";
}

TEST(ProfileRead, FirstSectionAndFirstKeyOnly) {
  std::string text = "[d]\r\nk=1\r\nk=2\r\n[D]\r\nk2=2\r\n";
  EXPECT_EQ(Find(text, "d", "k"), "1");
  EXPECT_EQ(Find(text, "d", "k2"), "<missing>") << "a later section of the same name is not searched";
  EXPECT_TRUE(ProfileTextWrite(&text, "d", "k", nullptr));
  EXPECT_EQ(Find(text, "d", "k"), "2") << "deleting removes the first of two";
  EXPECT_TRUE(ProfileTextWrite(&text, "D", "k2", "new"));
  EXPECT_EQ(text, "[d]\r\nk=2\r\nk2=new\r\n[D]\r\nk2=2\r\n");
}

TEST(ProfileRead, LineEndsAndByteOrderMark) {
  EXPECT_EQ(Find("[a]\nk=1\nj=2", "a", "j"), "2");
  EXPECT_EQ(Find("[a]\rk=1\r[b]\rj=2\r", "b", "j"), "2") << "a lone CR ends a line";
  EXPECT_EQ(Find("[a]\rk=1\r[b]\rj=2\r", "a", "j"), "<missing>");
  EXPECT_EQ(Find("\xEF\xBB\xBF[b]\r\nk=1\r\n", "b", "k"), "1");
  std::string bom = "\xEF\xBB\xBF[b]\r\nk=1\r\n";
  ASSERT_TRUE(ProfileTextWrite(&bom, "", "top", "2"));
  EXPECT_EQ(bom, "\xEF\xBB\xBFtop=2\r\n[b]\r\nk=1\r\n") << "the mark stays first";
  EXPECT_EQ(Find(bom, "b", "k"), "1");
}

TEST(ProfileRead, CodePageBytesPassThrough) {
  TempDir t;
  std::string f = t.path("cp.ini");
  // CP1250: \xA6 is 'Ś', \xB6 'ś', \xB9 'ą'. Only ASCII letters are folded.
  ASSERT_TRUE(ProfileWriteString("\xA6wiat", "k\xB9", "\xB9\xE6\xEA\xB3\xF1\xF3\xB6\x9F\xBF", f.c_str()));
  EXPECT_EQ(ReadFile(f), "[\xA6wiat]\r\nk\xB9=\xB9\xE6\xEA\xB3\xF1\xF3\xB6\x9F\xBF\r\n");
  EXPECT_EQ(GetS("\xA6WIAT", "K\xB9", "-", 100, f), "\xB9\xE6\xEA\xB3\xF1\xF3\xB6\x9F\xBF");
  EXPECT_EQ(GetS("\xB6wiat", "k\xB9", "-", 100, f), "-");
}

TEST(ProfileInt, ParsesAsThePlatform) {
  TempDir t;
  std::string f = t.path("n.ini");
  WriteFile(f, "[n]\r\nv1=42\r\nv2=-5\r\nv3=0x10\r\nv4=12abc\r\nv5=abc\r\nv6=\r\nv7= 7\r\nv8=99999999999\r\n"
               "v9=\"9\"\r\nv10=+3\r\nv11=007\r\nv12=4294967295\r\nv13=\"\"\r\n");
  struct Case { const char* key; int want; } cases[] = {
      {"v1", 42}, {"v2", -5}, {"v3", 16}, {"v4", 12}, {"v5", 0}, {"v6", 77}, {"v7", 7},
      {"v8", 1215752191},  // kept in 32 bits
      {"v9", 9}, {"v10", 3}, {"v11", 7}, {"v12", -1}, {"v13", 77}, {"missing", 77},
  };
  for (const Case& c : cases) EXPECT_EQ(ProfileGetInt("n", c.key, 77, f.c_str()), c.want) << c.key;
  EXPECT_EQ(ProfileParseInt("0b101"), 5);
  EXPECT_EQ(ProfileParseInt("0o17"), 15);
  EXPECT_EQ(ProfileParseInt("-0x10"), -16);
  EXPECT_EQ(ProfileParseInt(""), 0);
}

TEST(ProfileWrite, BuildsTheFileAsThePlatformDoes) {
  TempDir t;
  std::string f = t.path("w.ini");
  ASSERT_TRUE(ProfileWriteString("sec", "k1", "v1", f.c_str()));
  EXPECT_EQ(ReadFile(f), "[sec]\r\nk1=v1\r\n");
  ProfileWriteString("sec", "k2", "v2", f.c_str());
  EXPECT_EQ(ReadFile(f), "[sec]\r\nk1=v1\r\nk2=v2\r\n");
  ProfileWriteString("other", "x", "y", f.c_str());
  EXPECT_EQ(ReadFile(f), "[sec]\r\nk1=v1\r\nk2=v2\r\n[other]\r\nx=y\r\n");
  ProfileWriteString("SEC", "K1", "V1new", f.c_str());
  EXPECT_EQ(ReadFile(f), "[sec]\r\nk1=V1new\r\nk2=v2\r\n[other]\r\nx=y\r\n") << "the stored name stays";
  ProfileWriteString("sec", "k1", nullptr, f.c_str());
  EXPECT_EQ(ReadFile(f), "[sec]\r\nk2=v2\r\n[other]\r\nx=y\r\n");
  ProfileWriteString("sec", "k2", nullptr, f.c_str());
  EXPECT_EQ(ReadFile(f), "[sec]\r\n[other]\r\nx=y\r\n") << "an emptied section keeps its header";
  ProfileWriteString("other", nullptr, nullptr, f.c_str());
  EXPECT_EQ(ReadFile(f), "[sec]\r\n");
  ProfileWriteString("e", "k", "", f.c_str());
  EXPECT_EQ(ReadFile(f), "[sec]\r\n[e]\r\nk=\r\n");
  EXPECT_EQ(GetS("e", "k", "-", 10, f), "") << "an empty value is not the default";
}

TEST(ProfileWrite, DeletingNothingCreatesNothing) {
  TempDir t;
  std::string f = t.path("none.ini");
  EXPECT_TRUE(ProfileWriteString("a", "b", nullptr, f.c_str()));
  EXPECT_TRUE(ProfileWriteString("a", nullptr, nullptr, f.c_str()));
  EXPECT_FALSE(fs::exists(f));
  EXPECT_FALSE(ProfileWriteString(nullptr, "b", "c", f.c_str()));
  EXPECT_FALSE(fs::exists(f));
  EXPECT_FALSE(ProfileWriteString("a", "b", "c", t.path("no/such/folder.ini").c_str()));
}

TEST(ProfileWrite, KeepsTheRestOfTheFile) {
  std::string text = "; made by hand\r\n[s]\r\n a = 1 \r\n\r\n[t]\r\nk=1\r\n";
  ASSERT_TRUE(ProfileTextWrite(&text, "s", "b", "2"));
  EXPECT_EQ(text, "; made by hand\r\n[s]\r\n a = 1 \r\nb=2\r\n\r\n[t]\r\nk=1\r\n")
      << "a new key goes after the section's last line, before its blank lines";
  ASSERT_TRUE(ProfileTextWrite(&text, "s", "A", "3"));
  EXPECT_EQ(text, "; made by hand\r\n[s]\r\na=3\r\nb=2\r\n\r\n[t]\r\nk=1\r\n");
  EXPECT_FALSE(ProfileTextWrite(&text, "s", "a", "3")) << "same value: nothing to write";
  EXPECT_EQ(Find(text, "", "; made by hand"), "<missing>");

  std::string lf = "[d]\nk=1\nj=2";
  ASSERT_TRUE(ProfileTextWrite(&lf, "d", "m", "3"));
  EXPECT_EQ(lf, "[d]\nk=1\nj=2\r\nm=3\r\n");
  ASSERT_TRUE(ProfileTextWrite(&lf, "e", "n", "4"));
  EXPECT_EQ(lf, "[d]\nk=1\nj=2\r\nm=3\r\n[e]\r\nn=4\r\n");

  std::string bare = "[s]\r\nh\r\n";
  ASSERT_TRUE(ProfileTextWrite(&bare, "s", "h", "hv"));
  EXPECT_EQ(bare, "[s]\r\nh=hv\r\n");
}

TEST(ProfileWrite, NamesOfDeletionsAreTakenAsGiven) {
  // Reading and setting trim the names asked for; deleting does not, as on the platform.
  std::string text = "[s]\r\na=1\r\n";
  EXPECT_EQ(Find(text, " s ", " a "), "1");
  EXPECT_FALSE(ProfileTextWrite(&text, "s", " a", nullptr));
  EXPECT_FALSE(ProfileTextWrite(&text, " s", "a", nullptr));
  EXPECT_EQ(Find(text, "s", "a"), "1");
  EXPECT_TRUE(ProfileTextWrite(&text, "S", "A", nullptr));
  EXPECT_EQ(text, "[s]\r\n");
}

TEST(ProfileWrite, SectionDeletionTakesItsLinesOnly) {
  std::string text = "top=1\r\n[a]\r\nk=1\r\n\r\n[b]\r\nk=2\r\n[a]\r\nk=3\r\n";
  ASSERT_TRUE(ProfileTextWrite(&text, "A", nullptr, nullptr));
  EXPECT_EQ(text, "top=1\r\n[b]\r\nk=2\r\n[a]\r\nk=3\r\n");
  EXPECT_EQ(Find(text, "a", "k"), "3");
  ASSERT_TRUE(ProfileTextWrite(&text, "", nullptr, nullptr));
  EXPECT_EQ(text, "[b]\r\nk=2\r\n[a]\r\nk=3\r\n");
}

TEST(ProfileWrite, StripQuotesRule) {
  EXPECT_EQ(ProfileStripQuotes("\"a\""), "a");
  EXPECT_EQ(ProfileStripQuotes("'a'"), "a");
  EXPECT_EQ(ProfileStripQuotes("\"\""), "");
  EXPECT_EQ(ProfileStripQuotes("\""), "\"");
  EXPECT_EQ(ProfileStripQuotes("\"a'"), "\"a'");
  EXPECT_EQ(ProfileStripQuotes("\"\"a\"\""), "\"a\"");
}
