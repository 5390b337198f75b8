// Settings (compression level, language list, language choice), help and about, driven from the
// main window's menu and buttons as the user does.
#include "uitest.h"
#include "app/func.h"
#include "app/func1.h"
#include "lang/lang.h"
#include "res/resource.h"
#include "prversion.h"

using namespace uitest;

namespace {
const char kSettings[] = "Ustawienia";
const char kAbout[] = "O programie...";
const char kHelpError[] = "Wyst\xb9pi\xb3 problem z otwarciem pliku pomocy.";  // CP1250
const char kHelpWindow[] = "Pomoc programu Packrift";

class LangWindows : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    langDir_ = ExeDir() + "Lang\\";
    CreateDirectoryA(langDir_.c_str(), nullptr);
    ClearLangDir();
  }
  void TearDown() override {
    AppTest::TearDown();
    ClearLangDir();
    DeleteFileA((ExeDir() + "Packrift.chm").c_str());
  }
  // Everything in the test program's Lang folder goes: each test lays out its own languages.
  void ClearLangDir() {
    ForEachEntry(langDir_.c_str(), [this](const char* name, GzcKind kind) {
      if (kind == GZC_KIND_DIR) RemoveTree(langDir_ + name);
      else DeleteFileA((langDir_ + name).c_str());
    });
  }
  void AddLanguage(const std::string& name, const std::string& body = "[lng]\r\n") {
    WriteFile(langDir_ + name + ".lng", body);
  }
  void AddEnglish() { AddLanguage("English", ReadFile(DistDir() + "Lang\\English.lng")); }

  // Opens a sub-dialog by its menu command and returns it.
  HWND Open(int command, const char* caption) {
    Command(command);
    HWND d = FindTopWindow("#32770", caption);
    EXPECT_TRUE(d) << caption;
    return d;
  }
  // A press of an enabled button as its dialog receives it. (A posted BM_CLICK goes through the
  // mouse capture, which another thread's window may hold for a moment: the press is then lost.)
  void Press(HWND dlg, int id) {
    HWND button = GetDlgItem(dlg, id);
    ASSERT_TRUE(button && IsWindowEnabled(button)) << id;
    PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)button);
  }
  // The menu command once more while its dialog is open, handled when this returns. (A posted
  // command is not: the main window's thread takes a sent message such as WM_NULL before it, so it
  // could come after the close below and rightly open a new dialog.)
  void AskAgain(int command) { SendMessageA(Main(), WM_COMMAND, MAKEWPARAM(command, 0), 0); }
  // Presses a button that closes the dialog of `slot` and waits until it has closed.
  void PressAndWait(HWND dlg, int id, int slot) {
    Press(dlg, id);
    EXPECT_TRUE(WaitFor([&] { return !IsOpen(slot) && !IsWindow(dlg); }));
  }
  static std::string Field(HWND dlg, int id) { return WindowText(GetDlgItem(dlg, id)); }
  static std::vector<std::string> Languages(HWND dlg) {
    std::vector<std::string> out;
    HWND list = GetDlgItem(dlg, IDC_SET_LANGUAGE);
    for (LRESULT i = 0, n = SendMessageA(list, CB_GETCOUNT, 0, 0); i < n; ++i) {
      char text[64] = {0};
      SendMessageA(list, CB_GETLBTEXT, i, (LPARAM)text);
      out.push_back(text);
    }
    return out;
  }
  static std::string Selected(HWND dlg) {
    HWND list = GetDlgItem(dlg, IDC_SET_LANGUAGE);
    LRESULT sel = SendMessageA(list, CB_GETCURSEL, 0, 0);
    if (sel < 0) return "<none>";
    char text[64] = {0};
    SendMessageA(list, CB_GETLBTEXT, sel, (LPARAM)text);
    return text;
  }
  // Chooses `level` and `language` in an open settings dialog and presses Apply.
  void Apply(HWND dlg, const char* level, const char* language) {
    SendDlgItemMessageA(dlg, IDE_SET_LEVEL, WM_SETTEXT, 0, (LPARAM)level);
    ASSERT_NE(CB_ERR, SendDlgItemMessageA(dlg, IDC_SET_LANGUAGE, CB_SELECTSTRING, (WPARAM)-1, (LPARAM)language));
    PressAndWait(dlg, IDB_SET_APPLY, kSettingsDialog.slot);
  }
  static int CountWindows(const char* caption) {
    int n = 0;
    for (HWND w = FindWindowA("#32770", caption); w; w = FindWindowExA(nullptr, w, "#32770", caption)) ++n;
    return n;
  }
  std::string Value(HKEY root, const char* name) {
    std::string v = "<missing>";
    RegRead(root, name, &v);
    return v;
  }
  std::string langDir_;
};

struct ListCase {
  const char* name;
  std::vector<std::string> files;  // language files; a name ending in '\' is a folder
  const char* stored;              // value "3" before the start; nullptr = first start
  std::vector<std::string> list;
  const char* selected;
};

TEST_F(LangWindows, LanguageListIsSortedWithPolskiAndSelectsTheStoredName) {
  const ListCase cases[] = {
      {"empty folder: Polski alone", {}, nullptr, {"Polski"}, "Polski"},
      {"names before and after Polski, and what is no language",
       {"Zulu", "Czeski", "Katalog\\", std::string(40, 'D')}, nullptr, {"Czeski", "Polski", "Zulu"}, "Polski"},
      {"stored name: first item it begins, any case", {"Zulu", "Czeski"}, "zu", {"Czeski", "Polski", "Zulu"}, "Zulu"},
      {"stored name whose file is gone", {"Czeski"}, "Niemiecki", {"Czeski", "Polski"}, "<none>"},
  };
  for (const ListCase& c : cases) {
    SCOPED_TRACE(c.name);
    ClearLangDir();
    DeleteProgramKey();
    for (const std::string& f : c.files) {
      if (f.back() == '\\') CreateDirectoryA((langDir_ + f.substr(0, f.size() - 1) + ".lng").c_str(), nullptr);
      else AddLanguage(f);
    }
    if (c.stored) RegWrite(HKEY_LOCAL_MACHINE, "3", c.stored, false);
    StartApp();
    HWND s = Open(IDM_SETTINGS, kSettings);
    ASSERT_TRUE(s);
    EXPECT_EQ(c.list, Languages(s));
    EXPECT_EQ(c.selected, Selected(s));
    PressAndWait(s, IDB_SET_CLOSE, kSettingsDialog.slot);
    CloseApp();
  }
}

TEST_F(LangWindows, SettingsShowTheLevelAndTheirTextsAndOpenOnceAtATime) {
  StartApp();
  HWND s = Open(IDM_SETTINGS, kSettings);
  ASSERT_TRUE(s);
  EXPECT_EQ("6", Field(s, IDE_SET_LEVEL));  // first start: "wb6"
  EXPECT_EQ(1, (int)SendDlgItemMessageA(s, IDE_SET_LEVEL, EM_GETLIMITTEXT, 0, 0));
  EXPECT_TRUE(GetWindowLongA(GetDlgItem(s, IDE_SET_LEVEL), GWL_STYLE) & ES_NUMBER);
  const std::pair<int, const char*> texts[] = {{IDB_SET_APPLY, "Zastosuj"}, {IDB_SET_HELP, "Pomoc"},
                                               {IDB_SET_CLOSE, "Wyjd\x9f"}, {IDS_SET_LEVEL, "Poziom kompresji:"},
                                               {IDS_SET_LANGUAGE, "J\xeazyk:"},
                                               {IDC_SET_LZMA, "Kompresja LZMA (mniejszy instalator)"}};
  for (const auto& t : texts) EXPECT_EQ(t.second, Field(s, t.first)) << t.first;
  AskAgain(IDM_SETTINGS);
  EXPECT_EQ(1, CountWindows(kSettings));
  PressAndWait(s, IDB_SET_CLOSE, kSettingsDialog.slot);
  EXPECT_EQ("wb6", CompLevel());  // closing applies nothing
  s = Open(IDM_SETTINGS, kSettings);
  ASSERT_TRUE(s);
  PostMessageA(s, WM_CLOSE, 0, 0);
  EXPECT_TRUE(WaitFor([] { return !IsOpen(kSettingsDialog.slot); }));
}

TEST_F(LangWindows, ApplyStoresTheLevelDigitOrZlibsDefaultWhenEmpty) {
  StartApp();
  const std::pair<const char*, const char*> levels[] = {{"0", "wb0"}, {"", "wb"}, {"9", "wb9"}};
  for (const auto& l : levels) {
    SCOPED_TRACE(l.second);
    HWND s = Open(IDM_SETTINGS, kSettings);
    ASSERT_TRUE(s);
    Apply(s, l.first, "Polski");
    EXPECT_EQ(l.second, CompLevel());
    EXPECT_EQ(l.second, Value(HKEY_LOCAL_MACHINE, "4"));
  }
  Apply(Open(IDM_SETTINGS, kSettings), "", "Polski");
  CloseApp();
  StartApp();  // "wb" alone is a mode too: kept at the next start, shown as an empty field
  EXPECT_EQ("wb", CompLevel());
  HWND s = Open(IDM_SETTINGS, kSettings);
  ASSERT_TRUE(s);
  EXPECT_EQ("", Field(s, IDE_SET_LEVEL));
  PressAndWait(s, IDB_SET_CLOSE, kSettingsDialog.slot);
}

TEST_F(LangWindows, EnglishReachesNewWindowsAtOnceAndTheMainWindowAtTheNextStart) {
  AddEnglish();
  StartApp();
  Apply(Open(IDM_SETTINGS, kSettings), "6", "English");
  EXPECT_EQ("English", Value(HKEY_LOCAL_MACHINE, "3"));
  EXPECT_EQ(ExeDir() + "Lang\\English.lng", Value(HKEY_LOCAL_MACHINE, "1"));
  EXPECT_EQ("Nazwa programu:", Text(IDS_NAME_LABEL));  // open windows keep their texts

  HWND a = Open(IDM_ABOUT, "About...");
  ASSERT_TRUE(a);
  EXPECT_EQ("Close", Field(a, IDB_ABOUT_CLOSE));
  EXPECT_EQ("Packrift v" PR_VERSION, Field(a, IDS_ABOUT_TEXT));  // the whole version
  PressAndWait(a, IDB_ABOUT_CLOSE, kAboutDialog.slot);
  HWND s = Open(IDM_SETTINGS, "Settings");
  ASSERT_TRUE(s);
  EXPECT_EQ("Compression level:", Field(s, IDS_SET_LEVEL));
  EXPECT_EQ("Language:", Field(s, IDS_SET_LANGUAGE));
  EXPECT_EQ("LZMA compression (smaller installer)", Field(s, IDC_SET_LZMA));
  EXPECT_EQ("Apply", Field(s, IDB_SET_APPLY));
  EXPECT_EQ("English", Selected(s));
  PressAndWait(s, IDB_SET_CLOSE, kSettingsDialog.slot);
  CloseApp();

  StartApp();
  EXPECT_EQ("Program name:", Text(IDS_NAME_LABEL));
  EXPECT_EQ("&Settings", MenuText(IDM_SETTINGS, false));
  Apply(Open(IDM_SETTINGS, "Settings"), "6", "Polski");
  EXPECT_EQ(ExeDir() + "Lang\\Polski.lng", Value(HKEY_LOCAL_MACHINE, "1"));
  a = Open(IDM_ABOUT, kAbout);
  ASSERT_TRUE(a);
  EXPECT_EQ("Wyjd\x9f", Field(a, IDB_ABOUT_CLOSE));
  PressAndWait(a, IDB_ABOUT_CLOSE, kAboutDialog.slot);
  CloseApp();
  StartApp();
  EXPECT_EQ("Nazwa programu:", Text(IDS_NAME_LABEL));
}

TEST_F(LangWindows, AboutShowsNameAndVersionOnceAtATime) {
  StartApp();
  HWND a = Open(IDM_ABOUT, kAbout);
  ASSERT_TRUE(a);
  EXPECT_EQ("Packrift v" PR_VERSION, Field(a, IDS_ABOUT_TEXT));  // the whole version
  EXPECT_EQ("Wyjd\x9f", Field(a, IDB_ABOUT_CLOSE));
  AskAgain(IDM_ABOUT);
  EXPECT_EQ(1, CountWindows(kAbout));
  PressAndWait(a, IDB_ABOUT_CLOSE, kAboutDialog.slot);
  a = Open(IDM_ABOUT, kAbout);
  ASSERT_TRUE(a);
  PostMessageA(a, WM_CLOSE, 0, 0);
  EXPECT_TRUE(WaitFor([] { return !IsOpen(kAboutDialog.slot); }));
}

TEST_F(LangWindows, HelpOpensTheFileOrTellsWhenItIsMissing) {
  std::string chm = ReadFile(DistDir() + "Packrift.chm");
  ASSERT_EQ("ITSF", chm.substr(0, 4)) << "no compiled help file in the tool folder";
  WriteFile(ExeDir() + "Packrift.chm", chm);
  StartApp();
  Click(IDB_HELP);
  HWND help = nullptr;
  EXPECT_TRUE(WaitFor([&] { return (help = FindWindowA(nullptr, kHelpWindow)) != nullptr; }, 20000));
  EXPECT_FALSE(FindTopWindow("#32770", "Packrift", 500));
  if (help) PostMessageA(help, WM_CLOSE, 0, 0);
  EXPECT_TRUE(WaitFor([] { return !FindWindowA(nullptr, kHelpWindow); }));

  DeleteFileA((ExeDir() + "Packrift.chm").c_str());
  Click(IDB_HELP);
  EXPECT_EQ(kHelpError, AnswerMessage());
  Command(IDM_HELP);
  EXPECT_EQ(kHelpError, AnswerMessage());
  HWND s = Open(IDM_SETTINGS, kSettings);
  ASSERT_TRUE(s);
  Press(s, IDB_SET_HELP);
  EXPECT_EQ(kHelpError, AnswerMessage());
  EXPECT_TRUE(IsWindow(s));  // help leaves the settings open
  PressAndWait(s, IDB_SET_CLOSE, kSettingsDialog.slot);
}
}  // namespace
