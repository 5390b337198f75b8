// The whole way: a project made in the main window through its entry editors, built with the
// shipped engine, installed silently and removed again.
#include "setupfixture.h"
#include "uitest.h"
#include "app/func.h"
#include "res/resource.h"

using namespace enginetest;

namespace {
const char kName[] = "Koniec Drogi";
const char kRegKey[] = "Software\\PackriftEndToEnd";
const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Koniec Drogi";

class FromMainWindow : public SetupTest {
 protected:
  void SetUp() override {
    SetupTest::SetUp();
    uitest::DeleteProgramKey();
    RegDeleteTreeA(HKEY_CURRENT_USER, kRegKey);
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kUninstallKey);
    std::string tmp = root_ + "tmp\\";
    CreateDirectoryA(tmp.c_str(), nullptr);
    SetEnvironmentVariableA("TMP", tmp.c_str());
    SetEnvironmentVariableA("TEMP", tmp.c_str());
    // The tool folder of this test program gets the shipped engine files.
    std::string bin = uitest::ExeDir() + "bin\\";
    CreateDirectoryA(bin.c_str(), nullptr);
    for (const char* f : {"Packrift.dat", "UnInst.dat", "Lang.dat"})
      ASSERT_TRUE(CopyFileA((uitest::DistDir() + "bin\\" + f).c_str(), (bin + f).c_str(), FALSE)) << f;
    thread_ = uitest::StartMainWindow(&main_);
    ASSERT_TRUE(main_);
  }
  void TearDown() override {
    if (thread_) uitest::CloseMainWindow(thread_, main_);
    uitest::DeleteProgramKey();
    RegDeleteTreeA(HKEY_CURRENT_USER, kRegKey);
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kUninstallKey);
    SetupTest::TearDown();
  }
  void Field(int id, const std::string& text) { SendDlgItemMessageA(main_, id, WM_SETTEXT, 0, (LPARAM)text.c_str()); }
  void Press(HWND w, int id) { PostMessageA(GetDlgItem(w, id), BM_CLICK, 0, 0); }
  static void Check(HWND d, int id, bool on) {
    SendDlgItemMessageA(d, id, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
  }
  void Shortcut(const std::string& rel, bool desktop, bool menu) {
    Press(main_, IDB_LNK_ADD);
    HWND d = uitest::FindTopWindow("#32770", "Dodawanie skr\xf3tu");
    ASSERT_TRUE(d);
    SetDlgItemTextA(d, IDE_LNK_PATH, (prog_ + rel).c_str());
    Check(d, IDC_LNK_DESKTOP, desktop);
    Check(d, IDC_LNK_MENU, menu);
    Press(d, IDB_LNK_APPLY);
    ASSERT_TRUE(uitest::WaitFor([&] { return !IsWindow(d); }));
  }
  void RunEntry(const std::string& rel, bool uninstall, bool silent) {
    Press(main_, IDB_RUN_ADD);
    HWND d = uitest::FindTopWindow("#32770", "Uruchom po zainstalowaniu");
    ASSERT_TRUE(d);
    SetDlgItemTextA(d, IDE_RUN_PATH, (prog_ + rel).c_str());
    if (uninstall) {
      Press(d, IDC_RUN_UNINSTALL);
      ASSERT_TRUE(uitest::WaitFor([&] { return IsDlgButtonChecked(d, IDC_RUN_UNINSTALL) == BST_CHECKED; }));
    } else {
      Check(d, IDC_RUN_SILENT, silent);
    }
    Press(d, IDB_RUN_APPLY);
    ASSERT_TRUE(uitest::WaitFor([&] { return !IsWindow(d); }));
  }
  // A registry value entered through the registry editor.
  void RegistryValue(const char* name, const char* value, const char* type, bool dynam) {
    Press(main_, IDB_REG_ADD);
    HWND d = uitest::FindTopWindow("#32770", uitest::kRegistryEditorCaption);
    ASSERT_TRUE(d);
    ASSERT_TRUE(uitest::FillRegistryEditor(d, std::string("HKEY_CURRENT_USER\\") + kRegKey, name, value, type, dynam));
    Press(d, IDB_REG_APPLY);
    ASSERT_TRUE(uitest::WaitFor([&] { return !IsWindow(d); }));
  }

  HANDLE thread_ = nullptr;
  HWND main_ = nullptr;
};

TEST_F(FromMainWindow, BuiltInstallerInstallsEverythingAndItsUninstallerRemovesIt) {
  Put("app.exe", std::string(40000, 'A') + std::string("\0\1\2", 3));
  Put("doc\\end.txt", "Gotowe.\r\n");
  Put("lib\\deep\\data.bin", std::string(100000, '\x5a'));
  Put("licencja.txt", "Umowa.\r\n");
  CopyProbe("tools\\first.exe");
  CopyProbe("tools\\asking.exe");
  CopyProbe("tools\\cleanup.exe");
  std::string setup = root_ + "out\\Koniec.exe";
  CreateDirectoryA((root_ + "out").c_str(), nullptr);
  std::string folder = prog_.substr(0, prog_.size() - 1);
  Field(IDE_NAME, kName);
  Field(IDE_FOLDER, folder);
  Field(IDE_SETUP, setup);
  Field(IDE_LICENCE, prog_ + "licencja.txt");
  Field(IDE_INFO, prog_ + "doc\\end.txt");
  Shortcut("app.exe", true, false);
  Shortcut("lib\\deep\\data.bin", false, true);
  RunEntry("tools\\first.exe", false, true);
  RunEntry("tools\\asking.exe", false, false);
  RunEntry("tools\\cleanup.exe", true, false);
  // Each value as entered in the registry editor, and as the installation writes it (strings without
  // their terminator).
  const struct {
    const char* name;
    const char* value;
    const char* type;
    bool dynam;
    DWORD regType;
    std::string data;
  } values[] = {
      {"Bin", "0a 0B", "REG_BINARY", false, REG_BINARY, std::string("\x0a\x0b", 2)},
      {"Count", "42", "REG_DWORD", false, REG_DWORD, std::string("\x2a\0\0\0", 4)},
      {"Path", "%SystemRoot%\\x", "REG_EXPAND_SZ", false, REG_EXPAND_SZ, "%SystemRoot%\\x"},
      {"Where", "lib\\deep\\data.bin", "REG_EXPAND_SZ", true, REG_EXPAND_SZ, target_ + "\\lib\\deep\\data.bin"},
      {"Text", "\"cytat\"", "REG_SZ", false, REG_SZ, "\"cytat\""},
      {"Single", "'single'", "REG_SZ", false, REG_SZ, "'single'"},
      {"Padded", "  padded  ", "REG_SZ", false, REG_SZ, "  padded  "},
  };
  for (const auto& v : values) RegistryValue(v.name, v.value, v.type, v.dynam);

  Press(main_, IDB_BUILD);
  ASSERT_TRUE(uitest::WaitFor([] { return BuildRunning(); }, 10000));
  ASSERT_TRUE(uitest::WaitFor([] { return !BuildRunning(); }, 60000));

  Ran r = Run(setup, "/S /D=" + target_);
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(0u, r.code) << r.err;
  for (const char* f : {"app.exe", "doc\\end.txt", "lib\\deep\\data.bin", "licencja.txt", "tools\\first.exe"})
    EXPECT_TRUE(Slurp(target_ + "\\" + f) == Slurp(prog_ + f)) << f;
  std::string target, dir;
  ASSERT_TRUE(ReadLink(commonDesktop_ + "\\app.lnk", &target, &dir));  // Wine runs it elevated: all users
  EXPECT_EQ(target_ + "\\app.exe", target);
  ASSERT_TRUE(ReadLink(commonPrograms_ + "\\" + kName + "\\data.lnk", &target, &dir));
  EXPECT_EQ(target_ + "\\lib\\deep\\data.bin", target);
  EXPECT_FALSE(PathExists(commonDesktop_ + "\\data.lnk"));
  EXPECT_TRUE(PathExists(probe_ + "first.exe.ran"));    // silent: run
  EXPECT_FALSE(PathExists(probe_ + "asking.exe.ran"));  // would ask: skipped when silent
  DWORD type = 0;
  std::string data;
  for (const auto& v : values) {
    SCOPED_TRACE(v.name);
    ASSERT_TRUE(RegGet(HKEY_CURRENT_USER, kRegKey, v.name, &type, &data));
    EXPECT_EQ(v.regType, type);
    EXPECT_EQ(v.data, type == REG_SZ || type == REG_EXPAND_SZ ? std::string(data.c_str()) : data);
  }
  ASSERT_TRUE(RegGet(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName", &type, &data));
  EXPECT_EQ(kName, std::string(data.c_str()));

  uitest::WriteFile(target_ + "\\mine.txt", "the user's own");
  Ran u = Run(target_ + "\\UnInst.exe", "/S");
  ASSERT_TRUE(u.finished);
  EXPECT_EQ(0u, u.code) << u.err;
  EXPECT_TRUE(uitest::WaitFor([&] { return !PathExists(target_ + "\\app.exe"); }));
  EXPECT_TRUE(PathExists(probe_ + "cleanup.exe.ran"));
  EXPECT_FALSE(PathExists(target_ + "\\lib"));
  EXPECT_FALSE(PathExists(commonDesktop_ + "\\app.lnk"));
  EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
  for (const auto& v : values) EXPECT_FALSE(RegGet(HKEY_CURRENT_USER, kRegKey, v.name, &type, &data)) << v.name;
  EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, kRegKey));
  EXPECT_EQ("the user's own", Slurp(target_ + "\\mine.txt"));
}
}  // namespace
