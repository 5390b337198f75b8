// Working-set trims: now, and once after a delay on a thread of its own.
#define ADPANE_BUILD
#include "adpane/internal.h"
#include "win/winhandles.h"

namespace {
volatile LONG delay;  // shared by every C_sleep: the last call's delay wins

DWORD WINAPI SleepThr(LPVOID) {
  Sleep((DWORD)delay);
  C_CloseThr();
  return 1;
}
}  // namespace

void C_sleep(DWORD ms) {
  InterlockedExchange(&delay, (LONG)ms);
  // Nothing waits for the thread: its handle is closed at once, exactly once.
  UniqueHandle thread(CreateThread(nullptr, 0, SleepThr, nullptr, 0, nullptr));
}

void C_CloseThr(void) { SetProcessWorkingSetSize(GetCurrentProcess(), (SIZE_T)-1, (SIZE_T)-1); }
