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
    RegDeleteTreeA(HKEY_CURRENT_USER, kUninstallKey);
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
    RegDeleteTreeA(HKEY_CURRENT_USER, kUninstallKey);
    SetupTest::TearDown();
  }

  HWND Open(const std::string& args, const char* caption = kCaption) {
    pi_ = Start(setup_, args);
    return WaitWindow(pi_.dwProcessId, "#32770", caption);
  }
  void Press(HWND dlg, int id) { PostMessageA(GetDlgItem(dlg, id), BM_CLICK, 0, 0); }
  bool Shown(HWND dlg, int id) { return IsWindowVisible(GetDlgItem(dlg, id)) != FALSE; }
  bool Enabled(HWND dlg, int id) { return IsWindowEnabled(GetDlgItem(dlg, id)) != FALSE; }
  // A control's text in UTF-8.
  std::string Utf8(HWND dlg, int id) { return TextUtf8(GetDlgItem(dlg, id)); }
  bool WaitTitle(HWND dlg, const std::string& utf8) {
    return uitest::WaitFor([&] { return Utf8(dlg, IDS_TITLE) == utf8; });
  }
  // From the welcome page, the licence accepted, to the folder page.
  bool ToFolderPage(HWND dlg) {
    Press(dlg, IDB_NEXT);
    if (!WaitTitle(dlg, u8"Umowa licencyjna")) return false;
    Press(dlg, IDR_ACCEPT);
    if (!uitest::WaitFor([&] { return Enabled(dlg, IDB_NEXT); })) return false;
    Press(dlg, IDB_NEXT);
    return WaitTitle(dlg, u8"Folder instalacji");
  }
  // The page's title, and its side picture or its header band (subtitle, emblem, etched line).
  void ExpectLook(HWND dlg, const char* title, const char* subtitle) {
    SCOPED_TRACE(title);
    EXPECT_EQ(title, Utf8(dlg, IDS_TITLE));
    bool side = subtitle == nullptr;
    EXPECT_EQ(side, Shown(dlg, IDS_SIDE));
    EXPECT_EQ(!side, Shown(dlg, IDS_EMBLEM));
    EXPECT_EQ(!side, Shown(dlg, IDS_HEADLINE));
    EXPECT_EQ(!side, Shown(dlg, IDS_SUBTITLE));
    if (!side) {
      EXPECT_EQ(subtitle, Utf8(dlg, IDS_SUBTITLE));
    }
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
  ASSERT_TRUE(WaitTitle(dlg, u8"Umowa licencyjna"));
  EXPECT_EQ(kLicence, ItemText(dlg, IDE_LICENCE));
  EXPECT_TRUE(Shown(dlg, IDE_LICENCE));
  EXPECT_EQ("Akceptuję warunki umowy licencyjnej", ItemText(dlg, IDR_ACCEPT));
  EXPECT_FALSE(Enabled(dlg, IDB_NEXT));
  Press(dlg, IDR_ACCEPT);
  ASSERT_TRUE(uitest::WaitFor([&] { return Enabled(dlg, IDB_NEXT); }));
  Press(dlg, IDB_BACK);
  ASSERT_TRUE(WaitTitle(dlg, u8"Witamy w instalatorze programu Wizard Próba"));
  Press(dlg, IDB_NEXT);
  ASSERT_TRUE(WaitTitle(dlg, u8"Umowa licencyjna"));
  EXPECT_TRUE(Enabled(dlg, IDB_NEXT));  // the choice is kept
  Press(dlg, IDB_NEXT);

  // Folder: the program files folder and the name by default.
  ASSERT_TRUE(WaitTitle(dlg, u8"Folder instalacji"));
  EXPECT_TRUE(Shown(dlg, IDE_FOLDER));
  EXPECT_FALSE(Shown(dlg, IDE_LICENCE));
  EXPECT_EQ("C:\\Program Files\\Wizard Próba", ItemText(dlg, IDE_FOLDER));
  EXPECT_EQ("Instaluj", ItemText(dlg, IDB_NEXT));
  SendMessageA(GetDlgItem(dlg, IDE_FOLDER), WM_SETTEXT, 0, (LPARAM) "no drive here");
  Press(dlg, IDB_NEXT);
  EXPECT_EQ(u8"Podaj pełną ścieżkę folderu, na przykład C:\\Program Files\\Program.", AnswerBox(pi_.dwProcessId, IDOK));
  EXPECT_EQ("Folder instalacji", ItemText(dlg, IDS_TITLE));
  EXPECT_FALSE(PathExists(root_ + "Installed"));
  SendMessageA(GetDlgItem(dlg, IDE_FOLDER), WM_SETTEXT, 0, (LPARAM)target_.c_str());
  Press(dlg, IDB_NEXT);

  // The run entry that asks, asks; the silent one does not.
  EXPECT_EQ(u8"Czy uruchomić asking.exe?", AnswerBox(pi_.dwProcessId, IDYES));
  ASSERT_TRUE(WaitTitle(dlg, u8"Instalacja zakończona"));
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

  Run(target_ + "\\UnInst.exe", "/S");
  EXPECT_TRUE(uitest::WaitFor([&] { return !PathExists(target_); }, 20000));
}

TEST_F(EngineWizard, DecliningTheLicenceInstallsNothing) {
  HWND dlg = Open("");
  ASSERT_TRUE(dlg);
  Press(dlg, IDB_NEXT);
  ASSERT_TRUE(WaitTitle(dlg, u8"Umowa licencyjna"));
  Press(dlg, IDR_ACCEPT);
  ASSERT_TRUE(uitest::WaitFor([&] { return Enabled(dlg, IDB_NEXT); }));
  Press(dlg, IDR_DECLINE);
  ASSERT_TRUE(uitest::WaitFor([&] { return !Enabled(dlg, IDB_NEXT); }));
  // Even a click that reaches the button does not go on (sent: handled when it returns).
  ASSERT_TRUE(SendMessageTimeoutA(dlg, WM_COMMAND, MAKEWPARAM(IDB_NEXT, BN_CLICKED), 0, SMTO_NORMAL, 10000, nullptr));
  EXPECT_EQ("Umowa licencyjna", ItemText(dlg, IDS_TITLE));
  // Cancelling asks; "no" stays (the wizard asks again), "yes" ends without installing.
  Press(dlg, IDCANCEL);
  EXPECT_EQ(u8"Czy na pewno przerwać instalację?", AnswerBox(pi_.dwProcessId, IDNO));
  Press(dlg, IDCANCEL);
  EXPECT_EQ(u8"Czy na pewno przerwać instalację?", AnswerBox(pi_.dwProcessId, IDYES));
  EXPECT_EQ(1u, ExitCode());
  EXPECT_FALSE(PathExists(root_ + "Installed"));
  EXPECT_FALSE(PathExists("C:\\Program Files\\Wizard Próba"));
  EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
  EXPECT_FALSE(PathExists(probe_ + "quiet.exe.ran"));
}

// Every page of the installer and of its uninstaller in each language: title, side picture or header
// band with its subtitle, and the progress page caught while the question whether to cancel is up.
struct PageText {
  const char* title;
  const char* subtitle;  // nullptr: a page with the side picture
};
struct LanguageCase {
  const char* args;
  const char* caption;
  PageText welcome, licence, folder, progress, done;
  const char* spaceNeed;
  const char* spaceFree;
  const char* cancelAsk;
  const char* runAsk;
  const char* unCaption;
  PageText unAsk, unDone;
  const char* unAskText;
  const char* unDoneText;
};
const LanguageCase kLanguages[] = {
    {u8"", u8"Instalator programu Wizard Próba",
     {u8"Witamy w instalatorze programu Wizard Próba", nullptr},
     {u8"Umowa licencyjna", u8"Przed instalacją programu Wizard Próba przeczytaj warunki licencji."},
     {u8"Folder instalacji", u8"Wybierz folder, w którym zostanie zainstalowany program Wizard Próba."},
     {u8"Instalowanie", u8"Poczekaj, trwa instalowanie programu Wizard Próba."},
     {u8"Instalacja zakończona", nullptr},
     u8"Wymagane miejsce: ", u8"Dostępne miejsce: ", u8"Czy na pewno przerwać instalację?", u8"Czy uruchomić asking.exe?",
     u8"Deinstalator programu Wizard Próba",
     {u8"Usuwanie programu Wizard Próba", u8"Program Wizard Próba zostanie usunięty z tego komputera."},
     {u8"Usuwanie zakończone", u8""},
     u8"Czy na pewno usunąć program Wizard Próba i wszystkie jego składniki?",
     u8"Program Wizard Próba został usunięty z komputera."},
    {u8"/L=en", u8"Wizard Próba Setup",
     {u8"Welcome to the Wizard Próba Setup", nullptr},
     {u8"License Agreement", u8"Please review the license terms before installing Wizard Próba."},
     {u8"Installation Folder", u8"Choose the folder in which to install Wizard Próba."},
     {u8"Installing", u8"Please wait while Wizard Próba is being installed."},
     {u8"Installation Complete", nullptr},
     u8"Space required: ", u8"Space available: ", u8"Are you sure you want to cancel the installation?", u8"Run asking.exe?",
     u8"Wizard Próba Uninstall",
     {u8"Uninstall Wizard Próba", u8"Wizard Próba will be removed from this computer."},
     {u8"Uninstall Complete", u8""},
     u8"Are you sure you want to remove Wizard Próba and all of its components?",
     u8"Wizard Próba has been removed from your computer."},
    {u8"/L=ja", u8"Wizard Próba セットアップ",
     {u8"Wizard Próba セットアップ ウィザードへようこそ", nullptr},
     {u8"使用許諾契約", u8"Wizard Próba の使用許諾契約をお読みください。"},
     {u8"インストール先フォルダー", u8"Wizard Próba のインストール先フォルダーを選んでください。"},
     {u8"インストール中", u8"Wizard Próba をインストールしています。お待ちください。"},
     {u8"インストールの完了", nullptr},
     u8"必要な空き容量: ", u8"利用可能な空き容量: ", u8"インストールを中止してもよろしいですか?", u8"asking.exe を実行しますか?",
     u8"Wizard Próba アンインストール",
     {u8"Wizard Próba のアンインストール", u8"Wizard Próba をこのコンピューターから削除します。"},
     {u8"アンインストールの完了", u8""},
     u8"Wizard Próba とそのすべてのコンポーネントを削除してもよろしいですか?",
     u8"Wizard Próba はコンピューターから削除されました。"},
};

TEST_F(EngineWizard, EveryPageShowsItsHeaderOrSidePictureInItsLanguage) {
  for (const LanguageCase& c : kLanguages) {
    SCOPED_TRACE(c.caption);
    HWND dlg = Open(c.args, nullptr);
    ASSERT_TRUE(dlg);
    EXPECT_EQ(c.caption, TextUtf8(dlg));
    ExpectLook(dlg, c.welcome.title, c.welcome.subtitle);
    Press(dlg, IDB_NEXT);
    ASSERT_TRUE(WaitTitle(dlg, c.licence.title));
    ExpectLook(dlg, c.licence.title, c.licence.subtitle);
    Press(dlg, IDR_ACCEPT);
    ASSERT_TRUE(uitest::WaitFor([&] { return Enabled(dlg, IDB_NEXT); }));
    Press(dlg, IDB_NEXT);
    ASSERT_TRUE(WaitTitle(dlg, c.folder.title));
    ExpectLook(dlg, c.folder.title, c.folder.subtitle);
    EXPECT_EQ(0u, Utf8(dlg, IDS_SPACE_NEED).find(c.spaceNeed));
    EXPECT_EQ(0u, Utf8(dlg, IDS_SPACE_FREE).find(c.spaceFree));
    SendMessageA(GetDlgItem(dlg, IDE_FOLDER), WM_SETTEXT, 0, (LPARAM)target_.c_str());
    // Install, and at once Cancel: the installation waits while the user is asked; "no" goes on.
    Press(dlg, IDB_NEXT);
    Press(dlg, IDCANCEL);
    ASSERT_TRUE(WaitTitle(dlg, c.progress.title));
    ExpectLook(dlg, c.progress.title, c.progress.subtitle);
    EXPECT_TRUE(Shown(dlg, IDP_PROGRESS));
    EXPECT_EQ(c.cancelAsk, AnswerBox(pi_.dwProcessId, IDNO));
    EXPECT_EQ(c.runAsk, AnswerBox(pi_.dwProcessId, IDNO));
    ASSERT_TRUE(WaitTitle(dlg, c.done.title));
    ExpectLook(dlg, c.done.title, c.done.subtitle);
    Press(dlg, IDB_NEXT);
    EXPECT_EQ(0u, ExitCode());
    CloseHandle(pi_.hProcess);
    CloseHandle(pi_.hThread);
    pi_ = {};

    // The uninstaller: the same header band over its question, its progress and its result.
    pi_ = Start(target_ + "\\UnInst.exe", "");
    // In the installation's language, whatever the user's.
    HWND un = WaitWindow(pi_.dwProcessId, "#32770", nullptr);
    ASSERT_TRUE(un);
    EXPECT_EQ(c.unCaption, TextUtf8(un));
    ExpectLook(un, c.unAsk.title, c.unAsk.subtitle);
    EXPECT_EQ(c.unAskText, Utf8(un, IDS_TEXT));
    Press(un, IDB_NEXT);
    ASSERT_TRUE(WaitTitle(un, c.unDone.title));
    ExpectLook(un, c.unDone.title, c.unDone.subtitle);
    EXPECT_EQ(c.unDoneText, Utf8(un, IDS_TEXT));
    EXPECT_EQ(100, (int)SendMessageA(GetDlgItem(un, IDP_PROGRESS), PBM_GETPOS, 0, 0));
    Press(un, IDB_NEXT);
    EXPECT_EQ(0u, ExitCode());
    CloseHandle(pi_.hProcess);
    CloseHandle(pi_.hThread);
    pi_ = {};
    EXPECT_TRUE(uitest::WaitFor([&] { return !PathExists(target_); }, 20000));
  }
}

// The folder page looks for the program's registration: an installation of this installer is
// proposed and said to be upgraded; what cannot be read is named and left alone. The welcome and
// folder pages name the version the build found.
TEST_F(EngineWizard, TheFolderPageSaysWhatItFoundUnderTheProgramsRegistration) {
  Ini(cfg_ + "init.cfg", "cfg", "4", "2.5.0.1");
  Build(setup_);
  const std::string old = root_ + "Old", fresh = u8"C:\\Program Files\\Wizard Próba";
  const std::string ours = "\"" + old + "\\UnInst.exe\"", goodLog = u8"PRLOG 2\r\nP\tWizard Próba\r\n";
  const struct {
    const char* what;
    HKEY root;
    bool folder;
    std::string log, uninstall;
    bool copy;
    const char* args;
    std::string proposed, line;
  } cases[] = {
      {"installed here", HKEY_LOCAL_MACHINE, true, goodLog, ours, true, "", old,
       u8"Program jest już zainstalowany w tym folderze: zostanie uaktualniony."},
      {"folder gone", HKEY_LOCAL_MACHINE, false, "", ours, true, "", fresh,
       u8"Program był zainstalowany w folderze " + old + u8", którego już nie ma: zostanie zainstalowany od nowa."},
      {"damaged log", HKEY_LOCAL_MACHINE, true, "PRLOG 2\r\nnonsense\r\n", ours, true, "", old,
       u8"Dziennik deinstalacji w folderze " + old +
           u8" jest uszkodzony: program zostanie zainstalowany od nowa, a dziennik zachowany jako UnInst.log.old."},
      {"another tool's", HKEY_LOCAL_MACHINE, true, goodLog, "C:\\Other\\uninstall.exe", false, "", fresh,
       u8"Pod tą nazwą jest zarejestrowany inny program (folder " + old +
           u8"); pozostanie bez zmian, a ten zostanie zainstalowany od nowa."},
      {"the other scope", HKEY_CURRENT_USER, true, goodLog, ours, true, "/ALLUSERS", fresh,
       u8"Program jest też zainstalowany dla bieżącego użytkownika w folderze " + old + "."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    RemoveDirectoryA(old.c_str());
    DeleteFileA((old + "\\UnInst.log").c_str());
    RemoveDirectoryA(old.c_str());
    if (c.folder) CreateDirectoryA(old.c_str(), nullptr);
    if (!c.log.empty()) uitest::WriteFile(old + "\\UnInst.log", c.log);
    HKEY k;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(c.root, kUninstallKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr));
    RegSetValueExA(k, "InstallLocation", 0, REG_SZ, (const BYTE*)old.c_str(), (DWORD)old.size() + 1);
    RegSetValueExA(k, "UninstallString", 0, REG_SZ, (const BYTE*)c.uninstall.c_str(), (DWORD)c.uninstall.size() + 1);
    if (c.copy) RegSetValueExA(k, "PackriftLog", 0, REG_BINARY, (const BYTE*)"PRLOG 2\r\n", 9);
    RegCloseKey(k);

    HWND dlg = Open(c.args);
    ASSERT_TRUE(dlg);
    EXPECT_EQ(u8"Witamy w instalatorze programu Wizard Próba 2.5.0.1", Utf8(dlg, IDS_TITLE));
    ASSERT_TRUE(ToFolderPage(dlg));
    EXPECT_EQ(u8"Wybierz folder, w którym zostanie zainstalowany program Wizard Próba 2.5.0.1.", Utf8(dlg, IDS_SUBTITLE));
    EXPECT_EQ(c.proposed, Utf8(dlg, IDE_FOLDER));
    EXPECT_EQ(c.line, Utf8(dlg, IDS_FOUND));
    EXPECT_TRUE(Shown(dlg, IDS_FOUND));
    if (c.root == HKEY_LOCAL_MACHINE && c.folder && c.copy) {
      // Another folder leaves the found installation as it is, and the page says so.
      SendMessageA(GetDlgItem(dlg, IDE_FOLDER), WM_SETTEXT, 0, (LPARAM)target_.c_str());
      if (c.log == goodLog) {
        EXPECT_EQ(u8"Program jest już zainstalowany w folderze " + old + u8"; ta instalacja pozostanie bez zmian.",
                  Utf8(dlg, IDS_FOUND));
      }
    }
    Press(dlg, IDCANCEL);
    EXPECT_EQ(u8"Czy na pewno przerwać instalację?", AnswerBox(pi_.dwProcessId, IDYES));
    EXPECT_EQ(1u, ExitCode());
    CloseHandle(pi_.hProcess);
    CloseHandle(pi_.hThread);
    pi_ = {};
    RegDeleteTreeA(c.root, kUninstallKey);
  }
}

// /L= chooses the wizard's language by its code, letters in any case.
TEST_F(EngineWizard, TheLanguageCodeChoosesTheTexts) {
  const struct {
    const char* args;
    const char* caption;
  } kCodes[] = {
      {"/L=pl", u8"Instalator programu Wizard Próba"},     {"/L=EN", u8"Wizard Próba Setup"},
      {"/L=de", u8"Installation von Wizard Próba"},         {"/L=fr", u8"Installation de Wizard Próba"},
      {"/L=es", u8"Instalación de Wizard Próba"},           {"/L=it", u8"Installazione di Wizard Próba"},
      {"/L=pt-br", u8"Instalação do Wizard Próba"},         {"/L=nl", u8"Installatie van Wizard Próba"},
      {"/L=cs", u8"Instalace programu Wizard Próba"},       {"/L=hu", u8"Wizard Próba telepítése"},
      {"/L=uk", u8"Встановлення програми Wizard Próba"},    {"/L=ru", u8"Установка программы Wizard Próba"},
      {"/L=tr", u8"Wizard Próba Kurulumu"},                 {"/L=ja", u8"Wizard Próba セットアップ"},
      {"/L=zh-CN", u8"Wizard Próba 安装程序"},
  };
  for (const auto& c : kCodes) {
    SCOPED_TRACE(c.args);
    HWND dlg = Open(c.args, nullptr);
    ASSERT_TRUE(dlg);
    EXPECT_EQ(c.caption, TextUtf8(dlg));
    Press(dlg, IDCANCEL);
    AnswerBox(pi_.dwProcessId, IDYES);
    EXPECT_EQ(1u, ExitCode());
    CloseHandle(pi_.hProcess);
    CloseHandle(pi_.hThread);
    pi_ = {};
  }
}

// Sizes as the folder page shows them: KB below 1 MiB, else MB or GB with one decimal.
std::string Figure(uint64_t b) {
  char buf[32];
  if (b < (1u << 20)) {
    snprintf(buf, sizeof buf, "%u KB", (unsigned)((b + 1023) / 1024));
  } else {
    int shift = b < (1ull << 30) ? 20 : 30;
    uint64_t tenths = b * 10 >> shift;
    snprintf(buf, sizeof buf, "%u,%u %s", (unsigned)(tenths / 10), (unsigned)(tenths % 10), shift == 20 ? "MB" : "GB");
  }
  return buf;
}

uint64_t FreeOn(const std::string& path) {
  char root[] = {path[0], ':', '\\', 0};
  ULARGE_INTEGER avail = {};
  return GetDiskFreeSpaceExA(root, &avail, nullptr, nullptr) ? avail.QuadPart : 0;
}

// Bytes of every file below a folder.
uint64_t FolderBytes(const std::string& dir) {
  uint64_t sum = 0;
  ForEachEntry(dir.c_str(), [&](const char* n, GzcKind kind) {
    sum += kind == GZC_KIND_DIR ? FolderBytes(dir + n + "\\") : Slurp(dir + n).size();
  });
  return sum;
}

TEST_F(EngineWizard, FolderPageFiguresMatchTheArchiveAndTheDrive) {
  Put("lib\\big.bin", std::string(1500000, 'b'));
  Build(setup_);
  HWND dlg = Open("");
  ASSERT_TRUE(dlg);
  ASSERT_TRUE(ToFolderPage(dlg));
  uint64_t need = FolderBytes(prog_);
  EXPECT_EQ("Wymagane miejsce: " + Figure(need), ItemText(dlg, IDS_SPACE_NEED));
  // The free space follows the folder as it is typed (read again: other programs write meanwhile).
  EXPECT_TRUE(uitest::WaitFor([&] {
    SendMessageA(GetDlgItem(dlg, IDE_FOLDER), WM_SETTEXT, 0, (LPARAM)target_.c_str());
    return ItemText(dlg, IDS_SPACE_FREE) == "Dostępne miejsce: " + Figure(FreeOn(target_));
  })) << ItemText(dlg, IDS_SPACE_FREE);
  SendMessageA(GetDlgItem(dlg, IDE_FOLDER), WM_SETTEXT, 0, (LPARAM) "Q:\\Nowhere");
  EXPECT_EQ("Dostępne miejsce: nieznane", ItemText(dlg, IDS_SPACE_FREE));

  // A folder that cannot be made (a file stands in its way) is refused before anything changes.
  uitest::WriteFile(root_ + "blocker.txt", "x");
  std::string blocked = root_ + "blocker.txt\\Program";
  SendMessageA(GetDlgItem(dlg, IDE_FOLDER), WM_SETTEXT, 0, (LPARAM)blocked.c_str());
  Press(dlg, IDB_NEXT);
  EXPECT_EQ(u8"Nie można utworzyć folderu " + blocked + u8" ani w nim zapisywać. Wybierz inny folder.",
            AnswerBox(pi_.dwProcessId, IDOK));
  EXPECT_EQ("Folder instalacji", ItemText(dlg, IDS_TITLE));
  EXPECT_EQ("x", Slurp(root_ + "blocker.txt"));
  Press(dlg, IDCANCEL);
  EXPECT_EQ(u8"Czy na pewno przerwać instalację?", AnswerBox(pi_.dwProcessId, IDYES));
  EXPECT_EQ(1u, ExitCode());
}

// Drive S: of the test prefix is a small tmpfs (scripts/wine-prefix mounts it where the machine lets
// root mount one).
TEST_F(EngineWizard, ADriveWithTooLittleFreeSpaceMakesInstallRefuse) {
  uint64_t avail = FreeOn("S:\\");
  if (avail == 0 || avail >= (1u << 20))
    GTEST_SKIP() << "drive S: is not the small tmpfs that scripts/wine-prefix mounts (mounting needs root)";
  Put("lib\\big.bin", std::string(1500000, 'b'));
  Build(setup_);
  HWND dlg = Open("");
  ASSERT_TRUE(dlg);
  ASSERT_TRUE(ToFolderPage(dlg));
  SendMessageA(GetDlgItem(dlg, IDE_FOLDER), WM_SETTEXT, 0, (LPARAM) "S:\\Wizard Próba");
  EXPECT_EQ("Dostępne miejsce: " + Figure(avail), ItemText(dlg, IDS_SPACE_FREE));
  Press(dlg, IDB_NEXT);
  EXPECT_EQ(u8"Na dysku S: jest za mało miejsca: program wymaga " + Figure(FolderBytes(prog_)) + u8", a dostępne jest " +
                Figure(avail) + ". Wybierz inny folder.",
            AnswerBox(pi_.dwProcessId, IDOK));
  EXPECT_EQ("Folder instalacji", ItemText(dlg, IDS_TITLE));
  EXPECT_FALSE(PathExists("S:\\Wizard Próba"));
  Press(dlg, IDCANCEL);
  EXPECT_EQ(u8"Czy na pewno przerwać instalację?", AnswerBox(pi_.dwProcessId, IDYES));
  EXPECT_EQ(1u, ExitCode());
}

// A cancelled installation takes away what it wrote and puts back what it replaced: cancelled before
// the first file is written, and while the files are being written. The folder holds a file of the
// user's own and an older copy of every program file in z\\.
TEST_F(EngineWizard, ACancelledInstallLeavesTheFolderAsItWas) {
  const int kFiles = 160;
  auto name = [](int i) {
    char n[32];
    snprintf(n, sizeof n, "z\\data%03d.bin", i);
    return std::string(n);
  };
  unsigned seed = 7;
  for (int i = 0; i < kFiles; ++i) {
    std::string data(128 * 1024, '\0');
    for (char& ch : data) ch = (char)((seed = seed * 1103515245u + 12345u) >> 16);
    Put(name(i), data);
  }
  for (int run = 0; run < 4; ++run) {
    const bool lzma = run >= 2, whileWriting = run % 2 == 1;
    SCOPED_TRACE(std::string(lzma ? "solid LZMA, " : "gzip members, ") + (whileWriting ? "while writing" : "before writing"));
    if (run % 2 == 0) BuildWithProgramArchive(setup_, ProgramArchive(lzma));
    CreateDirectoryA((root_ + "Installed").c_str(), nullptr);
    CreateDirectoryA(target_.c_str(), nullptr);
    CreateDirectoryA((target_ + "\\z").c_str(), nullptr);
    uitest::WriteFile(target_ + "\\keep.txt", "mine");
    for (int i = 0; i < kFiles; ++i) uitest::WriteFile(target_ + "\\" + name(i), "old");
    HWND dlg = Open("");
    ASSERT_TRUE(dlg);
    ASSERT_TRUE(ToFolderPage(dlg));
    SendMessageA(GetDlgItem(dlg, IDE_FOLDER), WM_SETTEXT, 0, (LPARAM)target_.c_str());
    Press(dlg, IDB_NEXT);
    // The file being written shows under the bar.
    if (whileWriting) {
      ASSERT_TRUE(uitest::WaitFor([&] { return ItemText(dlg, IDS_FILE).find("z\\data") == 0; }));
    }
    Press(dlg, IDCANCEL);
    EXPECT_EQ(u8"Czy na pewno przerwać instalację?", AnswerBox(pi_.dwProcessId, IDYES));
    EXPECT_EQ(u8"Instalacja została przerwana; nic nie zostało zainstalowane.", AnswerBox(pi_.dwProcessId, IDOK));
    EXPECT_EQ(1u, ExitCode());
    CloseHandle(pi_.hProcess);
    CloseHandle(pi_.hThread);
    pi_ = {};
    EXPECT_EQ("mine", Slurp(target_ + "\\keep.txt"));
    for (int i = 0; i < kFiles; ++i) ASSERT_EQ("old", Slurp(target_ + "\\" + name(i))) << name(i);
    // Those alone: nothing written is left, nothing set aside either.
    EXPECT_EQ(4u + 3u * kFiles, FolderBytes(target_ + "\\"));
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    EXPECT_FALSE(PathExists(probe_ + "quiet.exe.ran"));
    uitest::RemoveTree(root_ + "Installed");
  }
}

// A file that a running program holds open: the wizard names it and asks Retry / Cancel, asks again
// while the program holds on, installs once it has let go, and on Cancel puts everything back.
TEST_F(EngineWizard, AFileInUseAsksRetryOrCancel) {
  for (bool retry : {true, false}) {
    SCOPED_TRACE(retry ? "retry" : "cancel");
    CreateDirectoryA((root_ + "Installed").c_str(), nullptr);
    CreateDirectoryA(target_.c_str(), nullptr);
    uitest::WriteFile(target_ + "\\app.exe", "old");
    ASSERT_TRUE(Hold(target_ + "\\app.exe"));
    HWND dlg = Open("");
    ASSERT_TRUE(dlg);
    ASSERT_TRUE(ToFolderPage(dlg));
    SendMessageA(GetDlgItem(dlg, IDE_FOLDER), WM_SETTEXT, 0, (LPARAM)target_.c_str());
    Press(dlg, IDB_NEXT);
    const std::string question = u8"Plik " + target_ + u8"\\app.exe jest używany przez inny program.";
    EXPECT_EQ(0u, AnswerBox(pi_.dwProcessId, IDRETRY).find(question));
    ASSERT_TRUE(WaitWindow(pi_.dwProcessId, "#32770", kCaption, 20000, dlg));  // still held: asked again
    if (retry) Release();
    EXPECT_EQ(0u, AnswerBox(pi_.dwProcessId, retry ? IDRETRY : IDCANCEL).find(question));
    if (retry) {
      EXPECT_EQ(u8"Czy uruchomić asking.exe?", AnswerBox(pi_.dwProcessId, IDNO));
      ASSERT_TRUE(WaitTitle(dlg, u8"Instalacja zakończona"));
      Press(dlg, IDB_NEXT);
    } else {
      EXPECT_EQ(u8"Instalacja została przerwana; nic nie zostało zainstalowane.", AnswerBox(pi_.dwProcessId, IDOK));
    }
    EXPECT_EQ(retry ? 0u : 1u, ExitCode());
    CloseHandle(pi_.hProcess);
    CloseHandle(pi_.hThread);
    pi_ = {};
    Release();
    EXPECT_EQ(retry ? std::string(5000, 'a') : "old", Slurp(target_ + "\\app.exe"));
    EXPECT_EQ(retry, PathExists(target_ + "\\doc\\end.txt"));
    EXPECT_FALSE(PathExists(target_ + "\\app.exe.prsave"));
    uitest::RemoveTree(root_ + "Installed");
  }
}

// The uninstaller asks the same about a file in use; a file it still cannot remove is left to the
// next restart and named in its last words.
TEST_F(EngineWizard, TheUninstallerLeavesAFileInUseToTheNextRestart) {
  ASSERT_EQ(0u, Run(setup_, "/S /D=" + target_).code);
  ASSERT_TRUE(Hold(target_ + "\\app.exe"));
  RestartMarks marks;
  pi_ = Start(target_ + "\\UnInst.exe", "");
  HWND dlg = WaitWindow(pi_.dwProcessId, "#32770", "Deinstalator programu Wizard Próba");
  ASSERT_TRUE(dlg);
  Press(dlg, IDB_NEXT);
  const std::string file = target_ + "\\app.exe";
  EXPECT_EQ(0u, AnswerBox(pi_.dwProcessId, IDCANCEL).find(u8"Plik " + file + u8" jest używany przez inny program."));
  const std::string last = u8"zostanie usunięty po ponownym uruchomieniu komputera: " + file;
  EXPECT_TRUE(uitest::WaitFor([&] { return Utf8(dlg, IDS_TEXT).find(last) != std::string::npos; })) << Utf8(dlg, IDS_TEXT);
  EXPECT_NE(std::string::npos, marks.Now().find(file));
  Press(dlg, IDB_NEXT);
  EXPECT_EQ(5u, ExitCode());
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
  ASSERT_TRUE(WaitTitle(dlg, u8"Instalacja zakończona"));
  EXPECT_EQ("Informacje o programie zostały otwarte w przeglądarce.", ItemText(dlg, IDE_INFO));
  ASSERT_TRUE(uitest::WaitFor([&] { return PathExists(probe_ + "viewer.exe.ran"); }, 20000));
  EXPECT_NE(std::string::npos, Slurp(probe_ + "viewer.exe.ran").find(target_ + "\\doc\\info.html"))
      << Slurp(probe_ + "viewer.exe.ran");
  Press(dlg, IDB_NEXT);
  EXPECT_EQ(0u, ExitCode());
  Run(target_ + "\\UnInst.exe", "/S");
  EXPECT_TRUE(uitest::WaitFor([&] { return !PathExists(target_); }, 20000));
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
  EXPECT_EQ(u8"Czy na pewno przerwać instalację?", AnswerBox(pi_.dwProcessId, IDYES));
  EXPECT_EQ(1u, ExitCode());
}
}  // namespace
