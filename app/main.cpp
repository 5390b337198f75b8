// Entry point: start-up guards, then the main dialog on the first thread.
#include "app/func.h"
#include "adpane/adpane.h"
#include "dlgkit/dlgkit.h"
#include "res/resource.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  if (IsNT()) return 0;
  if (WinSemaphore()) return 0;
  StartMain(DialogProc, IDD_MAIN);
  C_close();
  return ExitCode();
}
