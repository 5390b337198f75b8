// The shipped program started as a process: single instance, exit codes, working folder on exit,
// a project named on the command line, the unattended build.
#include "uitest.h"
#include "build/gzc.h"

using namespace uitest;

namespace {
class Program : public AppTest {
 protected:
  // Starts `exe` (default: the shipped program) with `args`, in folder `cwd`; standard error goes
  // to `err` when given.
  HANDLE Start(const std::string& args = "", const std::string& exe = "", const char* cwd = nullptr,
               HANDLE err = nullptr) {
    std::string cmd = "\"" + (exe.empty() ? DistDir() + "Packrift.exe" : exe) + "\"" + args;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    if (err) {
      si.dwFlags = STARTF_USESTDHANDLES;
      si.hStdError = err;
    }
    PROCESS_INFORMATION pi;
    std::vector<char> line(cmd.begin(), cmd.end());
    line.push_back(0);
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, err != nullptr, 0, nullptr, cwd, &si, &pi))
      return nullptr;
    CloseHandle(pi.hThread);
    return pi.hProcess;
  }
  static DWORD Finish(HANDLE process) {
    DWORD code = 99;
    if (WaitForSingleObject(process, 60000) == WAIT_OBJECT_0) GetExitCodeProcess(process, &code);
    CloseHandle(process);
    return code;
  }
  // A project file whose "Project.ini" holds the given fields.
  std::string MakeProject(const std::string& name, const std::string& fields) {
    std::string src = MakeTempDir("prj");
    WriteFile(src + "Project.ini", "[dir]\r\n" + fields);
    WriteFile(src + "init.cfg", "[cfg]\r\n1=x\r\n");
    std::string kpj = temp_ + name, gz = temp_ + "gz.prj", list = temp_ + "list.prj";
    std::string folder = src.substr(0, src.size() - 1);
    GzcPackJob job = {};
    job.folder = folder.c_str();
    job.archive = kpj.c_str();
    job.gzTmp = gz.c_str();
    job.listFile = list.c_str();
    job.files = WinFileOps();
    GzcPackResult res;
    EXPECT_EQ(GZC_OK, GzcPack(job, &res));
    RemoveTree(src);
    return kpj;
  }
  static std::string FieldOf(HWND main, int id) {
    char buf[300] = {0};
    SendMessageA(GetDlgItem(main, id), WM_GETTEXT, sizeof buf, (LPARAM)buf);
    return buf;
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
TEST_F(Program, AQuotedAbsoluteProjectPathOpensTheProjectAndARelativeOneDoesNot) {
  std::string kpj = MakeProject("demo.kpj", "1=Z wiersza polece\xf1\r\n2=C:\\Prog\r\n");
  HANDLE p = Start(" \"" + kpj + "\"");
  ASSERT_TRUE(p);
  HWND main = FindMain();
  ASSERT_TRUE(main);
  ASSERT_TRUE(WaitFor([&] { return !FieldOf(main, 300).empty(); }));
  EXPECT_EQ("Z wiersza polece\xf1", FieldOf(main, 300));
  EXPECT_EQ("C:\\Prog", FieldOf(main, 301));
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(main, 411)));
  PostMessageA(main, WM_CLOSE, 0, 0);  // opened from the command line: not marked, no question
  EXPECT_EQ(1u, Finish(p));

  p = Start(" demo.kpj", "", temp_.c_str());
  ASSERT_TRUE(p);
  main = FindMain();
  ASSERT_TRUE(main);
  Sleep(500);
  EXPECT_EQ("", FieldOf(main, 300));
  PostMessageA(main, WM_CLOSE, 0, 0);
  EXPECT_EQ(1u, Finish(p));
}

TEST_F(Program, ACommandLineLongerThanItsBufferOpensNothing) {
  std::string kpj = MakeProject("long.kpj", "1=never\r\n");
  HANDLE p = Start(" " + std::string(300, 'x') + " \"" + kpj + "\"");
  ASSERT_TRUE(p);
  HWND main = FindMain();
  ASSERT_TRUE(main);
  Sleep(500);
  EXPECT_EQ("", FieldOf(main, 300));
  PostMessageA(main, WM_CLOSE, 0, 0);
  EXPECT_EQ(1u, Finish(p));
}

// The unattended build runs from a tool folder of its own, with engine files of known bytes.
class Unattended : public Program {
 protected:
  void SetUp() override {
    Program::SetUp();
    tool_ = temp_ + "tool\\";
    CreateDirectoryA(tool_.c_str(), nullptr);
    CreateDirectoryA((tool_ + "bin").c_str(), nullptr);
    CopyFileA((DistDir() + "Packrift.exe").c_str(), (tool_ + "Packrift.exe").c_str(), FALSE);
    CopyFileA((DistDir() + "dlgkit.dll").c_str(), (tool_ + "dlgkit.dll").c_str(), FALSE);
    WriteFile(tool_ + "bin\\Packrift.dat", "MZ-engine");
    WriteFile(tool_ + "bin\\UnInst.dat", "MZ-uninst");
    WriteFile(tool_ + "bin\\Lang.dat", "LANG");
    prog_ = temp_ + "prog";
    CreateDirectoryA(prog_.c_str(), nullptr);
    WriteFile(prog_ + "\\app.exe", "APP");
  }
  std::string tool_, prog_;
};

TEST_F(Unattended, BuildSwitchBuildsTheProjectWithoutAWindowAndExitsZero) {
  std::string out = temp_ + "setup.exe";
  std::string kpj = MakeProject("b.kpj", "1=B\r\n2=" + prog_ + "\r\n3=" + out + "\r\n");
  HANDLE p = Start(" /build \"" + kpj + "\"", tool_ + "Packrift.exe");
  ASSERT_TRUE(p);
  bool shown = false;
  DWORD start = GetTickCount();
  while (WaitForSingleObject(p, 50) == WAIT_TIMEOUT && GetTickCount() - start < 60000) {
    HWND w = FindWindowA("#32770", "Packrift v2.20");
    shown = shown || (w && IsWindowVisible(w));
  }
  EXPECT_EQ(0u, Finish(p));
  EXPECT_FALSE(shown);
  std::string setup = ReadFile(out);
  EXPECT_EQ("MZ-enginerc.binLANGGZC", setup.substr(0, 22));
}

TEST_F(Unattended, AFailingBuildExitsNonZeroAndSaysWhyOnStandardError) {
  std::string kpj = MakeProject("f.kpj", "1=F\r\n2=C:\\no\\such\\folder\r\n3=C:\\x.exe\r\n");
  SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
  HANDLE rd, wr;
  ASSERT_TRUE(CreatePipe(&rd, &wr, &sa, 0));
  SetHandleInformation(rd, HANDLE_FLAG_INHERIT, 0);
  HANDLE p = Start(" /build \"" + kpj + "\"", tool_ + "Packrift.exe", nullptr, wr);
  ASSERT_TRUE(p);
  CloseHandle(wr);
  EXPECT_EQ(2u, Finish(p));
  std::string said;
  char buf[512];
  DWORD got;
  while (ReadFile(rd, buf, sizeof buf, &got, nullptr) && got) said.append(buf, got);
  CloseHandle(rd);
  // The path message, in UTF-8.
  EXPECT_NE(std::string::npos, said.find("Jedno z p\xc3\xb3l zawiera niepoprawn\xc4\x85 \xc5\x9b" "cie\xc5\xbck\xc4\x99.")) << said;
}
}  // namespace
