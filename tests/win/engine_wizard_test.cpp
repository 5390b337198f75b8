// The installer's wizard driven as a user drives it: pages, licence, folder, questions, closing page.
#include <windows.h>
#include <commctrl.h>

#include "engine/resource.h"
#include "setupfixture.h"
#include "uitest.h"

using namespace enginetest;

namespace {
const char kName[] = "Wizard Próba";
const char kCaption[] = "Instalator programu Wizard Próba";
const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Wizard Próba";
const char kLicence[] = "Umowa licencyjna.\r\nPunkt 1: wolno.\r\n";

class EngineWizard : public SetupTest {
 protected:
  void SetUp() override {
    SetupTest::SetUp();
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kUninstallKey);
    Put("app.exe", std::string(5000, 'a'));
    Put("doc\\end.txt", "Dziękujemy.\nDo zobaczenia.\n");
    CopyProbe("quiet.exe");
    CopyProbe("asking.exe");
    std::string init = cfg_ + "init.cfg";
    Ini(init, "cfg", "1", kName);
    Ini(init, "cfg", "2", "umowa.txt");
    Ini(init, "cfg", "3", "doc\\end.txt");
    uitest::WriteFile(cfg_ + "umowa.txt", kLicence);
    Ini(init, "Run", "1", "quiet.exe");
    Ini(init, "silent", "1", "1");
    Ini(init, "Run", "2", "asking.exe");
    Ini(init, "silent", "2", "0");
    Ini(init, "index", "max", "3");
    setup_ = root_ + "setup.exe";
    Build(setup_);
  }
  void TearDown() override {
    if (pi_.hProcess) {
      if (WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(pi_.hProcess, 99);
      CloseHandle(pi_.hProcess);
      CloseHandle(pi_.hThread);
    }
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kUninstallKey);
    SetupTest::TearDown();
  }

  HWND Open(const std::string& args, const char* caption = kCaption) {
    pi_ = Start(setup_, args);
    return WaitWindow(pi_.dwProcessId, "#32770", caption);
  }
  void Press(HWND dlg, int id) { PostMessageA(GetDlgItem(dlg, id), BM_CLICK, 0, 0); }
  bool Shown(HWND dlg, int id) { return IsWindowVisible(GetDlgItem(dlg, id)) != FALSE; }
  bool Enabled(HWND dlg, int id) { return IsWindowEnabled(GetDlgItem(dlg, id)) != FALSE; }
  bool WaitTitle(HWND dlg, const std::string& title) {
    return uitest::WaitFor([&] { return ItemText(dlg, IDS_TITLE) == title; });
  }
  // From the welcome page, the licence accepted, to the folder page.
  bool ToFolderPage(HWND dlg) {
    Press(dlg, IDB_NEXT);
    if (!WaitTitle(dlg, "Umowa licencyjna")) return false;
    Press(dlg, IDR_ACCEPT);
    if (!uitest::WaitFor([&] { return Enabled(dlg, IDB_NEXT); })) return false;
    Press(dlg, IDB_NEXT);
    return WaitTitle(dlg, "Folder instalacji");
  }
  DWORD ExitCode(DWORD ms = 30000) {
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(pi_.hProcess, ms));
    DWORD code = 99;
    GetExitCodeProcess(pi_.hProcess, &code);
    return code;
  }

  std::string setup_;
  PROCESS_INFORMATION pi_ = {};
};

TEST_F(EngineWizard, RunsThroughItsPagesInstallsAndShowsTheClosingInformation) {
  HWND dlg = Open("");
  ASSERT_TRUE(dlg);
  EXPECT_EQ("Witamy w instalatorze programu Wizard Próba", ItemText(dlg, IDS_TITLE));
  EXPECT_EQ("Dalej >", ItemText(dlg, IDB_NEXT));
  EXPECT_EQ("< Wstecz", ItemText(dlg, IDB_BACK));
  EXPECT_EQ("Anuluj", ItemText(dlg, IDCANCEL));
  EXPECT_FALSE(Enabled(dlg, IDB_BACK));
  EXPECT_FALSE(Shown(dlg, IDE_LICENCE));

  // Licence: shown as written; no way on until it is accepted.
  Press(dlg, IDB_NEXT);
  ASSERT_TRUE(WaitTitle(dlg, "Umowa licencyjna"));
  EXPECT_EQ(kLicence, ItemText(dlg, IDE_LICENCE));
  EXPECT_TRUE(Shown(dlg, IDE_LICENCE));
  EXPECT_EQ("Akceptuję warunki umowy licencyjnej", ItemText(dlg, IDR_ACCEPT));
  EXPECT_FALSE(Enabled(dlg, IDB_NEXT));
  Press(dlg, IDR_ACCEPT);
  ASSERT_TRUE(uitest::WaitFor([&] { return Enabled(dlg, IDB_NEXT); }));
  Press(dlg, IDB_BACK);
  ASSERT_TRUE(WaitTitle(dlg, "Witamy w instalatorze programu Wizard Próba"));
  Press(dlg, IDB_NEXT);
  ASSERT_TRUE(WaitTitle(dlg, "Umowa licencyjna"));
  EXPECT_TRUE(Enabled(dlg, IDB_NEXT));  // the choice is kept
  Press(dlg, IDB_NEXT);

  // Folder: the program files folder and the name by default.
  ASSERT_TRUE(WaitTitle(dlg, "Folder instalacji"));
  EXPECT_TRUE(Shown(dlg, IDE_FOLDER));
  EXPECT_FALSE(Shown(dlg, IDE_LICENCE));
  EXPECT_EQ("C:\\Program Files\\Wizard Próba", ItemText(dlg, IDE_FOLDER));
  EXPECT_EQ("Instaluj", ItemText(dlg, IDB_NEXT));
  SendMessageA(GetDlgItem(dlg, IDE_FOLDER), WM_SETTEXT, 0, (LPARAM) "no drive here");
  Press(dlg, IDB_NEXT);
  EXPECT_EQ("Podaj pełną ścieżkę folderu, na przykład C:\\Program Files\\Program.", AnswerBox(pi_.dwProcessId, IDOK));
  EXPECT_EQ("Folder instalacji", ItemText(dlg, IDS_TITLE));
  EXPECT_FALSE(PathExists(root_ + "Installed"));
  SendMessageA(GetDlgItem(dlg, IDE_FOLDER), WM_SETTEXT, 0, (LPARAM)target_.c_str());
  Press(dlg, IDB_NEXT);

  // The run entry that asks, asks; the silent one does not.
  EXPECT_EQ("Czy uruchomić asking.exe?", AnswerBox(pi_.dwProcessId, IDYES));
  ASSERT_TRUE(WaitTitle(dlg, "Instalacja zakończona"));
  EXPECT_EQ("Program Wizard Próba został zainstalowany na tym komputerze.", ItemText(dlg, IDS_TEXT));
  EXPECT_EQ("Dziękujemy.\r\nDo zobaczenia.\r\n", ItemText(dlg, IDE_INFO));
  EXPECT_TRUE(Shown(dlg, IDE_INFO));
  EXPECT_EQ("Zakończ", ItemText(dlg, IDB_NEXT));
  EXPECT_EQ(100, (int)SendMessageA(GetDlgItem(dlg, IDP_PROGRESS), PBM_GETPOS, 0, 0));
  Press(dlg, IDB_NEXT);
  EXPECT_EQ(0u, ExitCode());
  EXPECT_TRUE(PathExists(probe_ + "quiet.exe.ran"));
  EXPECT_TRUE(PathExists(probe_ + "asking.exe.ran"));
  EXPECT_EQ(std::string(5000, 'a'), Slurp(target_ + "\\app.exe"));

  // The uninstaller asks first and says when it is done.
  PROCESS_INFORMATION un = Start(target_ + "\\UnInst.exe", "");
  EXPECT_EQ("Czy na pewno usunąć program Wizard Próba i wszystkie jego składniki?", AnswerBox(un.dwProcessId, IDYES));
  EXPECT_EQ("Program Wizard Próba został usunięty z komputera.", AnswerBox(un.dwProcessId, IDOK));
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(un.hProcess, 30000));
  CloseHandle(un.hProcess);
  CloseHandle(un.hThread);
  EXPECT_TRUE(uitest::WaitFor([&] { return !PathExists(target_); }, 20000));
}

TEST_F(EngineWizard, DecliningTheLicenceInstallsNothing) {
  HWND dlg = Open("");
  ASSERT_TRUE(dlg);
  Press(dlg, IDB_NEXT);
  ASSERT_TRUE(WaitTitle(dlg, "Umowa licencyjna"));
  Press(dlg, IDR_ACCEPT);
  ASSERT_TRUE(uitest::WaitFor([&] { return Enabled(dlg, IDB_NEXT); }));
  Press(dlg, IDR_DECLINE);
  ASSERT_TRUE(uitest::WaitFor([&] { return !Enabled(dlg, IDB_NEXT); }));
  // Even a click that reaches the button does not go on.
  PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(IDB_NEXT, BN_CLICKED), 0);
  Sleep(300);
  EXPECT_EQ("Umowa licencyjna", ItemText(dlg, IDS_TITLE));
  // Cancelling asks; "no" stays, "yes" ends without installing.
  Press(dlg, IDCANCEL);
  EXPECT_EQ("Czy na pewno przerwać instalację?", AnswerBox(pi_.dwProcessId, IDNO));
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(pi_.hProcess, 300));
  Press(dlg, IDCANCEL);
  EXPECT_EQ("Czy na pewno przerwać instalację?", AnswerBox(pi_.dwProcessId, IDYES));
  EXPECT_EQ(1u, ExitCode());
  EXPECT_FALSE(PathExists(root_ + "Installed"));
  EXPECT_FALSE(PathExists("C:\\Program Files\\Wizard Próba"));
  EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
  EXPECT_FALSE(PathExists(probe_ + "quiet.exe.ran"));
}

// Makes the run probe the handler of .html files for as long as it lives, then puts back what was.
class HtmlHandler {
 public:
  explicit HtmlHandler(const std::string& exe) {
    std::string command = "\"" + exe + "\" \"%1\"";
    Set(kProgId + std::string("\\shell\\open\\command"), command);
    DWORD type = 0;
    had_ = RegGet(HKEY_CLASSES_ROOT, ".html", "", &type, &old_);
    Set(".html", kProgId);
  }
  ~HtmlHandler() {
    if (had_)
      Set(".html", old_.c_str());
    else
      RegDeleteTreeA(HKEY_CLASSES_ROOT, ".html");
    RegDeleteTreeA(HKEY_CLASSES_ROOT, kProgId);
  }

 private:
  static constexpr const char* kProgId = "PrEngineTest.html";
  static void Set(const std::string& key, const std::string& value) {
    HKEY k;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr) != ERROR_SUCCESS)
      return;
    RegSetValueExA(k, nullptr, 0, REG_SZ, (const BYTE*)value.c_str(), (DWORD)value.size() + 1);
    RegCloseKey(k);
  }
  bool had_ = false;
  std::string old_;
};

TEST_F(EngineWizard, HtmlClosingInformationOpensWithTheSystemsHandler) {
  // The handler of .html files stands in for the browser: the run probe, which notes the command
  // line it was given.
  std::string viewer = root_ + "viewer.exe";
  ASSERT_TRUE(CopyFileA((uitest::ExeDir() + "engine_runprobe.exe").c_str(), viewer.c_str(), FALSE));
  HtmlHandler handler(viewer);
  Put("doc\\info.html", "<p>Dzięki</p>");
  Ini(cfg_ + "init.cfg", "cfg", "3", "doc\\info.html");
  Ini(cfg_ + "init.cfg", "index", "max", "1");  // no run entries this time
  Build(setup_);
  HWND dlg = Open("");
  ASSERT_TRUE(dlg);
  ASSERT_TRUE(ToFolderPage(dlg));
  SendMessageA(GetDlgItem(dlg, IDE_FOLDER), WM_SETTEXT, 0, (LPARAM)target_.c_str());
  Press(dlg, IDB_NEXT);
  ASSERT_TRUE(WaitTitle(dlg, "Instalacja zakończona"));
  EXPECT_EQ("Informacje o programie zostały otwarte w przeglądarce.", ItemText(dlg, IDE_INFO));
  ASSERT_TRUE(uitest::WaitFor([&] { return PathExists(probe_ + "viewer.exe.ran"); }, 20000));
  EXPECT_NE(std::string::npos, Slurp(probe_ + "viewer.exe.ran").find(target_ + "\\doc\\info.html"))
      << Slurp(probe_ + "viewer.exe.ran");
  Press(dlg, IDB_NEXT);
  EXPECT_EQ(0u, ExitCode());
  Run(target_ + "\\UnInst.exe", "/S");
  EXPECT_TRUE(uitest::WaitFor([&] { return !PathExists(target_); }, 20000));
}

TEST_F(EngineWizard, TheEnglishSetOnRequest) {
  HWND dlg = Open("/L=en", "Wizard Próba Setup");
  ASSERT_TRUE(dlg);
  EXPECT_EQ("Welcome to the Wizard Próba Setup", ItemText(dlg, IDS_TITLE));
  EXPECT_EQ("Next >", ItemText(dlg, IDB_NEXT));
  Press(dlg, IDB_NEXT);
  ASSERT_TRUE(WaitTitle(dlg, "License Agreement"));
  EXPECT_EQ("I do not accept the terms of the license agreement", ItemText(dlg, IDR_DECLINE));
  PostMessageA(dlg, WM_CLOSE, 0, 0);
  EXPECT_EQ("Are you sure you want to cancel the installation?", AnswerBox(pi_.dwProcessId, IDYES));
  EXPECT_EQ(1u, ExitCode());
}

TEST_F(EngineWizard, TheFolderPickerCanBeOpenedAndCancelled) {
  HWND dlg = Open("");
  ASSERT_TRUE(dlg);
  ASSERT_TRUE(ToFolderPage(dlg));
  EXPECT_EQ("Przeglądaj...", ItemText(dlg, IDB_BROWSE));
  Press(dlg, IDB_BROWSE);
  // The system's folder browser, owned by the wizard, which waits for it.
  HWND picker = WaitWindow(pi_.dwProcessId, "#32770", nullptr, 20000, dlg);
  ASSERT_TRUE(picker);
  EXPECT_EQ(dlg, GetWindow(picker, GW_OWNER));
  EXPECT_FALSE(IsWindowEnabled(dlg));
  PostMessageA(picker, WM_COMMAND, IDCANCEL, 0);
  ASSERT_TRUE(uitest::WaitFor([&] { return IsWindowEnabled(dlg) != FALSE; }));
  EXPECT_EQ("C:\\Program Files\\Wizard Próba", ItemText(dlg, IDE_FOLDER));
  Press(dlg, IDCANCEL);
  EXPECT_EQ("Czy na pewno przerwać instalację?", AnswerBox(pi_.dwProcessId, IDYES));
  EXPECT_EQ(1u, ExitCode());
}
}  // namespace
