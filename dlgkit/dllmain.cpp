// The dialog helper library: modal dialog runner, start-up guards and small system queries.
#define DLGKIT_BUILD
#include "dlgkit.h"
#include <commdlg.h>
#include <shellapi.h>
#include <objbase.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {
const int kPathMax = 260;
thread_local char ownName[kPathMax];
thread_local char langResult[kPathMax];

bool QueryVersion(OSVERSIONINFOA& v) {
  ZeroMemory(&v, sizeof v);
  v.dwOSVersionInfoSize = sizeof v;
  return GetVersionExA(&v) != 0;
}
}  // namespace

int StartMain(DLGPROC proc, int templ) {
  DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(templ), nullptr, proc, 0);
  // The dialog ends by posting the quit message; the modal loop hands it back to this queue.
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return 0;
}

int IsNT(void) {
  OSVERSIONINFOA v;
  if (QueryVersion(v) && v.dwPlatformId != VER_PLATFORM_WIN32_WINDOWS) return 0;
  MessageBoxA(nullptr, "This program requires Windows NT or newer", Own_name(), MB_OK | MB_ICONERROR);
  return 1;
}

float WinWer(void) {
  OSVERSIONINFOA v;
  if (!QueryVersion(v)) return 0.0f;
  char text[32];
  snprintf(text, sizeof text, "%u.%u", (unsigned)v.dwMajorVersion, (unsigned)v.dwMinorVersion);
  return (float)atof(text);
}

char* Own_name(void) {
  DWORD n = GetModuleFileNameA(GetModuleHandleA(nullptr), ownName, kPathMax);
  if (n >= (DWORD)kPathMax) n = kPathMax - 1;
  ownName[n] = 0;
  char* slash = strrchr(ownName, '\\');
  return slash ? slash + 1 : ownName;
}

int WinSemaphore(void) {
  HANDLE h = CreateSemaphoreA(nullptr, 0, 1, Own_name());
  if (h && GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(h);
    return 1;
  }
  return 0;  // the first instance keeps its handle open for the rest of its life
}

DWORD_PTR SetIco(HWND wnd, int id) {
  HICON icon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id & 0xFFFF));
  return SetClassLongPtrA(wnd, GCLP_HICON, (LONG_PTR)icon);
}

DWORD FileOpen(HWND owner, const char* filter, char* path, int save) {
  OPENFILENAMEA ofn;
  ZeroMemory(&ofn, sizeof ofn);
  ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400A;  // the classic record, without the Windows 2000 tail
  ofn.hwndOwner = owner;
  ofn.hInstance = GetModuleHandleA(nullptr);
  ofn.lpstrFilter = filter;
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = path;
  ofn.nMaxFile = kPathMax;
  ofn.lpstrTitle = "Select file:";
  ofn.Flags = save ? 0 : (OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST);
  ofn.lpstrDefExt = "*";
  if (save) GetSaveFileNameA(&ofn);
  else GetOpenFileNameA(&ofn);
  return CommDlgExtendedError();
}

void ShellOpen(const char* path, const char* folder) {
  HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  ShellExecuteA(nullptr, nullptr, path, nullptr, folder, SW_SHOWNORMAL);
  if (SUCCEEDED(hr)) CoUninitialize();
}

char* GetLang(const char* key, const char* def, const char* file) {
  char path[kPathMax];
  DWORD n = GetModuleFileNameA(GetModuleHandleA(nullptr), path, kPathMax);
  if (n >= (DWORD)kPathMax) n = kPathMax - 1;
  path[n] = 0;
  char* slash = strrchr(path, '\\');
  if (slash) slash[1] = 0;
  char file_path[kPathMax];
  int len = snprintf(file_path, sizeof file_path, "%sLang\\%s", path, file ? file : "");
  if (len < 0 || len >= kPathMax) {  // a path past the limit names no file of ours
    snprintf(langResult, sizeof langResult, "%s", def ? def : "");
    return langResult;
  }
  GetPrivateProfileStringA("lng", key, def ? def : "", langResult, kPathMax, file_path);
  return langResult;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
