// Entry point: start-up guards, then the main dialog on the first thread.
#include "app/func.h"
#include "adpane/adpane.h"
#include "app/func1.h"
#include "app/func3.h"
#include "dlgkit/dlgkit.h"
#include "res/resource.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  if (IsNT()) return 0;
  // An unattended build tells its caller everything on standard error and never waits on a person.
  bool unattended = BuildSwitchGiven();
  if (unattended) {
    MessagesToConsole(true);
    if (!BuildProjectPath()[0]) {
      ShowMessage(S_BUILD_USAGE, MB_OK | MB_ICONERROR);
      return kBuildFailed;
    }
  }
  if (WinSemaphore()) {
    if (!unattended) return 0;
    ShowMessage(S_ALREADY_RUNNING, MB_OK | MB_ICONERROR);  // it shares the working folder
    return kBuildFailed;
  }
  // No window at all: under Wine without a display even a hidden one may wait forever.
  if (unattended) return UnattendedBuild();
  StartMain(DialogProc, IDD_MAIN);
  C_close();
  return kMainEnded;
}
