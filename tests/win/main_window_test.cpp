// The main window as the user meets it: texts, menu, enable rules, locking, closing.
#include "uitest.h"
#include "app/func.h"
#include "app/func1.h"
#include "build/kopiuj.h"
#include "dlgkit/dlgkit.h"
#include "entries/editor.h"
#include "lang/lang.h"
#include "res/resource.h"
#include <vector>

using namespace uitest;

namespace {
class MainWindow : public AppTest {};

TEST_F(MainWindow, ShowsCaptionLabelsButtonsAndMenuInPolish) {
  StartApp();
  EXPECT_EQ("Packrift v2.20", WindowText(Main()));
  EXPECT_EQ("Nazwa programu:", Text(IDS_NAME_LABEL));
  EXPECT_EQ("Folder z plikami programu:", Text(IDS_FOLDER_LABEL));
  EXPECT_EQ("Plik instalatora:", Text(IDS_SETUP_LABEL));
  EXPECT_EQ("Plik licencji:", Text(IDS_LICENCE_LABEL));
  EXPECT_EQ("Plik informacji ko\xf1" "cowej:", Text(IDS_INFO_LABEL));  // CP1250
  for (int id : {IDB_FOLDER_BROWSE, IDB_SETUP_BROWSE, IDB_LICENCE_BROWSE, IDB_INFO_BROWSE})
    EXPECT_EQ("Pobierz", Text(id));
  for (int id : {IDB_LNK_ADD, IDB_RUN_ADD, IDB_REG_ADD}) EXPECT_EQ("Dodaj", Text(id));
  for (int id : {IDB_LNK_REMOVE, IDB_RUN_REMOVE, IDB_REG_REMOVE}) EXPECT_EQ("Usu\xf1", Text(id));
  EXPECT_EQ("Zastosuj", Text(IDB_BUILD));
  EXPECT_EQ("Pomoc", Text(IDB_HELP));
  EXPECT_EQ("Zako\xf1" "cz", Text(IDB_CLOSE));

  EXPECT_EQ("&Projekt", MenuText(0, true));
  EXPECT_EQ("&Ustawienia", MenuText(1, true));
  EXPECT_EQ("P&omoc", MenuText(2, true));
  EXPECT_EQ("&Nowy projekt", MenuText(IDM_NEW, false));
  EXPECT_EQ("&Otw\xf3rz projekt", MenuText(IDM_OPEN, false));
  EXPECT_EQ("&Zapisz projekt", MenuText(IDM_SAVE, false));
  EXPECT_EQ("&Zapisz projekt jako...", MenuText(IDM_SAVEAS, false));
  EXPECT_EQ("&Zako\xf1" "cz", MenuText(IDM_EXIT, false));
  EXPECT_EQ("&O programie", MenuText(IDM_ABOUT, false));
  EXPECT_EQ("Po&moc", MenuText(IDM_HELP, false));
  // Renaming a drop-down title keeps its menu.
  EXPECT_TRUE(GetSubMenu(GetMenu(Main()), 0));
  EXPECT_TRUE(GetSubMenu(GetMenu(Main()), 2));
}

TEST_F(MainWindow, StartsWithSaveGrayedAndNoProjectState) {
  StartApp();
  EXPECT_TRUE(MenuState(IDM_SAVE) & MF_GRAYED);
  EXPECT_FALSE(MenuState(IDM_SAVEAS) & MF_GRAYED);
  EXPECT_FALSE(ProjectModified());
  EXPECT_STREQ("", PlikProjektu());
  for (EntryEditState* e : {dialog1_init(), dialog2_init(), dialog3_init()}) {
    EXPECT_EQ(0, e->editing);
    EXPECT_EQ(-1, e->position);
  }
  for (int id : {IDB_LNK_REMOVE, IDB_RUN_REMOVE, IDB_REG_REMOVE}) EXPECT_FALSE(Enabled(id));
}

TEST_F(MainWindow, AddAndBuildButtonsFollowTheProgramFolderField) {
  StartApp();
  const int follow[] = {IDB_LNK_ADD, IDB_RUN_ADD, IDB_REG_ADD, IDB_BUILD};
  for (int id : follow) EXPECT_FALSE(Enabled(id)) << id;
  SetText(IDE_FOLDER, "C");
  for (int id : follow) EXPECT_TRUE(Enabled(id)) << id;
  SetText(IDE_FOLDER, "");
  for (int id : follow) EXPECT_FALSE(Enabled(id)) << id;
  // Other fields change nothing.
  SetText(IDE_NAME, "x");
  SetText(IDE_SETUP, "y");
  for (int id : follow) EXPECT_FALSE(Enabled(id)) << id;
}

TEST_F(MainWindow, FolderFieldChangesNoButtonWhileABuildRuns) {
  StartApp();
  SetBuildRunning(true);
  SetText(IDE_FOLDER, "C:\\prog");
  EXPECT_FALSE(Enabled(IDB_BUILD));
  EXPECT_FALSE(Enabled(IDB_LNK_ADD));
  SetBuildRunning(false);
  SetText(IDE_FOLDER, "C:\\prog2");
  EXPECT_TRUE(Enabled(IDB_BUILD));
}

// Every push button of the window, found on screen: none may be pressed while a build runs.
BOOL CALLBACK CollectPushButton(HWND w, LPARAM lp) {
  char cls[16] = {0};
  GetClassNameA(w, cls, sizeof cls);
  LONG type = GetWindowLongA(w, GWL_STYLE) & BS_TYPEMASK;
  if (!lstrcmpiA(cls, "Button") && (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON))
    ((std::vector<HWND>*)lp)->push_back(w);
  return TRUE;
}
std::vector<HWND> PushButtons(HWND main) {
  std::vector<HWND> out;
  EnumChildWindows(main, CollectPushButton, (LPARAM)&out);
  return out;
}

TEST_F(MainWindow, LockDisablesEveryButtonAndUnlockRestoresEach) {
  StartApp();
  SetText(IDE_FOLDER, "C:\\prog");
  std::vector<HWND> all = PushButtons(Main());
  ASSERT_FALSE(all.empty());
  std::vector<bool> before;
  for (HWND b : all) before.push_back(IsWindowEnabled(b) != FALSE);
  SendMessageA(Main(), WM_NULL, 0, 0);
  LockButtons(true);
  for (HWND b : all) EXPECT_FALSE(IsWindowEnabled(b)) << GetDlgCtrlID(b);
  LockButtons(false);
  for (size_t i = 0; i < all.size(); ++i) EXPECT_EQ(before[i], IsWindowEnabled(all[i]) != FALSE) << GetDlgCtrlID(all[i]);
  EXPECT_TRUE(Enabled(IDB_BUILD));
  EXPECT_FALSE(Enabled(IDB_LNK_REMOVE));
  // A second lock overwrites the records with "disabled".
  LockButtons(true);
  LockButtons(true);
  LockButtons(false);
  for (HWND b : all) EXPECT_FALSE(IsWindowEnabled(b)) << GetDlgCtrlID(b);
}

// Each way of closing empties the working folder of files, nested ones too, and keeps its folders.
class Closing : public AppTest, public ::testing::WithParamInterface<int> {};

TEST_P(Closing, EmptiesTheWorkingFolderButKeepsFolders) {
  StartApp();
  std::string w = WorkDir();
  CreateDirectoryA((w + "\\cfg\\deep").c_str(), nullptr);
  CreateDirectoryA((w + "\\cfg\\deep\\er").c_str(), nullptr);
  WriteFile(w + "\\list.txt", "x");
  WriteFile(w + "\\cfg\\init.cfg", "[cfg]\r\n");
  WriteFile(w + "\\cfg\\deep\\er\\a.bin", "abc");
  WriteFile(w + "\\bin\\bin.dat", "GZC");
  switch (GetParam()) {
    case IDB_CLOSE: Click(IDB_CLOSE); break;
    case IDM_EXIT: Command(IDM_EXIT); break;
    default: PostMessageA(Main(), WM_SYSCOMMAND, SC_CLOSE, 0); break;  // the close box
  }
  ASSERT_TRUE(WaitFor([&] { return !AppRunning(); }));
  for (const char* f : {"\\list.txt", "\\cfg\\init.cfg", "\\cfg\\deep\\er\\a.bin", "\\bin\\bin.dat"})
    EXPECT_FALSE(Exists(w + f)) << f;
  for (const char* d : {"", "\\cfg", "\\bin", "\\cfg\\deep", "\\cfg\\deep\\er"}) EXPECT_TRUE(IsDir(w + d)) << d;
}
INSTANTIATE_TEST_SUITE_P(ThreeWays, Closing, ::testing::Values(IDB_CLOSE, IDM_EXIT, 0));

TEST_F(MainWindow, CloseDuringABuildWaitsForItsEnd) {
  StartApp();
  WriteFile(WorkDir() + "\\bin\\cfg.dat", "GZC");
  SetBuildRunning(true);
  // Sent, not posted: when it returns, the close has been handled, and has emptied nothing.
  ASSERT_TRUE(SendMessageTimeoutA(Main(), WM_SYSCOMMAND, SC_CLOSE, 0, SMTO_NORMAL, 10000, nullptr));
  EXPECT_TRUE(Exists(WorkDir() + "\\bin\\cfg.dat"));
  EXPECT_TRUE(AppRunning());
  // The build ends on the main thread and lets the deferred close through.
  SetBuildRunning(false);
  PostMessageA(Main(), WM_NULL, 0, 0);
  SendMessageTimeoutA(Main(), WM_NULL, 0, 0, SMTO_BLOCK, 1000, nullptr);
  CloseIfPending();
  ASSERT_TRUE(WaitFor([&] { return !AppRunning(); }));
  EXPECT_FALSE(Exists(WorkDir() + "\\bin\\cfg.dat"));
}

// A sub-dialog kind opens once at a time on its own thread and may open again after closing.
INT_PTR CALLBACK ProbeProc(HWND wnd, UINT msg, WPARAM, LPARAM) {
  if (msg == WM_INITDIALOG) SetWindowTextA(wnd, "probe dialog");
  if (msg == WM_CLOSE || msg == WM_DESTROY) {
    EndSubDialog(kAboutDialog.slot);
    return 1;
  }
  return 0;
}
DWORD WINAPI ProbeThread(LPVOID) {
  StartMain(ProbeProc, IDD_MAIN);
  return 1;
}

TEST_F(MainWindow, SubDialogKindOpensOnceAndAgainAfterClosing) {
  StartApp();
  LaunchDialog(kAboutDialog.slot, ProbeThread);
  EXPECT_TRUE(IsOpen(kAboutDialog.slot));
  HANDLE first = Threadfunc()[kAboutDialog.slot];
  HWND probe = FindTopWindow("#32770", "probe dialog");
  ASSERT_TRUE(probe);
  // Refused while one is open: a second dialog would have taken the slot's thread record at once.
  LaunchDialog(kAboutDialog.slot, ProbeThread);
  EXPECT_EQ(first, Threadfunc()[kAboutDialog.slot]);
  // The main window stays usable meanwhile.
  SetText(IDE_FOLDER, "C:\\x");
  EXPECT_TRUE(Enabled(IDB_BUILD));
  PostMessageA(probe, WM_CLOSE, 0, 0);
  ASSERT_TRUE(WaitFor([] { return !IsOpen(kAboutDialog.slot); }));
  ASSERT_TRUE(WaitFor([&] { return !IsWindow(probe); }));
  LaunchDialog(kAboutDialog.slot, ProbeThread);
  EXPECT_TRUE(IsOpen(kAboutDialog.slot));
  HWND again = FindTopWindow("#32770", "probe dialog");
  ASSERT_TRUE(again);
  PostMessageA(again, WM_CLOSE, 0, 0);
  ASSERT_TRUE(WaitFor([] { return !IsOpen(kAboutDialog.slot); }));
}

// An ended dialog may get its WM_DESTROY only after a new one of its kind has opened: a hook on its
// thread holds that WM_DESTROY back until the test lets it go.
HANDLE destroying, released;
HWND heldBack;
LRESULT CALLBACK HoldDestroy(int code, WPARAM wp, LPARAM lp) {
  const CWPSTRUCT* m = (const CWPSTRUCT*)lp;
  if (code == HC_ACTION && m->message == WM_DESTROY && m->hwnd == heldBack) {
    SetEvent(destroying);
    WaitForSingleObject(released, 10000);
  }
  return CallNextHookEx(nullptr, code, wp, lp);
}

TEST_F(MainWindow, ALateDestroyOfAnEndedDialogLeavesTheNextOfItsKindAlone) {
  StartApp();
  SetText(IDE_FOLDER, "C:\\x");
  std::string binFile = WorkDir() + "\\bin\\bin.dat";
  WriteFile(binFile, "GZC");
  destroying = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  released = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  struct Case {
    int slot;
    const char* caption;
  };
  for (const Case& c : {Case{kShortcutEditor.dialog.slot, "Dodawanie skr\xf3tu"}, Case{kPackingDialog.slot, "Pakowanie plik\xf3w"}}) {
    SCOPED_TRACE(c.caption);
    auto open = [&] {
      if (c.slot == kPackingDialog.slot) {
        SendMessageA(Main(), WM_NULL, 0, 0);
        DialogKopiuj();  // as the build opens it
      } else {
        Click(IDB_LNK_ADD);
      }
      return FindTopWindow("#32770", c.caption);
    };
    auto close = [&](HWND d) {
      if (c.slot == kPackingDialog.slot) CloseProgressByBuild();  // the build's own close: no cancel
      else PostMessageA(d, WM_CLOSE, 0, 0);
    };
    HWND first = open();
    ASSERT_TRUE(first);
    heldBack = first;
    // However the case ends, the held dialog goes on and has ended before the next step.
    struct Hold {
      HHOOK hook;
      HWND held;
      ~Hold() {
        SetEvent(released);
        WaitFor([&] { return !IsWindow(held); });
        if (hook) UnhookWindowsHookEx(hook);
        ResetEvent(released);
      }
    } hold{SetWindowsHookExA(WH_CALLWNDPROC, HoldDestroy, nullptr, GetWindowThreadProcessId(first, nullptr)), first};
    ASSERT_TRUE(hold.hook);
    close(first);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(destroying, 10000));
    EXPECT_FALSE(IsOpen(c.slot));
    HWND second = open();
    ASSERT_TRUE(second);
    EXPECT_NE(first, second);
    SetEvent(released);
    EXPECT_TRUE(WaitFor([&] { return !IsWindow(first); }));
    EXPECT_TRUE(IsOpen(c.slot));  // the second dialog still holds its slot
    EXPECT_TRUE(IsWindowVisible(second));
    EXPECT_FALSE(BuildCancelled());  // and the next build goes on
    EXPECT_TRUE(Exists(binFile));
    close(second);
    ASSERT_TRUE(WaitFor([&] { return !IsOpen(c.slot); }));
  }
  CloseHandle(destroying);
  CloseHandle(released);
}

int seen;
LRESULT CALLBACK CountingProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == WM_APP) ++seen;
  return DefWindowProcA(w, m, wp, lp);
}

TEST_F(MainWindow, MsgLoopDispatchesAWaitingMessageOfItsThread) {
  // On a thread of its own, with a window whose procedure counts what reaches it.
  seen = 0;
  WNDCLASSA wc = {};
  wc.lpfnWndProc = CountingProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "prt_msgloop";
  RegisterClassA(&wc);
  HWND w = CreateWindowA("prt_msgloop", "", 0, 0, 0, 1, 1, nullptr, nullptr, wc.hInstance, nullptr);
  PostMessageA(w, WM_APP, 0, 0);
  // It is called once per processed byte: a burst of calls must reach the waiting message.
  EXPECT_TRUE(WaitFor([] {
    for (int i = 0; i < 5000; ++i) MsgLoop();
    return seen == 1;
  }, 2000));
  DestroyWindow(w);
}
}  // namespace
