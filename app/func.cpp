// The main window: its dialog procedure, command table, enable rules and shared state.
#include "app/func.h"
#include "app/func1.h"
#include "app/func3.h"
#include "app/func4.h"
#include "build/buildhooks.h"
#include "build/func2.h"
#include "build/kopiuj.h"
#include "adpane/adpane.h"
#include "adhost.h"
#include "dlgkit/dlgkit.h"
#include "entries/editor.h"
#include "entries/entries.h"
#include "entries/entryops.h"
#include "lang/dlgtexts.h"
#include "lang/lang.h"
#include "res/resource.h"
#include <stdio.h>
#include <string.h>
#include <initializer_list>
#include <string>

namespace {
// Flags other threads read: written and read with atomic operations on the byte the accessor gives.
BYTE Load(const BYTE* flag) { return __atomic_load_n(flag, __ATOMIC_ACQUIRE); }
void Store(BYTE* flag, BYTE value) { __atomic_store_n(flag, value, __ATOMIC_RELEASE); }

HWND hDlg;
BYTE Progres = 1;
BYTE sp = 0;
char prj[kPathMax];
EntryEditState dialog_init1, dialog_init2, dialog_init3;
bool closePending = false;
bool closing = false;  // the close sequence runs: its save question and save pump messages
const UINT WM_RUN_ON_MAIN = WM_APP + 2;
// MsgLoop looks at the queue at most this often: a tick of Windows' GetTickCount. An empty look
// costs Wine a round to its server and to X, milliseconds each when the machine is busy.
const DWORD kPumpLookMs = 16;

// The advertisement panel's place over the main window's picture, and when it trims its memory once more.
const RECT kAdPlace = {5, 283, 5 + 385, 283 + 160};
const DWORD kAdTrimDelayMs = 10000;

// The menu bar's drop-downs by position.
const UINT kProjectPopup = 0, kHelpPopup = 2;

const int kLockable[] = {IDB_FOLDER_BROWSE, IDB_SETUP_BROWSE, IDB_LICENCE_BROWSE, IDB_INFO_BROWSE,
                         IDB_LNK_ADD, IDB_LNK_REMOVE, IDB_RUN_ADD, IDB_RUN_REMOVE, IDB_REG_ADD,
                         IDB_REG_REMOVE, IDB_BUILD, IDB_HELP, IDB_CLOSE};
bool state[sizeof kLockable / sizeof kLockable[0]];

// The eight command texts by identifier from IDM_NEW on, then the two drop-down titles by position.
const StrDef kMenuItems[] = {S_MENU_NEW, S_MENU_OPEN, S_MENU_SAVE, S_MENU_SAVEAS,
                             S_MENU_EXIT, S_MENU_SETTINGS, S_MENU_ABOUT, S_MENU_HELP};

// The entry editors' commands: each add button opens its editor on a new entry, a double-click on
// an item of its list opens it on that entry.
const struct {
  int add, list;
  EntryList entries;
  void (*edit)();
} kEditors[] = {
    {IDB_LNK_ADD, IDL_SHORTCUTS, ENTRIES_SHORTCUTS, WypelnijSkruty},
    {IDB_RUN_ADD, IDL_RUN, ENTRIES_RUN, WypelnijUruchom},
    {IDB_REG_ADD, IDL_REGISTRY, ENTRIES_REGISTRY, WypelnijRejestr},
};

bool FolderFieldSet() {
  char text[kPathMax + 1] = {0};
  GetDlgItemTextA(hDlg, IDE_FOLDER, text, sizeof text);
  return text[0] != 0;
}

void SetMenuText(HMENU menu, UINT item, UINT byWhat, const StrDef& s) {
  char text[kLookupMax];
  memcpy(text, GetOwnLang(s), kLookupMax);
  MENUITEMINFOA mi;
  ZeroMemory(&mi, sizeof mi);
  mi.cbSize = sizeof mi;
  mi.fMask = MIIM_STRING;
  mi.dwTypeData = text;
  SetMenuItemInfoA(menu, item, byWhat == MF_BYPOSITION, &mi);
}

void ApplyMenuFlags(UINT first, UINT last, UINT flags) {
  HMENU menu = GetMenu(hDlg);
  for (UINT id = first; id <= last; ++id) EnableMenuItem(menu, id, MF_BYCOMMAND | flags);
  DrawMenuBar(hDlg);
}

BOOL OnInitDialog(HWND wnd) {
  closing = closePending = false;
  GetCfg();
  hDlg = wnd;
  GiveBuildHooks();
  SetIco(wnd, IDI_APP);
  InitLang1(wnd);
  MakeOwnMenu();
  InitCompressLevel();
  ObslugaLiniiKomend();
  InicjujDialogi();
  initbtn();
  CleadDir();
  reklama(wnd);
  return FALSE;
}

void OnClose() {
  // A close while closing would ask again after the working folder was emptied.
  if (closing) return;
  // A close during a build would clear the files the build reads and feed the quit message to
  // the build's pump: it waits for the build's end instead.
  if (BuildRunning()) {
    closePending = true;
    return;
  }
  closing = true;
  EndingSave();
  WyczyscCfgReg(hDlg);
  PostQuitMessage(0);
}

// True when `id` is an editor's add button or list (handled here, marking the project as changed
// when an editor is asked for).
bool OnEditorCommand(UINT id, UINT code) {
  for (const auto& e : kEditors) {
    if ((int)id == e.add) {
      AddEntry(e.entries);
      MenuOn();
      return true;
    }
    if ((int)id != e.list) continue;
    // Not while the packing progress dialog is open, and only on an item.
    if (code == LBN_DBLCLK && !IsOpen(kPackingDialog.slot) && SendDlgItemMessageA(hDlg, id, LB_GETCURSEL, 0, 0) >= 0) {
      e.edit();
      MenuOn();
    }
    return true;
  }
  return false;
}

// The three file browse buttons fill, in their order, the three fields from the output on.
int PickerOfBrowse(UINT button) {
  static_assert(IDB_INFO_BROWSE - IDB_SETUP_BROWSE == PICK_INFO - PICK_SETUP, "browse buttons and fields in step");
  return PICK_SETUP + (int)(button - IDB_SETUP_BROWSE);
}

void OnCommand(UINT id, UINT code) {
  if (OnEditorCommand(id, code)) return;
  switch (id) {
    case IDE_FOLDER:
      if (!BuildRunning()) EnableButtons();
      break;
    case IDB_FOLDER_BROWSE:
      PobiezFolderInstalacyjny();
      MenuOn();
      break;
    case IDB_SETUP_BROWSE:
    case IDB_LICENCE_BROWSE:
    case IDB_INFO_BROWSE:
      PobierzPlik(hDlg, PickerOfBrowse(id));
      MenuOn();
      break;
    case IDB_LNK_REMOVE:
      UsunSkrot();
      MenuOn();
      break;
    case IDB_RUN_REMOVE:
      UsunRegProgram(false);
      MenuOn();
      break;
    case IDB_REG_REMOVE:
      PerformRemReg();
      UsunRegProgram(true);
      MenuOn();
      break;
    case IDB_BUILD:
      BtnZastosuj();
      break;
    case IDB_HELP:
    case IDM_HELP:
      Pomoc();
      break;
    case IDM_SETTINGS:
      DialogUstawien();
      break;
    case IDM_ABOUT:
      DialogAbout();
      break;
    case IDM_NEW:
      CleadDir();
      NowyProjekt();
      break;
    case IDM_OPEN:
      PobierzPlik(hDlg, PICK_PROJECT_OPEN);
      OtworzProjekt();
      break;
    case IDM_SAVE:
      ZapiszProjekt(false);
      break;
    case IDM_SAVEAS:
      ZapiszProjekt(true);
      break;
    case IDB_CLOSE:
    case IDM_EXIT:
      SendMessageA(hDlg, WM_CLOSE, 0, 0);
      break;
    default:
      break;
  }
}
}  // namespace

// ---- The build's hooks: what the build may ask of the main window ----
namespace {
// The five fields as the build reads them: each as its control's text is read.
std::string FieldText(int id, int cap) {
  std::string s(cap, '\0');
  if (!GetDlgItemTextA(hDlg, id, &s[0], cap)) s[0] = 0;
  s.resize(strlen(s.c_str()));
  return s;
}

BuildFields BuildFieldsOfWindow() {
  return {FieldText(IDE_NAME, kProgramNameMax), FieldText(IDE_FOLDER, MAX_PATH), FieldText(IDE_SETUP, MAX_PATH),
          FieldText(IDE_LICENCE, MAX_PATH), FieldText(IDE_INFO, MAX_PATH)};
}

void BuildPump() { MsgLoop(); }
unsigned BuildPumpQuiet() { return MsgLoopQuiet(); }
void BuildPumpSkip(unsigned n) { MsgLoopSkip(n); }

bool BuildPathOf(BuildPath which, char* out) {
  switch (which) {
    case BUILD_TOOL_FOLDER: return ToolFolder(out);
    case BUILD_BIN_FOLDER: return WorkPath(VAL_BINDIR, out);
    case BUILD_INIT_CFG: return WorkPath(VAL_INITCFG, out);
  }
  return false;
}

std::string BuildCompressMode() { return CompLevel(); }

// The template is read up to its own limit: a longer one, or one that cannot be read, fails the
// signing rather than leaving the installer unsigned without a word.
bool BuildSignTemplate(char* buf, DWORD cap) {
  std::string value(cap + 1, '\0');
  LONG st = addregister(RegRegister(), VAL_SIGN, &value[0], REG_READ, ROOT_MACHINE, cap, REG_SZ);
  if (st == ERROR_FILE_NOT_FOUND) {
    buf[0] = 0;
    return true;
  }
  size_t n = strlen(value.c_str());
  if (st != ERROR_SUCCESS || n >= cap) return false;
  memcpy(buf, value.c_str(), n + 1);
  return true;
}

void BuildDeleteFiles(const char* folder) { wyliczpliki(folder, true); }

void BuildRunningChanged(bool on) {
  if (on) SetBuildRunning(true);
  LockButtons(on);
  if (!on) SetBuildRunning(false);
}

void BuildMenus(bool enabled) { EnMenu2(enabled ? MF_ENABLED : MF_GRAYED); }

const BuildHooks kBuildHooks = [] {
  BuildHooks h = {};
  h.fields = BuildFieldsOfWindow;
  h.unattended = BuildSwitchGiven;
  h.pump = BuildPump;
  h.pumpQuiet = BuildPumpQuiet;
  h.pumpSkip = BuildPumpSkip;
  h.pumpNow = PumpMessage;
  h.message = ShowMessage;
  h.path = BuildPathOf;
  h.compressMode = BuildCompressMode;
  h.lzma = BuildLzma;
  h.signTemplate = BuildSignTemplate;
  h.deleteFiles = BuildDeleteFiles;
  h.running = BuildRunningChanged;
  h.ended = CloseIfPending;
  h.menus = BuildMenus;
  h.messageAbout = ShowMessageAbout;
  return h;
}();

// The unattended build has no window: no main window, fields of its own, no pump (under Wine
// without a display, even looking at the message queue may wait for a desktop that never comes),
// no buttons, no progress dialog.
const BuildHooks kUnattendedHooks = [] {
  BuildHooks h = {};
  h.unattended = BuildSwitchGiven;
  h.message = ShowMessage;
  h.messageAbout = ShowMessageAbout;
  h.path = BuildPathOf;
  h.compressMode = BuildCompressMode;
  h.lzma = BuildLzma;
  h.signTemplate = BuildSignTemplate;
  h.deleteFiles = BuildDeleteFiles;
  h.fields = UnattendedFields;
  return h;
}();
}  // namespace

void GiveBuildHooks() { SetBuildHooks(BuildSwitchGiven() ? &kUnattendedHooks : &kBuildHooks); }

HWND* HwndMain() { return &hDlg; }
BYTE* noProgressGzc() { return &Progres; }
BYTE* SavePrj() { return &sp; }
char* PlikProjektu() { return prj; }
EntryEditState* dialog1_init() { return &dialog_init1; }
EntryEditState* dialog2_init() { return &dialog_init2; }
EntryEditState* dialog3_init() { return &dialog_init3; }
bool BuildRunning() { return Load(&Progres) == 0; }
void SetBuildRunning(bool running) { Store(&Progres, running ? 0 : 1); }
bool ProjectModified() { return Load(&sp) != 0; }

INT_PTR CALLBACK DialogProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_INITDIALOG: OnInitDialog(wnd); return 0;
    case WM_CLOSE: OnClose(); return 1;
    case WM_DESTROY: WyczyscCfgReg(wnd); PostQuitMessage(0); return 1;
    case WM_COMMAND: OnCommand(LOWORD(wp), HIWORD(wp)); return 0;
    case WM_MOUSEACTIVATE: StartBrowser(); return 1;
    case WM_RUN_ON_MAIN: ((void (*)(void*))wp)((void*)lp); return 0;
    default: (void)lp; return 0;
  }
}

void reklama(HWND wnd) {
  AdvRecord* a = C_adv();
  snprintf(a->url, sizeof a->url, "http://%s/advertising_view.php?page=advertising/main.html", PR_AD_HOST);
  a->x = kAdPlace.left;
  a->y = kAdPlace.top;
  a->width = kAdPlace.right - kAdPlace.left;
  a->height = kAdPlace.bottom - kAdPlace.top;
  a->hwndParent = wnd;
  a->style = WS_CHILD | WS_VISIBLE;
  a->hInstance = nullptr;
  C_init();
  C_sleep(kAdTrimDelayMs);  // one more working-set trim once start-up has settled
}

void InicjujDialogi() {
  for (EntryEditState* e : {dialog1_init(), dialog2_init(), dialog3_init()}) EntryEditReset(e);
}

void InitLang1(HWND wnd) {
  static const CtlText texts[] = {
      {IDS_NAME_LABEL, S_NAME_LABEL},       {IDS_FOLDER_LABEL, S_FOLDER_LABEL}, {IDS_SETUP_LABEL, S_SETUP_LABEL},
      {IDS_LICENCE_LABEL, S_LICENCE_LABEL}, {IDS_INFO_LABEL, S_INFO_LABEL},
      {IDB_FOLDER_BROWSE, S_BROWSE},        {IDB_SETUP_BROWSE, S_BROWSE},       {IDB_LICENCE_BROWSE, S_BROWSE},
      {IDB_INFO_BROWSE, S_BROWSE},
      {IDB_LNK_ADD, S_ADD},                 {IDB_RUN_ADD, S_ADD},               {IDB_REG_ADD, S_ADD},
      {IDB_LNK_REMOVE, S_REMOVE},           {IDB_RUN_REMOVE, S_REMOVE},         {IDB_REG_REMOVE, S_REMOVE},
      {IDB_BUILD, S_APPLY},                 {IDB_HELP, S_HELP},                 {IDB_CLOSE, S_EXIT}};
  SetDialogTexts(wnd, nullptr, texts);
}

void MakeOwnMenu() {
  HMENU menu = GetMenu(hDlg);
  for (UINT i = 0; i < sizeof kMenuItems / sizeof kMenuItems[0]; ++i)
    SetMenuText(menu, IDM_NEW + i, MF_BYCOMMAND, kMenuItems[i]);
  SetMenuText(menu, kProjectPopup, MF_BYPOSITION, S_MENU_PROJECT);
  SetMenuText(menu, kHelpPopup, MF_BYPOSITION, S_MENU_HELP_POPUP);
  DrawMenuBar(hDlg);
}

void EnableButtons() {
  BOOL on = FolderFieldSet();
  for (int id : {IDB_LNK_ADD, IDB_RUN_ADD, IDB_REG_ADD, IDB_BUILD}) EnableWindow(GetDlgItem(hDlg, id), on);
}

void initbtn() { EnableWindow(GetDlgItem(hDlg, IDB_BUILD), FolderFieldSet()); }

void LockButtons(bool lock) {
  for (size_t i = 0; i < sizeof kLockable / sizeof kLockable[0]; ++i) {
    HWND b = GetDlgItem(hDlg, kLockable[i]);
    if (lock) state[i] = !EnableWindow(b, FALSE);  // returns nonzero when it was disabled
    else EnableWindow(b, state[i]);
  }
}

void EnMenu(UINT flags) { ApplyMenuFlags(IDM_SAVE, IDM_SAVE, flags); }
void EnMenu2(UINT flags) { ApplyMenuFlags(IDM_NEW, IDM_SETTINGS, flags); }

void MenuOn() {
  Store(&sp, 1);
  EnMenu(MF_ENABLED);
}

void CleadDir() {
  prj[0] = 0;
  Store(&sp, 0);
  EnMenu(MF_GRAYED);
}

unsigned msgLoopCalls;

bool MsgLoopLook() {
  // Looking at the queue costs far more than a byte of work: only every few milliseconds.
  static DWORD last;
  DWORD now = GetTickCount();
  if (now - last < kPumpLookMs) return false;
  last = now;
  return PumpMessage();
}

bool PumpMessage() {
  MSG msg;
  if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
  TranslateMessage(&msg);
  DispatchMessageA(&msg);
  return true;
}

void RunOnMainThread(void (*fn)(void*), void* arg) {
  if (GetWindowThreadProcessId(hDlg, nullptr) == GetCurrentThreadId()) fn(arg);
  else SendMessageA(hDlg, WM_RUN_ON_MAIN, (WPARAM)fn, (LPARAM)arg);
}

void CloseIfPending() {
  if (closePending && !BuildRunning() && !closing) {
    closePending = false;
    PostMessageA(hDlg, WM_CLOSE, 0, 0);
  }
}
