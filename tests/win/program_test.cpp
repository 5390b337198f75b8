// The shipped program started as a process: single instance, exit codes, working folder on exit.
#include "uitest.h"

using namespace uitest;

namespace {
class Program : public AppTest {
 protected:
  HANDLE Start() {
    std::string cmd = "\"" + DistDir() + "Packrift.exe\"";
    STARTUPINFOA si = {sizeof si};
    PROCESS_INFORMATION pi;
    std::vector<char> line(cmd.begin(), cmd.end());
    line.push_back(0);
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return nullptr;
    CloseHandle(pi.hThread);
    return pi.hProcess;
  }
  static HWND FindMain() {
    HWND w = nullptr;
    WaitFor([&] {
      w = FindWindowA("#32770", "Packrift v2.20");
      return w && IsWindowVisible(w);
    }, 20000);
    return w;
  }
};

TEST_F(Program, SecondStartExitsAtOnceWithCodeZeroAndTheFirstRunsOn) {
  HANDLE first = Start();
  ASSERT_TRUE(first);
  HWND main = FindMain();
  ASSERT_TRUE(main);
  HANDLE second = Start();
  ASSERT_TRUE(second);
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(second, 20000));
  DWORD code = 99;
  GetExitCodeProcess(second, &code);
  EXPECT_EQ(0u, code);
  CloseHandle(second);
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(first, 0));
  EXPECT_EQ(main, FindWindowA("#32770", "Packrift v2.20"));

  // The working folder of the running program, from the registry it wrote at start.
  std::string bin;
  ASSERT_TRUE(RegRead(HKEY_CURRENT_USER, "5", &bin));
  EXPECT_EQ(temp_ + "Packrift\\bin", bin);
  std::string chm;
  ASSERT_TRUE(RegRead(HKEY_LOCAL_MACHINE, "2", &chm));
  EXPECT_EQ(DistDir() + "Packrift.chm", chm);
  WriteFile(bin + "\\left.dat", "x");

  PostMessageA(main, WM_COMMAND, 413, 0);  // "Zakończ"
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(first, 20000));
  GetExitCodeProcess(first, &code);
  EXPECT_EQ(1u, code);
  CloseHandle(first);
  EXPECT_FALSE(Exists(bin + "\\left.dat"));
  EXPECT_TRUE(IsDir(bin));

  // With the first gone the name is free again.
  HANDLE again = Start();
  ASSERT_TRUE(again);
  HWND w = FindMain();
  ASSERT_TRUE(w);
  PostMessageA(w, WM_CLOSE, 0, 0);
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(again, 20000));
  CloseHandle(again);
}
}  // namespace
