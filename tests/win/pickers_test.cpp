// The browse buttons: file dialogs by mode, the program-folder check, cancelling, the folder browser.
#include "uitest.h"
#include "app/func.h"
#include "res/resource.h"
#include <shlobj.h>

using namespace uitest;

namespace {
const char kOutside[] = "Wybrany plik musi znajdowa\xe6 si\xea w folderze z plikami programu.";

class Pickers : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    prog_ = temp_ + "Prog";
    CreateDirectoryA(prog_.c_str(), nullptr);
    WriteFile(prog_ + "\\lic.txt", "L");
    CreateDirectoryA((temp_ + "Program2").c_str(), nullptr);
    WriteFile(temp_ + "Program2\\a.txt", "A");
    WriteFile(temp_ + "other.txt", "O");
  }
  HWND Dialog(const char* title) { return FindTopWindow("#32770", title); }
  std::string prog_;
};

TEST_F(Pickers, LicenceInsideTheProgramFolderIsTakenAndOneOutsideRefused) {
  StartApp();
  SetText(IDE_FOLDER, prog_);
  Click(IDB_LICENCE_BROWSE);
  HWND d = Dialog("Wybierz plik licencji.");
  ASSERT_TRUE(d);
  AnswerFileDialog(d, prog_ + "\\lic.txt");
  ASSERT_TRUE(WaitFor([&] { return Text(IDE_LICENCE) == prog_ + "\\lic.txt"; }));
  EXPECT_TRUE(ProjectModified());

  Click(IDB_LICENCE_BROWSE);
  d = Dialog("Wybierz plik licencji.");
  ASSERT_TRUE(d);
  AnswerFileDialog(d, temp_ + "other.txt");
  EXPECT_EQ(kOutside, AnswerMessage());
  EXPECT_EQ(prog_ + "\\lic.txt", Text(IDE_LICENCE));
}

TEST_F(Pickers, TheFolderTestIsAPlainSubstringAndAnEmptyFolderAcceptsAll) {
  StartApp();
  SetText(IDE_FOLDER, prog_);  // ...\Prog is a substring of ...\Program2\a.txt
  Click(IDB_INFO_BROWSE);
  HWND d = Dialog("Wybierz plik informacji ko\xf1" "cowej.");
  ASSERT_TRUE(d);
  AnswerFileDialog(d, temp_ + "Program2\\a.txt");
  ASSERT_TRUE(WaitFor([&] { return Text(IDE_INFO) == temp_ + "Program2\\a.txt"; }));

  SetText(IDE_FOLDER, "");
  Click(IDB_LICENCE_BROWSE);
  d = Dialog("Wybierz plik licencji.");
  ASSERT_TRUE(d);
  AnswerFileDialog(d, temp_ + "other.txt");
  ASSERT_TRUE(WaitFor([&] { return Text(IDE_LICENCE) == temp_ + "other.txt"; }));
}

TEST_F(Pickers, TheInstallerPathIsSavedWherePointedWithoutTheFolderCheck) {
  StartApp();
  SetText(IDE_FOLDER, prog_);
  Click(IDB_SETUP_BROWSE);
  HWND d = Dialog("Wybierz nazw\xea i miejsce utworzenia pliku instalacyjnego.");
  ASSERT_TRUE(d);
  AnswerFileDialog(d, temp_ + "setup.exe");
  ASSERT_TRUE(WaitFor([&] { return Text(IDE_SETUP) == temp_ + "setup.exe"; }));
}

class CancelPicker : public Pickers, public ::testing::WithParamInterface<int> {};
TEST_P(CancelPicker, ChangesNoFieldShowsNothingButMarksTheProject) {
  StartApp();
  SetText(IDE_FOLDER, prog_);
  SetText(IDE_SETUP, "C:\\keep.exe");
  SetText(IDE_LICENCE, "keep.txt");
  SetText(IDE_INFO, "keep.html");
  Click(GetParam());
  HWND d = nullptr;
  ASSERT_TRUE(WaitFor([&] {
    HWND w = GetForegroundWindow();
    d = (w && w != Main() && GetWindow(w, GW_OWNER) == Main()) ? w : nullptr;
    return d != nullptr;
  }));
  CancelDialog(d);
  ASSERT_TRUE(WaitFor([&] { return !IsWindow(d); }));
  ASSERT_TRUE(WaitFor([] { return ProjectModified(); }));
  EXPECT_FALSE(FindWindowA("#32770", "Packrift"));
  EXPECT_EQ(prog_, Text(IDE_FOLDER));
  EXPECT_EQ("C:\\keep.exe", Text(IDE_SETUP));
  EXPECT_EQ("keep.txt", Text(IDE_LICENCE));
  EXPECT_EQ("keep.html", Text(IDE_INFO));
  EXPECT_FALSE(MenuState(IDM_SAVE) & MF_GRAYED);
}
INSTANTIATE_TEST_SUITE_P(EveryBrowseButton, CancelPicker,
                         ::testing::Values(IDB_FOLDER_BROWSE, IDB_SETUP_BROWSE, IDB_LICENCE_BROWSE, IDB_INFO_BROWSE));

TEST_F(Pickers, FolderBrowserWritesTheChosenFolderAndEnablesTheButtons) {
  StartApp();
  Click(IDB_FOLDER_BROWSE);
  HWND d = nullptr;
  ASSERT_TRUE(WaitFor([&] {
    HWND w = GetForegroundWindow();
    d = (w && w != Main() && GetWindow(w, GW_OWNER) == Main()) ? w : nullptr;
    return d != nullptr;
  }));
  PostMessageA(d, WM_COMMAND, IDOK, 0);  // the starting selection: the desktop folder
  char desktop[MAX_PATH];
  SHGetFolderPathA(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, 0, desktop);
  ASSERT_TRUE(WaitFor([&] { return !Text(IDE_FOLDER).empty(); }));
  EXPECT_EQ(desktop, Text(IDE_FOLDER));
  EXPECT_TRUE(Enabled(IDB_BUILD));
  EXPECT_TRUE(Enabled(IDB_LNK_ADD));
}

// "Save as" ignores a project path of fewer than 8 characters; from 8 up to the longest path the
// dialog gives back (MAX_PATH - 1 characters) it saves there, and a plain "save" finds the whole
// path again.
TEST_F(Pickers, SaveAsTakesProjectPathsFromEightCharactersToTheLongest) {
  std::string deep = temp_ + std::string(200 - temp_.size(), 'd');
  ASSERT_TRUE(CreateDirectoryA(deep.c_str(), nullptr));
  std::string longest = deep + "\\" + std::string(MAX_PATH - 1 - deep.size() - 5, 'p') + ".kpj";
  const struct {
    std::string path;
    bool taken;
  } cases[] = {{"C:\\a.kp", false}, {"C:\\a.kpj", true}, {longest, true}};
  for (const auto& c : cases) DeleteFileA(c.path.c_str());
  StartApp();
  // A save has ended when its file is there and the menu it grays is back.
  auto saved = [&](const std::string& path) { return Exists(path) && !(MenuState(IDM_NEW) & MF_GRAYED); };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path.size());
    Command(IDM_SAVEAS);
    HWND d = Dialog("Zapisz plik projektu.");
    ASSERT_TRUE(d);
    AnswerFileDialog(d, c.path);
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(d); }));
    if (c.taken) {
      ASSERT_TRUE(WaitFor([&] { return saved(c.path); }));
      EXPECT_FALSE(MenuState(IDM_SAVE) & MF_GRAYED);
    } else {
      // Once the command has been handled, a taken path would have begun its save (the menu
      // grayed) or ended it (the file there): read in that order.
      SendMessageA(Main(), WM_NULL, 0, 0);
      EXPECT_FALSE(MenuState(IDM_NEW) & MF_GRAYED);
      EXPECT_FALSE(Exists(c.path));
      EXPECT_TRUE(MenuState(IDM_SAVE) & MF_GRAYED);
    }
  }
  ASSERT_TRUE(DeleteFileA(longest.c_str()));
  Command(IDM_SAVE);
  EXPECT_TRUE(WaitFor([&] { return saved(longest); }));
  DeleteFileA("C:\\a.kpj");
}
TEST_F(Pickers, TranslatedFilterDescriptionsOfFullLengthFit) {
  // Two descriptions of 63 bytes each: more than a small fixed filter buffer would hold.
  std::string txt = std::string(55, 't') + " (*.txt)", html = std::string(54, 'h') + " (*.html)";
  ASSERT_EQ(63u, txt.size());
  ASSERT_EQ(63u, html.size());
  CreateDirectoryA((ExeDir() + "Lang").c_str(), nullptr);
  std::string lang = ExeDir() + "Lang\\Dlugi.lng";
  WriteFile(lang, "[lng]\r\n4=" + txt + "\r\n71=" + html + "\r\n6=Long title\r\n");
  RegWrite(HKEY_LOCAL_MACHINE, "3", "Dlugi", false);
  StartApp();
  SetText(IDE_FOLDER, prog_);
  Click(IDB_INFO_BROWSE);
  HWND d = Dialog("Long title");
  ASSERT_TRUE(d);
  HWND combo = GetDlgItem(d, 1136);  // the file-type box of the common dialog
  ASSERT_TRUE(combo);
  ASSERT_EQ(2, (int)SendMessageA(combo, CB_GETCOUNT, 0, 0));
  char buf[128];
  SendMessageA(combo, CB_GETLBTEXT, 0, (LPARAM)buf);
  EXPECT_EQ(txt, buf);
  SendMessageA(combo, CB_GETLBTEXT, 1, (LPARAM)buf);
  EXPECT_EQ(html, buf);
  CancelDialog(d);
  ASSERT_TRUE(WaitFor([&] { return !IsWindow(d); }));
  DeleteFileA(lang.c_str());
}
}  // namespace
