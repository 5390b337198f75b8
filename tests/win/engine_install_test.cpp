// Installers that install: silent installs and removals end to end, damaged and hostile installers.
#include <algorithm>
#include <cstring>
#include <set>

#include "core/langpack.h"
#include "setupfixture.h"
#include "uitest.h"

using namespace enginetest;

namespace {
const char kName[] = "Zażółć Test";  // a program name with Polish letters
const char kRegKey[] = "Software\\PackriftEngineTest";
const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zażółć Test";

std::string Pseudo(size_t n, unsigned seed) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) {
    seed = seed * 1103515245u + 12345u;
    s[i] = (char)(seed >> 16);
  }
  return s;
}

// The steps of a /LOG= file, each line checked for its time and given without it.
std::vector<std::string> Steps(const std::string& path) {
  std::vector<std::string> steps;
  std::string text = Slurp(path);
  for (size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2) {
    std::string line = text.substr(at, end - at);
    EXPECT_TRUE(line.size() > 24 && line[4] == '-' && line[10] == ' ' && line[13] == ':' && line[19] == '.' &&
                line[23] == ' ') << line;
    steps.push_back(line.substr(line.size() > 24 ? 24 : 0));
  }
  EXPECT_FALSE(steps.empty()) << path;
  return steps;
}

void ExpectSteps(const std::string& log, const std::vector<std::string>& expected) {
  std::vector<std::string> steps = Steps(log);
  for (const std::string& e : expected) EXPECT_TRUE(std::find(steps.begin(), steps.end(), e) != steps.end()) << e;
}

class EngineInstall : public SetupTest {
 protected:
  void SetUp() override {
    SetupTest::SetUp();
    Clean();
  }
  void TearDown() override {
    Clean();
    SetupTest::TearDown();
  }
  void Clean() {
    RegDeleteTreeA(HKEY_CURRENT_USER, kRegKey);
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
      RegDeleteTreeA(root, kUninstallKey);
      RegDeleteTreeA(root, (kUninstallKey + std::string(" (2)")).c_str());
    }
  }

  // The program of the end-to-end tests: nested files, a licence, closing information, two
  // shortcuts, run entries of each kind and one registry value of each type.
  void MakeProgram() {
    Put("app.exe", Pseudo(70000, 1));
    Put("readme.txt", "Czytaj mnie\r\n");
    Put("empty.dat", "");
    Put("doc\\end.txt", "Dziękujemy za instalację.\r\nDruga linia.\r\n");
    Put("lib\\deep\\data.bin", Pseudo(300000, 2));
    Put("data.txt", "the same name as data.bin's");
    Put("lib\\deep\\more\\ąę.txt", "polskie litery w nazwie");
    CopyProbe("tools\\first.exe");
    CopyProbe("tools\\asking.exe");
    CopyProbe("tools\\cleanup.exe");
    std::string init = cfg_ + "init.cfg", lnk = cfg_ + "lnk.cfg", reg = cfg_ + "reg.cfg";
    Ini(init, "cfg", "1", kName);
    Ini(init, "cfg", "2", "licencja.txt");
    Ini(init, "cfg", "3", "doc\\end.txt");
    uitest::WriteFile(cfg_ + "licencja.txt", "Umowa licencyjna: wolno używać.\r\n");
    Ini(init, "Run", "1", "tools\\first.exe");
    Ini(init, "silent", "1", "1");
    Ini(init, "Run", "2", "tools\\asking.exe");
    Ini(init, "silent", "2", "0");
    Ini(init, "index", "max", "3");
    Ini(init, "RunU", "1", "tools\\cleanup.exe");
    Ini(init, "index", "maxU", "2");
    Ini(lnk, "desktop", "1", "app.exe");
    Ini(lnk, "index1", "max", "2");
    Ini(lnk, "menu", "1", "lib\\deep\\data.bin");
    Ini(lnk, "menu", "2", "data.txt");
    Ini(lnk, "index2", "max", "3");
    struct {
      const char* name;
      const char* value;
      const char* type;
      const char* dynam;
      const char* line;
    } values[] = {
        {"Bin", "01 aB ff,00", "0", "0", "0"},
        {"Count", "4000000000", "1", "0", "0"},
        {"Path", "lib\\deep\\data.bin", "2", "1", "0"},
        {"Quoted", "\"C:\\Program Files\\x\"", "3", "0", "1"},
    };
    int n = 1;
    for (const auto& v : values) {
      std::string num = std::to_string(n++);
      Ini(reg, "key", num.c_str(), std::string("HKEY_CURRENT_USER\\") + kRegKey + "\\Sub");
      Ini(reg, "name", num.c_str(), v.name);
      Ini(reg, "value", num.c_str(), v.value);
      Ini(reg, "type", num.c_str(), v.type);
      Ini(reg, "dynam", num.c_str(), v.dynam);
      Ini(reg, "line", num.c_str(), v.line);
    }
    Ini(reg, "index", "max", std::to_string(n));
  }

  // Builds the installer of what the test put into the program folder, named kName, and installs
  // it silently into target_. Returns the installer's path.
  std::string InstallSilently() {
    Ini(cfg_ + "init.cfg", "cfg", "1", kName);
    std::string setup = root_ + "setup.exe";
    Build(setup);
    Ran r = Run(setup, "/S /D=" + target_);
    EXPECT_EQ(0u, r.code) << r.err;
    return setup;
  }

  // Every file of the program folder, relative, with its bytes.
  void Collect(const std::string& dir, const std::string& rel, std::vector<std::pair<std::string, std::string>>* out) {
    ForEachEntry(dir.c_str(), [&](const char* n, GzcKind kind) {
      if (kind == GZC_KIND_DIR)
        Collect(dir + n + "\\", rel + n + "\\", out);
      else
        out->push_back({rel + n, Slurp(dir + n)});
    });
  }
};

TEST_F(EngineInstall, SilentInstallPutsEverythingInPlaceAndTheUninstallerRemovesExactlyThat) {
  MakeProgram();
  std::string setup = root_ + "setup.exe";
  Build(setup);
  Ran r = Run(setup, "/S /LOG=\"" + root_ + "krok po kroku.log\" /D=" + target_);
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(0u, r.code) << r.err;
  EXPECT_EQ("", r.err);

  // Every file bit-exact, in its nested folder.
  std::vector<std::pair<std::string, std::string>> files;
  Collect(prog_, "", &files);
  ASSERT_EQ(10u, files.size());
  for (const auto& f : files) EXPECT_TRUE(Slurp(target_ + "\\" + f.first) == f.second) << f.first;
  EXPECT_TRUE(PathExists(target_ + "\\empty.dat"));

  // Shortcuts where the shell keeps them, to the installed files, working in the target's folder. Wine
  // runs every program elevated: the installation is for all users, in their common folders.
  std::string target, dir;
  EXPECT_FALSE(PathExists(desktop_ + "\\app.lnk"));
  EXPECT_FALSE(PathExists(programs_ + "\\" + kName));
  ASSERT_TRUE(ReadLink(commonDesktop_ + "\\app.lnk", &target, &dir));
  EXPECT_EQ(target_ + "\\app.exe", target);
  EXPECT_EQ(target_, dir);
  ASSERT_TRUE(ReadLink(commonPrograms_ + "\\" + kName + "\\data.lnk", &target, &dir));
  EXPECT_EQ(target_ + "\\lib\\deep\\data.bin", target);
  EXPECT_EQ(target_ + "\\lib\\deep", dir);
  // A second shortcut of the same name but for the extension keeps its extension.
  ASSERT_TRUE(ReadLink(commonPrograms_ + "\\" + kName + "\\data.txt.lnk", &target, &dir));
  EXPECT_EQ(target_ + "\\data.txt", target);

  // Registry values of the four types.
  std::string sub = std::string(kRegKey) + "\\Sub", data;
  DWORD type = 0;
  ASSERT_TRUE(RegGet(HKEY_CURRENT_USER, sub, "Bin", &type, &data));
  EXPECT_EQ((DWORD)REG_BINARY, type);
  EXPECT_EQ(std::string("\x01\xab\xff\x00", 4), data);
  ASSERT_TRUE(RegGet(HKEY_CURRENT_USER, sub, "Count", &type, &data));
  EXPECT_EQ((DWORD)REG_DWORD, type);
  ASSERT_EQ(4u, data.size());
  EXPECT_EQ(4000000000u, *(const uint32_t*)data.data());
  ASSERT_TRUE(RegGet(HKEY_CURRENT_USER, sub, "Path", &type, &data));
  EXPECT_EQ((DWORD)REG_EXPAND_SZ, type);
  EXPECT_EQ(target_ + "\\lib\\deep\\data.bin", std::string(data.c_str()));
  ASSERT_TRUE(RegGet(HKEY_CURRENT_USER, sub, "Quoted", &type, &data));
  EXPECT_EQ((DWORD)REG_SZ, type);
  EXPECT_EQ("\"C:\\Program Files\\x\"", std::string(data.c_str()));

  // The silent run entry ran in its own folder; the asking one was skipped, as /S says.
  std::string note = Slurp(probe_ + "first.exe.ran");
  EXPECT_EQ(0u, note.find(target_ + "\\tools\r\n")) << note;
  EXPECT_FALSE(PathExists(probe_ + "asking.exe.ran"));
  EXPECT_FALSE(PathExists(probe_ + "cleanup.exe.ran"));

  // Registered with the installed programs.
  ASSERT_TRUE(RegGet(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName", &type, &data));
  EXPECT_EQ(kName, std::string(data.c_str()));
  ASSERT_TRUE(RegGet(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString", &type, &data));
  EXPECT_EQ("\"" + target_ + "\\UnInst.exe\"", std::string(data.c_str()));
  ASSERT_TRUE(RegGet(HKEY_LOCAL_MACHINE, kUninstallKey, "InstallLocation", &type, &data));
  EXPECT_EQ(target_, std::string(data.c_str()));
  ASSERT_TRUE(RegGet(HKEY_LOCAL_MACHINE, kUninstallKey, "EstimatedSize", &type, &data));
  EXPECT_EQ((DWORD)REG_DWORD, type);
  uint64_t bytes = 0;
  for (const auto& f : files) bytes += f.second.size();
  EXPECT_GE(*(const uint32_t*)data.data(), (uint32_t)(bytes / 1024));
  ASSERT_TRUE(PathExists(target_ + "\\UnInst.exe"));

  // A file the user adds later stays when the program goes.
  uitest::WriteFile(target_ + "\\lib\\notes.txt", "moje notatki");
  Ran u = Run(target_ + "\\UnInst.exe", "/S /LOG=" + root_ + "un.log");
  ASSERT_TRUE(u.finished);
  EXPECT_EQ(0u, u.code) << u.err;
  EXPECT_TRUE(PathExists(probe_ + "cleanup.exe.ran"));
  EXPECT_TRUE(uitest::WaitFor([&] { return !PathExists(target_ + "\\UnInst.exe"); }, 20000));
  for (const auto& f : files) EXPECT_FALSE(PathExists(target_ + "\\" + f.first)) << f.first;
  EXPECT_EQ("moje notatki", Slurp(target_ + "\\lib\\notes.txt"));
  EXPECT_FALSE(PathExists(target_ + "\\lib\\deep"));
  EXPECT_FALSE(PathExists(target_ + "\\tools"));
  EXPECT_FALSE(PathExists(target_ + "\\UnInst.log"));
  EXPECT_FALSE(PathExists(commonDesktop_ + "\\app.lnk"));
  EXPECT_FALSE(PathExists(commonPrograms_ + "\\" + kName));
  for (const char* name : {"Bin", "Count", "Path", "Quoted"})
    EXPECT_FALSE(RegGet(HKEY_CURRENT_USER, sub, name, &type, &data)) << name;
  EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, kRegKey));
  EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));

  // Each step of both in their logs, in UTF-8.
  const std::string value = "HKEY_CURRENT_USER\\" + sub + " Bin", t = target_ + "\\";
  const std::string registration = u8"registration HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zażółć Test";
  ExpectSteps(root_ + "krok po kroku.log",
              {"install " + target_, "file app.exe", "folder lib\\deep",
               "shortcut " + commonDesktop_ + "\\app.lnk", "value " + value, "run " + t + "tools\\first.exe",
               registration, "exit 0"});
  ExpectSteps(root_ + "un.log", {"uninstall " + target_, "run " + t + "tools\\cleanup.exe", "remove-file app.exe",
                                 "remove-shortcut " + commonDesktop_ + "\\app.lnk", "remove-value " + value,
                                 "remove-" + registration, "exit 0"});
}

// A file that a running program holds open cannot be replaced: a silent install tries again for a
// while, then fails with everything put back and the file named; the uninstaller leaves such a file
// to the next restart and names it.
TEST_F(EngineInstall, AFileHeldByARunningProgramIsNamedAndNothingIsLeftHalfDone) {
  Put("a.txt", "new a");
  Put("m.txt", "new m");
  Put("z.txt", "new z");
  CreateDirectoryA((root_ + "Installed").c_str(), nullptr);
  CreateDirectoryA(target_.c_str(), nullptr);
  uitest::WriteFile(target_ + "\\a.txt", "old a");
  uitest::WriteFile(target_ + "\\z.txt", "old z");
  Ini(cfg_ + "init.cfg", "cfg", "1", kName);
  std::string setup = root_ + "setup.exe";
  Build(setup);
  ASSERT_TRUE(Hold(target_ + "\\z.txt"));
  Ran r = Run(setup, "/S /LOG=" + root_ + "in.log /D=" + target_);
  EXPECT_EQ(4u, r.code) << r.err;
  EXPECT_NE(std::string::npos, r.err.find(u8"Plik " + target_ + u8"\\z.txt jest używany przez inny program")) << r.err;
  Release();
  EXPECT_EQ("old a", Slurp(target_ + "\\a.txt"));
  EXPECT_EQ("old z", Slurp(target_ + "\\z.txt"));
  EXPECT_FALSE(PathExists(target_ + "\\m.txt"));
  EXPECT_FALSE(PathExists(target_ + "\\a.txt.prsave"));
  EXPECT_FALSE(PathExists(target_ + "\\UnInst.exe"));
  EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
  ExpectSteps(root_ + "in.log", {"error " + r.err.substr(0, r.err.find("\r\n")), "exit 4"});

  r = Run(setup, "/S /D=" + target_);
  ASSERT_EQ(0u, r.code) << r.err;
  RestartMarks marks;
  ASSERT_TRUE(Hold(target_ + "\\z.txt"));
  Ran u = Run(target_ + "\\UnInst.exe", "/S");
  EXPECT_EQ(5u, u.code) << u.err;
  EXPECT_EQ(u8"zostanie usunięty po ponownym uruchomieniu komputera: " + target_ + "\\z.txt\r\n", u.err);
  EXPECT_NE(std::string::npos, marks.Now().find(target_ + "\\z.txt"));
  EXPECT_FALSE(PathExists(target_ + "\\a.txt"));
}

// Names of any language install as they are, whatever the machine's code page, and go again.
TEST_F(EngineInstall, NamesOfAnyLanguageInstallAsTheyAreAndGoAgain) {
  std::vector<std::string> names = {u8"日本.txt", u8"emoji😀.txt", u8"Español.lng", u8"Cafe\u0301.txt",
                                    u8"Straße\\Maß.txt", u8"zażółć.txt"};
  // Nested CJK folders up to the path limit, in the program folder and the installation folder.
  size_t room = GZC_PATH_MAX - std::max(prog_.size(), target_.size() + 1) - std::strlen(".txt");
  std::string deep;
  for (size_t i = 0; i < room; ++i) deep += (i % 60 == 59) ? "\\" : u8"日";
  names.push_back(deep + ".txt");
  for (const std::string& n : names) PutUtf8(n, n);
  InstallSilently();
  const std::string target = AnsiToUtf8(target_);
  for (const std::string& n : names) EXPECT_EQ(n, SlurpUtf8(target + "\\" + n)) << n;
  EXPECT_EQ(0u, Slurp(target_ + "\\UnInst.log").find("PRLOG 2\r\n"));

  Ran u = Run(target_ + "\\UnInst.exe", "/S");
  ASSERT_TRUE(u.finished);
  EXPECT_EQ(0u, u.code) << u.err;
  EXPECT_TRUE(uitest::WaitFor([&] { return !PathExists(target_); }, 20000)) << "nothing is left";
}

// An installation of an installer made before names travelled in UTF-8 left a log in code page
// 1250: the uninstaller removes what it lists.
TEST_F(EngineInstall, AnOlderCodePage1250LogIsRemovedAsItSays) {
  PutUtf8(u8"zażółć\\ąę.txt", "old");  // named alike in every code page
  InstallSilently();
  uitest::WriteFile(target_ + "\\UnInst.log", "PRLOG 1\r\nP\t" + std::string(kName) + "\r\nG\tpl\r\nT\t" + target_ +
                                                  "\r\nD\tzażółć\r\nF\tzażółć\\ąę.txt\r\n");
  Ran u = Run(target_ + "\\UnInst.exe", "/S");
  ASSERT_TRUE(u.finished);
  EXPECT_EQ(0u, u.code) << u.err;
  // Such an installation kept no copy of its log in the registration: the folder it was installed
  // into (a line reaching outside) stays, empty.
  EXPECT_TRUE(uitest::WaitFor([&] { return !PathExists(target_ + "\\UnInst.exe"); }, 20000));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(Utf8ToWide(AnsiToUtf8(target_) + u8"\\zażółć").c_str()));
}

TEST_F(EngineInstall, UninstallWithoutUserFilesRemovesTheFoldersItMadeButNotOnesThatWereThere) {
  Put("a.txt", "a");
  Put("sub\\b.txt", "b");
  Ini(cfg_ + "init.cfg", "cfg", "1", kName);
  // A key that was there before keeps its other values; the installer's own value goes.
  HKEY k;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, kRegKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr));
  RegSetValueExA(k, "Theirs", 0, REG_SZ, (const BYTE*)"x", 2);
  RegCloseKey(k);
  Ini(cfg_ + "reg.cfg", "key", "1", std::string("HKEY_CURRENT_USER\\") + kRegKey);
  Ini(cfg_ + "reg.cfg", "name", "1", "Ours");
  Ini(cfg_ + "reg.cfg", "value", "1", "y");
  Ini(cfg_ + "reg.cfg", "type", "1", "3");
  Ini(cfg_ + "reg.cfg", "index", "max", "2");
  std::string setup = root_ + "setup.exe";
  Build(setup);
  CreateDirectoryA((root_ + "Installed").c_str(), nullptr);  // the parent exists, the folder not
  Ran r = Run(setup, "/S /D=" + target_);
  ASSERT_EQ(0u, r.code) << r.err;
  Ran u = Run(target_ + "\\UnInst.exe", "/S");
  ASSERT_EQ(0u, u.code) << u.err;
  EXPECT_TRUE(uitest::WaitFor([&] { return !PathExists(target_); }, 20000));
  EXPECT_TRUE(PathExists(root_ + "Installed"));
  DWORD type;
  std::string data;
  EXPECT_TRUE(RegGet(HKEY_CURRENT_USER, kRegKey, "Theirs", &type, &data));
  EXPECT_FALSE(RegGet(HKEY_CURRENT_USER, kRegKey, "Ours", &type, &data));
}

TEST_F(EngineInstall, RegistryValuesThatDoNotParseAreReportedAndTheRestIsWritten) {
  Put("a.txt", "a");
  std::string reg = cfg_ + "reg.cfg";
  Ini(cfg_ + "init.cfg", "cfg", "1", kName);
  struct {
    const char* name;
    const char* value;
    const char* type;
  } values[] = {{"Good", "7", "1"}, {"BadDword", "12x", "1"}, {"BadBin", "0g 11", "0"}, {"TooBig", "4294967296", "1"},
                {"OddBin", "abc", "0"}};
  int n = 1;
  for (const auto& v : values) {
    std::string num = std::to_string(n++);
    Ini(reg, "key", num.c_str(), std::string("HKEY_CURRENT_USER\\") + kRegKey);
    Ini(reg, "name", num.c_str(), v.name);
    Ini(reg, "value", num.c_str(), v.value);
    Ini(reg, "type", num.c_str(), v.type);
    Ini(reg, "dynam", num.c_str(), "0");
    Ini(reg, "line", num.c_str(), "0");
  }
  Ini(reg, "key", "9", "HKEY_NOWHERE\\x");  // an unknown root; the counter covers it
  Ini(reg, "name", "9", "Lost");
  Ini(reg, "type", "9", "3");
  Ini(reg, "index", "max", "10");
  std::string setup = root_ + "setup.exe";
  Build(setup);
  Ran r = Run(setup, "/S /D=" + target_);
  EXPECT_EQ(5u, r.code);
  EXPECT_NE(std::string::npos, r.err.find(u8"wpis rejestru nr 2 (HKEY_CURRENT_USER\\Software\\PackriftEngineTest\\BadDword): nieprawidłowa wartość „12x”")) << r.err;
  EXPECT_NE(std::string::npos, r.err.find("nr 3 (HKEY_CURRENT_USER\\Software\\PackriftEngineTest\\BadBin)")) << r.err;
  EXPECT_NE(std::string::npos, r.err.find(u8"„4294967296”")) << r.err;
  EXPECT_NE(std::string::npos, r.err.find(u8"„abc”")) << r.err;
  EXPECT_NE(std::string::npos, r.err.find("nr 9 (HKEY_NOWHERE\\x\\Lost)")) << r.err;
  DWORD type;
  std::string data;
  ASSERT_TRUE(RegGet(HKEY_CURRENT_USER, kRegKey, "Good", &type, &data));
  EXPECT_EQ(7u, *(const uint32_t*)data.data());
  EXPECT_FALSE(RegGet(HKEY_CURRENT_USER, kRegKey, "BadDword", &type, &data));
  EXPECT_EQ("a", Slurp(target_ + "\\a.txt"));
  Ran u = Run(target_ + "\\UnInst.exe", "/S");
  EXPECT_EQ(0u, u.code) << u.err;
  EXPECT_TRUE(uitest::WaitFor([&] { return !PathExists(target_); }, 20000));
}

TEST_F(EngineInstall, TruncatedInstallerInstallsNothingAndSaysWhy) {
  Put("big.bin", Pseudo(200000, 3));
  Ini(cfg_ + "init.cfg", "cfg", "1", kName);
  std::string setup = root_ + "setup.exe";
  std::string whole = Build(setup);
  uitest::WriteFile(setup, whole.substr(0, whole.size() - 5000));
  Ran r = Run(setup, "/S /D=" + target_);
  EXPECT_EQ(3u, r.code);
  EXPECT_NE(std::string::npos, r.err.find(u8"Instalator jest uszkodzony i nic nie zostało zainstalowane: plik instalatora jest niekompletny (ucięty).")) << r.err;
  EXPECT_FALSE(PathExists(root_ + "Installed"));

  // Shown to a user in a box, before any page.
  PROCESS_INFORMATION pi = Start(setup, "");
  EXPECT_EQ(u8"Instalator jest uszkodzony i nic nie zostało zainstalowane: plik instalatora jest niekompletny (ucięty).",
            AnswerBox(pi.dwProcessId, IDOK));
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(pi.hProcess, 20000));
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  EXPECT_EQ(3u, code);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);

  // Cut inside the configuration archive, and down to the engine alone.
  size_t engine = Slurp(uitest::DistDir() + "bin\\Packrift.dat").size();
  uitest::WriteFile(setup, whole.substr(0, engine + 14 + LangPack(Slurp(uitest::DistDir() + "bin\\Lang.dat")).size() + 40));
  r = Run(setup, "/S /D=" + target_);
  EXPECT_EQ(3u, r.code);
  EXPECT_NE(std::string::npos, r.err.find("niekompletny")) << r.err;
  uitest::WriteFile(setup, whole.substr(0, engine));
  r = Run(setup, "/S /D=" + target_);
  EXPECT_EQ(3u, r.code);
  EXPECT_NE(std::string::npos, r.err.find("brak danych instalacji")) << r.err;
  EXPECT_FALSE(PathExists(root_ + "Installed"));
}

// A signature appended to an installer built without one: its certificate table is no data of the
// installer's, and a table that points outside the file or into the data is refused unread.
TEST_F(EngineInstall, SignedAfterTheBuildItInstallsAndADamagedCertificateTableIsRefused) {
  Put("a.txt", Pseudo(30001, 5));
  Ini(cfg_ + "init.cfg", "cfg", "1", kName);
  std::string setup = root_ + "setup.exe";
  Build(setup);
  uitest::MakeSigningCommand(root_);
  ASSERT_TRUE(uitest::SignInPlace(root_, setup));
  ASSERT_TRUE(uitest::SignatureVerifies(root_, setup));
  std::string signedSetup = Slurp(setup);
  Ran r = Run(setup, "/S /D=" + target_);
  EXPECT_EQ(0u, r.code) << r.err;
  EXPECT_EQ(Slurp(File("a.txt")), Slurp(target_ + "\\a.txt"));

  // The security directory: the optional header's data directory 4, at 128 from its start in a
  // 32-bit image (magic 0x10B) and at 144 in a 64-bit one.
  uint32_t pe = *(const uint32_t*)(signedSetup.data() + 0x3C);
  uint16_t magic = *(const uint16_t*)(signedSetup.data() + pe + 24);
  size_t dir = pe + 24 + (magic == 0x20B ? 144 : 128);
  uint32_t at = *(const uint32_t*)(signedSetup.data() + dir), len = *(const uint32_t*)(signedSetup.data() + dir + 4);
  ASSERT_EQ(signedSetup.size(), (size_t)at + len);
  struct { uint32_t at, len; } broken[] = {{at, len + 8}, {at + 8, 0xFFFFFFF0u}, {at - 16, len + 16}, {0xFFFFFFF8u, 16}};
  for (const auto& b : broken) {
    SCOPED_TRACE(b.at);
    std::string bad = signedSetup;
    memcpy(&bad[dir], &b.at, 4);
    memcpy(&bad[dir + 4], &b.len, 4);
    uitest::WriteFile(setup, bad);
    r = Run(setup, "/S /D=" + root_ + "Other");
    EXPECT_EQ(3u, r.code) << r.err;
    EXPECT_FALSE(PathExists(root_ + "Other"));
  }
  // Bytes behind the data that no table covers are refused as well.
  std::string junk = signedSetup.substr(0, at) + "junkjunk";
  memset(&junk[dir], 0, 8);
  uitest::WriteFile(setup, junk);
  r = Run(setup, "/S /D=" + root_ + "Other");
  EXPECT_EQ(3u, r.code) << r.err;
}

TEST_F(EngineInstall, TraversalPathInTheProgramArchiveInstallsNothing) {
  Ini(cfg_ + "init.cfg", "cfg", "1", kName);
  std::string setup = root_ + "setup.exe";
  BuildWithProgramArchive(setup, RawArchive({{"good.txt", "fine"}, {"..\\..\\evil.txt", "gotcha"}}));
  Ran r = Run(setup, "/S /D=" + target_);
  EXPECT_EQ(3u, r.code);
  EXPECT_NE(std::string::npos, r.err.find(u8"archiwum zawiera ścieżkę pliku prowadzącą poza folder instalacji")) << r.err;
  EXPECT_FALSE(PathExists(root_ + "evil.txt"));
  EXPECT_FALSE(PathExists(root_ + "Installed"));

  // The same archive with only safe paths installs: the refusal was the path's.
  BuildWithProgramArchive(setup, RawArchive({{"good.txt", "fine"}, {"sub\\ok.txt", "gotcha"}}));
  r = Run(setup, "/S /D=" + target_);
  EXPECT_EQ(0u, r.code) << r.err;
  EXPECT_EQ("gotcha", Slurp(target_ + "\\sub\\ok.txt"));
  Run(target_ + "\\UnInst.exe", "/S");
  EXPECT_TRUE(uitest::WaitFor([&] { return !PathExists(target_); }, 20000));
}

TEST_F(EngineInstall, DamagedMemberAndUnsafeEntriesAreRefused) {
  Put("data.bin", Pseudo(50000, 4));
  Ini(cfg_ + "init.cfg", "cfg", "1", kName);
  std::string setup = root_ + "setup.exe";
  std::string whole = Build(setup);
  // A byte in the middle of the last member: the archive no longer checks out.
  whole[whole.size() - 20000] ^= 0x55;
  uitest::WriteFile(setup, whole);
  Ran r = Run(setup, "/S /D=" + target_);
  EXPECT_EQ(3u, r.code);
  EXPECT_NE(std::string::npos, r.err.find(u8"Instalator jest uszkodzony i nic nie zostało zainstalowane: suma kontrolna danych się nie zgadza.")) << r.err;
  EXPECT_FALSE(PathExists(root_ + "Installed"));

  // Entries whose paths leave the folder are refused one by one and reported.
  Ini(cfg_ + "lnk.cfg", "desktop", "1", "..\\..\\outside.exe");
  Ini(cfg_ + "lnk.cfg", "index1", "max", "2");
  Ini(cfg_ + "init.cfg", "Run", "1", "C:\\windows\\system32\\cmd.exe");
  Ini(cfg_ + "init.cfg", "silent", "1", "1");
  Ini(cfg_ + "init.cfg", "index", "max", "2");
  Build(setup);
  r = Run(setup, "/S /D=" + target_);
  EXPECT_EQ(5u, r.code);
  EXPECT_NE(std::string::npos, r.err.find(u8"wpis desktop 1: niedozwolona ścieżka „..\\..\\outside.exe”")) << r.err;
  EXPECT_NE(std::string::npos, r.err.find(u8"wpis Run 1: niedozwolona ścieżka „C:\\windows\\system32\\cmd.exe”")) << r.err;
  EXPECT_TRUE(PathExists(target_ + "\\data.bin"));
  Run(target_ + "\\UnInst.exe", "/S");
  EXPECT_TRUE(uitest::WaitFor([&] { return !PathExists(target_); }, 20000));
}

// Damage that the bytes' checksum finds before anything is written, and damage behind a matching
// checksum (a faulty build) that a member's own check finds while the files are written: either
// way nothing stays installed and the file the installation replaced is back.
TEST_F(EngineInstall, DamagedDataInstallsNothingAndPutsBackWhatWasThere) {
  const std::string a = Pseudo(50000, 6), z = Pseudo(40000, 7);
  Put("a.bin", a);
  Put("keep.txt", "new");
  Put("z.bin", z);
  Ini(cfg_ + "init.cfg", "cfg", "1", kName);
  const std::string packed = ProgramArchive(), solid = ProgramArchive(true);
  const uint32_t firstMember = *(const uint32_t*)(packed.data() + 19);  // t[1]
  const uint32_t firstRecord = *(const uint32_t*)(solid.data() + 19);   // its CRC-32, then its length
  // The last member stored as its file's bytes and their length, no gzip data, the archive's
  // table and byte sum right.
  std::string stored = RawArchive({{"a.bin", a}, {"keep.txt", "new"}, {"z.bin", z}});
  const uint32_t zLen = (uint32_t)z.size();
  stored.resize(*(const uint32_t*)(stored.data() + 15 + 4 * 3));  // up to t[3]
  stored += z + std::string((const char*)&zLen, 4);
  const uint32_t end = (uint32_t)stored.size();
  memcpy(&stored[15 + 4 * 4], &end, 4);
  struct Case {
    const char* what;
    const std::string& archive;
    long long before, after;  // a byte flipped before or after the checksums were made; -1: none
  } cases[] = {
      {"a member's time stamp, which no inflating reads", packed, -1, firstMember + 4},
      {"the last member's CRC-32, its checksum made to match", packed, (long long)packed.size() - 8, -1},
      {"the last member no gzip data, its checksum made to match", stored, -1, -1},
      {"a byte of the solid stream", solid, -1, (long long)solid.size() - 100},
      {"the first file's CRC-32 in a solid archive, its checksum made to match", solid, firstRecord, -1},
  };
  std::string setup = root_ + "setup.exe";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CreateDirectoryA((root_ + "Installed").c_str(), nullptr);
    CreateDirectoryA(target_.c_str(), nullptr);
    uitest::WriteFile(target_ + "\\keep.txt", "old");
    std::string archive = c.archive;
    if (c.before >= 0) archive[c.before] ^= 0x01;
    std::string whole = BuildWithProgramArchive(setup, archive);
    if (c.after >= 0) whole[whole.size() - archive.size() + c.after] ^= 0x01;
    uitest::WriteFile(setup, whole);
    Ran r = Run(setup, "/S /D=" + target_);
    EXPECT_EQ(3u, r.code);
    EXPECT_NE(std::string::npos, r.err.find(u8"Instalator jest uszkodzony i nic nie zostało zainstalowane: suma kontrolna danych się nie zgadza.")) << r.err;
    EXPECT_EQ("old", Slurp(target_ + "\\keep.txt"));
    for (const char* gone : {"a.bin", "z.bin", "keep.txt.prsave", "UnInst.exe"})
      EXPECT_FALSE(PathExists(target_ + "\\" + gone)) << gone;
  }
  // Undamaged, the solid archive installs every file as it was.
  BuildWithProgramArchive(setup, solid);
  Ran r = Run(setup, "/S /D=" + target_);
  EXPECT_EQ(0u, r.code) << r.err;
  EXPECT_TRUE(Slurp(target_ + "\\a.bin") == a && Slurp(target_ + "\\z.bin") == z);
  EXPECT_EQ("new", Slurp(target_ + "\\keep.txt"));
}

TEST_F(EngineInstall, AMemberLargerThanTheMemoryScratchInstallsBitExact) {
  // Incompressible, so that its member is larger than the part kept in memory (32 MiB).
  std::string big = Pseudo(34u << 20, 5);
  Put("big.bin", big);
  Put("small.txt", "after the big one");
  std::string setup = InstallSilently();
  EXPECT_TRUE(Slurp(target_ + "\\big.bin") == big);
  EXPECT_EQ("after the big one", Slurp(target_ + "\\small.txt"));
  // Damage inside the big member is found too.
  Run(target_ + "\\UnInst.exe", "/S");
  ASSERT_TRUE(uitest::WaitFor([&] { return !PathExists(target_); }, 20000));
  std::string whole = Slurp(setup);
  whole[whole.size() - (20u << 20)] ^= 0x01;
  uitest::WriteFile(setup, whole);
  Ran r = Run(setup, "/S /D=" + target_);
  EXPECT_EQ(3u, r.code);
  EXPECT_NE(std::string::npos, r.err.find(u8"suma kontrolna danych się nie zgadza")) << r.err;
  EXPECT_FALSE(PathExists(root_ + "Installed"));
}

TEST_F(EngineInstall, CommandLineIsChecked) {
  Put("a.txt", "a");
  Ini(cfg_ + "init.cfg", "cfg", "1", kName);
  std::string setup = root_ + "setup.exe";
  Build(setup);
  Ran r = Run(setup, "/S /X");
  EXPECT_EQ(2u, r.code);
  EXPECT_NE(std::string::npos, r.err.find(u8"Nieprawidłowy wiersz polecenia: /X")) << r.err;
  r = Run(setup, "/S /L=ja /X");
  EXPECT_EQ(2u, r.code);
  const std::string japanese = u8"コマンド ラインが無効です: /X";  // (the macros quote in code page 1250)
  EXPECT_NE(std::string::npos, r.err.find(japanese)) << r.err;
  // A language the installer does not have: the codes it has.
  r = Run(setup, "/S /LOG=" + root_ + "args.log /L=xx /D=" + target_);
  EXPECT_EQ(2u, r.code);
  EXPECT_NE(std::string::npos, r.err.find("/L=xx\r\n/L=pl|en|de|fr|es|it|pt-BR|nl|cs|hu|uk|ru|tr|ja|zh-CN\r\n")) << r.err;
  ExpectSteps(root_ + "args.log", {"exit 2"});  // the reason of two lines on one
  EXPECT_FALSE(PathExists(target_));
  r = Run(setup, "/S /D=relative\\folder");
  EXPECT_EQ(2u, r.code);
  EXPECT_NE(std::string::npos, r.err.find("/D=relative\\folder")) << r.err;
  r = Run(setup, "/S /D=" + root_ + "..\\escape");
  EXPECT_EQ(2u, r.code);
  r = Run(setup, "/S /LOG=" + root_ + "no\\such\\folder.log /D=" + target_);
  EXPECT_EQ(2u, r.code);
  EXPECT_NE(std::string::npos, r.err.find("/LOG=" + root_ + "no\\such\\folder.log")) << r.err;
  // The options and exit codes on request, nothing installed.
  r = Run(setup, "/S /? /D=" + target_);
  EXPECT_EQ(0u, r.code);
  EXPECT_NE(std::string::npos, r.err.find(u8"/LOG=plik  każdy krok instalacji")) << r.err;
  EXPECT_NE(std::string::npos, r.err.find(u8"4 nie można zapisać plików")) << r.err;
  EXPECT_NE(std::string::npos, r.err.find("[/ALLUSERS | /CURRENTUSER]")) << r.err;
  EXPECT_FALSE(PathExists(target_));
  // A folder with blanks needs no quotes after /D=, which ends the line.
  r = Run(setup, "/S /D=" + root_ + "With Blanks\\Pro gram");
  EXPECT_EQ(0u, r.code) << r.err;
  EXPECT_EQ("a", Slurp(root_ + "With Blanks\\Pro gram\\a.txt"));
  r = Run(root_ + "With Blanks\\Pro gram\\UnInst.exe", "/S /?");
  EXPECT_EQ(0u, r.code);
  EXPECT_NE(std::string::npos, r.err.find(u8"5 nie wszystko usunięto")) << r.err;
  Run(root_ + "With Blanks\\Pro gram\\UnInst.exe", "/S");
  EXPECT_TRUE(uitest::WaitFor([&] { return !PathExists(root_ + "With Blanks"); }, 20000));
}

// Without /L= the texts are those of the user's interface language (Wine takes it from LC_MESSAGES
// when a process starts; the code page stays Polish): its language, for Portuguese its region,
// else English. The uninstaller speaks the installation's language, whatever the user's.
TEST_F(EngineInstall, TheUsersInterfaceLanguageChoosesTheTexts) {
  Put("a.txt", "a");
  Ini(cfg_ + "init.cfg", "cfg", "1", kName);
  std::string setup = root_ + "setup.exe", said = root_ + "said.txt", script = root_ + "ui.sh";
  Build(setup);
  uitest::WriteFile(script,
                    "loc=$1 out=$2; shift 2\n"
                    "[ -d \"$LOCPATH/$loc\" ] || { echo \"no $loc locale in $LOCPATH: run scripts/setup\" >\"$out\"; exit 9; }\n"
                    "env -u LC_ALL LANG=pl_PL.UTF-8 LC_MESSAGES=\"$loc\" \"${WINELOADER:-wine}\" \"$@\" 2>\"$out\"\n");
  auto runIn = [&](const char* locale, const std::string& args) {
    uitest::WriteFile(said, "");
    DWORD code = uitest::RunLinux("/bin/sh \"" + script + "\" " + locale + " \"" + said + "\" \"" + setup + "\" " + args);
    return std::make_pair(code, Slurp(said));
  };
  const struct {
    const char* locale;
    const char* said;
  } kCases[] = {
      {"de_DE.UTF-8", u8"Ungültige Befehlszeile: /X"},
      {"pt_BR.UTF-8", u8"Linha de comando inválida: /X"},
      {"pt_PT.UTF-8", u8"Invalid command line: /X"},
      {"ja_JP.UTF-8", u8"コマンド ラインが無効です: /X"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.locale);
    auto r = runIn(c.locale, "/S /X");
    EXPECT_EQ(2u, r.first) << r.second;
    EXPECT_EQ(std::string(c.said) + "\r\n", r.second);
  }
  auto r = runIn("ja_JP.UTF-8", "/S /D=" + target_);
  ASSERT_EQ(0u, r.first) << r.second;
  Ran u = Run(target_ + "\\UnInst.exe", "/S /X");
  EXPECT_EQ(2u, u.code);
  EXPECT_EQ(std::string(kCases[3].said) + "\r\n", u.err);
  u = Run(target_ + "\\UnInst.exe", "/S");
  EXPECT_EQ(0u, u.code) << u.err;
  EXPECT_TRUE(uitest::WaitFor([&] { return !PathExists(target_); }, 20000));
}
}  // namespace

// The configuration is read once from the checked archive and kept in memory, and an elevated run
// (Wine runs every program elevated) keeps its scratch files out of the user's temporary folder,
// which the user's other programs can write: while the wizard waits for the user, its scratch
// folder lies in the system's temporary folder and holds the member scratch file alone. The
// uninstaller's eraser, which runs on with the uninstaller's rights, is not copied there either.
TEST_F(EngineInstall, AnElevatedRunKeepsItsScratchFilesOutOfTheUsersTemporaryFolder) {
  Put("a.txt", "a");
  Ini(cfg_ + "init.cfg", "cfg", "1", kName);
  Ini(cfg_ + "lnk.cfg", "desktop", "1", "a.txt");
  Ini(cfg_ + "lnk.cfg", "index1", "max", "2");
  std::string setup = root_ + "setup.exe";
  Build(setup);
  char temp[MAX_PATH], windows[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  GetSystemWindowsDirectoryA(windows, MAX_PATH);
  const std::string system = std::string(windows) + "\\Temp\\";
  auto ours = [&] {  // what the installer and the uninstaller leave in the user's temporary folder
    std::set<std::string> names;
    ForEachEntry(temp, [&](const char* n, GzcKind) {
      if (strncmp(n, "prsetup", 7) == 0 || strncmp(n, "pru", 3) == 0) names.insert(n);
    });
    return names;
  };
  std::set<std::string> before = ours();
  PROCESS_INFORMATION pi = Start(setup, "/D=" + target_);
  ASSERT_NE(nullptr, WaitWindow(pi.dwProcessId, "#32770", nullptr));
  std::string scratch = system + "prsetup" + std::to_string(pi.dwProcessId) + "_0";
  std::vector<std::pair<std::string, std::string>> files;
  Collect(scratch + "\\", "", &files);
  std::set<std::string> during = ours();
  TerminateProcess(pi.hProcess, 99);
  WaitForSingleObject(pi.hProcess, 20000);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  uitest::RemoveTree(scratch);
  EXPECT_EQ(before, during) << "nothing in the user's temporary folder";
  ASSERT_EQ(1u, files.size()) << scratch;
  EXPECT_EQ("gz.tmp", files[0].first);

  Ran r = Run(setup, "/S /D=" + target_);
  ASSERT_EQ(0u, r.code) << r.err;
  Ran u = Run(target_ + "\\UnInst.exe", "/S");
  ASSERT_EQ(0u, u.code) << u.err;
  EXPECT_TRUE(uitest::WaitFor([&] { return !PathExists(target_); }, 20000));
  EXPECT_EQ(before, ours()) << "the eraser's copy lies elsewhere";
}

// After the user has consented to an elevated run, the user's other programs may rename the
// installer and put another file at its path: the engine reads only the file it was started from.
TEST_F(EngineInstall, AnotherFilePutAtTheInstallersPathAfterItStartedIsNotInstalled) {
  Ini(cfg_ + "init.cfg", "cfg", "1", kName);
  Put("other.txt", "from the file put in its place");
  std::string setup = root_ + "setup.exe", other = root_ + "other.exe";
  Build(other);
  DeleteFileA(File("other.txt").c_str());
  Put("a.txt", "a");
  Build(setup);
  Ran r = Run(setup, "/S /D=" + target_, 120000, [&] {
    ASSERT_TRUE(MoveFileA(setup.c_str(), (root_ + "renamed.exe").c_str()));
    ASSERT_TRUE(CopyFileA(other.c_str(), setup.c_str(), TRUE));
  });
  EXPECT_EQ(3u, r.code) << r.err;
  EXPECT_NE(std::string::npos, r.err.find(u8"Instalator jest uszkodzony i nic nie zostało zainstalowane")) << r.err;
  EXPECT_FALSE(PathExists(root_ + "Installed"));
  // Started from that file, it installs: the refusal was the swap's.
  r = Run(setup, "/S /D=" + target_);
  EXPECT_EQ(0u, r.code) << r.err;
  EXPECT_EQ("from the file put in its place", Slurp(target_ + "\\other.txt"));
}

// The log lies in the installation folder, which others may be able to write to: lines edited to
// point at anything the installer does not make are not acted upon. Registry lines, folders on the
// way and files to run count only where the registration (which only the installer could write)
// keeps a copy of them.
TEST_F(EngineInstall, TheUninstallerHonoursOnlyLogLinesThatPointWhereTheInstallerWrites) {
  Put("a.txt", "a");
  InstallSilently();
  ASSERT_TRUE(PathExists(target_ + "\\UnInst.exe"));

  std::string outside = root_ + "outside";
  CreateDirectoryA(outside.c_str(), nullptr);
  CreateDirectoryA((outside + "\\empty").c_str(), nullptr);
  CreateDirectoryA((programs_ + "\\Other").c_str(), nullptr);
  uitest::WriteFile(outside + "\\victim.lnk", "x");
  uitest::WriteFile(programs_ + "\\Other\\theirs.lnk", "x");
  ASSERT_TRUE(CopyFileA((uitest::ExeDir() + "engine_runprobe.exe").c_str(), (target_ + "\\planted.exe").c_str(), FALSE));
  const std::string key = std::string("HKEY_CURRENT_USER\\") + kRegKey;
  const std::string other = std::string(kUninstallKey) + " Other";  // another program's registration
  for (const char* sub : {"\\Full", "\\Parent\\Child", "\\Victim", "\\Empty"}) {
    HKEY k;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, (kRegKey + std::string(sub)).c_str(), 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &k, nullptr));
    if (std::string(sub) == "\\Full" || std::string(sub) == "\\Victim")
      RegSetValueExA(k, "Theirs", 0, REG_SZ, (const BYTE*)"x", 2);
    RegCloseKey(k);
  }
  HKEY k;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, other.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr));
  RegSetValueExA(k, "InstallLocation", 0, REG_SZ, (const BYTE*)"C:\\Other", 9);
  RegCloseKey(k);
  struct {
    const char* line;
    std::string what;
  } edits[] = {
      {"S", outside + "\\victim.lnk"},                      // a shortcut outside the desktop and the menu
      {"S", programs_ + "\\Other\\theirs.lnk"},             // another program's start-menu folder
      {"M", outside + "\\empty"},                           // a folder outside the start menu
      {"U", key + "\\Victim"},                              // not under the Uninstall key
      {"U", "HKEY_LOCAL_MACHINE\\" + other},                // another program's registration
      {"K", key + "\\Full"},                                // a key that still has values
      {"K", key + "\\Parent"},                              // a key that still has a subkey
      {"K", key + "\\Empty"},                               // an empty key the installation did not make
      {"V", key + "\\Victim\tTheirs"},                      // a value the installation did not write
      {"X", "planted.exe"},                                 // a file put into the folder later, to run
  };
  std::string log = Slurp(target_ + "\\UnInst.log");
  for (const auto& e : edits) log += std::string(e.line) + "\t" + e.what + "\r\n";
  uitest::WriteFile(target_ + "\\UnInst.log", log);

  Ran u = Run(target_ + "\\UnInst.exe", "/S");
  EXPECT_EQ(0u, u.code) << u.err;
  EXPECT_TRUE(uitest::WaitFor([&] { return !PathExists(target_ + "\\UnInst.exe"); }, 20000)) << "what the installer made goes";
  EXPECT_FALSE(PathExists(target_ + "\\a.txt"));
  EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
  EXPECT_TRUE(PathExists(outside + "\\victim.lnk"));
  EXPECT_TRUE(PathExists(programs_ + "\\Other\\theirs.lnk"));
  EXPECT_TRUE(PathExists(outside + "\\empty"));
  EXPECT_FALSE(PathExists(probe_ + "planted.exe.ran"));
  EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, other));
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, other.c_str());
  for (const char* sub : {"\\Full", "\\Parent\\Child", "\\Victim", "\\Empty"})
    EXPECT_TRUE(RegKeyExists(HKEY_CURRENT_USER, kRegKey + std::string(sub))) << sub;
  DWORD type;
  std::string data;
  for (const char* sub : {"\\Full", "\\Victim"})
    EXPECT_TRUE(RegGet(HKEY_CURRENT_USER, kRegKey + std::string(sub), "Theirs", &type, &data)) << sub;
  RemoveDirectoryA((programs_ + "\\Other").c_str());
}

// Version 1 (a, b, sub\x) then version 2 (a changed, c new) into the same folder, the second without
// /D=: one registration, one log of both, and the uninstaller leaves nothing.
TEST_F(EngineInstall, AnUpgradeInPlaceKeepsOneRegistrationAndItsUninstallerLeavesNothing) {
  auto version = [&](const char* a, const char* extra, const char* value) {
    DeleteFileA(File("b.txt").c_str());
    Put("a.txt", a);
    Put(extra, extra);
    Put("sub\\x.txt", "x");
    Ini(cfg_ + "reg.cfg", "key", "1", std::string("HKEY_CURRENT_USER\\") + kRegKey + "\\" + value);
    Ini(cfg_ + "reg.cfg", "name", "1", value);
    Ini(cfg_ + "reg.cfg", "value", "1", value);
    Ini(cfg_ + "reg.cfg", "type", "1", "3");
    Ini(cfg_ + "reg.cfg", "index", "max", "2");
    Ini(cfg_ + "init.cfg", "cfg", "1", kName);
    std::string setup = root_ + value + ".exe";
    Build(setup);
    return setup;
  };
  // The version and publisher a build found: the second version's replace the first's.
  Ini(cfg_ + "init.cfg", "cfg", "4", "1.0.0.0");
  Ini(cfg_ + "init.cfg", "cfg", "5", "Orvane");
  Ini(cfg_ + "init.cfg", "cfg", "6", "a.txt");
  Ran r = Run(version("one", "b.txt", "V1"), "/S /D=" + target_);
  ASSERT_EQ(0u, r.code) << r.err;
  DWORD type;
  std::string data;
  ASSERT_TRUE(RegGet(HKEY_LOCAL_MACHINE, kUninstallKey, "Publisher", &type, &data));
  EXPECT_EQ("Orvane", std::string(data.c_str()));
  Ini(cfg_ + "init.cfg", "cfg", "4", "2.0.0.0");
  WritePrivateProfileStringA("cfg", "5", nullptr, (cfg_ + "init.cfg").c_str());
  r = Run(version("two", "c.txt", "V2"), "/S");
  ASSERT_EQ(0u, r.code) << r.err;
  ASSERT_TRUE(RegGet(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayVersion", &type, &data));
  EXPECT_EQ("2.0.0.0", std::string(data.c_str()));
  EXPECT_FALSE(RegGet(HKEY_LOCAL_MACHINE, kUninstallKey, "Publisher", &type, &data));
  ASSERT_TRUE(RegGet(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayIcon", &type, &data));
  EXPECT_EQ(target_ + "\\a.txt", std::string(data.c_str()));
  EXPECT_EQ("two", Slurp(target_ + "\\a.txt"));
  EXPECT_EQ("c.txt", Slurp(target_ + "\\c.txt"));
  EXPECT_EQ("b.txt", Slurp(target_ + "\\b.txt"));
  EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, std::string(kUninstallKey) + " (2)"));
  std::string log = Slurp(target_ + "\\UnInst.log");
  EXPECT_EQ(std::string::npos, log.find("\nP\t", log.find("\nP\t") + 1)) << "one name:\n" << log;
  EXPECT_EQ(std::string::npos, log.find("F\ta.txt", log.find("F\ta.txt") + 1)) << "each item once:\n" << log;

  Ran u = Run(target_ + "\\UnInst.exe", "/S");
  EXPECT_EQ(0u, u.code) << u.err;
  EXPECT_TRUE(uitest::WaitFor([&] { return !PathExists(target_); }, 20000)) << "nothing is left";
  EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, kRegKey));
  EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
}

// The second version into another folder: the first stays as it was, each registered and each
// removed by its own uninstaller.
TEST_F(EngineInstall, AnUpgradeIntoAnotherFolderLeavesBothWorking) {
  Put("a.txt", "one");
  std::string setup = InstallSilently();
  const std::string second = root_ + "Second";
  Ran r = Run(setup, "/S /D=" + second);
  ASSERT_EQ(0u, r.code) << r.err;
  const std::string key2 = std::string(kUninstallKey) + " (2)";
  DWORD type;
  std::string data;
  ASSERT_TRUE(RegGet(HKEY_LOCAL_MACHINE, kUninstallKey, "InstallLocation", &type, &data));
  EXPECT_EQ(target_, std::string(data.c_str()));
  ASSERT_TRUE(RegGet(HKEY_LOCAL_MACHINE, key2, "InstallLocation", &type, &data));
  EXPECT_EQ(second, std::string(data.c_str()));

  Ran u = Run(second + "\\UnInst.exe", "/S");
  EXPECT_EQ(0u, u.code) << u.err;
  EXPECT_TRUE(uitest::WaitFor([&] { return !PathExists(second); }, 20000));
  EXPECT_EQ("one", Slurp(target_ + "\\a.txt"));
  EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
  u = Run(target_ + "\\UnInst.exe", "/S");
  EXPECT_EQ(0u, u.code) << u.err;
  EXPECT_TRUE(uitest::WaitFor([&] { return !PathExists(target_); }, 20000));
  EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
  EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, key2));
}

// A damaged log in the folder being upgraded is merged with nothing: it stays beside as
// UnInst.log.old, and the new installation's own log removes what it made.
TEST_F(EngineInstall, ADamagedLogInTheFolderIsKeptAsideAndTheProgramInstalledAnew) {
  Put("a.txt", "a");
  std::string setup = InstallSilently();
  uitest::WriteFile(target_ + "\\UnInst.log", "PRLOG 2\r\nF\ta.txt\r\nbroken\r\n");
  Ran r = Run(setup, "/S");
  ASSERT_EQ(0u, r.code) << r.err;
  EXPECT_EQ("PRLOG 2\r\nF\ta.txt\r\nbroken\r\n", Slurp(target_ + "\\UnInst.log.old"));
  EXPECT_EQ(0u, Slurp(target_ + "\\UnInst.log").find("PRLOG 2\r\nP\t"));
  Ran u = Run(target_ + "\\UnInst.exe", "/S");
  EXPECT_EQ(0u, u.code) << u.err;
  EXPECT_TRUE(uitest::WaitFor([&] { return !PathExists(target_ + "\\a.txt"); }, 20000));
  EXPECT_TRUE(PathExists(target_ + "\\UnInst.log.old"));
}

// For the current user: the user's local programs folder, shortcuts and registration; the
// uninstaller removes them from there.
TEST_F(EngineInstall, ForTheCurrentUserItInstallsWhereTheUserOwnsEverything) {
  Put("app.exe", "app");
  Ini(cfg_ + "lnk.cfg", "desktop", "1", "app.exe");
  Ini(cfg_ + "lnk.cfg", "index1", "max", "2");
  Ini(cfg_ + "init.cfg", "cfg", "1", kName);
  std::string setup = root_ + "setup.exe";
  Build(setup);
  Ran r = Run(setup, "/S /CURRENTUSER");
  ASSERT_EQ(0u, r.code) << r.err;
  const std::string folder = localAppData_ + "\\Programs\\" + kName;
  EXPECT_EQ("app", Slurp(folder + "\\app.exe"));
  EXPECT_TRUE(PathExists(desktop_ + "\\app.lnk"));
  EXPECT_FALSE(PathExists(commonDesktop_ + "\\app.lnk"));
  DWORD type;
  std::string data;
  ASSERT_TRUE(RegGet(HKEY_CURRENT_USER, kUninstallKey, "InstallLocation", &type, &data));
  EXPECT_EQ(folder, std::string(data.c_str()));
  EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));

  Ran u = Run(folder + "\\UnInst.exe", "/S");
  EXPECT_EQ(0u, u.code) << u.err;
  EXPECT_TRUE(uitest::WaitFor([&] { return !PathExists(folder); }, 20000));
  EXPECT_FALSE(PathExists(desktop_ + "\\app.lnk"));
  EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, kUninstallKey));
}

// A write that fails undoes what the installation created; a file that was in the folder before
// is replaced, never deleted.
TEST_F(EngineInstall, AFailedInstallationNeverDeletesAFileThatWasThere) {
  Put("keep.txt", "new");
  Put("taken", "a file where the folder has a folder");
  Put("afresh.txt", "made by the installation");
  CreateDirectoryA((root_ + "Installed").c_str(), nullptr);
  CreateDirectoryA(target_.c_str(), nullptr);
  CreateDirectoryA((target_ + "\\taken").c_str(), nullptr);
  uitest::WriteFile(target_ + "\\keep.txt", "old");
  Ini(cfg_ + "init.cfg", "cfg", "1", kName);
  std::string setup = root_ + "setup.exe";
  Build(setup);
  Ran r = Run(setup, "/S /D=" + target_);
  EXPECT_EQ(4u, r.code) << r.err;
  EXPECT_TRUE(PathExists(target_ + "\\keep.txt"));
  EXPECT_TRUE(PathExists(target_ + "\\taken"));
  EXPECT_FALSE(PathExists(target_ + "\\afresh.txt"));
}
