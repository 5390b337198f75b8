// Test fixture for the real windows: clean state, the main dialog on a thread, user actions.
#include "uitest.h"
#include "adpane/adpane.h"
#include "app/func.h"
#include "win/winhandles.h"
#include "dlgkit/dlgkit.h"
#include "res/resource.h"
#include <stdio.h>

namespace uitest {

std::string MakeTempDir(const char* tag) {
  char base[MAX_PATH];
  GetTempPathA(MAX_PATH, base);
  static int counter;
  for (;;) {
    char path[MAX_PATH];
    snprintf(path, sizeof path, "%sprt_%s_%lu_%d\\", base, tag, GetCurrentProcessId(), ++counter);
    if (CreateDirectoryA(path, nullptr)) return path;
  }
}

void WriteFile(const std::string& path, const std::string& bytes) {
  FILE* f = fopen(path.c_str(), "wb");
  ASSERT_TRUE(f) << path;
  fwrite(bytes.data(), 1, bytes.size(), f);
  fclose(f);
}

std::string ReadFile(const std::string& path) {
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return "";
  std::string s;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
  fclose(f);
  return s;
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }
bool IsDir(const std::string& path) {
  DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

std::string ExeDir() {
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string s = path;
  return s.substr(0, s.rfind('\\') + 1);
}

std::string DistDir() {
  std::string s = "Z:" PR_DIST "/";
  for (char& c : s)
    if (c == '/') c = '\\';
  return s;
}

void DeleteProgramKey() {
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) RegDeleteTreeA(root, "Software\\Orvane\\Packrift");
}

bool RegRead(HKEY root, const char* name, std::string* out) {
  UniqueKey h;
  if (RegOpenKeyExA(root, "Software\\Orvane\\Packrift", 0, KEY_READ, h.put()) != ERROR_SUCCESS) return false;
  char buf[1024];
  DWORD size = sizeof buf - 1, type = 0;
  if (RegQueryValueExA(h.get(), name, nullptr, &type, (BYTE*)buf, &size) != ERROR_SUCCESS) return false;
  buf[size] = 0;
  *out = std::string(buf, strnlen(buf, size));
  return true;
}

void RegWrite(HKEY root, const char* name, const std::string& value, bool withTerminator) {
  UniqueKey h;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root, "Software\\Orvane\\Packrift", 0, nullptr, 0, KEY_ALL_ACCESS,
                                           nullptr, h.put(), nullptr));
  RegSetValueExA(h.get(), name, 0, REG_SZ, (const BYTE*)value.c_str(), (DWORD)value.size() + (withTerminator ? 1 : 0));
}

DWORD RunLinux(const std::string& args) {
  std::string cmd = "\"" + ExeDir() + "winctl.exe\" unix " + args;
  std::vector<char> line(cmd.begin(), cmd.end());
  line.push_back(0);
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi;
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return 0xFFFFFFFF;
  UniqueHandle thread(pi.hThread), process(pi.hProcess);
  DWORD code = 0xFFFFFFFF;
  if (WaitForSingleObject(process.get(), 300000) == WAIT_OBJECT_0) GetExitCodeProcess(process.get(), &code);
  return code;
}

std::string MakeSigningCommand(const std::string& folder) {
  const std::string cert = folder + "cert.pem", key = folder + "key.pem", script = folder + "sign.sh";
  EXPECT_EQ(0u, RunLinux("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=Packrift-Test -keyout \"" + key +
                         "\" -out \"" + cert + "\""));
  // In place: osslsigncode writes a new file. An installer named fail-setup.exe is refused, as a
  // signing service that rejects a file would.
  WriteFile(script,
            "case \"$3\" in *fail-setup.exe) echo \"signing refused: $3\" >&2; exit 3;; esac\n"
            "osslsigncode sign -certs \"$1\" -key \"$2\" -in \"$3\" -out \"$3.signed\" >&2 && mv \"$3.signed\" \"$3\"\n");
  return "\"" + ExeDir() + "winctl.exe\" unix /bin/sh \"" + script + "\" \"" + cert + "\" \"" + key + "\" %1";
}

bool SignInPlace(const std::string& folder, const std::string& file) {
  return RunLinux("/bin/sh \"" + folder + "sign.sh\" \"" + folder + "cert.pem\" \"" + folder + "key.pem\" \"" + file + "\"") == 0;
}

bool SignatureVerifies(const std::string& folder, const std::string& file) {
  return RunLinux("osslsigncode verify -CAfile \"" + folder + "cert.pem\" -in \"" + file + "\"") == 0;
}

bool WaitFor(const std::function<bool()>& pred, DWORD ms) {
  DWORD start = GetTickCount();
  while (!pred()) {
    if (GetTickCount() - start > ms) return false;
    Sleep(20);
  }
  return true;
}

namespace {
struct FindCtx {
  const char* cls;
  const char* caption;
  HWND found;
};
BOOL CALLBACK FindProc(HWND wnd, LPARAM lp) {
  FindCtx* c = (FindCtx*)lp;
  DWORD pid = 0;
  GetWindowThreadProcessId(wnd, &pid);
  if (pid != GetCurrentProcessId() || !IsWindowVisible(wnd)) return TRUE;
  char cls[64], text[256];
  GetClassNameA(wnd, cls, sizeof cls);
  GetWindowTextA(wnd, text, sizeof text);
  if ((!c->cls || !strcmp(cls, c->cls)) && (!c->caption || !strcmp(text, c->caption))) {
    c->found = wnd;
    return FALSE;
  }
  return TRUE;
}
}  // namespace

HWND FindTopWindow(const char* cls, const char* caption, DWORD ms) {
  FindCtx c{cls, caption, nullptr};
  WaitFor([&] {
    EnumWindows(FindProc, (LPARAM)&c);
    return c.found != nullptr;
  }, ms);
  return c.found;
}

std::string WindowText(HWND wnd) {
  char buf[1024] = {0};
  GetWindowTextA(wnd, buf, sizeof buf);
  return buf;
}

std::string MessageText(HWND box) { return WindowText(GetDlgItem(box, 0xFFFF)); }

namespace {
struct ChildFind {
  int id;
  const char* cls;
  HWND found;
};
BOOL CALLBACK FindChild(HWND w, LPARAM lp) {
  ChildFind* c = (ChildFind*)lp;
  char cls[64];
  GetClassNameA(w, cls, sizeof cls);
  if (GetDlgCtrlID(w) == c->id && !_stricmp(cls, c->cls)) c->found = w;  // the last (deepest) wins
  return TRUE;
}
HWND Child(HWND dlg, int id, const char* cls) {
  ChildFind c{id, cls, nullptr};
  EnumChildWindows(dlg, FindChild, (LPARAM)&c);
  return c.found;
}
}  // namespace

void AnswerFileDialog(HWND dlg, const std::string& path) {
  HWND edit = Child(dlg, 1148, "Edit");
  ASSERT_TRUE(edit) << "no file-name field";
  SendMessageA(edit, WM_SETTEXT, 0, (LPARAM)path.c_str());
  HWND ok = Child(dlg, IDOK, "Button");
  ASSERT_TRUE(ok) << "no OK button";
  PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), (LPARAM)ok);
}

void CancelDialog(HWND dlg) { PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0); }

std::string AnswerMessage(int button, DWORD ms) {
  HWND box = FindTopWindow("#32770", "Packrift", ms);
  if (!box) return "<no message box>";
  std::string text = MessageText(box);
  PostMessageA(box, WM_COMMAND, button, 0);
  WaitFor([&] { return !IsWindow(box); });
  return text;
}

const char kRegistryEditorCaption[] = "Dodaj wpisy do rejestru";

bool FillRegistryEditor(HWND d, const std::string& key, const std::string& name, const std::string& value,
                        const char* type, bool dynam) {
  SetDlgItemTextA(d, IDE_REG_KEY, key.c_str());
  SetDlgItemTextA(d, IDE_REG_NAME, name.c_str());
  SetDlgItemTextA(d, IDE_REG_VALUE, value.c_str());
  HWND combo = GetDlgItem(d, IDC_REG_TYPE);
  if (SendMessageA(combo, CB_SELECTSTRING, (WPARAM)-1, (LPARAM)type) == CB_ERR) return false;
  SendMessageA(d, WM_COMMAND, MAKEWPARAM(IDC_REG_TYPE, CBN_SELCHANGE), (LPARAM)combo);
  if (!dynam) return true;
  HWND box = GetDlgItem(d, IDC_REG_DYNAMIC);
  if (!IsWindowEnabled(box)) return false;
  SendMessageA(box, BM_SETCHECK, BST_CHECKED, 0);
  return true;
}

void AppTest::SetUp() {
  DeleteProgramKey();
  char base[MAX_PATH];
  GetTempPathA(MAX_PATH, base);
  temp_ = MakeTempDir("t");
  // The working folder is made in the system temporary folder: point it into this test's own.
  SetEnvironmentVariableA("TMP", temp_.c_str());
  SetEnvironmentVariableA("TEMP", temp_.c_str());
}

void AppTest::TearDown() {
  if (AppRunning()) CloseApp();
  DeleteProgramKey();
  RemoveTree(temp_);
}

static DWORD WINAPI MainThread(LPVOID) {
  StartMain(DialogProc, IDD_MAIN);
  C_close();
  return 1;
}

HANDLE StartMainWindow(HWND* main) {
  *HwndMain() = nullptr;
  *main = nullptr;
  HANDLE thread = CreateThread(nullptr, 0, MainThread, nullptr, 0, nullptr);
  EXPECT_TRUE(thread);
  EXPECT_TRUE(WaitFor([] { return *HwndMain() && IsWindowVisible(*HwndMain()); }));
  *main = *HwndMain();
  return thread;
}

void CloseMainWindow(HANDLE thread, HWND main) {
  UniqueHandle owned(thread);
  PostMessageA(main, WM_CLOSE, 0, 0);
  // A marked project asks whether to save on the way out: the answer is no.
  DWORD start = GetTickCount();
  while (WaitForSingleObject(thread, 100) == WAIT_TIMEOUT && GetTickCount() - start < 15000) {
    HWND box = FindWindowA("#32770", "Packrift");
    if (box && GetWindow(box, GW_OWNER) == main) PostMessageA(box, WM_COMMAND, IDNO, 0);
  }
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 0));
}

void AppTest::StartApp() {
  thread_ = StartMainWindow(&main_);
  ASSERT_TRUE(main_);
}

void AppTest::CloseApp() {
  CloseMainWindow(thread_, main_);
  thread_ = nullptr;
}

bool AppTest::AppRunning() const { return thread_ && WaitForSingleObject(thread_, 0) == WAIT_TIMEOUT; }

std::string AppTest::Text(int id) const { return WindowText(Item(id)); }

void AppTest::SetText(int id, const std::string& text) { SendMessageA(Item(id), WM_SETTEXT, 0, (LPARAM)text.c_str()); }

void AppTest::Click(int id) { PostMessageA(Item(id), BM_CLICK, 0, 0); }

void AppTest::Command(int id, int code) { PostMessageA(main_, WM_COMMAND, MAKEWPARAM(id, code), 0); }

bool AppTest::AddRegistry(const std::string& key, const std::string& name, const std::string& value,
                          const char* type, bool dynam) {
  Click(IDB_REG_ADD);
  HWND d = FindTopWindow("#32770", kRegistryEditorCaption);
  if (!d || !FillRegistryEditor(d, key, name, value, type, dynam)) return false;
  PostMessageA(GetDlgItem(d, IDB_REG_APPLY), BM_CLICK, 0, 0);
  bool closed = WaitFor([&] { return !IsWindow(d); }, 5000);
  SendMessageA(main_, WM_NULL, 0, 0);
  return closed;
}

UINT AppTest::MenuState(int id) const { return GetMenuState(GetMenu(main_), id, MF_BYCOMMAND); }

std::string AppTest::MenuText(UINT item, bool byPosition) const {
  char buf[128] = {0};
  GetMenuStringA(GetMenu(main_), item, buf, sizeof buf, byPosition ? MF_BYPOSITION : MF_BYCOMMAND);
  return buf;
}

}  // namespace uitest
