// Fixture of the engine tests: assembling installers, running and driving processes, shell folders.
#include "setupfixture.h"

#include <objbase.h>
#include <shlobj.h>
#include <zlib.h>

#include "core/gzcformat.h"
#include "core/installerlayout.h"
#include "core/langpack.h"
#include "win/winfs.h"
#include "win/winhandles.h"
#include "uitest.h"

namespace enginetest {
namespace {
const char kShellKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

std::string Le32(uint32_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[i] = (char)(v >> (8 * i));
  return s;
}

// One gzip member holding `data`.
std::string Gzip(const std::string& data) {
  z_stream z = {};
  deflateInit2(&z, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, data.size()) + 64, '\0');
  z.next_in = (Bytef*)data.data();
  z.avail_in = (uInt)data.size();
  z.next_out = (Bytef*)&out[0];
  z.avail_out = (uInt)out.size();
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

std::string Pack(const std::string& folder, const std::string& archive, const std::string& scratch,
                 uint32_t kind = GZC_ARCHIVE_GZIP) {
  std::string dir = folder;
  if (!dir.empty() && dir.back() == '\\') dir.pop_back();
  std::string gz = scratch + "gz.tmp", list = scratch + "list.txt";
  // As the program's build packs: names in UTF-8 through the wide functions.
  dir = AnsiToUtf8(dir);
  std::string arch = AnsiToUtf8(archive);
  gz = AnsiToUtf8(gz);
  list = AnsiToUtf8(list);
  GzcPackJob job = {};
  job.folder = dir.c_str();
  job.archive = arch.c_str();
  job.gzTmp = gz.c_str();
  job.listFile = list.c_str();
  job.mode = "wb6";
  job.kind = kind;
  job.files = WinFileOpsUtf8();
  job.utf8Names = true;
  GzcPackResult result;
  EXPECT_EQ(GZC_OK, GzcPack(job, &result)) << folder;
  return Slurp(archive);
}

bool ReadShell(HKEY root, const char* name, std::string* value) {
  UniqueKey k;
  if (RegOpenKeyExA(root, kShellKey, 0, KEY_READ, k.put()) != ERROR_SUCCESS) return false;
  char buf[MAX_PATH * 2];
  DWORD size = sizeof buf, type = 0;
  if (RegQueryValueExA(k.get(), name, nullptr, &type, (BYTE*)buf, &size) != ERROR_SUCCESS) return false;
  *value = std::string(buf, strnlen(buf, size));
  return true;
}

void WriteShell(HKEY root, const char* name, const std::string* value) {
  UniqueKey k;
  if (RegCreateKeyExA(root, kShellKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, k.put(), nullptr) != ERROR_SUCCESS) return;
  if (value)
    RegSetValueExA(k.get(), name, 0, REG_EXPAND_SZ, (const BYTE*)value->c_str(), (DWORD)value->size() + 1);
  else
    RegDeleteValueA(k.get(), name);
}

struct Find {
  DWORD pid;
  const char* cls;
  const char* caption;
  HWND found;
  HWND except = nullptr;
};

BOOL CALLBACK FindProc(HWND w, LPARAM lp) {
  Find* f = (Find*)lp;
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  if (pid != f->pid || !IsWindowVisible(w) || w == f->except) return TRUE;
  char cls[64] = {0}, text[512] = {0};
  GetClassNameA(w, cls, sizeof cls);
  GetWindowTextA(w, text, sizeof text);
  if ((!f->cls || !strcmp(cls, f->cls)) && (!f->caption || !strcmp(text, f->caption))) {
    f->found = w;
    return FALSE;
  }
  return TRUE;
}
// A message box: a dialog-class window of the process with the static text 0xFFFF.
BOOL CALLBACK FindBox(HWND w, LPARAM lp) {
  Find* f = (Find*)lp;
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  char cls[64] = {0};
  GetClassNameA(w, cls, sizeof cls);
  if (pid == f->pid && IsWindowVisible(w) && !strcmp(cls, "#32770") && GetDlgItem(w, 0xFFFF)) {
    f->found = w;
    return FALSE;
  }
  return TRUE;
}
}  // namespace

void Ini(const std::string& file, const char* section, const char* key, const std::string& value) {
  WritePrivateProfileStringA(section, key, value.c_str(), file.c_str());
}

std::string RawArchive(const std::vector<std::pair<std::string, std::string>>& files) {
  std::string list;
  for (const auto& f : files) list += f.first + "\r\n";
  std::vector<std::string> members{Gzip(list)};
  uint64_t sum = 0;
  for (unsigned char c : list) sum += c;
  for (const auto& f : files) {
    members.push_back(Gzip(f.second));
    for (unsigned char c : f.second) sum += c;
  }
  uint32_t n = (uint32_t)members.size();
  std::string out = "GZC" + Le32((uint32_t)(sum % 4294967295u)) + Le32(0) + Le32(n);
  uint32_t at = 19 + 4 * n;
  for (const std::string& m : members) {
    out += Le32(at);
    at += (uint32_t)m.size();
  }
  out += Le32(at);
  for (const std::string& m : members) out += m;
  return out;
}

// The shell folder values of SetUp: the first two and the last are the user's.
static HKEY ShellRoot(size_t i) { return i < 2 || i == 4 ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE; }

void SetupTest::SetUp() {
  root_ = uitest::MakeTempDir("eng");
  prog_ = root_ + "prog\\";
  cfg_ = root_ + "cfg\\";
  probe_ = root_ + "probe\\";
  target_ = root_ + "Installed\\Program";
  desktop_ = root_ + "Desktop";
  programs_ = root_ + "Programs";
  commonDesktop_ = root_ + "All Desktop";
  commonPrograms_ = root_ + "All Programs";
  localAppData_ = root_ + "Local";
  for (const std::string& d : {prog_, cfg_, probe_, desktop_, programs_, commonDesktop_, commonPrograms_, localAppData_})
    CreateDirectoryA(d.c_str(), nullptr);
  SetEnvironmentVariableA("PR_PROBE_DIR", (root_ + "probe").c_str());
  // Shortcuts go where the shell says the desktop and the start menu are, the user's and all users',
  // and a per-user installation below the user's local application data: into this test's folder.
  const char* names[] = {"Desktop", "Programs", "Common Desktop", "Common Programs", "Local AppData"};
  const std::string* dirs[] = {&desktop_, &programs_, &commonDesktop_, &commonPrograms_, &localAppData_};
  for (int i = 0; i < 5; ++i) {
    HKEY root = ShellRoot(i);
    std::string old;
    savedShell_.push_back({names[i], ReadShell(root, names[i], &old) ? old : std::string("\x01")});
    WriteShell(root, names[i], dirs[i]);
  }
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
}

void SetupTest::TearDown() {
  Release();
  for (size_t i = 0; i < savedShell_.size(); ++i) {
    const auto& s = savedShell_[i];
    WriteShell(ShellRoot(i), s.first.c_str(), s.second == "\x01" ? nullptr : &s.second);
  }
  RemoveTree(root_);
  CoUninitialize();
}

std::string SetupTest::Build(const std::string& path) { return BuildWithProgramArchive(path, ProgramArchive()); }

std::string SetupTest::ProgramArchive(bool lzma) {
  return Pack(prog_, root_ + "bin.dat", root_, lzma ? GZC_ARCHIVE_LZMA : GZC_ARCHIVE_GZIP);
}

std::string SetupTest::BuildWithProgramArchive(const std::string& path, const std::string& binDat) {
  std::string dist = uitest::DistDir();
  std::string engine = Slurp(dist + "bin\\Packrift.dat");
  std::string lang = LangPack(Slurp(dist + "bin\\Lang.dat"));
  EXPECT_GT(engine.size(), 1000u);
  EXPECT_GT(lang.size(), 100u);
  // The configuration folder carries the uninstaller, as the build puts it there.
  CopyFileA((dist + "bin\\UnInst.dat").c_str(), (cfg_ + "UnInst.dat").c_str(), FALSE);
  std::string cfg = Pack(cfg_, root_ + "cfg.dat", root_);
  std::string all = engine + kRcMarker + Le32(crc32(0, (const Bytef*)cfg.data(), (uInt)cfg.size())) +
                    Le32(crc32(0, (const Bytef*)binDat.data(), (uInt)binDat.size())) + lang + cfg + binDat;
  uitest::WriteFile(path, all);
  return all;
}

Ran SetupTest::Run(const std::string& exe, const std::string& args, DWORD ms,
                   const std::function<void()>& whileSuspended) {
  Ran r;
  std::string errPath = root_ + "stderr.txt";
  SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
  UniqueHandle err(CreateFileA(errPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, 0, nullptr));
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdError = err.get();
  si.hStdOutput = err.get();
  si.hStdInput = nullptr;
  std::string line = "\"" + exe + "\" " + args;
  std::vector<char> buf(line.begin(), line.end());
  buf.push_back(0);
  PROCESS_INFORMATION pi;
  DWORD flags = whileSuspended ? CREATE_SUSPENDED : 0;
  if (!CreateProcessA(nullptr, buf.data(), nullptr, nullptr, TRUE, flags, nullptr, root_.c_str(), &si, &pi)) {
    ADD_FAILURE() << "cannot start " << line;
    return r;
  }
  err.reset();  // the child holds its own copy
  UniqueHandle thread(pi.hThread), process(pi.hProcess);
  if (whileSuspended) {
    whileSuspended();
    ResumeThread(thread.get());
  }
  r.finished = WaitForSingleObject(process.get(), ms) == WAIT_OBJECT_0;
  if (!r.finished) TerminateProcess(process.get(), 99);
  GetExitCodeProcess(process.get(), &r.code);
  process.reset();
  r.err = Slurp(errPath);
  DeleteFileA(errPath.c_str());
  return r;
}

PROCESS_INFORMATION SetupTest::Start(const std::string& exe, const std::string& args) {
  std::string line = "\"" + exe + "\" " + args;
  std::vector<char> buf(line.begin(), line.end());
  buf.push_back(0);
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  EXPECT_TRUE(CreateProcessA(nullptr, buf.data(), nullptr, nullptr, FALSE, 0, nullptr, root_.c_str(), &si, &pi)) << line;
  return pi;
}

HWND SetupTest::WaitWindow(DWORD pid, const char* cls, const char* caption, DWORD ms, HWND except) {
  Find f{pid, cls, caption, nullptr, except};
  uitest::WaitFor([&] {
    f.found = nullptr;
    EnumWindows(FindProc, (LPARAM)&f);
    return f.found != nullptr;
  }, ms);
  return f.found;
}

std::string SetupTest::AnswerBox(DWORD pid, int button, DWORD ms) {
  // A message box is the dialog-class window that has the static text 0xFFFF.
  Find f{pid, "#32770", nullptr, nullptr};
  uitest::WaitFor([&] {
    f.found = nullptr;
    EnumWindows(FindBox, (LPARAM)&f);
    return f.found != nullptr;
  }, ms);
  HWND box = f.found;
  if (!box) return "<no message box>";
  std::string text = TextUtf8(GetDlgItem(box, 0xFFFF));
  PostMessageA(box, WM_COMMAND, button, 0);
  uitest::WaitFor([&] { return !IsWindow(box); });
  return text;
}

void SetupTest::Put(const std::string& rel, const std::string& bytes) {
  std::string path = prog_ + rel;
  for (size_t i = prog_.size(); i < path.size(); ++i)
    if (path[i] == '\\') CreateDirectoryA(path.substr(0, i).c_str(), nullptr);
  uitest::WriteFile(path, bytes);
}

void SetupTest::PutUtf8(const std::string& rel, const std::string& bytes) {
  std::string path = AnsiToUtf8(prog_) + rel;
  for (size_t i = 0; i < path.size(); ++i)
    if (path[i] == '\\') CreateDirectoryW(Utf8ToWide(path.substr(0, i)).c_str(), nullptr);
  UniqueHandle f(CreateFileW(Utf8ToWide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  DWORD done = 0;
  ASSERT_TRUE(f && WriteFile(f.get(), bytes.data(), (DWORD)bytes.size(), &done, nullptr)) << path;
}

std::string SlurpUtf8(const std::string& path) {
  UniqueHandle f(CreateFileW(Utf8ToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  std::string out;
  char buf[4096];
  DWORD got = 0;
  while (f && ReadFile(f.get(), buf, sizeof buf, &got, nullptr) && got) out.append(buf, got);
  return out;
}

void SetupTest::CopyProbe(const std::string& rel) {
  Put(rel, "");
  ASSERT_TRUE(CopyFileA((uitest::ExeDir() + "engine_runprobe.exe").c_str(), (prog_ + rel).c_str(), FALSE));
}

bool SetupTest::Hold(const std::string& path) {
  std::string name = "PrRelease" + std::to_string(GetCurrentProcessId());
  release_ = CreateEventA(nullptr, TRUE, FALSE, name.c_str());
  PROCESS_INFORMATION pi = Start(uitest::ExeDir() + "engine_runprobe.exe", "/hold " + name + " " + path);
  CloseHandle(pi.hThread);
  holder_ = pi.hProcess;
  std::string note = probe_ + path.substr(path.rfind('\\') + 1) + ".held";
  return uitest::WaitFor([&] { return PathExists(note) || WaitForSingleObject(holder_, 0) == WAIT_OBJECT_0; }) &&
         PathExists(note);
}

void SetupTest::Release() {
  if (!holder_) return;
  SetEvent(release_);
  WaitForSingleObject(holder_, 30000);
  CloseHandle(holder_);
  CloseHandle(release_);
  holder_ = release_ = nullptr;
}

namespace {
const char kSessionKey[] = "System\\CurrentControlSet\\Control\\Session Manager";
const char kPendingValue[] = "PendingFileRenameOperations";

// The list grows with every uninstaller's eraser of the prefix, which never restarts: read at any size.
bool ReadMarks(DWORD* type, std::string* data) {
  UniqueKey k;
  DWORD size = 0;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionKey, 0, KEY_READ, k.put()) != ERROR_SUCCESS ||
      RegQueryValueExA(k.get(), kPendingValue, nullptr, type, nullptr, &size) != ERROR_SUCCESS)
    return false;
  data->resize(size);
  if (RegQueryValueExA(k.get(), kPendingValue, nullptr, type, (BYTE*)&(*data)[0], &size) != ERROR_SUCCESS) return false;
  data->resize(size);
  return true;
}
}  // namespace

RestartMarks::RestartMarks() { had_ = ReadMarks(&type_, &old_); }

RestartMarks::~RestartMarks() {
  HKEY k;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionKey, 0, KEY_SET_VALUE, &k) != ERROR_SUCCESS) return;
  if (had_) RegSetValueExA(k, kPendingValue, 0, type_, (const BYTE*)old_.data(), (DWORD)old_.size());
  else RegDeleteValueA(k, kPendingValue);
  RegCloseKey(k);
}

std::string RestartMarks::Now() const {
  DWORD type;
  std::string data;
  ReadMarks(&type, &data);
  return data;
}

std::string Slurp(const std::string& path) { return uitest::ReadFile(path); }

bool PathExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool ReadLink(const std::string& lnk, std::string* target, std::string* workdir) {
  UniqueCom<IShellLinkA> sl;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, (void**)sl.put())))
    return false;
  UniqueCom<IPersistFile> pf;
  if (FAILED(sl.get()->QueryInterface(IID_IPersistFile, (void**)pf.put()))) return false;
  WCHAR wide[MAX_PATH];
  MultiByteToWideChar(CP_ACP, 0, lnk.c_str(), -1, wide, MAX_PATH);
  if (FAILED(pf.get()->Load(wide, STGM_READ))) return false;
  char path[MAX_PATH] = {0}, dir[MAX_PATH] = {0};
  sl.get()->GetPath(path, MAX_PATH, nullptr, SLGP_RAWPATH);
  sl.get()->GetWorkingDirectory(dir, MAX_PATH);
  *target = path;
  *workdir = dir;
  return true;
}

bool RegGet(HKEY root, const std::string& key, const std::string& name, DWORD* type, std::string* data) {
  UniqueKey k;
  if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, k.put()) != ERROR_SUCCESS) return false;
  char buf[4096];
  DWORD size = sizeof buf;
  if (RegQueryValueExA(k.get(), name.c_str(), nullptr, type, (BYTE*)buf, &size) != ERROR_SUCCESS) return false;
  data->assign(buf, size);
  return true;
}

bool RegKeyExists(HKEY root, const std::string& key) {
  UniqueKey k;
  return RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, k.put()) == ERROR_SUCCESS;
}

std::string TextOf(HWND wnd) {
  char buf[4096] = {0};
  SendMessageA(wnd, WM_GETTEXT, sizeof buf, (LPARAM)buf);
  return buf;
}

std::string ItemText(HWND dlg, int id) { return TextOf(GetDlgItem(dlg, id)); }

std::string TextUtf8(HWND wnd) {
  wchar_t wide[4096] = {0};
  SendMessageW(wnd, WM_GETTEXT, 4096, (LPARAM)wide);
  char buf[3 * 4096];
  int n = WideCharToMultiByte(CP_UTF8, 0, wide, -1, buf, sizeof buf, nullptr, nullptr);
  return n > 0 ? std::string(buf, n - 1) : std::string();
}

}  // namespace enginetest
