// The dialog helper library's exports, called as the program and other callers call them.
#include "uitest.h"
#include "dlgkit/dlgkit.h"
#include "res/resource.h"

using namespace uitest;

namespace {
INT_PTR CALLBACK QuitOnClose(HWND wnd, UINT msg, WPARAM, LPARAM) {
  if (msg == WM_INITDIALOG) SetWindowTextA(wnd, "dlgkit probe");
  if (msg == WM_CLOSE) {
    PostQuitMessage(0);
    return 1;
  }
  return 0;
}

DWORD WINAPI CloseProbeLater(LPVOID) {
  HWND w = FindTopWindow("#32770", "dlgkit probe");
  if (w) PostMessageA(w, WM_CLOSE, 0, 0);
  return w != nullptr;
}

TEST(Dlgkit, StartMainReturnsAfterTheQuitAndRunsASecondDialogOnTheSameThread) {
  for (int round = 0; round < 2; ++round) {
    HANDLE closer = CreateThread(nullptr, 0, CloseProbeLater, nullptr, 0, nullptr);
    EXPECT_EQ(0, StartMain(QuitOnClose, IDD_MAIN));
    WaitForSingleObject(closer, 15000);
    DWORD found = 0;
    GetExitCodeThread(closer, &found);
    CloseHandle(closer);
    EXPECT_EQ(1u, found) << "round " << round;
    EXPECT_FALSE(FindWindowA(nullptr, "dlgkit probe"));
  }
}

TEST(Dlgkit, SystemQueries) {
  EXPECT_EQ(0, IsNT());  // no message on the NT family
  float v = WinWer();
  EXPECT_GE(v, 5.0f);
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  GetVersionExA(&info);
  char want[32];
  snprintf(want, sizeof want, "%lu.%lu", info.dwMajorVersion, info.dwMinorVersion);
  EXPECT_FLOAT_EQ((float)atof(want), v);
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  EXPECT_STREQ(strrchr(path, '\\') + 1, Own_name());
}

TEST(Dlgkit, SemaphoreNamedAfterTheProgramFile) {
  EXPECT_EQ(0, WinSemaphore());  // first: keeps the name
  EXPECT_EQ(1, WinSemaphore());  // any later call in any process of that file name
  HANDLE h = OpenSemaphoreA(SYNCHRONIZE, FALSE, Own_name());
  EXPECT_TRUE(h);
  if (h) CloseHandle(h);
}

TEST(Dlgkit, SetIcoSetsTheClassIconAndReturnsThePrevious) {
  HWND w = CreateWindowA("#32770", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  ASSERT_TRUE(w);
  SetIco(w, IDI_APP);
  ULONG_PTR before = GetClassLongPtrA(w, GCLP_HICON);
  EXPECT_NE(0u, before);
  EXPECT_EQ(before, SetIco(w, IDI_SETTINGS));
  EXPECT_NE(before, GetClassLongPtrA(w, GCLP_HICON));
  SetIco(w, IDI_APP);
  DestroyWindow(w);
}

TEST(Dlgkit, GetLangReadsTheLangFolderBesideTheProgram) {
  CreateDirectoryA((ExeDir() + "Lang").c_str(), nullptr);
  std::string file = ExeDir() + "Lang\\dlgkit_probe.lng";
  std::string longText(300, 'z');
  WriteFile(file, "[lng]\r\nhello=Cze\xb6\xe6\r\nlong=" + longText + "\r\n");
  EXPECT_STREQ("Cze\xb6\xe6", GetLang("hello", "def", "dlgkit_probe.lng"));
  EXPECT_STREQ("def", GetLang("missing", "def", "dlgkit_probe.lng"));
  EXPECT_STREQ("def", GetLang("hello", "def", "no_such_file.lng"));
  EXPECT_EQ(std::string(259, 'z'), GetLang("long", "def", "dlgkit_probe.lng"));
  EXPECT_STREQ("def", GetLang("hello", "def", std::string(300, 'n').c_str()));
  DeleteFileA(file.c_str());
}

DWORD WINAPI CancelPicker(LPVOID) {
  HWND d = FindTopWindow("#32770", "Select file:");
  if (d) PostMessageA(d, WM_COMMAND, IDCANCEL, 0);
  return d != nullptr;
}

TEST(Dlgkit, FileOpenCancelReturnsZeroAndKeepsTheBuffer) {
  char path[MAX_PATH] = "start.txt";
  HANDLE canceller = CreateThread(nullptr, 0, CancelPicker, nullptr, 0, nullptr);
  EXPECT_EQ(0u, FileOpen(nullptr, "All\0*.*\0", path, 0));
  WaitForSingleObject(canceller, 15000);
  DWORD found = 0;
  GetExitCodeThread(canceller, &found);
  CloseHandle(canceller);
  EXPECT_EQ(1u, found);
  EXPECT_STREQ("start.txt", path);
}
}  // namespace
