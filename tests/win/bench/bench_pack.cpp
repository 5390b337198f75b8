// Times Pakowanie (or Rozpakowanie) inside a Windows process, with the packing progress dialog open
// and fed as during a build, so that scripts/bench-pack can compare it with gzip.
//   bench_pack FOLDER ARCHIVE [--temp DIR]        packs FOLDER into ARCHIVE (full path)
//   bench_pack --unpack ARCHIVE DEST [--temp DIR]  unpacks ARCHIVE into DEST (its folders must exist)
// --temp points the system temporary folder, and so the working folder, at DIR.
// --interval MS packs through PackWithReports, Pakowanie's packing with a chosen minimum interval
// between reports of the file bar (GzcHooks::minIntervalMs): what packing would cost with it.
// --cancel-after MS presses the dialog's "Przerwij" MS milliseconds into the packing and prints
// "cancel S s": from the press to the end of Pakowanie.
// Prints "startup S s" (process creation to main), "pack S s" or "unpack S s", and the number of
// bar positions the dialog received.
#include <windows.h>
#include <commctrl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include "app/func.h"
#include "app/func1.h"
#include "build/gzc.h"
#include "build/kopiuj.h"
#include "res/resource.h"

namespace {

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
  LARGE_INTEGER f;
  QueryPerformanceFrequency(&f);
  return (double)(to.QuadPart - from.QuadPart) / (double)f.QuadPart;
}

// Seconds from the creation of this process until now.
double SinceCreation() {
  FILETIME created, exited, kernel, user, now;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return -1;
  GetSystemTimeAsFileTime(&now);
  ULARGE_INTEGER a, b;
  a.LowPart = created.dwLowDateTime;
  a.HighPart = created.dwHighDateTime;
  b.LowPart = now.dwLowDateTime;
  b.HighPart = now.dwHighDateTime;
  return (double)(b.QuadPart - a.QuadPart) / 1e7;
}

// Every progress bar created from now on counts the positions it is sent (on the dialog's thread).
volatile LONG barUpdates;
WNDPROC barProc;
LRESULT CALLBACK CountingBar(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == PBM_SETPOS) InterlockedIncrement(&barUpdates);
  return CallWindowProcA(barProc, w, msg, wp, lp);
}
void CountBarUpdates() {
  INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&icc);
  HWND probe = CreateWindowA(PROGRESS_CLASSA, "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  if (!probe) return;
  barProc = (WNDPROC)SetClassLongPtrA(probe, GCLP_WNDPROC, (LONG_PTR)CountingBar);
  DestroyWindow(probe);
}

// The author's click on "Przerwij", pressAfter milliseconds from now.
LARGE_INTEGER pressed;
int pressAfter;
DWORD WINAPI PressCancel(LPVOID) {
  Sleep((DWORD)pressAfter);
  QueryPerformanceCounter(&pressed);
  SendMessageA(GetDlgItem(ProgressWindow(), IDB_PACK_CANCEL), BM_CLICK, 0, 0);
  return 0;
}

int Usage() {
  fprintf(stderr, "usage: bench_pack FOLDER ARCHIVE [--temp DIR] [--interval MS] [--cancel-after MS]\n"
                  "       bench_pack --unpack ARCHIVE DEST [--temp DIR]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  double startup = SinceCreation();
  bool unpack = false;
  int interval = -1;
  int cancelAfter = -1;
  const char* args[2] = {nullptr, nullptr};
  int positional = 0;
  for (int i = 1; i < argc; ++i) {
    if (!strcmp(argv[i], "--unpack")) {
      unpack = true;
    } else if (!strcmp(argv[i], "--interval") && i + 1 < argc) {
      interval = atoi(argv[++i]);
    } else if (!strcmp(argv[i], "--cancel-after") && i + 1 < argc) {
      cancelAfter = atoi(argv[++i]);
    } else if (!strcmp(argv[i], "--temp") && i + 1 < argc) {
      SetEnvironmentVariableA("TMP", argv[i + 1]);
      SetEnvironmentVariableA("TEMP", argv[i + 1]);
      ++i;
    } else if (positional < 2) {
      args[positional++] = argv[i];
    } else {
      return Usage();
    }
  }
  if (positional != 2) return Usage();
  printf("startup %.3f s\n", startup);

  // As the program starts: registry values, the working folder, the compression mode. Messages
  // go to standard error, so that a failure cannot wait for a click.
  GetCfg();
  InitCompressLevel();
  MessagesToConsole(true);
  GiveBuildHooks();

  LARGE_INTEGER t0, t1;
  if (unpack) {
    HANDLE archive = winfopen(args[0], false);
    if (archive == INVALID_HANDLE_VALUE) {
      fprintf(stderr, "bench_pack: cannot open %s\n", args[0]);
      return 1;
    }
    QueryPerformanceCounter(&t0);
    bool ok = Rozpakowanie(args[1], archive, 0);  // the benchmark's data is no project: no bound
    QueryPerformanceCounter(&t1);
    CloseHandle(archive);
    if (!ok) return 1;
    printf("unpack %.3f s\n", Seconds(t0, t1));
    return 0;
  }

  // As a build does: the dialog opens on its own thread, packing feeds it, the build closes it.
  CountBarUpdates();
  DialogKopiuj();
  // The packing is timed from the dialog's opening on (a build does not wait for it).
  for (DWORD start = GetTickCount(); !ProgressWindow() && GetTickCount() - start < 10000; Sleep(2)) {
    MSG m;
    PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
  if (!ProgressWindow()) {
    fprintf(stderr, "bench_pack: the progress dialog did not open\n");
    return 1;
  }
  Granica()[0] = 3;
  Granica()[1] = 47;
  pressAfter = cancelAfter;
  HANDLE presser = nullptr;
  if (cancelAfter >= 0) {
    // As the author would: a click on the dialog's button, from outside the packing thread.
    presser = CreateThread(nullptr, 0, PressCancel, nullptr, 0, nullptr);
  }
  QueryPerformanceCounter(&t0);
  int result = interval < 0 ? Pakowanie(args[0], args[1], false) : PackWithReports(args[0], args[1], interval) == GZC_OK;
  QueryPerformanceCounter(&t1);
  bool cancelled = BuildCancelled();
  if (presser) {
    WaitForSingleObject(presser, INFINITE);
    CloseHandle(presser);
    if (!cancelled || pressed.QuadPart > t1.QuadPart) {
      fprintf(stderr, "bench_pack: packing ended before the cancel\n");
      return 1;
    }
    CloseProgressByBuild();
    printf("cancel %.3f s\n", Seconds(pressed, t1));
    return 0;
  }
  CloseProgressByBuild();
  if (!result || cancelled) {
    fprintf(stderr, "bench_pack: packing failed%s\n", cancelled ? " (cancelled)" : "");
    return 1;
  }
  printf("pack %.3f s\n", Seconds(t0, t1));
  printf("bar positions %ld\n", (long)barUpdates);
  return 0;
}
