// The shipped program started as a process: single instance, exit codes, working folder on exit,
// a project named on the command line, the unattended build.
#include "uitest.h"
#include "build/gzc.h"
#include "build/sign.h"
#include "core/langpack.h"
#include "win/winhandles.h"
#include "lang/strings.h"
#include <shellapi.h>

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
  // A project file whose "Project.ini" holds the given fields, and a file of `zeros` zero bytes.
  std::string MakeProject(const std::string& name, const std::string& fields, size_t zeros = 0) {
    std::string src = MakeTempDir("prj");
    WriteFile(src + "Project.ini", "[dir]\r\n" + fields);
    WriteFile(src + "init.cfg", "[cfg]\r\n1=x\r\n");
    if (zeros) WriteFile(src + "zeros", std::string(zeros, '\0'));
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
  // The main window, once shown: a dialog shows itself when its queue is first empty, so the start,
  // the command line included, has been handled by then.
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
  EXPECT_EQ("Z wiersza polece\xf1", FieldOf(main, 300));
  EXPECT_EQ("C:\\Prog", FieldOf(main, 301));
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(main, 411)));
  PostMessageA(main, WM_CLOSE, 0, 0);  // opened from the command line: not marked, no question
  EXPECT_EQ(1u, Finish(p));

  p = Start(" demo.kpj", "", temp_.c_str());
  ASSERT_TRUE(p);
  main = FindMain();
  ASSERT_TRUE(main);
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
    CopyFileA((DistDir() + "adpane.dll").c_str(), (tool_ + "adpane.dll").c_str(), FALSE);
    WriteFile(tool_ + "bin\\Packrift.dat", "MZ-engine");
    WriteFile(tool_ + "bin\\UnInst.dat", "MZ-uninst");
    WriteFile(tool_ + "bin\\Lang.dat", "LANG");
    prog_ = temp_ + "prog";
    CreateDirectoryA(prog_.c_str(), nullptr);
    WriteFile(prog_ + "\\app.exe", "APP");
  }
  struct Run {
    DWORD code;
    std::string said;  // standard error
    bool shown;        // the process showed a window at some time
  };
  // Runs the copied program with `args` (a command line's argument part) in folder `cwd` (default:
  // this test's folder) as a script on a machine without a display does: started from Linux with
  // DISPLAY unset (a program started from Windows keeps its parent's display), ended after 20 s
  // (code 124).
  Run Headless(const std::string& args, const char* cwd = nullptr) {
    Run r{99, "", false};
    // The arguments as the program would get them, each quoted for the shell inside the script,
    // where no Windows path is turned into a Linux one.
    const std::string line = "Packrift.exe" + args;  // the first word is taken for the program
    std::wstring wide(line.size() + 1, L'\0');
    MultiByteToWideChar(CP_ACP, 0, line.c_str(), -1, &wide[0], (int)wide.size());
    std::string quoted;
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(wide.c_str(), &argc);
    for (int i = 1; i < argc; ++i) {
      char arg[1024] = {0};
      WideCharToMultiByte(CP_ACP, 0, argv[i], -1, arg, sizeof arg - 1, nullptr, nullptr);
      quoted += " '";
      for (const char* c = arg; *c; ++c) quoted += *c == '\'' ? std::string("'\\''") : std::string(1, *c);
      quoted += "'";
    }
    LocalFree(argv);
    // winctl turns the folder and the program, given as arguments of their own, into Linux paths.
    std::string script = "cd \\\"$1\\\" || exit 2; exec timeout 20 env -u DISPLAY \\\"${WINELOADER:-wine}\\\" \\\"$2\\\"" +
                         quoted;
    std::string folder = cwd ? cwd : temp_;
    if (folder.back() == '\\') folder.pop_back();  // before a quote it would escape it
    std::string cmd = " unix /bin/sh -c \"" + script + "\" sh \"" + folder + "\" \"" + tool_ + "Packrift.exe\"";
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    HANDLE rd, wr;
    EXPECT_TRUE(CreatePipe(&rd, &wr, &sa, 1 << 16));
    SetHandleInformation(rd, HANDLE_FLAG_INHERIT, 0);
    HANDLE p = Start(cmd, ExeDir() + "winctl.exe", nullptr, wr);
    CloseHandle(wr);
    EXPECT_TRUE(p);
    if (!p) return r;
    while (WaitForSingleObject(p, 20) == WAIT_TIMEOUT) EnumWindows(NoteShown, (LPARAM)&r.shown);
    GetExitCodeProcess(p, &r.code);
    CloseHandle(p);
    char buf[512];
    DWORD got;
    while (ReadFile(rd, buf, sizeof buf, &got, nullptr) && got) r.said.append(buf, got);
    CloseHandle(rd);
    return r;
  }
  // Notes in the flag whether `w` is a visible window of a Packrift.exe process.
  static BOOL CALLBACK NoteShown(HWND w, LPARAM lp) {
    DWORD pid = 0;
    if (!IsWindowVisible(w) || !GetWindowThreadProcessId(w, &pid)) return TRUE;
    UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    char image[MAX_PATH];
    DWORD n = sizeof image;
    if (process && QueryFullProcessImageNameA(process.get(), 0, image, &n) && n >= 13 &&
        _stricmp(image + n - 13, "\\Packrift.exe") == 0)
      *(bool*)lp = true;
    return TRUE;
  }
  static std::string Utf8(const StrDef& s) {
    WCHAR wide[128];
    char out[256];
    MultiByteToWideChar(1250, 0, s.text, -1, wide, 128);
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, out, sizeof out, nullptr, nullptr);
    return out;
  }
  std::string tool_, prog_;
};

// The unattended build with the real installer files, signing through a test certificate.
class SignedBuild : public Unattended {
 protected:
  void SetUp() override {
    Unattended::SetUp();
    for (const char* f : {"Packrift.dat", "UnInst.dat", "Lang.dat"})
      CopyFileA((DistDir() + "bin\\" + f).c_str(), (tool_ + "bin\\" + f).c_str(), FALSE);
    CreateDirectoryA((prog_ + "\\doc").c_str(), nullptr);
    WriteFile(prog_ + "\\doc\\read.txt", std::string(70000, 'r') + "end");
    sign_ = MakeSigningCommand(temp_);
  }
  // Runs `Packrift.exe /build` with `args` after the switch; its exit code and standard error.
  DWORD Build(const std::string& args, std::string* said) {
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    HANDLE rd, wr;
    EXPECT_TRUE(CreatePipe(&rd, &wr, &sa, 0));
    SetHandleInformation(rd, HANDLE_FLAG_INHERIT, 0);
    HANDLE p = Start(" /build " + args, tool_ + "Packrift.exe", nullptr, wr);
    CloseHandle(wr);
    char buf[512];
    DWORD got;
    while (ReadFile(rd, buf, sizeof buf, &got, nullptr) && got) said->append(buf, got);
    CloseHandle(rd);
    return p ? Finish(p) : 99;
  }
  std::string sign_;
};

TEST_F(Unattended, BuildSwitchBuildsTheProjectWithoutAnyWindowOrDisplayAndExitsZero) {
  std::string out = temp_ + "setup.exe";
  std::string kpj = MakeProject("b.kpj", "1=B\r\n2=" + prog_ + "\r\n3=" + out + "\r\n");
  Run r = Headless(" /build \"" + kpj + "\"");
  EXPECT_EQ(0u, r.code);
  EXPECT_FALSE(r.shown);  // neither the main window nor the packing progress
  EXPECT_EQ("", r.said);
  std::string setup = ReadFile(out);
  EXPECT_EQ("MZ-enginerc.bin", setup.substr(0, 15));
  EXPECT_EQ(LangPack("LANG") + "GZC", setup.substr(23, LangPack("LANG").size() + 3));  // behind the archives' checksums
}

TEST_F(Unattended, EveryFailureSaysWhyOnStandardErrorAndExitsTwoAtOnceWithoutAWindow) {
  std::string good = MakeProject("good.kpj", "1=G\r\n2=" + prog_ + "\r\n3=" + temp_ + "g.exe\r\n");
  // Program folders that cannot be packed whole: a file past what an archive holds (sparse, so
  // it costs no space), and a file another program holds open without sharing.
  std::string large = temp_ + "large", busy = temp_ + "busy";
  CreateDirectoryA(large.c_str(), nullptr);
  CreateDirectoryA(busy.c_str(), nullptr);
  {
    UniqueHandle f(CreateFileA((large + "\\4gib.bin").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    LARGE_INTEGER past;
    past.QuadPart = (4ll << 30) + 1;
    ASSERT_TRUE(f && SetFilePointerEx(f.get(), past, nullptr, FILE_BEGIN) && SetEndOfFile(f.get()));
  }
  WriteFile(busy + "\\app.exe", "APP");
  UniqueHandle holding(CreateFileA((busy + "\\app.exe").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(holding);
  std::string largeKpj = MakeProject("large.kpj", "1=L\r\n2=" + large + "\r\n3=" + temp_ + "g.exe\r\n");
  std::string busyKpj = MakeProject("busy.kpj", "1=H\r\n2=" + busy + "\r\n3=" + temp_ + "g.exe\r\n");
  std::string bad = MakeProject("bad.kpj", "1=F\r\n2=C:\\no\\such\\folder\r\n3=C:\\x.exe\r\n");
  std::string damaged = temp_ + "damaged.kpj";
  WriteFile(damaged, "this is not an archive at all");
  std::string outside = temp_ + "end.txt";
  WriteFile(outside, "x");
  std::string away = MakeProject("away.kpj", "2=" + prog_ + "\r\n3=" + temp_ + "a.exe\r\n5=" + outside + "\r\n");
  std::string ownName = MakeProject("own.kpj", "2=" + prog_ + "\r\n3=" + temp_ + "o.exe\r\n4=" + prog_ + "\\init.cfg\r\n");
  WriteFile(prog_ + "\\init.cfg", "[cfg]");
  // A few kilobytes that unpack past a project's bound.
  std::string bloated = MakeProject("bloated.kpj", "2=" + prog_ + "\r\n3=" + temp_ + "l.exe\r\n", kProjectUnpackedMax + 1);
  std::string copy = temp_ + "copy.kpj";
  CopyFileA(good.c_str(), copy.c_str(), FALSE);
  // Held open without sharing: the program cannot read it.
  HANDLE held = CreateFileA(copy.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, held);
  struct Case {
    const char* what;
    std::string args;
    const char* cwd;
    StrDef said;
    std::string named = "";  // said after the text
  };
  const Case cases[] = {
      {"missing project", " /build \"" + temp_ + "none.kpj\"", nullptr, S_UNPACK_ERROR},
      {"unreadable project", " /build \"" + copy + "\"", nullptr, S_UNPACK_ERROR},
      {"damaged project", " /build \"" + damaged + "\"", nullptr, S_UNPACK_ERROR},
      {"relative path", " /build good.kpj", temp_.c_str(), S_BUILD_USAGE},
      {"no path", " /build", nullptr, S_BUILD_USAGE},
      {"bad path field", " /BUILD " + bad, nullptr, S_BAD_PATH},
      {"closing information outside", " /build \"" + away + "\"", nullptr, S_INFO_OUTSIDE},
      {"licence copied over the configuration's own file", " /build \"" + ownName + "\"", nullptr, S_LICENCE_NAME},
      {"project past its unpacked bound", " /build \"" + bloated + "\"", nullptr, S_UNPACK_ERROR},
      {"a program file of 4 GiB and a byte", " /build \"" + largeKpj + "\"", nullptr, S_FILE_TOO_LARGE,
       large + "\\4gib.bin"},
      {"a program file that cannot be read", " /build \"" + busyKpj + "\"", nullptr, S_READ_FAILED, busy + "\\app.exe"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Run r = Headless(c.args, c.cwd);
    EXPECT_EQ(2u, r.code);
    EXPECT_NE(std::string::npos, r.said.find(Utf8(c.said) + (c.named.empty() ? "" : " " + c.named))) << r.said;
    EXPECT_FALSE(r.shown);
  }
  CloseHandle(held);
  EXPECT_FALSE(Exists(temp_ + "g.exe"));
  EXPECT_FALSE(Exists(temp_ + "o.exe"));
  EXPECT_FALSE(Exists(temp_ + "l.exe"));
}

// An installer built into its own program folder is not packed into the next build, which says so
// in a line and goes on.
TEST_F(Unattended, AnInstallerInItsOwnProgramFolderIsLeftOutOfTheNextBuild) {
  std::string out = prog_ + "\\setup.exe";
  std::string kpj = MakeProject("own.kpj", "1=O\r\n2=" + prog_ + "\r\n3=" + out + "\r\n");
  Run first = Headless(" /build \"" + kpj + "\"");
  ASSERT_EQ(0u, first.code) << first.said;
  EXPECT_EQ("", first.said);
  std::string bytes = ReadFile(out);
  Run second = Headless(" /build \"" + kpj + "\"");
  EXPECT_EQ(0u, second.code);
  EXPECT_NE(std::string::npos, second.said.find(Utf8(S_OUTPUT_LEFT_OUT))) << second.said;
  EXPECT_FALSE(second.shown);
  EXPECT_EQ(bytes, ReadFile(out));
}

TEST_F(Unattended, ARunningInstanceFailsTheBuildInsteadOfPassingItSilently) {
  HANDLE first = Start("", tool_ + "Packrift.exe");
  ASSERT_TRUE(first);
  HWND main = FindMain();
  ASSERT_TRUE(main);
  std::string kpj = MakeProject("r.kpj", "2=" + prog_ + "\r\n3=" + temp_ + "r.exe\r\n");
  Run r = Headless(" /build \"" + kpj + "\"");
  EXPECT_EQ(2u, r.code);
  EXPECT_NE(std::string::npos, r.said.find(Utf8(S_ALREADY_RUNNING))) << r.said;
  EXPECT_FALSE(Exists(temp_ + "r.exe"));
  PostMessageA(main, WM_CLOSE, 0, 0);
  EXPECT_EQ(1u, Finish(first));
}

// --sign signs the uninstaller before it is packed and the installer after it is written; both
// signatures hold, the installer installs silently and its uninstaller removes everything.
TEST_F(SignedBuild, SignCommandSignsBothAndTheInstallerInstallsBitExact) {
  std::string out = temp_ + "setup.exe", target = temp_ + "Installed";
  std::string kpj = MakeProject("s.kpj", "1=S\r\n2=" + prog_ + "\r\n3=" + out + "\r\n");
  std::string quoted;  // the template as one quoted argument
  for (char c : sign_) quoted += c == '"' ? std::string("\\\"") : std::string(1, c);
  std::string said;
  ASSERT_EQ(0u, Build("--sign \"" + quoted + "\" \"" + kpj + "\"", &said)) << said;
  EXPECT_TRUE(SignatureVerifies(temp_, out));

  DWORD code = Finish(Start(" /S /D=" + target, out));
  EXPECT_EQ(0u, code);
  EXPECT_EQ("APP", ReadFile(target + "\\app.exe"));
  EXPECT_EQ(ReadFile(prog_ + "\\doc\\read.txt"), ReadFile(target + "\\doc\\read.txt"));
  EXPECT_TRUE(SignatureVerifies(temp_, target + "\\UnInst.exe"));
  EXPECT_EQ(0u, Finish(Start(" /S", target + "\\UnInst.exe")));
  EXPECT_TRUE(WaitFor([&] { return !Exists(target); }, 20000));
}

// "%1" stands for the quoted path, and a template that quotes it itself gets it quoted once: a path
// with blanks and "&" reaches the command as one argument either way.
TEST_F(SignedBuild, APercentOneInQuotesSignsAPathWithBlanksAndAmpersand) {
  std::string folder = temp_ + "o & b";
  CreateDirectoryA(folder.c_str(), nullptr);
  std::string tmpl = sign_.substr(0, sign_.rfind("%1")) + "\"%1\"";
  for (const std::string& t : {sign_, tmpl}) {
    SCOPED_TRACE(t);
    std::string out = folder + "\\my setup.exe", quoted, said;
    DeleteFileA(out.c_str());
    for (char c : t) quoted += c == '"' ? std::string("\\\"") : std::string(1, c);
    EXPECT_EQ(0u, Build("--sign \"" + quoted + "\" \"" + MakeProject("q.kpj", "1=Q\r\n2=" + prog_ + "\r\n3=" + out + "\r\n") + "\"", &said))
        << said;
    EXPECT_TRUE(SignatureVerifies(temp_, out));
  }
}

// The machine-wide template signs too; a signing that fails stops the build with its own message
// and the command's words, and leaves nothing under the output's name.
TEST_F(SignedBuild, AFailingSignCommandLeavesNoInstaller) {
  RegWrite(HKEY_LOCAL_MACHINE, "8", sign_);
  std::string good = temp_ + "setup.exe", bad = temp_ + "fail-setup.exe";
  WriteFile(bad, "an older installer");
  std::string said;
  EXPECT_EQ(0u, Build("\"" + MakeProject("g.kpj", "1=G\r\n2=" + prog_ + "\r\n3=" + good + "\r\n") + "\"", &said)) << said;
  EXPECT_TRUE(SignatureVerifies(temp_, good));

  said.clear();
  EXPECT_EQ(2u, Build("\"" + MakeProject("b.kpj", "1=B\r\n2=" + prog_ + "\r\n3=" + bad + "\r\n") + "\"", &said));
  EXPECT_FALSE(Exists(bad));
  EXPECT_NE(std::string::npos, said.find("signing refused")) << said;
  EXPECT_NE(std::string::npos, said.find("Polecenie podpisywania zako\xc5\x84" "czy\xc5\x82o si\xc4\x99 b\xc5\x82\xc4\x99" "dem.")) << said;

  // A stored template up to its limit signs, past a path's length too; a longer one is not
  // dropped in silence: it fails the build.
  ASSERT_LT(sign_.size(), (size_t)kSignMax - 1);
  for (size_t length : {(size_t)kSignMax - 1, (size_t)kSignMax}) {
    SCOPED_TRACE(length);
    RegWrite(HKEY_LOCAL_MACHINE, "8", sign_ + std::string(length - sign_.size(), ' '));
    std::string out = temp_ + "long" + std::to_string(length) + ".exe";
    said.clear();
    bool fits = length < (size_t)kSignMax;
    EXPECT_EQ(fits ? 0u : 2u, Build("\"" + MakeProject("l.kpj", "1=L\r\n2=" + prog_ + "\r\n3=" + out + "\r\n") + "\"", &said)) << said;
    EXPECT_EQ(fits, Exists(out));
    if (fits) {
      EXPECT_TRUE(SignatureVerifies(temp_, out));
    }
  }

  // --sign without its template signs nothing and builds nothing.
  said.clear();
  EXPECT_EQ(2u, Build("\"" + MakeProject("n.kpj", "1=N\r\n2=" + prog_ + "\r\n3=" + good + "x\r\n") + "\" --sign", &said));
  EXPECT_FALSE(Exists(good + "x"));
}
}  // namespace
