// The shortcut and run-entry editors and the remove buttons, driven through the real windows.
#include "uitest.h"
#include "app/func.h"
#include "build/kopiuj.h"
#include "entries/editor.h"
#include "res/resource.h"

using namespace uitest;

namespace {
const char kBadPath[] = "Jedno z p\xf3l zawiera niepoprawn\xb9 \x9c" "cie\xbfk\xea.";
const char kOutside[] = "Wybrany plik musi znajdowa\xe6 si\xea w folderze z plikami programu.";
const char kShortcutCaption[] = "Dodawanie skr\xf3tu";
const char kRunCaption[] = "Uruchom po zainstalowaniu";
const char kBadKey[] = "Wprowadzony klucz nie jest prawid\xb3owy.";
const char kNotDword[] = "Warto\x9c\xe6 nie jest liczb\xb9 od 0 do 4294967295.";
const char kNotBinary[] = "Warto\x9c\xe6 nie jest ci\xb9giem par cyfr szesnastkowych.";
const char kNotRelative[] = "Warto\x9c\xe6 nie jest \x9c" "cie\xbfk\xb9 w folderze instalacji.";
const char kHklm[] = "HKEY_LOCAL_MACHINE\\Software\\X";

class Entries : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    prog_ = temp_ + "Prog";
    CreateDirectoryA(prog_.c_str(), nullptr);
    CreateDirectoryA((prog_ + "\\bin").c_str(), nullptr);
    for (const char* f : {"\\app.exe", "\\bin\\tool.exe", "\\readme.txt", "\\setup.exe", "\\clean.exe"})
      WriteFile(prog_ + f, "x");
    WriteFile(temp_ + "outside.exe", "x");
    StartApp();
    SetText(IDE_FOLDER, prog_);
  }
  std::string Ini(const char* file, const char* section, const char* key) {
    char buf[300];
    GetPrivateProfileStringA(section, key, "<none>", buf, sizeof buf, (WorkDir() + "\\cfg\\" + file).c_str());
    return buf;
  }
  HWND Box(int list) { return Item(list); }
  int Count(int list) { return (int)SendMessageA(Box(list), LB_GETCOUNT, 0, 0); }
  std::string ItemText(int list, int i) {
    char buf[300] = {0};
    SendMessageA(Box(list), LB_GETTEXT, i, (LPARAM)buf);
    return buf;
  }
  DWORD ItemData(int list, int i) { return (DWORD)SendMessageA(Box(list), LB_GETITEMDATA, i, 0); }
  void Select(int list, int i) { SendMessageA(Box(list), LB_SETCURSEL, i, 0); }
  void DoubleClick(int list, int i) {
    Select(list, i);
    CommandNow(list, LBN_DBLCLK);
  }
  HWND Editor(const char* caption) { return FindTopWindow("#32770", caption); }
  static void Check(HWND d, int id, bool on) { SendDlgItemMessageA(d, id, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0); }
  static bool Checked(HWND d, int id) { return SendDlgItemMessageA(d, id, BM_GETCHECK, 0, 0) == BST_CHECKED; }
  static void Press(HWND d, int id) { PostMessageA(GetDlgItem(d, id), BM_CLICK, 0, 0); }
  // Adds a shortcut through the editor as the user does.
  void AddShortcut(const std::string& file, bool desktop, bool menu) {
    Click(IDB_LNK_ADD);
    HWND d = Editor(kShortcutCaption);
    ASSERT_TRUE(d);
    SetDlgItemTextA(d, IDE_LNK_PATH, (prog_ + "\\" + file).c_str());
    Check(d, IDC_LNK_DESKTOP, desktop);
    Check(d, IDC_LNK_MENU, menu);
    Press(d, IDB_LNK_APPLY);
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(d); }));
    SendMessageA(Main(), WM_NULL, 0, 0);
  }
  void AddRun(const std::string& file, bool uninstall, bool silent) {
    Click(IDB_RUN_ADD);
    HWND d = Editor(kRunCaption);
    ASSERT_TRUE(d);
    SetDlgItemTextA(d, IDE_RUN_PATH, (prog_ + "\\" + file).c_str());
    if (uninstall) Press(d, IDC_RUN_UNINSTALL);
    else Check(d, IDC_RUN_SILENT, silent);
    WaitFor([&] { return Checked(d, IDC_RUN_UNINSTALL) == uninstall; });
    Press(d, IDB_RUN_APPLY);
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(d); }));
    SendMessageA(Main(), WM_NULL, 0, 0);
  }
  // Opens the registry editor: on a new entry, or with a double-click on the item at `position`.
  HWND RegistryEditor(int position = -1) {
    if (position < 0) Click(IDB_REG_ADD);
    else DoubleClick(IDL_REGISTRY, position);
    return Editor(kRegistryEditorCaption);
  }
  void PressAndWaitClosed(HWND d, int id) {
    Press(d, id);
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(d); }));
    SendMessageA(Main(), WM_NULL, 0, 0);
  }
  std::string prog_;
};

TEST_F(Entries, ShortcutEditorShowsItsTextsAndStartsWithBothLocations) {
  Click(IDB_LNK_ADD);
  HWND d = Editor(kShortcutCaption);
  ASSERT_TRUE(d);
  EXPECT_EQ("Plik \x9fr\xf3" "d\xb3owy:", WindowText(GetDlgItem(d, IDS_LNK_SOURCE)));
  EXPECT_EQ("Folder skr\xf3tu:", WindowText(GetDlgItem(d, IDS_LNK_FOLDER)));
  EXPECT_EQ("Pobierz", WindowText(GetDlgItem(d, IDB_LNK_BROWSE)));
  EXPECT_EQ("Pulpit", WindowText(GetDlgItem(d, IDC_LNK_DESKTOP)));
  EXPECT_EQ("Menu start", WindowText(GetDlgItem(d, IDC_LNK_MENU)));
  EXPECT_EQ("Zastosuj", WindowText(GetDlgItem(d, IDB_LNK_APPLY)));
  EXPECT_EQ("Wyjd\x9f", WindowText(GetDlgItem(d, IDB_LNK_CLOSE)));
  EXPECT_TRUE(Checked(d, IDC_LNK_DESKTOP));
  EXPECT_TRUE(Checked(d, IDC_LNK_MENU));
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(d, IDB_LNK_APPLY)));
  SetDlgItemTextA(d, IDE_LNK_PATH, "x");
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(d, IDB_LNK_APPLY)));
  SetDlgItemTextA(d, IDE_LNK_PATH, "");
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(d, IDB_LNK_APPLY)));
  // A second press opens no second editor: one would have taken the slot's thread record by the
  // time the press has been handled.
  HANDLE editor = Threadfunc()[kShortcutEditor.dialog.slot];
  ClickNow(IDB_LNK_ADD);
  EXPECT_EQ(editor, Threadfunc()[kShortcutEditor.dialog.slot]);
  Press(d, IDB_LNK_CLOSE);
  ASSERT_TRUE(WaitFor([&] { return !IsOpen(kShortcutEditor.dialog.slot); }));
  Click(IDB_LNK_ADD);
  d = Editor(kShortcutCaption);
  EXPECT_TRUE(d);
}

TEST_F(Entries, NewShortcutsTakeNumbersFromTheirLocationCounters) {
  AddShortcut("app.exe", true, true);
  EXPECT_EQ("app.exe", Ini("lnk.cfg", "desktop", "1"));
  EXPECT_EQ("app.exe", Ini("lnk.cfg", "menu", "1"));
  EXPECT_EQ("2", Ini("lnk.cfg", "index1", "max"));
  EXPECT_EQ("2", Ini("lnk.cfg", "index2", "max"));
  ASSERT_EQ(1, Count(IDL_SHORTCUTS));
  EXPECT_EQ("app.exe", ItemText(IDL_SHORTCUTS, 0));
  EXPECT_EQ(0x00010001u, ItemData(IDL_SHORTCUTS, 0));
  EXPECT_TRUE(Enabled(IDB_LNK_REMOVE));
  EXPECT_TRUE(ProjectModified());

  AddShortcut("bin\\tool.exe", false, true);  // only the start menu
  EXPECT_EQ("bin\\tool.exe", Ini("lnk.cfg", "menu", "2"));
  EXPECT_EQ("<none>", Ini("lnk.cfg", "desktop", "2"));
  EXPECT_EQ("2", Ini("lnk.cfg", "index1", "max"));
  EXPECT_EQ("3", Ini("lnk.cfg", "index2", "max"));
  EXPECT_EQ(0x00000002u, ItemData(IDL_SHORTCUTS, 1));

  AddShortcut("bin\\", true, false);  // a folder typed with a trailing backslash
  EXPECT_EQ("bin", ItemText(IDL_SHORTCUTS, 2));
  EXPECT_EQ("bin", Ini("lnk.cfg", "desktop", "2"));
}

TEST_F(Entries, EditingAShortcutKeepsItsNumbersAndPlace) {
  AddShortcut("app.exe", true, false);
  AddShortcut("readme.txt", true, true);
  // Edit the first: tick the start menu too; it gets a fresh start-menu number.
  DoubleClick(IDL_SHORTCUTS, 0);
  HWND d = Editor(kShortcutCaption);
  ASSERT_TRUE(d);
  EXPECT_EQ(prog_ + "\\app.exe", WindowText(GetDlgItem(d, IDE_LNK_PATH)));
  EXPECT_TRUE(Checked(d, IDC_LNK_DESKTOP));
  EXPECT_FALSE(Checked(d, IDC_LNK_MENU));
  Check(d, IDC_LNK_MENU, true);
  Press(d, IDB_LNK_APPLY);
  ASSERT_TRUE(WaitFor([&] { return !IsWindow(d); }));
  SendMessageA(Main(), WM_NULL, 0, 0);
  EXPECT_EQ("app.exe", ItemText(IDL_SHORTCUTS, 0));
  EXPECT_EQ(0x00010002u, ItemData(IDL_SHORTCUTS, 0));
  EXPECT_EQ("app.exe", Ini("lnk.cfg", "menu", "2"));
  EXPECT_EQ("3", Ini("lnk.cfg", "index2", "max"));

  // Untick the desktop of the second: its desktop key goes, the menu key stays under number 1.
  DoubleClick(IDL_SHORTCUTS, 1);
  d = Editor(kShortcutCaption);
  ASSERT_TRUE(d);
  Check(d, IDC_LNK_DESKTOP, false);
  Press(d, IDB_LNK_APPLY);
  ASSERT_TRUE(WaitFor([&] { return !IsWindow(d); }));
  SendMessageA(Main(), WM_NULL, 0, 0);
  EXPECT_EQ("<none>", Ini("lnk.cfg", "desktop", "2"));
  EXPECT_EQ("readme.txt", Ini("lnk.cfg", "menu", "1"));
  EXPECT_EQ(0x00000001u, ItemData(IDL_SHORTCUTS, 1));
  EXPECT_EQ(2, Count(IDL_SHORTCUTS));
}

TEST_F(Entries, ShortcutApplyRefusesBadInputAndStaysOpen) {
  Click(IDB_LNK_ADD);
  HWND d = Editor(kShortcutCaption);
  ASSERT_TRUE(d);
  SetDlgItemTextA(d, IDE_LNK_PATH, "app.exe");  // not "X:\..."
  Press(d, IDB_LNK_APPLY);
  EXPECT_EQ(kBadPath, AnswerMessage());
  SetDlgItemTextA(d, IDE_LNK_PATH, (temp_ + "outside.exe").c_str());
  Press(d, IDB_LNK_APPLY);
  EXPECT_EQ(kOutside, AnswerMessage());
  SetDlgItemTextA(d, IDE_LNK_PATH, (prog_ + "\\app.exe").c_str());
  Check(d, IDC_LNK_DESKTOP, false);
  Check(d, IDC_LNK_MENU, false);
  Press(d, IDB_LNK_APPLY);
  EXPECT_EQ("Zaznacz lokalizacje skr\xf3tu.", AnswerMessage());
  EXPECT_TRUE(IsWindow(d));
  EXPECT_EQ(0, Count(IDL_SHORTCUTS));
  EXPECT_FALSE(Exists(WorkDir() + "\\cfg\\lnk.cfg"));
}

TEST_F(Entries, WhileAnEditorIsOpenAddAndDoubleClickLeaveItsRecordAlone) {
  AddShortcut("app.exe", true, true);
  AddShortcut("readme.txt", true, true);
  DoubleClick(IDL_SHORTCUTS, 0);
  HWND d = Editor(kShortcutCaption);
  ASSERT_TRUE(d);
  ClickNow(IDB_LNK_ADD);
  DoubleClick(IDL_SHORTCUTS, 1);
  EXPECT_EQ(1, dialog1_init()->editing);
  EXPECT_EQ(0, dialog1_init()->position);
  Check(d, IDC_LNK_MENU, false);
  Press(d, IDB_LNK_APPLY);
  ASSERT_TRUE(WaitFor([&] { return !IsWindow(d); }));
  SendMessageA(Main(), WM_NULL, 0, 0);
  ASSERT_EQ(2, Count(IDL_SHORTCUTS));
  EXPECT_EQ(0x00010000u, ItemData(IDL_SHORTCUTS, 0));  // the first was edited, not the second
  EXPECT_EQ(0x00020002u, ItemData(IDL_SHORTCUTS, 1));
}

TEST_F(Entries, RemovingTheEntryUnderAnOpenEditorMakesItsApplyAddOne) {
  AddShortcut("app.exe", true, true);
  AddShortcut("readme.txt", true, true);
  DoubleClick(IDL_SHORTCUTS, 1);
  HWND d = Editor(kShortcutCaption);
  ASSERT_TRUE(d);
  Select(IDL_SHORTCUTS, 1);
  ClickNow(IDB_LNK_REMOVE);
  ASSERT_EQ(1, Count(IDL_SHORTCUTS));
  Press(d, IDB_LNK_APPLY);
  ASSERT_TRUE(WaitFor([&] { return !IsWindow(d); }));
  SendMessageA(Main(), WM_NULL, 0, 0);
  ASSERT_EQ(2, Count(IDL_SHORTCUTS));
  EXPECT_EQ("app.exe", ItemText(IDL_SHORTCUTS, 0));  // the stranger stays as it was
  EXPECT_EQ(0x00010001u, ItemData(IDL_SHORTCUTS, 0));
  EXPECT_EQ("readme.txt", ItemText(IDL_SHORTCUTS, 1));
  EXPECT_EQ(0x00030003u, ItemData(IDL_SHORTCUTS, 1));
}

TEST_F(Entries, RemovingShortcutsDeletesTheirKeysAndTheLastOneTheCounters) {
  AddShortcut("app.exe", true, true);
  AddShortcut("readme.txt", false, true);
  ClickNow(IDB_LNK_REMOVE);  // nothing selected: nothing happens
  SendMessageA(Main(), WM_NULL, 0, 0);
  EXPECT_EQ(2, Count(IDL_SHORTCUTS));
  Select(IDL_SHORTCUTS, 1);
  ClickNow(IDB_LNK_REMOVE);
  EXPECT_EQ("<none>", Ini("lnk.cfg", "menu", "2"));
  EXPECT_EQ("app.exe", Ini("lnk.cfg", "menu", "1"));
  EXPECT_TRUE(Enabled(IDB_LNK_REMOVE));
  Select(IDL_SHORTCUTS, 0);
  ClickNow(IDB_LNK_REMOVE);
  EXPECT_EQ(0, Count(IDL_SHORTCUTS));
  EXPECT_FALSE(Enabled(IDB_LNK_REMOVE));
  EXPECT_EQ("<none>", Ini("lnk.cfg", "index1", "max"));
  EXPECT_EQ("<none>", Ini("lnk.cfg", "index2", "max"));
  AddShortcut("app.exe", true, true);
  EXPECT_EQ(0x00010001u, ItemData(IDL_SHORTCUTS, 0));
}

TEST_F(Entries, RunEditorTextsAndTheSilentBoxFollowingTheFamily) {
  Click(IDB_RUN_ADD);
  HWND d = Editor(kRunCaption);
  ASSERT_TRUE(d);
  EXPECT_EQ("Plik do uruchomienia z parametrami:", WindowText(GetDlgItem(d, IDS_RUN_LABEL)));
  EXPECT_EQ("Uruchom podczas instalacji.", WindowText(GetDlgItem(d, IDC_RUN_INSTALL)));
  EXPECT_EQ("Uruchom podczas odinstalowania.", WindowText(GetDlgItem(d, IDC_RUN_UNINSTALL)));
  EXPECT_EQ("Uruchom bez pytania.", WindowText(GetDlgItem(d, IDC_RUN_SILENT)));
  EXPECT_TRUE(Checked(d, IDC_RUN_INSTALL));
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(d, IDB_RUN_APPLY)));
  Check(d, IDC_RUN_SILENT, true);
  Press(d, IDC_RUN_UNINSTALL);
  ASSERT_TRUE(WaitFor([&] { return !IsWindowEnabled(GetDlgItem(d, IDC_RUN_SILENT)); }));
  EXPECT_FALSE(Checked(d, IDC_RUN_SILENT));
  Press(d, IDC_RUN_INSTALL);
  ASSERT_TRUE(WaitFor([&] { return IsWindowEnabled(GetDlgItem(d, IDC_RUN_SILENT)) != FALSE; }));
  EXPECT_FALSE(Checked(d, IDC_RUN_SILENT));
  // An empty field: the path message, and the dialog closes.
  Press(d, IDB_RUN_APPLY);
  EXPECT_EQ(kBadPath, AnswerMessage());
  ASSERT_TRUE(WaitFor([&] { return !IsWindow(d); }));
  EXPECT_EQ(0, Count(IDL_RUN));
}

TEST_F(Entries, RunEntriesOfBothFamilies) {
  AddRun("setup.exe", false, true);
  EXPECT_EQ("setup.exe", Ini("init.cfg", "Run", "1"));
  EXPECT_EQ("1", Ini("init.cfg", "silent", "1"));
  AddRun("clean.exe", true, false);
  EXPECT_EQ("clean.exe", Ini("init.cfg", "RunU", "1"));
  EXPECT_EQ("1", Ini("init.cfg", "silent", "1"));  // no "silent" of its own
  EXPECT_TRUE(Enabled(IDB_RUN_REMOVE));

  // Outside the program folder: refused, nothing changes, the dialog closes.
  Click(IDB_RUN_ADD);
  HWND d = Editor(kRunCaption);
  ASSERT_TRUE(d);
  SetDlgItemTextA(d, IDE_RUN_PATH, (temp_ + "outside.exe").c_str());
  Press(d, IDB_RUN_APPLY);
  EXPECT_EQ(kOutside, AnswerMessage());
  ASSERT_TRUE(WaitFor([&] { return !IsWindow(d); }));
  EXPECT_EQ(2, Count(IDL_RUN));
}

TEST_F(Entries, EditingARunEntryIntoAnUninstallEntry) {
  AddRun("setup.exe", false, true);
  AddRun("app.exe", false, false);
  AddRun("readme.txt", false, false);
  DoubleClick(IDL_RUN, 0);
  HWND d = Editor(kRunCaption);
  ASSERT_TRUE(d);
  EXPECT_EQ(prog_ + "\\setup.exe", WindowText(GetDlgItem(d, IDE_RUN_PATH)));
  EXPECT_TRUE(Checked(d, IDC_RUN_SILENT));
  Press(d, IDC_RUN_UNINSTALL);
  WaitFor([&] { return Checked(d, IDC_RUN_UNINSTALL); });
  Press(d, IDB_RUN_APPLY);
  ASSERT_TRUE(WaitFor([&] { return !IsWindow(d); }));
  SendMessageA(Main(), WM_NULL, 0, 0);
  EXPECT_EQ("<none>", Ini("init.cfg", "Run", "1"));
  EXPECT_EQ("setup.exe", Ini("init.cfg", "RunU", "1"));
  EXPECT_EQ("setup.exe", ItemText(IDL_RUN, 0));
  EXPECT_EQ(0x00000001u, ItemData(IDL_RUN, 0));
}

TEST_F(Entries, ADoubleClickWithoutSelectionOrDuringPackingOpensNothing) {
  AddShortcut("app.exe", true, true);
  // An editor takes its slot while the double-click is handled.
  Select(IDL_SHORTCUTS, -1);
  CommandNow(IDL_SHORTCUTS, LBN_DBLCLK);
  EXPECT_FALSE(IsOpen(kShortcutEditor.dialog.slot));
  dialog()[kPackingDialog.slot] = 0;  // the packing progress dialog counts as open
  Select(IDL_SHORTCUTS, 0);
  CommandNow(IDL_SHORTCUTS, LBN_DBLCLK);
  EXPECT_FALSE(IsOpen(kShortcutEditor.dialog.slot));
  dialog()[kPackingDialog.slot] = 1;
  // The same double-click opens the editor once nothing is packing.
  CommandNow(IDL_SHORTCUTS, LBN_DBLCLK);
  EXPECT_TRUE(IsOpen(kShortcutEditor.dialog.slot));
  HWND d = Editor(kShortcutCaption);
  ASSERT_TRUE(d);
  Press(d, IDB_LNK_CLOSE);
  ASSERT_TRUE(WaitFor([] { return !IsOpen(kShortcutEditor.dialog.slot); }));
}
TEST_F(Entries, RegistryEditorTextsTypeListAndPathBox) {
  HWND d = RegistryEditor();
  ASSERT_TRUE(d);
  const struct {
    int id;
    const char* text;
  } kTexts[] = {{IDS_REG_KEY_LABEL, "Klucz:"},   {IDS_REG_NAME_LABEL, "Nazwa:"},
                {IDS_REG_TYPE_LABEL, "Typ:"},    {IDS_REG_VALUE_LABEL, "Warto\x9c\xe6:"},
                {IDB_REG_HELP, "Pomoc"},         {IDB_REG_CLOSE, "Wyjd\x9f"},
                {IDB_REG_APPLY, "Zastosuj"},     {IDC_REG_DYNAMIC, "Dynamiczna kontrola \x9c" "cie\xbfki."}};
  for (const auto& t : kTexts) EXPECT_EQ(t.text, WindowText(GetDlgItem(d, t.id))) << t.id;
  HWND combo = GetDlgItem(d, IDC_REG_TYPE);
  ASSERT_EQ(4, (int)SendMessageA(combo, CB_GETCOUNT, 0, 0));
  const char* kTypes[] = {"REG_BINARY", "REG_DWORD", "REG_EXPAND_SZ", "REG_SZ"};
  for (int i = 0; i < 4; ++i) {
    char buf[32] = {0};
    SendMessageA(combo, CB_GETLBTEXT, i, (LPARAM)buf);
    EXPECT_STREQ(kTypes[i], buf);
  }
  EXPECT_EQ("REG_SZ", WindowText(combo));
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(d, IDB_REG_APPLY)));
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(d, IDC_REG_DYNAMIC)));
  SetDlgItemTextA(d, IDE_REG_KEY, "x");
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(d, IDB_REG_APPLY)));
  SetDlgItemTextA(d, IDE_REG_KEY, "");
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(d, IDB_REG_APPLY)));
  ASSERT_TRUE(FillRegistryEditor(d, "", "", "", "REG_EXPAND_SZ", true));
  EXPECT_TRUE(Checked(d, IDC_REG_DYNAMIC));
  ASSERT_TRUE(FillRegistryEditor(d, "", "", "", "REG_DWORD", false));
  EXPECT_FALSE(Checked(d, IDC_REG_DYNAMIC));
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(d, IDC_REG_DYNAMIC)));
  EXPECT_FALSE(FillRegistryEditor(d, "", "", "", "REG_BINARY", true));  // no path box for binary
  ClickNow(IDB_REG_ADD);  // a second press opens no second editor
  EXPECT_EQ(d, FindWindowA("#32770", kRegistryEditorCaption));
  EXPECT_FALSE(FindWindowExA(nullptr, d, "#32770", kRegistryEditorCaption));
  PressAndWaitClosed(d, IDB_REG_CLOSE);
  EXPECT_TRUE(ProjectModified());
}

TEST_F(Entries, NewRegistryEntriesAndTheKeyCheck) {
  // An item of a project whose "reg.cfg" holds nothing opens with empty fields and REG_SZ.
  SendMessageA(Box(IDL_REGISTRY), LB_ADDSTRING, 0, (LPARAM) "x");
  SendMessageA(Box(IDL_REGISTRY), LB_SETITEMDATA, 0, 2);
  HWND d = RegistryEditor(0);
  ASSERT_TRUE(d);
  for (int id : {IDE_REG_KEY, IDE_REG_NAME, IDE_REG_VALUE}) EXPECT_EQ("", WindowText(GetDlgItem(d, id))) << id;
  EXPECT_EQ("REG_SZ", WindowText(GetDlgItem(d, IDC_REG_TYPE)));
  PressAndWaitClosed(d, IDB_REG_CLOSE);
  EnableWindow(Item(IDB_REG_REMOVE), TRUE);
  ClickNow(IDB_REG_REMOVE);
  ASSERT_EQ(0, Count(IDL_REGISTRY));

  // The first with the type as the editor offers it and no name.
  d = RegistryEditor();
  ASSERT_TRUE(d);
  SetDlgItemTextA(d, IDE_REG_KEY, kHklm);
  SetDlgItemTextA(d, IDE_REG_VALUE, "v");
  PressAndWaitClosed(d, IDB_REG_APPLY);
  ASSERT_EQ(1, Count(IDL_REGISTRY));
  EXPECT_EQ("<Brak nazwy>", ItemText(IDL_REGISTRY, 0));
  EXPECT_EQ(1u, ItemData(IDL_REGISTRY, 0));
  const struct {
    const char *section, *value;
  } kFirst[] = {{"key", kHklm}, {"name", ""}, {"value", "v"}, {"type", "3"}, {"dynam", "0"}, {"line", "0"}};
  for (const auto& k : kFirst) EXPECT_EQ(k.value, Ini("reg.cfg", k.section, "1")) << k.section;
  EXPECT_TRUE(Enabled(IDB_REG_REMOVE));

  const struct {
    const char* key;
    bool passes;
  } kKeys[] = {{"HKEY_USERS\\", true},
               {"HKEY_CLASSES_ROOT\\.abc\\x", true},
               {"HKEY_CURRENT_USER\\Software", true},
               {"hkey_local_machine\\Software\\X", false},
               {"HKEY_CURRENT_CONFIG\\X", false},
               {"HKEY_USERS", false}};
  for (const auto& k : kKeys) {
    SCOPED_TRACE(k.key);
    int before = Count(IDL_REGISTRY);
    d = RegistryEditor();
    ASSERT_TRUE(d);
    ASSERT_TRUE(FillRegistryEditor(d, k.key, "n", "v", "REG_SZ", false));
    Press(d, IDB_REG_APPLY);
    if (!k.passes) {
      EXPECT_EQ(kBadKey, AnswerMessage());
    }
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(d); }));  // closes either way
    SendMessageA(Main(), WM_NULL, 0, 0);
    EXPECT_EQ(before + (k.passes ? 1 : 0), Count(IDL_REGISTRY));
  }
}

TEST_F(Entries, RegistryValueIsCheckedAgainstItsTypeAsTheInstallerReadsIt) {
  const struct {
    const char *type, *value;
    bool dynam;
    const char* refusal;  // nullptr: stored
    const char* line;
  } kValues[] = {
      {"REG_DWORD", "4294967296", false, kNotDword, nullptr},  {"REG_DWORD", "-1", false, kNotDword, nullptr},
      {"REG_DWORD", "0x10", false, kNotDword, nullptr},        {"REG_DWORD", "", false, kNotDword, nullptr},
      {"REG_BINARY", "abc", false, kNotBinary, nullptr},       {"REG_BINARY", "0 1", false, kNotBinary, nullptr},
      {"REG_BINARY", "zz", false, kNotBinary, nullptr},        {"REG_EXPAND_SZ", "..\\x", true, kNotRelative, nullptr},
      {"REG_EXPAND_SZ", "C:\\x", true, kNotRelative, nullptr}, {"REG_EXPAND_SZ", "\\x", true, kNotRelative, nullptr},
      {"REG_DWORD", "4294967295", false, nullptr, "0"}, {"REG_BINARY", "01 ab,FF", false, nullptr, "0"},
      {"REG_BINARY", "", false, nullptr, "0"},        {"REG_SZ", "\"", false, nullptr, "1"},
      {"REG_EXPAND_SZ", "bin\\tool.exe", true, nullptr, "0"}, {"REG_EXPAND_SZ", "..\\x", false, nullptr, "0"},
  };
  int stored = 0;
  for (const auto& v : kValues) {
    SCOPED_TRACE(std::string(v.type) + " " + v.value);
    HWND d = RegistryEditor();
    ASSERT_TRUE(d);
    ASSERT_TRUE(FillRegistryEditor(d, kHklm, "n", v.value, v.type, v.dynam));
    if (v.refusal) {
      Press(d, IDB_REG_APPLY);
      EXPECT_EQ(v.refusal, AnswerMessage());
      EXPECT_TRUE(IsWindow(d));  // still open with what was typed
      EXPECT_EQ(v.value, WindowText(GetDlgItem(d, IDE_REG_VALUE)));
      EXPECT_EQ(v.type, WindowText(GetDlgItem(d, IDC_REG_TYPE)));
      PressAndWaitClosed(d, IDB_REG_CLOSE);
      EXPECT_EQ(stored, Count(IDL_REGISTRY));
      continue;
    }
    PressAndWaitClosed(d, IDB_REG_APPLY);
    ASSERT_EQ(++stored, Count(IDL_REGISTRY));
    std::string n = std::to_string(stored);
    EXPECT_EQ(v.line, Ini("reg.cfg", "line", n.c_str()));
    EXPECT_EQ(v.dynam ? "1" : "0", Ini("reg.cfg", "dynam", n.c_str()));
  }
}

TEST_F(Entries, EditingARegistryEntryFindsItByItsNumber) {
  // The list's order is not the numbers' order (a project made elsewhere): the item's number counts.
  std::string reg = WorkDir() + "\\cfg\\reg.cfg";
  WriteFile(reg, "[index]\r\nmax=9\r\n[key]\r\n1=HKEY_CURRENT_USER\\A\r\n3=HKEY_CURRENT_USER\\C\r\n"
                 "[name]\r\n1=a\r\n3=c\r\n[value]\r\n1=1\r\n3=\"q r\"\r\n[type]\r\n1=1\r\n3=2\r\n"
                 "[dynam]\r\n1=0\r\n3=0\r\n[line]\r\n1=0\r\n3=1\r\n");
  for (DWORD n : {3, 1}) {
    LRESULT at = SendMessageA(Box(IDL_REGISTRY), LB_ADDSTRING, 0, (LPARAM)(n == 3 ? "c" : "a"));
    SendMessageA(Box(IDL_REGISTRY), LB_SETITEMDATA, at, n);
  }
  EnableWindow(Item(IDB_REG_REMOVE), TRUE);
  HWND d = RegistryEditor(0);
  ASSERT_TRUE(d);
  EXPECT_EQ("HKEY_CURRENT_USER\\C", WindowText(GetDlgItem(d, IDE_REG_KEY)));
  EXPECT_EQ("c", WindowText(GetDlgItem(d, IDE_REG_NAME)));
  EXPECT_EQ("\"q r\"", WindowText(GetDlgItem(d, IDE_REG_VALUE)));  // its quotes put back
  EXPECT_EQ("REG_EXPAND_SZ", WindowText(GetDlgItem(d, IDC_REG_TYPE)));
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(d, IDC_REG_DYNAMIC)));
  EXPECT_FALSE(Checked(d, IDC_REG_DYNAMIC));
  // While it is open, the add button and a double-click leave its record alone.
  ClickNow(IDB_REG_ADD);
  DoubleClick(IDL_REGISTRY, 1);
  EXPECT_EQ(1, dialog3_init()->editing);
  EXPECT_EQ(0, dialog3_init()->position);
  ASSERT_TRUE(FillRegistryEditor(d, "HKEY_CURRENT_USER\\C", "", "5", "REG_DWORD", false));
  PressAndWaitClosed(d, IDB_REG_APPLY);
  ASSERT_EQ(2, Count(IDL_REGISTRY));
  EXPECT_EQ("<Brak nazwy>", ItemText(IDL_REGISTRY, 0));
  EXPECT_EQ(3u, ItemData(IDL_REGISTRY, 0));
  EXPECT_EQ("5", Ini("reg.cfg", "value", "3"));
  EXPECT_EQ("1", Ini("reg.cfg", "type", "3"));
  EXPECT_EQ("0", Ini("reg.cfg", "line", "3"));
  EXPECT_EQ("1", Ini("reg.cfg", "value", "1"));
  // The remove button under an open editor removes the selected entry, not the editor's; the
  // editor's Apply then edits the only entry.
  d = RegistryEditor(0);
  ASSERT_TRUE(d);
  Select(IDL_REGISTRY, 1);
  ClickNow(IDB_REG_REMOVE);
  ASSERT_EQ(1, Count(IDL_REGISTRY));
  EXPECT_EQ(3u, ItemData(IDL_REGISTRY, 0));
  EXPECT_EQ("<none>", Ini("reg.cfg", "key", "1"));
  PressAndWaitClosed(d, IDB_REG_APPLY);
  ASSERT_EQ(1, Count(IDL_REGISTRY));
  EXPECT_EQ(3u, ItemData(IDL_REGISTRY, 0));
}

TEST_F(Entries, ARefusedStoreKeepsTheOldEntryInTheListAndTheFile) {
  // A damaged project: a counter past the last number (and more than one entry, so that the edit's
  // removal leaves the counters in place).
  AddShortcut("app.exe", true, false);
  AddShortcut("readme.txt", true, false);
  WritePrivateProfileStringA("index2", "max", "70000", (WorkDir() + "\\cfg\\lnk.cfg").c_str());
  DoubleClick(IDL_SHORTCUTS, 0);
  HWND d = Editor(kShortcutCaption);
  ASSERT_TRUE(d);
  Check(d, IDC_LNK_MENU, true);
  SendMessageA(GetDlgItem(d, IDB_LNK_APPLY), BM_CLICK, 0, 0);  // refused without a word: returns
  EXPECT_TRUE(IsWindow(d));
  ASSERT_EQ(2, Count(IDL_SHORTCUTS));
  EXPECT_EQ(0x00010000u, ItemData(IDL_SHORTCUTS, 0));
  EXPECT_EQ("app.exe", Ini("lnk.cfg", "desktop", "1"));
  PressAndWaitClosed(d, IDB_LNK_CLOSE);

  AddRun("setup.exe", false, true);
  AddRun("app.exe", false, false);
  WritePrivateProfileStringA("index", "maxU", "70000", (WorkDir() + "\\cfg\\init.cfg").c_str());
  DoubleClick(IDL_RUN, 0);
  d = Editor(kRunCaption);
  ASSERT_TRUE(d);
  Press(d, IDC_RUN_UNINSTALL);
  ASSERT_TRUE(WaitFor([&] { return Checked(d, IDC_RUN_UNINSTALL); }));
  PressAndWaitClosed(d, IDB_RUN_APPLY);
  ASSERT_EQ(2, Count(IDL_RUN));
  EXPECT_EQ(0x00010000u, ItemData(IDL_RUN, 0));
  EXPECT_EQ("setup.exe", Ini("init.cfg", "Run", "1"));
  EXPECT_EQ("<none>", Ini("init.cfg", "RunU", "70000"));

  WritePrivateProfileStringA("index", "max", "70000", (WorkDir() + "\\cfg\\reg.cfg").c_str());
  ASSERT_TRUE(AddRegistry(kHklm, "n", "v", "REG_SZ"));
  EXPECT_EQ(0, Count(IDL_REGISTRY));
  EXPECT_EQ("<none>", Ini("reg.cfg", "key", "70000"));
}
}  // namespace
