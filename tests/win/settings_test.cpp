// Registry values, the working folder, the folder walker, string lookup and compression mode.
#include "uitest.h"
#include "app/func.h"
#include "app/func1.h"
#include "build/winhandles.h"
#include "res/resource.h"
#include <sddl.h>
#include <map>
#include <set>
#include <thread>

using namespace uitest;

namespace {
class Settings : public AppTest {
 protected:
  void TearDown() override {
    if (!langFile_.empty()) DeleteFileA(langFile_.c_str());
    AppTest::TearDown();
  }
  // A language file beside the test program, selected through value "3" before the start.
  void UseLanguage(const std::string& name, const std::string& body) {
    CreateDirectoryA((ExeDir() + "Lang").c_str(), nullptr);
    langFile_ = ExeDir() + "Lang\\" + name + ".lng";
    WriteFile(langFile_, body);
    RegWrite(HKEY_LOCAL_MACHINE, "3", name, false);
  }
  std::string langFile_;
};

std::string Value(HKEY root, const char* name) {
  std::string v;
  EXPECT_TRUE(RegRead(root, name, &v)) << name;
  return v;
}

TEST_F(Settings, FirstStartCreatesEveryValueAndTheWorkingFolder) {
  StartApp();
  // The temporary folder ends with a backslash: exactly one between the parts.
  EXPECT_EQ(temp_ + "Packrift\\cfg\\init.cfg", Value(HKEY_CURRENT_USER, "4"));
  EXPECT_EQ(temp_ + "Packrift\\bin", Value(HKEY_CURRENT_USER, "5"));
  EXPECT_EQ(temp_ + "Packrift\\cfg\\lnk.cfg", Value(HKEY_CURRENT_USER, "6"));
  EXPECT_EQ(temp_ + "Packrift\\cfg\\reg.cfg", Value(HKEY_CURRENT_USER, "7"));
  EXPECT_EQ(ExeDir() + "Packrift.chm", Value(HKEY_LOCAL_MACHINE, "2"));
  EXPECT_EQ(ExeDir() + "Lang\\Polski.lng", Value(HKEY_LOCAL_MACHINE, "1"));
  EXPECT_EQ("Polski", Value(HKEY_LOCAL_MACHINE, "3"));
  EXPECT_EQ("wb6", Value(HKEY_LOCAL_MACHINE, "4"));
  EXPECT_STREQ("wb6", CompLevel());
  EXPECT_TRUE(IsDir(WorkDir() + "\\cfg"));
  EXPECT_TRUE(IsDir(WorkDir() + "\\bin"));
}

TEST_F(Settings, StartKeepsFilesLeftByAnEarlierRun) {
  CreateDirectoryA(WorkDir().c_str(), nullptr);
  CreateDirectoryA((WorkDir() + "\\cfg").c_str(), nullptr);
  WriteFile(WorkDir() + "\\cfg\\init.cfg", "old");
  StartApp();
  EXPECT_EQ("old", ReadFile(WorkDir() + "\\cfg\\init.cfg"));
}

TEST_F(Settings, ToolFolderValuesFollowTheProgramEveryStart) {
  RegWrite(HKEY_LOCAL_MACHINE, "2", "C:\\elsewhere\\Packrift.chm");
  RegWrite(HKEY_LOCAL_MACHINE, "1", "C:\\elsewhere\\Lang\\Polski.lng");
  StartApp();
  EXPECT_EQ(ExeDir() + "Packrift.chm", Value(HKEY_LOCAL_MACHINE, "2"));
  EXPECT_EQ(ExeDir() + "Lang\\Polski.lng", Value(HKEY_LOCAL_MACHINE, "1"));
}

TEST_F(Settings, LanguageFileTranslatesOnlyItsKeysAndCutsLongTexts) {
  std::string seventy(70, 'x');
  UseLanguage("Testowy", "[lng]\r\n10=Program name:\r\n11=" + seventy + "\r\n");
  StartApp();
  EXPECT_EQ("Program name:", Text(IDS_NAME_LABEL));
  EXPECT_EQ(std::string(63, 'x'), Text(IDS_FOLDER_LABEL));
  EXPECT_EQ("Plik instalatora:", Text(IDS_SETUP_LABEL));
  EXPECT_EQ("Pobierz", Text(IDB_FOLDER_BROWSE));
  EXPECT_EQ(ExeDir() + "Lang\\Testowy.lng", Value(HKEY_LOCAL_MACHINE, "1"));
  EXPECT_EQ("Testowy", Value(HKEY_LOCAL_MACHINE, "3"));
}

TEST_F(Settings, LanguageNameTooLongForItsBufferFallsBackToPolski) {
  RegWrite(HKEY_LOCAL_MACHINE, "3", std::string(32, 'L'));
  StartApp();
  EXPECT_EQ("Polski", Value(HKEY_LOCAL_MACHINE, "3"));
  EXPECT_EQ("Nazwa programu:", Text(IDS_NAME_LABEL));
}

TEST_F(Settings, ShippedEnglishFileTranslatesTheWindow) {
  CreateDirectoryA((ExeDir() + "Lang").c_str(), nullptr);
  std::string shipped = ReadFile(DistDir() + "Lang\\English.lng");
  ASSERT_FALSE(shipped.empty());
  UseLanguage("English", shipped);
  StartApp();
  EXPECT_EQ("Program name:", Text(IDS_NAME_LABEL));
  EXPECT_EQ("&Project", MenuText(0, true));
  EXPECT_EQ("E&xit", MenuText(IDM_EXIT, false));
}

TEST_F(Settings, LookupReadsTheLanguageAfreshAtEveryCall) {
  StartApp();
  EXPECT_STREQ("Dodaj", GetOwnLang(S_ADD));
  UseLanguage("Testowy", "[lng]\r\n20=Add\r\n");
  ZapiszJezyk("Testowy");
  EXPECT_STREQ("Add", GetOwnLang(S_ADD));
  EXPECT_STREQ("Usu\xf1", GetOwnLang(S_REMOVE));
}

TEST_F(Settings, EachThreadKeepsItsOwnLookupResult) {
  StartApp();
  char* mine = GetOwnLang(S_ADD);
  std::thread other([] { GetOwnLang(S_BAD_PATH); });
  other.join();
  EXPECT_STREQ("Dodaj", mine);
}

struct CompressCase {
  const char* stored;  // nullptr = missing
  const char* mode;
};
class Compression : public AppTest, public ::testing::WithParamInterface<CompressCase> {};
TEST_P(Compression, ModeComesFromValue4OrFallsBackToWb6) {
  if (GetParam().stored) RegWrite(HKEY_LOCAL_MACHINE, "4", GetParam().stored);
  StartApp();
  EXPECT_STREQ(GetParam().mode, CompLevel());
  EXPECT_EQ(GetParam().mode, Value(HKEY_LOCAL_MACHINE, "4"));
}
INSTANTIATE_TEST_SUITE_P(Values, Compression,
                         ::testing::Values(CompressCase{nullptr, "wb6"}, CompressCase{"wb9", "wb9"},
                                           CompressCase{"wb0", "wb0"}, CompressCase{"xy9", "wb6"},
                                           CompressCase{"wb95", "wb6"}, CompressCase{"wb", "wb"},
                                           CompressCase{"xwb", "wb6"}, CompressCase{"wbx", "wb6"},
                                           CompressCase{"bwb", "wb6"}),
                         [](const ::testing::TestParamInfo<CompressCase>& i) {
                           return std::string(i.param.stored ? i.param.stored : "missing");
                         });

// The walker, on a tree of files in two nested levels.
class Walker : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    root_ = temp_ + "walk";
    CreateDirectoryA(root_.c_str(), nullptr);
    CreateDirectoryA((root_ + "\\a").c_str(), nullptr);
    CreateDirectoryA((root_ + "\\a\\b").c_str(), nullptr);
    CreateDirectoryA((root_ + "\\empty").c_str(), nullptr);
    for (const char* f : {"\\top.txt", "\\a\\one.txt", "\\a\\b\\two.txt", "\\a\\b\\three"}) WriteFile(root_ + f, f);
    SetFileAttributesA((root_ + "\\a\\one.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
  }
  std::string root_;
};

TEST_F(Walker, ListsEveryFileAndNoFolder) {
  std::set<std::string> seen;
  EXPECT_EQ(1, wyliczpliki(root_.c_str(), false, [](const char* p, void* ctx) {
    ((std::set<std::string>*)ctx)->insert(p);
  }, &seen));
  std::set<std::string> want;
  for (const char* f : {"\\top.txt", "\\a\\one.txt", "\\a\\b\\two.txt", "\\a\\b\\three"}) want.insert(root_ + f);
  EXPECT_EQ(want, seen);
}

TEST_F(Walker, DeleteModeRemovesFilesAndKeepsFolders) {
  EXPECT_EQ(1, wyliczpliki(root_.c_str(), true));
  EXPECT_FALSE(Exists(root_ + "\\a\\b\\two.txt"));
  EXPECT_FALSE(Exists(root_ + "\\top.txt"));
  EXPECT_TRUE(IsDir(root_ + "\\a\\b"));
  EXPECT_TRUE(IsDir(root_ + "\\empty"));
}

TEST_F(Walker, AFileOrAMissingPathIsNotAFolder) {
  EXPECT_EQ(0, wyliczpliki((root_ + "\\top.txt").c_str(), false));
  EXPECT_EQ(0, wyliczpliki((root_ + "\\nothing").c_str(), true));
  EXPECT_EQ(1, katalog("."));
  EXPECT_EQ(1, katalog(".."));
  EXPECT_EQ(2, katalog("..."));
  EXPECT_EQ(2, katalog(".a"));
}

TEST_F(Walker, PathsPastTheLimitAreSkippedNotCut) {
  // Build a folder chain that takes the joined path past 259 characters.
  std::string deep = root_;
  while (deep.size() < 230) {
    deep += "\\" + std::string(20, 'd');
    ASSERT_TRUE(CreateDirectoryA(deep.c_str(), nullptr) || IsDir(deep));
  }
  std::string longName = std::string(250 - (deep.size() > 250 ? 250 : deep.size()) + 20, 'f');
  std::string longFile = deep + "\\" + longName;
  std::wstring wide = L"\\\\?\\" + std::wstring(longFile.begin(), longFile.end());
  HANDLE h = CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, h);
  CloseHandle(h);
  int count = 0;
  EXPECT_EQ(1, wyliczpliki(root_.c_str(), false, [](const char* p, void* ctx) {
    EXPECT_LT(strlen(p), 260u);
    ++*(int*)ctx;
  }, &count));
  EXPECT_EQ(4, count);
  EXPECT_EQ(1, wyliczpliki(root_.c_str(), true));
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(wide.c_str()));  // out of reach, untouched
  DeleteFileW(wide.c_str());
}

// The file layer under the walker: entries with their kinds (the folder with or without its
// trailing separator), and a tree removed whole, read-only file and folder included.
TEST_F(Walker, TheFileLayerListsKindsAndRemovesReadOnlyTrees) {
  const std::map<std::string, GzcKind> want = {
      {"a", GZC_KIND_DIR}, {"empty", GZC_KIND_DIR}, {"top.txt", GZC_KIND_FILE}};
  for (const std::string& dir : {root_, root_ + "\\"}) {
    SCOPED_TRACE(dir);
    std::map<std::string, GzcKind> seen;
    EXPECT_TRUE(ForEachEntry(dir.c_str(), [&](const char* n, GzcKind kind) { seen[n] = kind; }));
    EXPECT_EQ(want, seen);
  }
  EXPECT_FALSE(ForEachEntry((root_ + "\\top.txt").c_str(), [](const char*, GzcKind) {}));
  ASSERT_TRUE(SetFileAttributesA((root_ + "\\a\\b\\two.txt").c_str(), FILE_ATTRIBUTE_READONLY));
  ASSERT_TRUE(SetFileAttributesA((root_ + "\\a\\b").c_str(), FILE_ATTRIBUTE_READONLY));
  RemoveTree(root_ + "\\");
  EXPECT_FALSE(Exists(root_));
}

// The archive code's files: a file another program reads can still be packed; a file being
// written is the writer's alone.
TEST_F(Walker, TheFileLayerReadsBesideReadersAndWritesAlone) {
  const GzcFileOps* ops = WinFileOps();
  std::string path = root_ + "\\top.txt";
  auto openOther = [&](DWORD share) {
    return UniqueHandle(CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr));
  };
  {
    UniqueHandle reader = openOther(FILE_SHARE_READ);
    ASSERT_TRUE(reader);
    void* f = ops->open(ops->ctx, path.c_str(), false);
    EXPECT_TRUE(f);
    if (f) ops->close(ops->ctx, f);
  }
  void* f = ops->open(ops->ctx, path.c_str(), true);
  ASSERT_TRUE(f);
  EXPECT_FALSE(openOther(FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE));
  EXPECT_TRUE(ops->close(ops->ctx, f));
}

TEST_F(Settings, RegisterOperationsReadWriteDeleteAndReportFailures) {
  char buf[8] = "keep";
  EXPECT_NE(0, addregister(RegRegister(), "none", buf, REG_READ, ROOT_USER, sizeof buf, REG_SZ));
  EXPECT_STREQ("keep", buf);  // a failed read leaves the caller's buffer
  EXPECT_EQ(0, addregister(RegRegister(), "x", (void*)"abc", REG_WRITE, ROOT_MACHINE, 4, REG_SZ));
  EXPECT_EQ(0, addregister(RegRegister(), "x", buf, REG_READ, ROOT_MACHINE, sizeof buf, REG_SZ));
  EXPECT_STREQ("abc", buf);
  EXPECT_EQ(0, addregister(RegRegister(), "x", nullptr, REG_DELETE, ROOT_MACHINE, 0, 0));
  std::string v;
  EXPECT_FALSE(RegRead(HKEY_LOCAL_MACHINE, "x", &v));
  char small[2];
  EXPECT_EQ(0, addregister(RegRegister(), "y", (void*)"long", REG_WRITE, ROOT_USER, 5, REG_SZ));
  EXPECT_NE(0, addregister(RegRegister(), "y", small, REG_READ, ROOT_USER, sizeof small, REG_SZ));

  // A key everyone may only read, as the per-machine key is for a standard user: it still reads.
  UniqueKey key;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, RegRegister(), 0, WRITE_DAC, key.put()));
  auto dacl = [&](const char* sddl) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &sd, nullptr));
    EXPECT_EQ(ERROR_SUCCESS, RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, sd));
    LocalFree(sd);
  };
  dacl("D:(A;;KR;;;WD)");
  EXPECT_EQ(0, addregister(RegRegister(), "y", buf, REG_READ, ROOT_USER, sizeof buf, REG_SZ));
  EXPECT_STREQ("long", buf);
  EXPECT_EQ(ERROR_ACCESS_DENIED, addregister(RegRegister(), "y", (void*)"z", REG_WRITE, ROOT_USER, 2, REG_SZ));
  dacl("D:(A;;KA;;;WD)");
}

}  // namespace
