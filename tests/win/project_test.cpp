// Project files: save and open round trips, the close-time prompt, damaged files, new project.
#include "uitest.h"
#include "app/func.h"
#include "app/func3.h"
#include "entries/editor.h"
#include "build/gzc.h"
#include "build/winhandles.h"
#include "res/resource.h"
#include <map>

using namespace uitest;

namespace {
const char kUnpackError[] = "Wyst\xb9pi\xb3 b\xb3\xb9" "d podczas pr\xf3" "by rozpakowania pliku.";

struct ListItem {
  std::string text;
  LONG value;
  bool operator==(const ListItem& o) const { return text == o.text && value == o.value; }
};

class Project : public AppTest {
 protected:
  // Texts as characters: Wine's ANSI LB_GETTEXT overruns its buffer on long texts.
  std::vector<ListItem> Items(int list) {
    std::vector<ListItem> out;
    int n = (int)SendMessageA(Item_(list), LB_GETCOUNT, 0, 0);
    for (int i = 0; i < n; ++i) {
      std::wstring text(SendMessageW(Item_(list), LB_GETTEXTLEN, i, 0) + 1, L'\0');
      SendMessageW(Item_(list), LB_GETTEXT, i, (LPARAM)&text[0]);
      char ansi[8192] = {0};
      WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, ansi, sizeof ansi - 1, nullptr, nullptr);
      out.push_back({ansi, (LONG)SendMessageA(Item_(list), LB_GETITEMDATA, i, 0)});
    }
    return out;
  }
  void Add(int list, const std::string& text, LONG value) {
    LRESULT at = SendMessageA(Item_(list), LB_ADDSTRING, 0, (LPARAM)text.c_str());
    SendMessageA(Item_(list), LB_SETITEMDATA, at, value);
  }
  HWND Item_(int id) { return GetDlgItem(Main(), id); }
  std::string Cfg(const char* name) { return ReadFile(WorkDir() + "\\cfg\\" + name); }
  // Runs a menu command and waits until the main window has handled it (it may open dialogs).
  void Menu(int id) { Command(id); }
  void SaveAs(const std::string& path) {
    Menu(IDM_SAVEAS);
    HWND d = FindTopWindow("#32770", "Zapisz plik projektu.");
    ASSERT_TRUE(d);
    AnswerFileDialog(d, path);
    ASSERT_TRUE(WaitFor([&] { return Exists(path) && !BuildRunning() && !IsWindow(d); }));
    SendMessageA(Main(), WM_NULL, 0, 0);
  }
  void Open(const std::string& path) {
    Menu(IDM_OPEN);
    HWND d = FindTopWindow("#32770", "Wybierz plik projektu.");
    ASSERT_TRUE(d);
    AnswerFileDialog(d, path);
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(d); }));
    SendMessageA(Main(), WM_NULL, 0, 0);
  }
  // The members of a project file.
  std::map<std::string, std::string> Members(const std::string& kpj) {
    std::map<std::string, std::string> out;
    HANDLE h = CreateFileA(kpj.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, h);
    LARGE_INTEGER size;
    GetFileSizeEx(h, &size);
    std::string dest = MakeTempDir("kpj");
    std::string gz = temp_ + "gz.members";
    GzcUnpackJob job = {};
    job.dest = dest.c_str();
    job.gzTmp = gz.c_str();
    job.files = WinFileOps();
    GzcSource src = {WinFileOps(), h, (uint64_t)size.QuadPart, 0};
    std::vector<std::string> written;
    EXPECT_EQ(GZC_OK, GzcUnpack(job, src, &written));
    CloseHandle(h);
    for (auto& p : written) out[p.substr(p.find_last_of('\\') + 1)] = ReadFile(p);
    RemoveTree(dest);
    return out;
  }
  void FillProject() {
    SetText(IDE_NAME, "Demo");
    SetText(IDE_FOLDER, "C:\\Prog");
    SetText(IDE_SETUP, "C:\\out\\setup.exe");
    SetText(IDE_LICENCE, "C:\\Prog\\lic.txt");
    SetText(IDE_INFO, "C:\\Prog\\end.html");
    Add(IDL_SHORTCUTS, "app.exe", 0x00010001);
    Add(IDL_SHORTCUTS, "bin\\tool.exe", 0x00020000);
    Add(IDL_SHORTCUTS, "readme.txt", 0x00000002);
    Add(IDL_RUN, "setup\\first.exe", 0x00010000);
    Add(IDL_RUN, "clean.exe", 0x00000001);
    EnableWindow(Item_(IDB_LNK_REMOVE), TRUE);
    EnableWindow(Item_(IDB_RUN_REMOVE), TRUE);
    std::string cfg = WorkDir() + "\\cfg\\";
    WriteFile(cfg + "lnk.cfg", "[index1]\r\nmax=3\r\n[desktop]\r\n1=app.exe\r\n2=bin\\tool.exe\r\n");
    WriteFile(cfg + "init.cfg", "[index]\r\nmax=2\r\nmaxU=2\r\n[Run]\r\n1=setup\\first.exe\r\n[RunU]\r\n1=clean.exe\r\n");
    WriteFile(cfg + "reg.cfg", "");
  }
};

TEST_F(Project, SaveThenOpenGivesBackFieldsListsValuesAndListFiles) {
  StartApp();
  FillProject();
  std::string lnk = Cfg("lnk.cfg"), init = Cfg("init.cfg"), reg = Cfg("reg.cfg");
  auto shortcuts = Items(IDL_SHORTCUTS), runs = Items(IDL_RUN);
  std::string kpj = temp_ + "demo.kpj";
  SaveAs(kpj);
  EXPECT_EQ(kpj, std::string(PlikProjektu()));
  EXPECT_FALSE(Exists(WorkDir() + "\\cfg\\Project.ini"));  // only while saving

  auto members = Members(kpj);
  EXPECT_EQ(1u, members.count("Project.ini"));
  const std::string& ini = members["Project.ini"];
  EXPECT_NE(std::string::npos, ini.find("[dir]\r\n1=Demo\r\n2=C:\\Prog\r\n"));
  EXPECT_NE(std::string::npos, ini.find("[10]\r\n0=65537\r\n1=131072\r\n2=2\r\n"));
  EXPECT_EQ(std::string::npos, ini.find("[2]"));   // an empty list leaves no section
  EXPECT_EQ(std::string::npos, ini.find("[12]"));
  EXPECT_LT(ini.find("[0]"), ini.find("[10]"));
  EXPECT_LT(ini.find("[10]"), ini.find("[1]\r\n"));

  Menu(IDM_NEW);
  ASSERT_TRUE(WaitFor([&] { return Text(IDE_NAME).empty() && Items(IDL_SHORTCUTS).empty(); }));
  EXPECT_FALSE(Exists(WorkDir() + "\\cfg\\lnk.cfg"));
  EXPECT_FALSE(Enabled(IDB_BUILD));

  Open(kpj);
  ASSERT_TRUE(WaitFor([&] { return Text(IDE_NAME) == "Demo"; }));
  EXPECT_EQ("C:\\Prog", Text(IDE_FOLDER));
  EXPECT_EQ("C:\\out\\setup.exe", Text(IDE_SETUP));
  EXPECT_EQ("C:\\Prog\\lic.txt", Text(IDE_LICENCE));
  EXPECT_EQ("C:\\Prog\\end.html", Text(IDE_INFO));
  EXPECT_EQ(shortcuts, Items(IDL_SHORTCUTS));
  EXPECT_EQ(runs, Items(IDL_RUN));
  EXPECT_TRUE(Items(IDL_REGISTRY).empty());
  EXPECT_TRUE(Enabled(IDB_LNK_REMOVE));
  EXPECT_TRUE(Enabled(IDB_RUN_REMOVE));
  EXPECT_FALSE(Enabled(IDB_REG_REMOVE));
  EXPECT_TRUE(Enabled(IDB_BUILD));
  EXPECT_TRUE(Enabled(IDB_REG_ADD));
  EXPECT_EQ(lnk, Cfg("lnk.cfg"));
  EXPECT_EQ(init, Cfg("init.cfg"));
  EXPECT_EQ(reg, Cfg("reg.cfg"));
  EXPECT_FALSE(Exists(WorkDir() + "\\cfg\\Project.ini"));
}

TEST_F(Project, RegistryEntriesMadeInTheEditorComeBackWithTheProject) {
  StartApp();
  SetText(IDE_FOLDER, "C:\\Prog");
  ASSERT_TRUE(AddRegistry("HKEY_CURRENT_USER\\Software\\A", "", "\"C:\\x y\\a.exe\" -q", "REG_SZ"));
  ASSERT_TRUE(AddRegistry("HKEY_LOCAL_MACHINE\\Software\\B", "Where", "bin\\a.exe", "REG_EXPAND_SZ", true));
  ASSERT_TRUE(AddRegistry("HKEY_USERS\\", "Count", "7", "REG_DWORD"));
  // An edit in the editor: the third gets another value and type.
  SendMessageA(Item_(IDL_REGISTRY), LB_SETCURSEL, 2, 0);
  CommandNow(IDL_REGISTRY, LBN_DBLCLK);
  HWND d = FindTopWindow("#32770", kRegistryEditorCaption);
  ASSERT_TRUE(d);
  ASSERT_TRUE(FillRegistryEditor(d, "HKEY_USERS\\", "Count", "00 ff", "REG_BINARY", false));
  PostMessageA(GetDlgItem(d, IDB_REG_APPLY), BM_CLICK, 0, 0);
  ASSERT_TRUE(WaitFor([&] { return !IsWindow(d); }));
  SendMessageA(Main(), WM_NULL, 0, 0);
  auto entries = Items(IDL_REGISTRY);
  std::string reg = Cfg("reg.cfg");
  EXPECT_EQ((std::vector<ListItem>{{"<Brak nazwy>", 1}, {"Where", 2}, {"Count", 3}}), entries);

  std::string kpj = temp_ + "reg.kpj";
  SaveAs(kpj);
  EXPECT_EQ(1, *SavePrj());  // marked by the editor
  EXPECT_FALSE(MenuState(IDM_SAVE) & MF_GRAYED);
  Menu(IDM_NEW);
  ASSERT_TRUE(WaitFor([&] { return Items(IDL_REGISTRY).empty(); }));
  // A new project has no name and no change: nothing to save, nothing to ask on closing.
  EXPECT_STREQ("", PlikProjektu());
  EXPECT_EQ(0, *SavePrj());
  EXPECT_TRUE(MenuState(IDM_SAVE) & MF_GRAYED);
  Open(kpj);
  ASSERT_TRUE(WaitFor([&] { return Items(IDL_REGISTRY).size() == 3; }));
  EXPECT_EQ(entries, Items(IDL_REGISTRY));
  EXPECT_EQ(reg, Cfg("reg.cfg"));
  EXPECT_TRUE(Enabled(IDB_REG_REMOVE));

  // Each reopened entry opens in the editor as it was typed.
  const struct {
    const char *key, *name, *value, *type;
    bool dynam;
  } kBack[] = {{"HKEY_CURRENT_USER\\Software\\A", "", "\"C:\\x y\\a.exe\" -q", "REG_SZ", false},
               {"HKEY_LOCAL_MACHINE\\Software\\B", "Where", "bin\\a.exe", "REG_EXPAND_SZ", true},
               {"HKEY_USERS\\", "Count", "00 ff", "REG_BINARY", false}};
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    SendMessageA(Item_(IDL_REGISTRY), LB_SETCURSEL, i, 0);
    CommandNow(IDL_REGISTRY, LBN_DBLCLK);
    d = FindTopWindow("#32770", kRegistryEditorCaption);
    ASSERT_TRUE(d);
    EXPECT_EQ(kBack[i].key, WindowText(GetDlgItem(d, IDE_REG_KEY)));
    EXPECT_EQ(kBack[i].name, WindowText(GetDlgItem(d, IDE_REG_NAME)));
    EXPECT_EQ(kBack[i].value, WindowText(GetDlgItem(d, IDE_REG_VALUE)));
    EXPECT_EQ(kBack[i].type, WindowText(GetDlgItem(d, IDC_REG_TYPE)));
    EXPECT_EQ(kBack[i].dynam, IsDlgButtonChecked(d, IDC_REG_DYNAMIC) == BST_CHECKED);
    PostMessageA(GetDlgItem(d, IDB_REG_CLOSE), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitFor([&] { return !IsOpen(kRegistryEditor.dialog.slot); }));
  }
}

TEST_F(Project, SpacesAroundFieldTextsAreTrimmedOnOpening) {
  StartApp();
  SetText(IDE_NAME, "  Demo  ");
  SetText(IDE_FOLDER, " C:\\Prog ");
  std::string kpj = temp_ + "spaces.kpj";
  SaveAs(kpj);
  Menu(IDM_NEW);
  Open(kpj);
  ASSERT_TRUE(WaitFor([&] { return !Text(IDE_NAME).empty(); }));
  EXPECT_EQ("Demo", Text(IDE_NAME));
  EXPECT_EQ("C:\\Prog", Text(IDE_FOLDER));
}

TEST_F(Project, ASecondSaveNoLongerHoldsARemovedItem) {
  StartApp();
  FillProject();
  std::string kpj = temp_ + "twice.kpj";
  SaveAs(kpj);
  SendMessageA(Item_(IDL_SHORTCUTS), LB_DELETESTRING, 1, 0);
  DeleteFileA(kpj.c_str());
  Menu(IDM_SAVE);  // the file name is known: no dialog
  ASSERT_TRUE(WaitFor([&] { return Exists(kpj) && !BuildRunning(); }));
  SendMessageA(Main(), WM_NULL, 0, 0);
  std::string ini = Members(kpj)["Project.ini"];
  EXPECT_EQ(std::string::npos, ini.find("tool.exe"));
  EXPECT_NE(std::string::npos, ini.find("[0]\r\n0=app.exe\r\n1=readme.txt\r\n"));
}

// A save that fails (a file of the project held by another program) names the file and says so,
// leaves the file saved before as it was and nothing beside it, and marks the project unsaved.
TEST_F(Project, ASaveThatFailsKeepsTheSavedFileAndSaysSo) {
  StartApp();
  FillProject();
  std::string kpj = temp_ + "kept.kpj";
  SaveAs(kpj);
  const std::string saved = ReadFile(kpj);
  ASSERT_EQ(0, *SavePrj());
  SetText(IDE_NAME, "Changed");
  std::string lnk = WorkDir() + "\\cfg\\lnk.cfg";
  UniqueHandle held(CreateFileA(lnk.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held);
  Menu(IDM_SAVE);
  EXPECT_EQ("Nie mo\xbfna odczyta\xe6 pliku: " + lnk, AnswerMessage());
  EXPECT_EQ("Nie mo\xbfna zapisa\xe6 projektu.", AnswerMessage());
  ASSERT_TRUE(WaitFor([] { return !BuildRunning(); }));
  SendMessageA(Main(), WM_NULL, 0, 0);
  EXPECT_EQ(saved, ReadFile(kpj));
  WIN32_FIND_DATAA fd;
  UniqueFind left(FindFirstFileA((temp_ + "*.tmp").c_str(), &fd));
  EXPECT_FALSE(left) << fd.cFileName;
  EXPECT_EQ(1, *SavePrj());
  EXPECT_FALSE(MenuState(IDM_SAVE) & MF_GRAYED);

  held.reset();  // the same save now goes through
  Menu(IDM_SAVE);
  ASSERT_TRUE(WaitFor([&] { return ReadFile(kpj) != saved && !BuildRunning(); }));
  EXPECT_NE(std::string::npos, Members(kpj)["Project.ini"].find("1=Changed"));
}

TEST_F(Project, ListItemTextsOfAnyLengthComeBackWithTheItemsAfterThem) {
  StartApp();
  FillProject();
  Add(IDL_SHORTCUTS, std::string(259, 'a'), 3);
  Add(IDL_SHORTCUTS, std::string(260, 'b'), 4);
  Add(IDL_SHORTCUTS, "bin\\" + std::string(5000, 'c') + ".exe", 5);
  Add(IDL_SHORTCUTS, "after.exe", 6);
  Add(IDL_REGISTRY, "HKLM\\" + std::string(300, 'k'), 7);
  auto shortcuts = Items(IDL_SHORTCUTS), registry = Items(IDL_REGISTRY);
  ASSERT_EQ(7u, shortcuts.size());
  ASSERT_EQ(5008u, shortcuts[5].text.size());
  std::string kpj = temp_ + "long.kpj";
  SaveAs(kpj);
  Menu(IDM_NEW);
  Open(kpj);
  ASSERT_TRUE(WaitFor([&] { return Text(IDE_NAME) == "Demo"; }));
  EXPECT_EQ(shortcuts, Items(IDL_SHORTCUTS));
  EXPECT_EQ(registry, Items(IDL_REGISTRY));
}

TEST_F(Project, SaveWithoutAFileNameAsksForOne) {
  StartApp();
  SetText(IDE_NAME, "N");
  MenuOn();
  Menu(IDM_SAVE);
  HWND d = FindTopWindow("#32770", "Zapisz plik projektu.");
  ASSERT_TRUE(d);
  AnswerFileDialog(d, temp_ + "named.kpj");
  ASSERT_TRUE(WaitFor([&] { return Exists(temp_ + "named.kpj"); }));
}

TEST_F(Project, AFileThatIsNoArchiveShowsTheUnpackMessageAndLeavesTheWindowEmpty) {
  StartApp();
  SetText(IDE_NAME, "before");
  std::string bad = temp_ + "bad.kpj";
  WriteFile(bad, "this is not an archive at all");
  Menu(IDM_OPEN);
  HWND d = FindTopWindow("#32770", "Wybierz plik projektu.");
  ASSERT_TRUE(d);
  AnswerFileDialog(d, bad);
  EXPECT_EQ(kUnpackError, AnswerMessage());
  ASSERT_TRUE(WaitFor([] { return !BuildRunning(); }));
  SendMessageA(Main(), WM_NULL, 0, 0);
  EXPECT_EQ("", Text(IDE_NAME));
  EXPECT_TRUE(Items(IDL_SHORTCUTS).empty());
  EXPECT_TRUE(Enabled(IDB_CLOSE));
}

TEST_F(Project, AHostileProjectWritesNothingOutsideTheCfgFolder) {
  StartApp();
  // A well-formed archive whose list names a file above the destination.
  std::string src = temp_ + "evil";
  CreateDirectoryA(src.c_str(), nullptr);
  WriteFile(src + "\\Project.ini", "[dir]\r\n1=evil\r\n");
  WriteFile(src + "\\xxescape.txt", "payload");
  std::string kpj = temp_ + "evil.kpj";
  std::string gz = temp_ + "gz.evil", list = temp_ + "list.evil";
  GzcPackJob job = {};
  job.folder = src.c_str();
  job.archive = kpj.c_str();
  job.gzTmp = gz.c_str();
  job.listFile = list.c_str();
  job.files = WinFileOps();
  job.mode = "wb0";  // stored members: the name can be rewritten in place
  GzcPackResult res;
  ASSERT_EQ(GZC_OK, GzcPack(job, &res));
  std::string bytes = ReadFile(kpj);
  size_t at = bytes.find("xxescape.txt");
  ASSERT_NE(std::string::npos, at);
  bytes.replace(at, 3, "..\\");  // "xxescape.txt" becomes "..\escape.txt"
  // The gzip trailer's CRC no longer matches either: the path refusal must come before that.
  WriteFile(kpj, bytes);
  Menu(IDM_OPEN);
  HWND d = FindTopWindow("#32770", "Wybierz plik projektu.");
  ASSERT_TRUE(d);
  AnswerFileDialog(d, kpj);
  EXPECT_EQ(kUnpackError, AnswerMessage());
  EXPECT_FALSE(Exists(WorkDir() + "\\escape.txt"));
  EXPECT_FALSE(Exists(WorkDir() + "\\cfg\\Project.ini"));
  EXPECT_EQ("", Text(IDE_NAME));
}

class ClosePrompt : public Project {};

TEST_F(ClosePrompt, NoClosesWithoutSaving) {
  StartApp();
  MenuOn();
  Click(IDB_CLOSE);
  HWND box = FindTopWindow("#32770", "Packrift");
  ASSERT_TRUE(box);
  EXPECT_EQ("Zpisa\xe6 projekt?", MessageText(box));
  EXPECT_EQ(Main(), GetWindow(box, GW_OWNER));
  PostMessageA(box, WM_COMMAND, IDNO, 0);
  ASSERT_TRUE(WaitFor([&] { return !AppRunning(); }));
}

TEST_F(ClosePrompt, YesWithoutAFileAsksForANameAndSaves) {
  StartApp();
  SetText(IDE_NAME, "Named");
  MenuOn();
  PostMessageA(Main(), WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_EQ("Zpisa\xe6 projekt?", AnswerMessage(IDYES));
  HWND d = FindTopWindow("#32770", "Zapisz plik projektu.");
  ASSERT_TRUE(d);
  AnswerFileDialog(d, temp_ + "atexit.kpj");
  ASSERT_TRUE(WaitFor([&] { return !AppRunning(); }));
  EXPECT_NE(std::string::npos, Members(temp_ + "atexit.kpj")["Project.ini"].find("1=Named"));
}

TEST_F(ClosePrompt, YesThenCancellingTheNameClosesWithoutSaving) {
  StartApp();
  MenuOn();
  Command(IDM_EXIT);
  EXPECT_EQ("Zpisa\xe6 projekt?", AnswerMessage(IDYES));
  HWND d = FindTopWindow("#32770", "Zapisz plik projektu.");
  ASSERT_TRUE(d);
  CancelDialog(d);
  ASSERT_TRUE(WaitFor([&] { return !AppRunning(); }));
}

// Dialogs (message boxes included) that the main window's thread makes for the main window.
int questions;
LRESULT CALLBACK CountQuestions(int code, WPARAM wp, LPARAM lp) {
  if (code == HCBT_CREATEWND) {
    const CREATESTRUCTA* cs = ((const CBT_CREATEWNDA*)lp)->lpcs;
    bool dialog = IS_INTRESOURCE(cs->lpszClass) ? LOWORD(cs->lpszClass) == 32770 : !strcmp(cs->lpszClass, "#32770");
    if (dialog && cs->hwndParent == *HwndMain()) ++questions;
  }
  return CallNextHookEx(nullptr, code, wp, lp);
}

TEST_F(ClosePrompt, ASecondCloseWhileTheClosingSaveRunsIsIgnored) {
  StartApp();
  questions = 0;
  HHOOK hook = SetWindowsHookExA(WH_CBT, CountQuestions, nullptr, GetWindowThreadProcessId(Main(), nullptr));
  ASSERT_TRUE(hook);
  FillProject();
  std::string big(16 << 20, 0);  // a save long enough to close into
  for (size_t i = 0; i < big.size(); ++i) big[i] = (char)(i * 2654435761u >> 13);
  WriteFile(WorkDir() + "\\cfg\\big.bin", big);
  std::string kpj = temp_ + "closing.kpj";
  strcpy(PlikProjektu(), kpj.c_str());
  MenuOn();
  Click(IDB_CLOSE);
  EXPECT_EQ("Zpisa\xe6 projekt?", AnswerMessage(IDYES));
  ASSERT_TRUE(WaitFor([] { return BuildRunning(); }));
  PostMessageA(Main(), WM_SYSCOMMAND, SC_CLOSE, 0);
  // A user who is asked again says yes again.
  ASSERT_TRUE(WaitFor([&] {
    HWND box = FindWindowA("#32770", "Packrift");
    if (box && GetWindow(box, GW_OWNER) == Main() && IsWindowVisible(box)) PostMessageA(box, WM_COMMAND, IDYES, 0);
    return !AppRunning();
  }, 60000));
  UnhookWindowsHookEx(hook);
  EXPECT_EQ(1, questions);  // the first close's question, and no late close asks again
  auto members = Members(kpj);
  EXPECT_EQ(1u, members.count("lnk.cfg"));
  EXPECT_EQ(1u, members.count("init.cfg"));
  EXPECT_EQ(big.size(), members["big.bin"].size());
}

TEST_F(ClosePrompt, AnUnmarkedProjectClosesWithoutAsking) {
  StartApp();
  SetText(IDE_NAME, "typed, not marked");
  Click(IDB_CLOSE);
  ASSERT_TRUE(WaitFor([&] { return !AppRunning(); }));
}
}  // namespace
