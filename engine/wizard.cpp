// The installer's wizard: welcome, licence, folder, progress and closing pages in one dialog.
#include "engine/setup.h"

#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include "win/winhandles.h"
#include "engine/enginewin.h"
#include "engine/look.h"
#include "engine/resource.h"
#include "engine/steps.h"
#include "engine/winfiles.h"

namespace {
enum Page { PAGE_WELCOME, PAGE_LICENCE, PAGE_FOLDER, PAGE_PROGRESS, PAGE_DONE };

// Messages from the installing thread.
enum {
  WM_SETUP_PROGRESS = WM_APP + 1,  // wParam: percent
  WM_SETUP_STATUS,                 // lParam: const std::wstring*
  WM_SETUP_ASK,                    // lParam: const std::wstring*; returns 1 for yes
  WM_SETUP_DONE,                   // wParam: exit code
  WM_SETUP_FILE,                   // lParam: const char*, the file being written (relative)
  WM_SETUP_COMMITTED,              // the files are in place: no more cancelling
  WM_SETUP_HELD,                   // lParam: const std::string*, a file in use; returns 1 to retry
};

constexpr size_t kInfoMax = 1u << 20;

struct Wizard {
  Setup* s = nullptr;
  HWND dlg = nullptr;
  Page page = PAGE_WELCOME;
  int result = EXIT_CANCELLED;
  std::wstring why;
  UniqueHandle thread;  // the installing thread's, while it runs
  Look look;
  uint64_t need = 0;           // the program's unpacked size
  bool needKnown = false;
  // Cancel while installing: the installing thread waits at its next file access while `pause` is
  // set (the user is being asked); then `cancel` says whether to stop.
  volatile LONG pause = 0, cancel = 0;
  bool committed = false;
};

// Controls shown on each page; everything else is hidden.
const int kAll[] = {IDE_LICENCE, IDR_ACCEPT, IDR_DECLINE, IDE_FOLDER, IDB_BROWSE, IDS_SPACE_NEED, IDS_SPACE_FREE,
                    IDP_PROGRESS, IDS_STATUS, IDS_FILE, IDE_INFO, IDS_FOUND, IDC_ALLUSERS};

Wizard* Self(HWND dlg) { return reinterpret_cast<Wizard*>(GetWindowLongPtrW(dlg, DWLP_USER)); }

// Text `id` with the program's name for its %s.
std::wstring Named(const Wizard& w, LangId id) { return TxF1(id, Wide(w.s->name)); }
std::wstring Caption(const Wizard& w) { return Named(w, L_CAPTION); }
// A message box of the wizard; returns the button pressed.
int Say(const Wizard& w, const std::wstring& text, UINT flags) { return Box(w.dlg, text, Caption(w), flags); }

// Plain text for an edit control: every line break as CR LF.
std::wstring EditText(const std::wstring& in) {
  std::wstring out;
  out.reserve(in.size() + in.size() / 32);
  for (size_t i = 0; i < in.size(); ++i) {
    if (in[i] == '\n' && (i == 0 || in[i - 1] != '\r')) out += '\r';
    if (in[i] == '\0') continue;
    out += in[i];
  }
  return out;
}

bool IsHtml(const std::string& path) {
  std::string name = NameOf(path);
  size_t dot = name.rfind('.');
  if (dot == std::string::npos) return false;
  std::string ext = name.substr(dot + 1);
  for (char& c : ext)
    if (c >= 'A' && c <= 'Z') c = (char)(c + 32);
  return ext == "htm" || ext == "html";
}

// ---- Space on the folder page -----------------------------------------------------------------------
// The program archive's unpacked size: each member's stored length is the last four bytes of its
// gzip member (member 0, the list, not counted).
bool ProgramSize(const Setup& s, uint64_t* size) {
  EngineFiles files;
  InitEngineFiles(&files);
  GzcSource src{&files.ops, s.file.get(), s.binLength, s.binOffset};
  uint32_t stored;
  std::vector<uint32_t> t;
  if (!files.ops.seek(files.ops.ctx, s.file.get(), s.binOffset) || GzcReadTable(src, &stored, &t) != GZC_OK) return false;
  *size = 0;
  for (size_t j = 2; j < t.size(); ++j) {
    unsigned char b[4];
    if (!ReadAt(s.file.get(), s.binOffset + t[j] - 4, b, 4)) return false;
    *size += b[0] | b[1] << 8 | b[2] << 16 | (uint32_t)b[3] << 24;
  }
  return true;
}

std::wstring SizeText(uint64_t b) {
  wchar_t buf[32];
  if (b < (1u << 20)) {
    wsprintfW(buf, L"%u KB", (unsigned)((b + 1023) / 1024));
  } else {
    int shift = b < (1ull << 30) ? 20 : 30;
    uint64_t tenths = (b * 10) >> shift;
    wsprintfW(buf, L"%u%c%u %s", (unsigned)(tenths / 10), TextDecimalPoint(), (unsigned)(tenths % 10),
              shift == 20 ? L"MB" : L"GB");
  }
  return buf;
}

// Free space for this user on the drive of `folder` (a full path with its drive).
bool FreeSpace(const std::wstring& folder, uint64_t* bytes) {
  wchar_t root[] = {folder[0], L':', L'\\', 0};
  ULARGE_INTEGER avail;
  if (!GetDiskFreeSpaceExW(root, &avail, nullptr, nullptr)) return false;
  *bytes = avail.QuadPart;
  return true;
}

// The folder page's line on the installations found: the one of the chosen scope and what becomes
// of it in the folder given, then one of the other scope.
void UpdateFound(Wizard& w) {
  const Setup& s = *w.s;
  const Found& f = s.found[s.allUsers];
  const Found& other = s.found[!s.allUsers];
  std::wstring folder, line;
  bool same = TidyFolder(GetText(w.dlg, IDE_FOLDER), &folder) && lstrcmpiW(folder.c_str(), f.folder.c_str()) == 0;
  static const unsigned char kSays[] = {0, L_FOUND_ELSEWHERE, L_FOUND_GONE, L_FOUND_DAMAGED, L_FOUND_FOREIGN};
  if (f.state == FOUND_HERE && same) line = Tx(L_FOUND_HERE);
  else if (f.state != FOUND_NONE) line = TxF1(LangId(kSays[f.state]), f.folder);
  if (other.state == FOUND_HERE)
    line += (line.empty() ? L"" : L" ") + TxF1(s.allUsers ? L_FOUND_USER : L_FOUND_MACHINE, other.folder);
  SetText(w.dlg, IDS_FOUND, line);
}

void UpdateSpace(Wizard& w) {
  std::wstring folder;
  uint64_t avail = 0;
  bool known = TidyFolder(GetText(w.dlg, IDE_FOLDER), &folder) && FreeSpace(folder, &avail);
  SetText(w.dlg, IDS_SPACE_FREE, TxF1(L_SPACE_FREE, known ? SizeText(avail) : Tx(L_UNKNOWN)));
  UpdateFound(w);
}

// Whether files can be made in `folder` or, where it is not there yet, in the nearest folder on its
// way that is. Changes nothing.
bool Writable(std::wstring p) {
  for (;;) {
    DWORD a = GetFileAttributesW(p.c_str());
    if (a != INVALID_FILE_ATTRIBUTES) {
      wchar_t probe[MAX_PATH];
      if (!(a & FILE_ATTRIBUTE_DIRECTORY) || !GetTempFileNameW(p.c_str(), L"prw", 0, probe)) return false;
      DeleteFileW(probe);
      return true;
    }
    if (p.size() <= 3) return false;
    p.resize(p.rfind(L'\\'));
    if (p.size() == 2) p += L'\\';  // the drive's root
  }
}

// Why the installation cannot go into `folder`, or "" when it can: too little space on its drive,
// or the folder cannot be made or written. Changes nothing.
std::wstring FolderRefusal(const Wizard& w, const std::wstring& folder) {
  uint64_t avail;
  if (w.needKnown && FreeSpace(folder, &avail) && avail < w.need)
    return TxF(L_NO_SPACE, {folder.substr(0, 2), SizeText(w.need), SizeText(avail)});
  return Writable(folder) ? L"" : TxF1(L_NOT_WRITABLE, folder);
}

// ---- Pages -----------------------------------------------------------------------------------------
// What each page shows: the side picture or the header band, its texts (each with the program's
// name for its %s; 0 for none) and its own controls.
struct PageLook {
  bool side;
  unsigned char title, subtitle, text;  // LangId
  short shown[6];
};
const PageLook kPages[] = {
    {true, L_WELCOME_TITLE, 0, L_WELCOME_TEXT, {}},
    {false, L_LICENCE_TITLE, L_LICENCE_SUB, L_LICENCE_TEXT, {IDE_LICENCE, IDR_ACCEPT, IDR_DECLINE}},
    {false, L_FOLDER_TITLE, L_FOLDER_SUB, L_FOLDER_TEXT, {IDE_FOLDER, IDB_BROWSE, IDS_SPACE_NEED, IDS_SPACE_FREE, IDS_FOUND, IDC_ALLUSERS}},
    {false, L_PROGRESS_TITLE, L_PROGRESS_TEXT, 0, {IDP_PROGRESS, IDS_STATUS, IDS_FILE}},
    {true, L_DONE_TITLE, 0, L_DONE_TEXT, {IDE_INFO}},
};

void ShowPage(Wizard& w, Page page) {
  HWND dlg = w.dlg;
  const PageLook& look = kPages[page];
  w.page = page;
  LookSetSide(dlg, &w.look, look.side);
  // Title and text beside the side picture, or under the header band.
  if (look.side) {
    LookPlace(dlg, IDS_TITLE, 120, 12, 200, 30);
    LookPlace(dlg, IDS_TEXT, 120, 46, 200, page == PAGE_DONE ? 28 : 130);
  } else {
    LookPlace(dlg, IDS_TITLE, 12, 7, 280, 10);
    LookPlace(dlg, IDS_TEXT, 20, 44, 300, 24);
  }
  // The welcome and folder pages name the version being installed.
  std::wstring name = Wide(w.s->name);
  if ((page == PAGE_WELCOME || page == PAGE_FOLDER) && !w.s->version.empty()) name += L" " + Wide(w.s->version);
  SetText(dlg, IDS_TITLE, TxF1(LangId(look.title), name));
  SetText(dlg, IDS_SUBTITLE, TxF1(LangId(look.subtitle), name));
  SetText(dlg, IDS_TEXT, TxF1(LangId(look.text), name));
  if (page == PAGE_FOLDER) {
    if (!w.needKnown) w.needKnown = ProgramSize(*w.s, &w.need);
    SetText(dlg, IDS_SPACE_NEED, TxF1(L_SPACE_NEED, w.needKnown ? SizeText(w.need) : Tx(L_UNKNOWN)));
    UpdateSpace(w);
  }
  for (int id : kAll) {
    bool on = false;
    for (int v : look.shown) on = on || v == id;
    ShowWindow(GetDlgItem(dlg, id), on ? SW_SHOW : SW_HIDE);
  }
  bool working = page == PAGE_PROGRESS;
  bool accepted = IsDlgButtonChecked(dlg, IDR_ACCEPT) == BST_CHECKED;
  EnableWindow(GetDlgItem(dlg, IDB_BACK), page == PAGE_LICENCE || page == PAGE_FOLDER);
  EnableWindow(GetDlgItem(dlg, IDB_NEXT), !working && (page != PAGE_LICENCE || accepted));
  EnableWindow(GetDlgItem(dlg, IDCANCEL), !(working && w.committed) && page != PAGE_DONE);
  SetText(dlg, IDB_NEXT, page == PAGE_FOLDER ? Tx(L_INSTALL) : page == PAGE_DONE ? Tx(L_FINISH) : Tx(L_NEXT));
}

// ---- The installing thread -------------------------------------------------------------------------
void SinkProgress(void* ctx, int percent) { PostMessageW(static_cast<Wizard*>(ctx)->dlg, WM_SETUP_PROGRESS, percent, 0); }
void SinkStatus(void* ctx, const std::wstring& text) {
  SendMessageW(static_cast<Wizard*>(ctx)->dlg, WM_SETUP_STATUS, 0, (LPARAM)&text);
}
bool SinkAsk(void* ctx, const std::wstring& question) {
  return SendMessageW(static_cast<Wizard*>(ctx)->dlg, WM_SETUP_ASK, 0, (LPARAM)&question) == 1;
}

void SinkFile(void* ctx, const char* rel) { SendMessageW(static_cast<Wizard*>(ctx)->dlg, WM_SETUP_FILE, 0, (LPARAM)rel); }
bool SinkCancelled(void* ctx) {
  Wizard* w = static_cast<Wizard*>(ctx);
  while (w->pause) Sleep(20);
  return w->cancel != 0;
}
void SinkCommitted(void* ctx) { PostMessageW(static_cast<Wizard*>(ctx)->dlg, WM_SETUP_COMMITTED, 0, 0); }
bool SinkHeld(void* ctx, const std::string& path) {
  return SendMessageW(static_cast<Wizard*>(ctx)->dlg, WM_SETUP_HELD, 0, (LPARAM)&path) == 1;
}

DWORD WINAPI InstallThread(LPVOID param) {
  Wizard* w = static_cast<Wizard*>(param);
  InstallSink sink = {SinkProgress, SinkStatus, SinkAsk, w, SinkFile, SinkCancelled, SinkCommitted, SinkHeld};
  int code = RunInstall(*w->s, sink, &w->why);
  PostMessageW(w->dlg, WM_SETUP_DONE, code, 0);
  return 0;
}

// ---- Handlers ----------------------------------------------------------------------------------------
void OnBrowse(Wizard& w) {
  std::wstring title = Tx(L_BROWSE_TITLE);
  BROWSEINFOW bi = {};
  bi.hwndOwner = w.dlg;
  bi.lpszTitle = title.c_str();
  bi.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  UniquePidl pidl(SHBrowseForFolderW(&bi));
  if (!pidl) return;
  wchar_t path[MAX_PATH] = {0};
  if (SHGetPathFromIDListW(pidl.get(), path) && path[0]) {
    std::wstring folder = path;
    std::wstring name = Wide(SafeName(w.s->name));
    if (folder.back() != L'\\') folder += L'\\';
    std::wstring last = folder.substr(0, folder.size() - 1);
    last.erase(0, last.rfind(L'\\') + 1);  // all of it when there is no backslash
    if (last != name) folder += name;
    else folder.pop_back();
    SetText(w.dlg, IDE_FOLDER, folder);
  }
}

void StartInstall(Wizard& w) {
  std::wstring folder;
  if (!TidyFolder(GetText(w.dlg, IDE_FOLDER), &folder)) {
    Say(w, Tx(L_BAD_FOLDER), MB_OK | MB_ICONWARNING);
    return;
  }
  std::wstring refusal = FolderRefusal(w, folder);
  if (!refusal.empty()) {
    Say(w, refusal, MB_OK | MB_ICONWARNING);
    return;
  }
  w.s->folder = folder;
  // For every user from a run that is not elevated: a copy of the installer, started elevated with
  // these choices, installs, and its exit code is this run's.
  // For every user from a run that is not elevated: an elevated copy installs, and its exit code
  // is this run's; declined, the page stays.
  int elevated = RunElevated(*w.s, folder, w.dlg);
  if (elevated == kDeclined) return;
  if (elevated != kNotElevated) {
    w.result = elevated;
    EndDialog(w.dlg, 0);
    return;
  }
  ShowPage(w, PAGE_PROGRESS);
  w.thread.reset(CreateThread(nullptr, 0, InstallThread, &w, 0, nullptr));
  if (!w.thread) {
    w.result = EXIT_WRITE;
    EndDialog(w.dlg, 0);
  }
}

void OnNext(Wizard& w) {
  switch (w.page) {
    case PAGE_WELCOME: ShowPage(w, w.s->hasLicence ? PAGE_LICENCE : PAGE_FOLDER); break;
    case PAGE_LICENCE:
      if (IsDlgButtonChecked(w.dlg, IDR_ACCEPT) == BST_CHECKED) ShowPage(w, PAGE_FOLDER);
      break;
    case PAGE_FOLDER: StartInstall(w); break;
    case PAGE_PROGRESS: break;
    case PAGE_DONE: EndDialog(w.dlg, 0); break;
  }
}

void OnBack(Wizard& w) {
  if (w.page == PAGE_FOLDER) ShowPage(w, w.s->hasLicence ? PAGE_LICENCE : PAGE_WELCOME);
  else if (w.page == PAGE_LICENCE) ShowPage(w, PAGE_WELCOME);
}

// While installing: the installing thread waits while the user is asked; on yes it stops and removes
// what it wrote. Once the files are in place it runs to its end.
void CancelInstall(Wizard& w) {
  if (w.committed || w.cancel) return;
  w.pause = 1;
  if (Say(w, Tx(L_CANCEL_ASK), MB_YESNO | MB_ICONQUESTION) == IDYES) {
    w.cancel = 1;
    SetText(w.dlg, IDS_STATUS, Tx(L_CANCELLING));
    SetText(w.dlg, IDS_FILE, L"");
    EnableWindow(GetDlgItem(w.dlg, IDCANCEL), FALSE);
  }
  w.pause = 0;
}

void OnCancel(Wizard& w) {
  if (w.page == PAGE_PROGRESS) {
    CancelInstall(w);
    return;
  }
  if (w.page == PAGE_DONE) {
    EndDialog(w.dlg, 0);
    return;
  }
  if (Say(w, Tx(L_CANCEL_ASK), MB_YESNO | MB_ICONQUESTION) == IDYES) {
    w.result = EXIT_CANCELLED;
    EndDialog(w.dlg, 0);
  }
}

void OnDone(Wizard& w, int code) {
  if (w.thread) {
    WaitForSingleObject(w.thread.get(), INFINITE);
    w.thread.reset();
  }
  w.result = code;
  if (code == EXIT_DAMAGED || code == EXIT_WRITE || code == EXIT_CANCELLED) {
    Say(w, w.why, MB_OK | (code == EXIT_CANCELLED ? MB_ICONINFORMATION : MB_ICONERROR));
    EndDialog(w.dlg, 0);
    return;
  }
  const Setup& s = *w.s;
  std::wstring info;
  if (!s.infoPath.empty()) {
    if (IsHtml(s.infoPath)) {
      info = Tx(L_INFO_BROWSER);
      ShellExecuteW(w.dlg, L"open", Wide(s.infoPath).c_str(), nullptr, Wide(FolderOf(s.infoPath)).c_str(), SW_SHOWNORMAL);
    } else {
      std::string bytes;
      ReadWhole(s.infoPath, &bytes, kInfoMax);
      info = TextFileWide(bytes);
    }
  }
  SetText(w.dlg, IDE_INFO, EditText(info));
  ShowPage(w, PAGE_DONE);
  if (info.empty()) ShowWindow(GetDlgItem(w.dlg, IDE_INFO), SW_HIDE);
  if (!s.problems.empty()) {
    std::wstring list;
    for (const std::wstring& p : s.problems) list += L"\r\n- " + p;
    Say(w, TxF1(L_PROBLEMS, list), MB_OK | MB_ICONWARNING);
  }
}

BOOL OnInit(HWND dlg, Wizard* w) {
  SetWindowLongPtrW(dlg, DWLP_USER, (LONG_PTR)w);
  w->dlg = dlg;
  SetWindowTextW(dlg, Caption(*w).c_str());
  LookInit(dlg, &w->look);
  SetText(dlg, IDB_BACK, Tx(L_BACK));
  SetText(dlg, IDCANCEL, Tx(L_CANCEL));
  SetText(dlg, IDR_ACCEPT, Tx(L_ACCEPT));
  SetText(dlg, IDR_DECLINE, Tx(L_DECLINE));
  SetText(dlg, IDB_BROWSE, Tx(L_BROWSE));
  SetText(dlg, IDE_LICENCE, EditText(TextFileWide(w->s->licenceText)));
  SetText(dlg, IDE_FOLDER, w->s->folder);
  SetText(dlg, IDC_ALLUSERS, Tx(L_ALL_USERS));
  CheckDlgButton(dlg, IDC_ALLUSERS, w->s->allUsers ? BST_CHECKED : BST_UNCHECKED);
  SendDlgItemMessageW(dlg, IDP_PROGRESS, PBM_SETRANGE32, 0, 100);
  ShowPage(*w, PAGE_WELCOME);
  if (w->s->go) {
    // Started elevated by the wizard that asked the user: straight to the installation.
    ShowPage(*w, PAGE_FOLDER);
    StartInstall(*w);
  }
  SetFocus(GetDlgItem(dlg, IDB_NEXT));
  return FALSE;
}

void OnCommand(Wizard& w, int id, int code) {
  switch (id) {
    case IDB_NEXT: OnNext(w); break;
    case IDB_BACK: OnBack(w); break;
    case IDCANCEL: OnCancel(w); break;
    case IDB_BROWSE: OnBrowse(w); break;
    case IDE_FOLDER:
      if (code == EN_CHANGE && w.page == PAGE_FOLDER) UpdateSpace(w);
      break;
    case IDC_ALLUSERS:
      // The other scope proposes its own folder: its installation's, or its default (the box
      // notifies its clicks alone).
      w.s->allUsers = IsDlgButtonChecked(w.dlg, IDC_ALLUSERS) == BST_CHECKED;
      SetText(w.dlg, IDE_FOLDER, ProposedFolder(*w.s));
      break;
    case IDR_ACCEPT:
    case IDR_DECLINE:
      if (code == BN_CLICKED) ShowPage(w, PAGE_LICENCE);
      break;
  }
}

INT_PTR CALLBACK WizardProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_INITDIALOG) return OnInit(dlg, reinterpret_cast<Wizard*>(lp));
  Wizard* w = Self(dlg);
  if (!w) return FALSE;
  switch (msg) {
    case WM_COMMAND: OnCommand(*w, LOWORD(wp), HIWORD(wp)); return TRUE;
    case WM_CLOSE: OnCancel(*w); return TRUE;
    case WM_SETUP_PROGRESS: SendDlgItemMessageW(dlg, IDP_PROGRESS, PBM_SETPOS, wp, 0); return TRUE;
    case WM_SETUP_STATUS: SetText(dlg, IDS_STATUS, *reinterpret_cast<const std::wstring*>(lp)); return TRUE;
    case WM_SETUP_ASK:
      SetWindowLongPtrW(dlg, DWLP_MSGRESULT,
                        Say(*w, *reinterpret_cast<const std::wstring*>(lp), MB_YESNO | MB_ICONQUESTION) == IDYES);
      return TRUE;
    case WM_SETUP_HELD:
      SetWindowLongPtrW(dlg, DWLP_MSGRESULT, AskHeld(dlg, Caption(*w), *reinterpret_cast<const std::string*>(lp)));
      return TRUE;
    case WM_SETUP_DONE: OnDone(*w, (int)wp); return TRUE;
    case WM_SETUP_FILE: SetText(dlg, IDS_FILE, Wide(reinterpret_cast<const char*>(lp))); return TRUE;
    case WM_SETUP_COMMITTED:
      w->committed = true;
      EnableWindow(GetDlgItem(dlg, IDCANCEL), FALSE);
      return TRUE;
    case WM_ERASEBKGND: SetWindowLongPtrW(dlg, DWLP_MSGRESULT, 1); return LookErase(dlg, w->look, (HDC)wp);
    case WM_CTLCOLORSTATIC: return LookCtlColor(dlg, w->look, (HDC)wp, (HWND)lp);
    case WM_DRAWITEM: return LookDrawItem(reinterpret_cast<const DRAWITEMSTRUCT*>(lp));
  }
  return FALSE;
}
}  // namespace

int RunWizard(Setup& s) {
  Wizard w;
  w.s = &s;
  LookRun(IDD_WIZARD, WizardProc, (LPARAM)&w, &w.look);
  return w.result;
}
