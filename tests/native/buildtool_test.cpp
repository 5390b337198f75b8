// The installer build's shared decisions (path checks, configuration keys) and the pieces that make
// packrift-build write the program's bytes: Wine's profile rewriting, Wine's folder order, the
// mapping of Windows paths and code page 1250.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "build/buildplan.h"
#include "tools/native/wineprofile.h"
#include "tools/native/winpaths.h"

namespace {

namespace fs = std::filesystem;

std::string Cp(const char* utf8) {
  std::string out;
  EXPECT_TRUE(Utf8ToCp1250(utf8, &out)) << utf8;
  return out;
}

// ---- Wine's profile writing (as observed on init.cfg under Wine) --------------------------------
struct WriteCase {
  const char* what;
  const char* before;
  const char* section;
  const char* key;
  const char* value;  // null: delete
  const char* after;  // null: the file is not written
};

const WriteCase kWrites[] = {
    {"a new file", "", "cfg", "1", "Demo", "[cfg]\r\n1=Demo\r\n"},
    {"a change redoes the whole file: blanks, empty lines and spaces around = go; comments stay",
     "; lists\r\n\r\n[index]\r\nmax = 3  \r\n\r\n  2 = x /y  \r\n[cfg]\r\n1=old\n3=a\\b\r\n", "cfg", "1", " Nowy ",
     "; lists\r\n[index]\r\nmax=3\r\n2=x /y\r\n[cfg]\r\n1=Nowy \r\n3=a\\b\r\n"},
    {"a new key goes to the end of its section", "[cfg]\r\n1=a\r\n[x]\r\ny=1\r\n", "CFG", "2", "lic.txt",
     "[cfg]\r\n1=a\r\n2=lic.txt\r\n[x]\r\ny=1\r\n"},
    {"a new section goes to the end", "[x]\r\ny", "cfg", "1", "a", "[x]\r\ny\r\n[cfg]\r\n1=a\r\n"},
    {"the same value changes nothing, not even the layout", "\r\n[cfg]\r\n1 = a\r\n", "cfg", "1", "a", nullptr},
    {"a deletion", "[cfg]\r\n2=l.txt\r\n\r\n3=x\r\n", "cfg", "2", nullptr, "[cfg]\r\n3=x\r\n"},
    {"section names are trimmed; a deletion looks in every section of that name",
     "[ cfg ]\r\n1=x\r\n[cfg]\r\n2=y\r\n", "cfg", "2", nullptr, "[cfg]\r\n1=x\r\n[cfg]\r\n"},
    {"deleting what is not there changes nothing", "[cfg]\r\n\r\n1=a\r\n", "cfg", "3", nullptr, nullptr},
    {"a UTF-8 file stays UTF-8", "\xEF\xBB\xBF[cfg]\r\n", "cfg", "1", "\xF3", "\xEF\xBB\xBF[cfg]\r\n1=\xC3\xB3\r\n"},
};

TEST(WineProfile, WritesAsWineDoes) {
  for (const WriteCase& c : kWrites) {
    SCOPED_TRACE(c.what);
    std::string text = c.before;
    EXPECT_EQ(WineProfileWrite(&text, c.section, c.key, c.value), c.after != nullptr);
    EXPECT_EQ(text, c.after ? c.after : c.before);
  }
}

// ---- Folder order and paths -------------------------------------------------------------------
TEST(WinPaths, FolderOrderIsWines) {
  // As Wine lists a folder: upper-cased UTF-16 units, so '_' and '[' follow the letters.
  const std::vector<std::string> wine = {".hid", "1", "A", "a b", "a.b", "ab", "a_", "b", "C", "Zeta",
                                         "zeta2", "[x]", "_x", "~t", "Ä", "Ąa", "ąb", "źle"};
  std::vector<std::string> names = wine;
  std::reverse(names.begin(), names.end());
  std::sort(names.begin(), names.end(), WineNameLess);
  EXPECT_EQ(names, wine);
}

TEST(WinPaths, DrivesCaseAndCodePage) {
  std::string tmpl = (fs::temp_directory_path() / "winpaths-XXXXXX").string();
  fs::path root = mkdtemp(tmpl.data());
  fs::create_directories(root / "Dane" / "Żółw");
  std::ofstream(root / "Dane" / "Żółw" / "Plik.TXT") << "x";
  DriveMap drives;
  ASSERT_TRUE(drives.Set("d=" + root.string()));
  EXPECT_FALSE(drives.Set("dd=/x"));
  const std::string found = (root / "Dane" / "Żółw" / "Plik.TXT").string();
  struct {
    std::string win;
    bool ok;
    std::string unixPath;
  } cases[] = {
      {Cp("D:\\dane\\ŻÓŁW\\plik.txt"), true, found},      // case does not matter
      {Cp("d:/Dane/x/../Żółw/./Plik.TXT"), true, found},  // "." and ".." in the text
      {Cp("D:\\Dane\\nowy.txt"), true, (root / "Dane" / "nowy.txt").string()},
      {Cp("D:\\Dane\\Żółw\\Plik.TXT. ."), true, found},  // trailing dots and blanks
      {"Z:\\tmp", true, "/tmp"},
      {"\\tmp\\a", true, "/tmp/a"},
      {"C:\\x", false, ""},
      {"\\\\server\\share", false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.win);
    std::string u;
    EXPECT_EQ(WinToUnix(drives, c.win, &u), c.ok);
    if (c.ok) EXPECT_EQ(u, c.unixPath);
  }
  fs::remove_all(root);
}

TEST(WinPaths, FolderSearchAsWineShowsIt) {
  std::string tmpl = (fs::temp_directory_path() / "winpaths-XXXXXX").string();
  fs::path root = mkdtemp(tmpl.data());
  fs::create_directories(root / "sub");
  for (const char* name : {"b", "A", "ó"}) std::ofstream(root / name) << "x";
  fs::create_symlink("sub", root / "to-sub");
  fs::create_symlink("b", root / "to-b");
  fs::create_symlink("nowhere", root / "dangling");
  DriveMap drives;
  ASSERT_TRUE(drives.Set("d=" + root.string()));
  GzcFileOps ops = WinPathOps(&drives);
  std::vector<std::pair<std::string, GzcKind>> seen;
  auto collect = [](void* c, const char* name, GzcKind kind) {
    static_cast<std::vector<std::pair<std::string, GzcKind>>*>(c)->push_back({name, kind});
  };
  ASSERT_TRUE(ops.listDir(ops.ctx, "D:\\", collect, &seen));
  const std::vector<std::pair<std::string, GzcKind>> want = {
      {"A", GZC_KIND_FILE},      {"b", GZC_KIND_FILE},     {"dangling", GZC_KIND_OTHER}, {"sub", GZC_KIND_DIR},
      {"to-b", GZC_KIND_FILE},   {"to-sub", GZC_KIND_OTHER}, {"\xF3", GZC_KIND_FILE}};
  EXPECT_EQ(seen, want);
  // The program searches folder + "\\*.*" in 260 bytes.
  fs::create_directories(root / std::string(252, 'x'));
  fs::create_directories(root / std::string(253, 'x'));
  EXPECT_TRUE(ops.listDir(ops.ctx, ("D:\\" + std::string(252, 'x')).c_str(), collect, &seen));
  EXPECT_FALSE(ops.listDir(ops.ctx, ("D:\\" + std::string(253, 'x')).c_str(), collect, &seen));
  fs::remove_all(root);
}

TEST(WinPaths, CodePage1250BothWays) {
  const std::string text = "Zażółć gęślą jaźń – €";
  std::string ansi;
  ASSERT_TRUE(Utf8ToCp1250(text, &ansi));
  EXPECT_EQ(ansi, "Za\xBF\xF3\xB3\xE6 g\xEA\x9Cl\xB9 ja\x9F\xF1 \x96 \x80");
  EXPECT_EQ(Cp1250ToUtf8(ansi), text);
  EXPECT_FALSE(Utf8ToCp1250("日本", &ansi));
  EXPECT_EQ(ansi, "??");
  std::string win;
  EXPECT_FALSE(UnixToWin("/tmp/a\\b", &win));
  ASSERT_TRUE(UnixToWin("/tmp/ó", &win));
  EXPECT_EQ(win, "\\tmp\\\xF3");
}

// ---- The build's shared decisions ---------------------------------------------------------------
bool ExistsIn(void* ctx, const char* path) { return static_cast<std::set<std::string>*>(ctx)->count(path) > 0; }

TEST(BuildPlan, PathChecksInTheBuildsOrder) {
  std::set<std::string> present = {"C:\\Prog", "C:\\Out", "C:\\Prog\\lic.txt", "C:\\Prog\\doc\\end.txt",
                                   "C:\\Program2\\end.txt", "C:\\elsewhere.txt", "C:\\Prog\\", "C:\\Prog\\..",
                                   "C:lic.txt", "C:\\Prog\\Init.CFG", "C:\\Prog\\uninst.dat", "C:\\Prog\\lic.txt.",
                                   "C:\\Prog\\NUL", "C:\\Prog\\lic.txt:x", "/../../victim.txt", "../../planted.txt"};
  struct {
    BuildFields f;
    BuildPathFault want;
  } cases[] = {
      {{"", "C:\\Prog", "C:\\Out\\s.exe", "C:\\Prog\\lic.txt", "C:\\Prog\\doc\\end.txt"}, BUILD_PATHS_OK},
      {{"", "", "C:\\Out\\s.exe", "", ""}, BUILD_BAD_FOLDER},
      {{"", "C:\\Nope", "C:\\Out\\s.exe", "", ""}, BUILD_BAD_FOLDER},
      {{"", "C:\\Prog", "s.exe", "", ""}, BUILD_BAD_OUTPUT},
      {{"", "C:\\Prog", "C:\\Nope\\s.exe", "C:\\missing", ""}, BUILD_BAD_OUTPUT},
      {{"", "C:\\Prog", "C:\\Out\\s.exe", "C:\\missing", ""}, BUILD_BAD_LICENCE},
      {{"", "C:\\Prog", "C:\\Out\\s.exe", "C:\\elsewhere.txt", "C:\\missing"}, BUILD_BAD_INFO},
      {{"", "C:\\Prog", "C:\\Out\\s.exe", "", "C:\\Program2\\end.txt"}, BUILD_INFO_OUTSIDE},
      // The licence's copy takes its file name in the cfg folder: a name that is no plain file name
      // there, or one of the folder's own files, is refused; a path's separators never reach it.
      {{"", "C:\\Prog", "C:\\Out\\s.exe", "C:\\Prog\\", ""}, BUILD_LICENCE_NAME},
      {{"", "C:\\Prog", "C:\\Out\\s.exe", "C:\\Prog\\..", ""}, BUILD_LICENCE_NAME},
      {{"", "C:\\Prog", "C:\\Out\\s.exe", "C:lic.txt", ""}, BUILD_LICENCE_NAME},
      {{"", "C:\\Prog", "C:\\Out\\s.exe", "C:\\Prog\\Init.CFG", ""}, BUILD_LICENCE_NAME},
      {{"", "C:\\Prog", "C:\\Out\\s.exe", "C:\\Prog\\uninst.dat", ""}, BUILD_LICENCE_NAME},
      {{"", "C:\\Prog", "C:\\Out\\s.exe", "C:\\Prog\\lic.txt.", ""}, BUILD_LICENCE_NAME},
      {{"", "C:\\Prog", "C:\\Out\\s.exe", "C:\\Prog\\NUL", ""}, BUILD_LICENCE_NAME},
      {{"", "C:\\Prog", "C:\\Out\\s.exe", "C:\\Prog\\lic.txt:x", ""}, BUILD_LICENCE_NAME},
      {{"", "C:\\Prog", "C:\\Out\\s.exe", "/../../victim.txt", ""}, BUILD_PATHS_OK},
      {{"", "C:\\Prog", "C:\\Out\\s.exe", "../../planted.txt", ""}, BUILD_PATHS_OK},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.f.folder + " | " + c.f.output + " | " + c.f.licence + " | " + c.f.info);
    EXPECT_EQ(CheckBuildPaths(c.f, ExistsIn, &present), c.want);
  }
  EXPECT_EQ(BuildPathMessage(BUILD_BAD_OUTPUT).id, S_BAD_PATH.id);
  EXPECT_EQ(BuildPathMessage(BUILD_LICENCE_NAME).id, S_LICENCE_NAME.id);
}

TEST(BuildPlan, ConfigurationKeys) {
  struct {
    const char *folder, *info, *rel;
  } infos[] = {{"C:\\Prog", "C:\\Prog\\doc\\end.txt", "doc\\end.txt"},
               {"C:\\Prog\\", "c:\\prog\\doc\\end.txt", "doc\\end.txt"},
               {"Z:\\", "Z:\\end.txt", "end.txt"},
               {"C:\\Prog", "C:\\Program2\\end.txt", nullptr},
               {"C:\\Prog", "C:\\Prog", nullptr}};
  for (const auto& c : infos) {
    SCOPED_TRACE(std::string(c.folder) + " " + c.info);
    std::string rel;
    EXPECT_EQ(InfoRelative(c.info, c.folder, &rel), c.rel != nullptr);
    if (c.rel) EXPECT_EQ(rel, c.rel);
  }
  BuildConfig plan = PlanBuildConfig({std::string(70, 'n'), "C:\\P", "", "D:\\x\\Umowa.txt", ""});
  EXPECT_EQ(plan.name, std::string(63, 'n'));
  EXPECT_EQ(plan.licenceName, "Umowa.txt");
  EXPECT_TRUE(plan.dropInfo);
  for (const char* licence : {"/../../../../home/user/Umowa.txt", "../../Umowa.txt", "D:\\x/Umowa.txt"})
    EXPECT_EQ(PlanBuildConfig({"", "C:\\P", "", licence, ""}).licenceName, "Umowa.txt") << licence;
  EXPECT_TRUE(OldLicenceRemovable("umowa.txt"));
  // An old key "2" from a project file removes nothing but an earlier copy.
  for (const char* old : {"..\\umowa.txt", "", "..", "init.cfg", "REG.CFG", "C:umowa.txt", "umowa.txt "})
    EXPECT_FALSE(OldLicenceRemovable(old)) << old;
}

}  // namespace
