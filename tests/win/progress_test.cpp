// The packing progress dialog: texts, percentages, abort and the build's own close.
#include "uitest.h"
#include "app/func.h"
#include "build/kopiuj.h"
#include "res/resource.h"
#include <commctrl.h>
#include <thread>

using namespace uitest;

namespace {
class ProgressDialog : public AppTest {
 protected:
  HWND Open() {
    // The build opens the dialog from the main window's thread.
    SendMessageA(Main(), WM_NULL, 0, 0);
    DialogKopiuj();
    HWND d = FindTopWindow("#32770", "Pakowanie plik\xf3w");
    EXPECT_TRUE(d);
    EXPECT_TRUE(WaitFor([] { return ProgressWindow() != nullptr; }));
    return d;
  }
  static std::string Pct(HWND d, int id) { return WindowText(GetDlgItem(d, id)); }
  static int Pos(HWND d, int id) { return (int)SendDlgItemMessageA(d, id, PBM_GETPOS, 0, 0); }
};

TEST_F(ProgressDialog, ShowsItsTextsAndGraysTheProjectMenuWhileOpen) {
  StartApp();
  HWND d = Open();
  EXPECT_EQ("Ca\xb3kowity post\xea" "p:", WindowText(GetDlgItem(d, IDS_PACK_TOTAL)));
  EXPECT_EQ("Bierz\xb9" "cy post\xea" "p:", WindowText(GetDlgItem(d, IDS_PACK_CURRENT)));
  EXPECT_EQ("Przerwij", WindowText(GetDlgItem(d, IDB_PACK_CANCEL)));
  EXPECT_EQ("0 %", Pct(d, IDS_PACK_TOTAL_PCT));
  EXPECT_EQ("0 %", Pct(d, IDS_PACK_CURR_PCT));
  for (int id = IDM_NEW; id <= IDM_SETTINGS; ++id) EXPECT_TRUE(MenuState(id) & MF_GRAYED) << id;
  EXPECT_FALSE(MenuState(IDM_ABOUT) & MF_GRAYED);
  EXPECT_TRUE(IsOpen(kPackingDialog.slot));
  // Esc leaves it open: once the dialog has handled it, it still holds its slot.
  ASSERT_TRUE(SendMessageTimeoutA(d, WM_COMMAND, IDCANCEL, 0, SMTO_NORMAL, 10000, nullptr));
  EXPECT_TRUE(IsOpen(kPackingDialog.slot));
  EXPECT_TRUE(IsWindow(d));
  CloseProgressByBuild();
  ASSERT_TRUE(WaitFor([] { return !IsOpen(kPackingDialog.slot); }));
  for (int id = IDM_NEW; id <= IDM_SETTINGS; ++id) EXPECT_FALSE(MenuState(id) & MF_GRAYED) << id;
}

TEST_F(ProgressDialog, PercentagesUseTheCompactFormatAndTheLabelCacheOutlivesADialog) {
  StartApp();
  HWND d = Open();
  Progress(37, false, nullptr);
  Progress(5, true, nullptr);
  EXPECT_EQ("37%", Pct(d, IDS_PACK_TOTAL_PCT));
  EXPECT_EQ("5%", Pct(d, IDS_PACK_CURR_PCT));
  EXPECT_EQ(37, Pos(d, IDP_PACK_TOTAL));
  EXPECT_EQ(5, Pos(d, IDP_PACK_CURRENT));
  Progress(100, false, nullptr);
  Progress(100, true, nullptr);
  EXPECT_EQ("100%", Pct(d, IDS_PACK_TOTAL_PCT));
  CloseProgressByBuild();
  ASSERT_TRUE(WaitFor([] { return !IsOpen(kPackingDialog.slot); }));
  // A new dialog: its labels show "0 %" until a value other than the last one is reported.
  d = Open();
  Progress(100, false, nullptr);
  EXPECT_EQ("0 %", Pct(d, IDS_PACK_TOTAL_PCT));
  EXPECT_EQ(100, Pos(d, IDP_PACK_TOTAL));
  Progress(3, false, nullptr);
  EXPECT_EQ("3%", Pct(d, IDS_PACK_TOTAL_PCT));
  CloseProgressByBuild();
}

// A build's report is queued to the dialog: the build goes on while the dialog's thread cannot run
// (under Wine on a busy machine, each report waited milliseconds for it), and the dialog shows it
// once it runs again.
TEST_F(ProgressDialog, ABuildsReportDoesNotWaitForTheDialogsThread) {
  StartApp();
  HWND d = Open();
  HANDLE dialogThread = Threadfunc()[kPackingDialog.slot];
  ASSERT_NE((DWORD)-1, SuspendThread(dialogThread));
  volatile LONG reported = 0;
  std::thread build([&] {
    ShowBuildProgress(37, 5);
    reported = 1;
  });
  bool returned = WaitFor([&] { return reported != 0; }, 5000);
  ResumeThread(dialogThread);
  build.join();
  EXPECT_TRUE(returned);
  EXPECT_TRUE(WaitFor([&] { return Pct(d, IDS_PACK_TOTAL_PCT) == "37%" && Pct(d, IDS_PACK_CURR_PCT) == "5%"; }));
  EXPECT_EQ(37, Pos(d, IDP_PACK_TOTAL));
  EXPECT_EQ(5, Pos(d, IDP_PACK_CURRENT));
  CloseProgressByBuild();
}

// A dialog slow to open: what the build reports meanwhile is shown once the dialog has opened (held
// here by the main window's thread, which the dialog's menu update waits for).
TEST_F(ProgressDialog, ReportsMadeWhileItOpensAreShownOnceItHasOpened) {
  StartApp();
  SendMessageA(Main(), WM_NULL, 0, 0);
  HANDLE mainThread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, GetWindowThreadProcessId(Main(), nullptr));
  ASSERT_TRUE(mainThread);
  ASSERT_NE((DWORD)-1, SuspendThread(mainThread));
  DialogKopiuj();
  bool early = ProgressWindow() == nullptr;
  ShowBuildProgress(3, 100);
  ShowBuildProgress(11, 40);
  ResumeThread(mainThread);
  CloseHandle(mainThread);
  EXPECT_TRUE(early);
  HWND d = FindTopWindow("#32770", "Pakowanie plik\xf3w");
  ASSERT_TRUE(d);
  EXPECT_TRUE(WaitFor([&] { return Pct(d, IDS_PACK_TOTAL_PCT) == "11%" && Pct(d, IDS_PACK_CURR_PCT) == "40%"; }));
  EXPECT_EQ(11, Pos(d, IDP_PACK_TOTAL));
  CloseProgressByBuild();
  EXPECT_TRUE(WaitFor([] { return !IsOpen(kPackingDialog.slot); }));
}

TEST_F(ProgressDialog, BuildCloseNeitherCancelsNorDeletes) {
  StartApp();
  std::string bin = WorkDir() + "\\bin\\cfg.dat";
  WriteFile(bin, "GZC");
  Open();
  CloseProgressByBuild();
  ASSERT_TRUE(WaitFor([] { return !IsOpen(kPackingDialog.slot); }));
  EXPECT_FALSE(BuildCancelled());
  EXPECT_EQ(1, *Cancel());
  EXPECT_TRUE(Exists(bin));
}

class Abort : public ProgressDialog, public ::testing::WithParamInterface<bool> {};
TEST_P(Abort, ButtonOrCloseBoxCancelsAndEmptiesBin) {
  StartApp();
  std::string bin = WorkDir() + "\\bin\\";
  WriteFile(bin + "bin.dat", "GZC");
  CreateDirectoryA((bin + "sub").c_str(), nullptr);
  WriteFile(bin + "sub\\x", "1");
  WriteFile(WorkDir() + "\\cfg\\init.cfg", "[cfg]");
  HWND d = Open();
  if (GetParam()) PostMessageA(GetDlgItem(d, IDB_PACK_CANCEL), BM_CLICK, 0, 0);
  else PostMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0);
  ASSERT_TRUE(WaitFor([] { return !IsOpen(kPackingDialog.slot); }));
  EXPECT_TRUE(BuildCancelled());
  EXPECT_FALSE(Exists(bin + "bin.dat"));
  EXPECT_FALSE(Exists(bin + "sub\\x"));
  EXPECT_TRUE(IsDir(bin + "sub"));
  EXPECT_TRUE(Exists(WorkDir() + "\\cfg\\init.cfg"));  // only "bin" is emptied
  EXPECT_FALSE(MenuState(IDM_NEW) & MF_GRAYED);
  // The build's late close finds no window and changes nothing.
  CloseProgressByBuild();
  EXPECT_EQ(1, *Cancel());
  ClearBuildCancel();
}
INSTANTIATE_TEST_SUITE_P(ByButtonAndCloseBox, Abort, ::testing::Values(true, false));
}  // namespace
