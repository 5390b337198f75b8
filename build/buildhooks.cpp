// The build's hooks in use: the program's record, set once at start-up.
#include "build/buildhooks.h"
#include <atomic>

namespace {
const BuildHooks kNone = {};
std::atomic<const BuildHooks*> inUse{&kNone};
}  // namespace

const BuildHooks& BuildHooksInUse() { return *inUse.load(std::memory_order_acquire); }

void SetBuildHooks(const BuildHooks* hooks) { inUse.store(hooks ? hooks : &kNone, std::memory_order_release); }

std::string BuildPathOf(BuildPath which) {
  char path[MAX_PATH] = {0};
  const BuildHooks& h = BuildHooksInUse();
  return h.path && h.path(which, path) ? path : "";
}

int BuildError(const StrDef& text) {
  const BuildHooks& h = BuildHooksInUse();
  return h.message ? h.message(text, MB_OK | MB_ICONERROR) : IDOK;
}

int BuildNotice(const StrDef& text) {
  const BuildHooks& h = BuildHooksInUse();
  return h.message ? h.message(text, MB_OK | MB_ICONINFORMATION) : IDOK;
}

int BuildErrorAbout(const StrDef& text, const std::string& name) {
  const BuildHooks& h = BuildHooksInUse();
  if (h.messageAbout) return h.messageAbout(text, name.c_str(), MB_OK | MB_ICONERROR);
  return BuildError(text);
}
