// The installer's wizard: welcome, licence, folder, progress and closing pages in one dialog.
#include "engine/setup.h"

#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include "engine/enginewin.h"
#include "engine/resource.h"

namespace {
enum Page { PAGE_WELCOME, PAGE_LICENCE, PAGE_FOLDER, PAGE_PROGRESS, PAGE_DONE };

// Messages from the installing thread.
enum {
  WM_SETUP_PROGRESS = WM_APP + 1,  // wParam: percent
  WM_SETUP_STATUS,                 // lParam: const std::string*
  WM_SETUP_ASK,                    // lParam: const std::string*; returns 1 for yes
  WM_SETUP_DONE,                   // wParam: exit code
};

constexpr size_t kInfoMax = 1u << 20;

struct Wizard {
  Setup* s = nullptr;
  HWND dlg = nullptr;
  Page page = PAGE_WELCOME;
  HFONT bold = nullptr;
  int result = EXIT_CANCELLED;
  std::string why;
  HANDLE thread = nullptr;
};

// Controls shown on each page; everything else is hidden.
const int kAll[] = {IDE_LICENCE, IDR_ACCEPT, IDR_DECLINE, IDE_FOLDER, IDB_BROWSE, IDP_PROGRESS, IDS_STATUS, IDE_INFO};

Wizard* Self(HWND dlg) { return reinterpret_cast<Wizard*>(GetWindowLongPtrA(dlg, DWLP_USER)); }

std::string Caption(const Wizard& w) { return TxF(L_CAPTION, {w.s->name}); }

void SetText(HWND dlg, int id, const std::string& text) { SetDlgItemTextA(dlg, id, text.c_str()); }

std::string GetText(HWND dlg, int id) {
  char buf[MAX_PATH + 1] = {0};
  GetDlgItemTextA(dlg, id, buf, sizeof buf);
  return buf;
}

// Plain text for an edit control: every line break as CR LF.
std::string EditText(const std::string& in) {
  std::string out;
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

void ShowPage(Wizard& w, Page page) {
  HWND dlg = w.dlg;
  const Setup& s = *w.s;
  w.page = page;
  std::vector<int> shown;
  switch (page) {
    case PAGE_WELCOME:
      SetText(dlg, IDS_TITLE, TxF(L_WELCOME_TITLE, {s.name}));
      SetText(dlg, IDS_TEXT, TxF(L_WELCOME_TEXT, {s.name}));
      break;
    case PAGE_LICENCE:
      SetText(dlg, IDS_TITLE, Tx(L_LICENCE_TITLE));
      SetText(dlg, IDS_TEXT, Tx(L_LICENCE_TEXT));
      shown = {IDE_LICENCE, IDR_ACCEPT, IDR_DECLINE};
      break;
    case PAGE_FOLDER:
      SetText(dlg, IDS_TITLE, Tx(L_FOLDER_TITLE));
      SetText(dlg, IDS_TEXT, TxF(L_FOLDER_TEXT, {s.name}));
      shown = {IDE_FOLDER, IDB_BROWSE};
      break;
    case PAGE_PROGRESS:
      SetText(dlg, IDS_TITLE, Tx(L_PROGRESS_TITLE));
      SetText(dlg, IDS_TEXT, TxF(L_PROGRESS_TEXT, {s.name}));
      shown = {IDP_PROGRESS, IDS_STATUS};
      break;
    case PAGE_DONE:
      SetText(dlg, IDS_TITLE, Tx(L_DONE_TITLE));
      SetText(dlg, IDS_TEXT, TxF(L_DONE_TEXT, {s.name}));
      shown = {IDE_INFO};
      break;
  }
  for (int id : kAll) {
    bool on = false;
    for (int v : shown) on = on || v == id;
    ShowWindow(GetDlgItem(dlg, id), on ? SW_SHOW : SW_HIDE);
  }
  bool working = page == PAGE_PROGRESS;
  bool accepted = IsDlgButtonChecked(dlg, IDR_ACCEPT) == BST_CHECKED;
  EnableWindow(GetDlgItem(dlg, IDB_BACK), page == PAGE_LICENCE || page == PAGE_FOLDER);
  EnableWindow(GetDlgItem(dlg, IDB_NEXT), !working && (page != PAGE_LICENCE || accepted));
  EnableWindow(GetDlgItem(dlg, IDCANCEL), !working && page != PAGE_DONE);
  SetText(dlg, IDB_NEXT, page == PAGE_FOLDER ? Tx(L_INSTALL) : page == PAGE_DONE ? Tx(L_FINISH) : Tx(L_NEXT));
}

// ---- The installing thread -------------------------------------------------------------------------
void SinkProgress(void* ctx, int percent) { PostMessageA(static_cast<Wizard*>(ctx)->dlg, WM_SETUP_PROGRESS, percent, 0); }
void SinkStatus(void* ctx, const std::string& text) {
  SendMessageA(static_cast<Wizard*>(ctx)->dlg, WM_SETUP_STATUS, 0, (LPARAM)&text);
}
bool SinkAsk(void* ctx, const std::string& question) {
  return SendMessageA(static_cast<Wizard*>(ctx)->dlg, WM_SETUP_ASK, 0, (LPARAM)&question) == 1;
}

DWORD WINAPI InstallThread(LPVOID param) {
  Wizard* w = static_cast<Wizard*>(param);
  InstallSink sink = {SinkProgress, SinkStatus, SinkAsk, w};
  int code = RunInstall(*w->s, sink, &w->why);
  PostMessageA(w->dlg, WM_SETUP_DONE, code, 0);
  return 0;
}

// ---- Handlers ----------------------------------------------------------------------------------------
void OnBrowse(Wizard& w) {
  std::string title = Tx(L_BROWSE_TITLE);
  BROWSEINFOA bi = {};
  bi.hwndOwner = w.dlg;
  bi.lpszTitle = title.c_str();
  bi.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  PIDLIST_ABSOLUTE pidl = SHBrowseForFolderA(&bi);
  if (!pidl) return;
  char path[MAX_PATH] = {0};
  if (SHGetPathFromIDListA(pidl, path) && path[0]) {
    std::string folder = path;
    std::string name = SafeName(w.s->name);
    if (folder.back() != '\\') folder += '\\';
    if (NameOf(folder.substr(0, folder.size() - 1)) != name) folder += name;
    else folder.pop_back();
    SetText(w.dlg, IDE_FOLDER, folder);
  }
  CoTaskMemFree(pidl);
}

void StartInstall(Wizard& w) {
  std::string folder;
  if (!TidyFolder(GetText(w.dlg, IDE_FOLDER), &folder)) {
    Box(w.dlg, Tx(L_BAD_FOLDER), Caption(w), MB_OK | MB_ICONWARNING);
    return;
  }
  w.s->folder = folder;
  ShowPage(w, PAGE_PROGRESS);
  w.thread = CreateThread(nullptr, 0, InstallThread, &w, 0, nullptr);
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

void OnCancel(Wizard& w) {
  if (w.page == PAGE_PROGRESS) return;  // the installation runs to its end
  if (w.page == PAGE_DONE) {
    EndDialog(w.dlg, 0);
    return;
  }
  if (Box(w.dlg, Tx(L_CANCEL_ASK), Caption(w), MB_YESNO | MB_ICONQUESTION) == IDYES) {
    w.result = EXIT_CANCELLED;
    EndDialog(w.dlg, 0);
  }
}

void OnDone(Wizard& w, int code) {
  if (w.thread) {
    WaitForSingleObject(w.thread, INFINITE);
    CloseHandle(w.thread);
    w.thread = nullptr;
  }
  w.result = code;
  if (code == EXIT_DAMAGED || code == EXIT_WRITE) {
    Box(w.dlg, w.why, Caption(w), MB_OK | MB_ICONERROR);
    EndDialog(w.dlg, 0);
    return;
  }
  const Setup& s = *w.s;
  std::string info;
  if (!s.infoPath.empty()) {
    if (IsHtml(s.infoPath)) {
      info = Tx(L_INFO_BROWSER);
      ShellExecuteA(w.dlg, "open", s.infoPath.c_str(), nullptr, FolderOf(s.infoPath).c_str(), SW_SHOWNORMAL);
    } else {
      ReadWhole(s.infoPath, &info, kInfoMax);
    }
  }
  SetText(w.dlg, IDE_INFO, EditText(info));
  ShowPage(w, PAGE_DONE);
  if (info.empty()) ShowWindow(GetDlgItem(w.dlg, IDE_INFO), SW_HIDE);
  if (!s.problems.empty()) {
    std::string list;
    for (const std::string& p : s.problems) list += "\r\n- " + p;
    Box(w.dlg, TxF(L_PROBLEMS, {list}), Caption(w), MB_OK | MB_ICONWARNING);
  }
}

BOOL OnInit(HWND dlg, Wizard* w) {
  SetWindowLongPtrA(dlg, DWLP_USER, (LONG_PTR)w);
  w->dlg = dlg;
  SetWindowTextA(dlg, Caption(*w).c_str());
  HFONT font = (HFONT)SendMessageA(dlg, WM_GETFONT, 0, 0);
  LOGFONTA lf;
  if (font && GetObjectA(font, sizeof lf, &lf)) {
    lf.lfWeight = FW_BOLD;
    w->bold = CreateFontIndirectA(&lf);
    SendDlgItemMessageA(dlg, IDS_TITLE, WM_SETFONT, (WPARAM)w->bold, FALSE);
  }
  SetText(dlg, IDB_BACK, Tx(L_BACK));
  SetText(dlg, IDCANCEL, Tx(L_CANCEL));
  SetText(dlg, IDR_ACCEPT, Tx(L_ACCEPT));
  SetText(dlg, IDR_DECLINE, Tx(L_DECLINE));
  SetText(dlg, IDB_BROWSE, Tx(L_BROWSE));
  SetText(dlg, IDE_LICENCE, EditText(w->s->licenceText));
  SetText(dlg, IDE_FOLDER, w->s->folder);
  SendDlgItemMessageA(dlg, IDP_PROGRESS, PBM_SETRANGE32, 0, 100);
  ShowPage(*w, PAGE_WELCOME);
  SetFocus(GetDlgItem(dlg, IDB_NEXT));
  return FALSE;
}

void OnCommand(Wizard& w, int id, int code) {
  switch (id) {
    case IDB_NEXT: OnNext(w); break;
    case IDB_BACK: OnBack(w); break;
    case IDCANCEL: OnCancel(w); break;
    case IDB_BROWSE: OnBrowse(w); break;
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
    case WM_SETUP_PROGRESS: SendDlgItemMessageA(dlg, IDP_PROGRESS, PBM_SETPOS, wp, 0); return TRUE;
    case WM_SETUP_STATUS: SetText(dlg, IDS_STATUS, *reinterpret_cast<const std::string*>(lp)); return TRUE;
    case WM_SETUP_ASK:
      SetWindowLongPtrA(dlg, DWLP_MSGRESULT,
                        Box(dlg, *reinterpret_cast<const std::string*>(lp), Caption(*w), MB_YESNO | MB_ICONQUESTION) == IDYES);
      return TRUE;
    case WM_SETUP_DONE: OnDone(*w, (int)wp); return TRUE;
  }
  return FALSE;
}
}  // namespace

int RunWizard(Setup& s) {
  INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&icc);
  Wizard w;
  w.s = &s;
  DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_WIZARD), nullptr, WizardProc, (LPARAM)&w);
  if (w.bold) DeleteObject(w.bold);
  return w.result;
}
