// Drives a running program's window from scripts: winctl close|command|settext|wait CAPTION [ID [TEXT]].
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

static HWND Find(const char* caption) {
  for (int i = 0; i < 150; ++i) {  // up to 30 s
    HWND w = FindWindowA(nullptr, caption);
    if (w && IsWindowVisible(w)) return w;
    Sleep(200);
  }
  return nullptr;
}

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: winctl close|command|settext|wait CAPTION [ID [TEXT]]\n");
    return 2;
  }
  HWND w = Find(argv[2]);
  if (!w) {
    fprintf(stderr, "winctl: no window \"%s\"\n", argv[2]);
    return 1;
  }
  const char* verb = argv[1];
  if (!strcmp(verb, "close")) PostMessageA(w, WM_CLOSE, 0, 0);
  else if (!strcmp(verb, "command") && argc > 3) PostMessageA(w, WM_COMMAND, MAKEWPARAM(atoi(argv[3]), 0), 0);
  else if (!strcmp(verb, "settext") && argc > 4) SendDlgItemMessageA(w, atoi(argv[3]), WM_SETTEXT, 0, (LPARAM)argv[4]);
  else if (strcmp(verb, "wait")) return 2;
  return 0;
}
