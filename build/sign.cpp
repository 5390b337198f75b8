// The build's signing step: the template from the command line or the registry, run per file.
#include "build/sign.h"
#include "build/buildhooks.h"
#include "build/winhandles.h"
#include <windows.h>
#include <string.h>
#include <vector>

namespace {
bool signOptionBad;  // `--sign` was given without a usable template
}  // namespace

std::string* SignOverride() {
  static std::string given;
  return &given;
}

namespace {
// The template for this run into `out`, empty when none is set; false when a stored one cannot be
// read whole.
bool TemplateForRun(std::string* out) {
  *out = *SignOverride();
  if (!out->empty()) return true;
  const BuildHooks& h = BuildHooksInUse();
  char buf[kSignMax] = {0};
  if (h.signTemplate && !h.signTemplate(buf, sizeof buf)) return false;
  *out = buf;
  return true;
}
}  // namespace

bool TakeSignOption(std::string* line) {
  static const char kOption[] = "--sign";
  const size_t optLen = sizeof kOption - 1;
  size_t at = 0;
  bool quoted = false;
  for (; at < line->size(); ++at) {  // the option outside any quoted argument
    char c = (*line)[at];
    if (c == '"') quoted = !quoted;
    if (!quoted && (at == 0 || (*line)[at - 1] == ' ' || (*line)[at - 1] == '\t') &&
        line->compare(at, optLen, kOption) == 0 &&
        (at + optLen == line->size() || (*line)[at + optLen] == ' ' || (*line)[at + optLen] == '\t'))
      break;
  }
  if (at >= line->size()) return true;
  size_t from = at;  // the option goes with the blanks in front of it
  while (from > 0 && ((*line)[from - 1] == ' ' || (*line)[from - 1] == '\t')) --from;
  size_t p = at + optLen;
  while (p < line->size() && ((*line)[p] == ' ' || (*line)[p] == '\t')) ++p;
  // Without its template the option still goes, and every signing of this run fails: a build asked
  // to sign never writes an unsigned installer.
  auto refuse = [&] {
    *SignOverride() = std::string();
    signOptionBad = true;
    line->erase(from, at + optLen - from);
    return false;
  };
  if (p >= line->size() || (*line)[p] != '"') return refuse();
  // The rules of a program's arguments: 2n backslashes and a quote give n backslashes and end the
  // text, 2n+1 give n backslashes and a quote; other backslashes stand as they are.
  std::string text;
  size_t i = p + 1;
  bool closed = false;
  while (i < line->size()) {
    size_t slashes = 0;
    while (i < line->size() && (*line)[i] == '\\') ++slashes, ++i;
    if (i < line->size() && (*line)[i] == '"') {
      text.append(slashes / 2, '\\');
      ++i;
      if (slashes % 2 == 0) {
        closed = true;
        break;
      }
      text += '"';
    } else {
      text.append(slashes, '\\');
      if (i < line->size()) text += (*line)[i++];
    }
  }
  if (!closed || text.empty()) return refuse();
  *SignOverride() = text;
  line->erase(from, i - from);
  return true;
}

std::string SignCommandLine(const std::string& tmpl, const std::string& path) {
  std::string cmd;
  bool quoted = false;  // inside a quoted argument, as a program splits its command line
  size_t slashes = 0;   // backslashes just before this character
  for (size_t i = 0; i < tmpl.size(); ++i) {
    char c = tmpl[i];
    if (c == '%' && i + 1 < tmpl.size() && tmpl[i + 1] == '1') {
      cmd += quoted ? path : "\"" + path + "\"";
      ++i;
      slashes = 0;
      continue;
    }
    if (c == '"' && slashes % 2 == 0) quoted = !quoted;  // an odd run of backslashes makes it a plain quote
    slashes = c == '\\' ? slashes + 1 : 0;
    cmd += c;
  }
  return cmd;
}

bool PodpiszPlik(const char* path) {
  if (signOptionBad) return false;
  std::string tmpl;
  if (!TemplateForRun(&tmpl)) return false;
  if (tmpl.empty()) return true;
  std::string cmd = SignCommandLine(tmpl, path);
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
  const bool toErr = err && err != INVALID_HANDLE_VALUE;
  if (toErr) {
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = err;
    si.hStdError = err;
  }
  PROCESS_INFORMATION pi = {};
  std::vector<char> line(cmd.begin(), cmd.end());
  line.push_back(0);
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, toErr, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi))
    return false;
  UniqueHandle thread(pi.hThread), process(pi.hProcess);
  // The main window keeps being served while the command runs.
  bool (*pumpNow)() = BuildHooksInUse().pumpNow;
  HANDLE wait = process.get();
  while (MsgWaitForMultipleObjects(1, &wait, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0 + 1)
    while (pumpNow && pumpNow()) {
    }
  DWORD code = 1;
  GetExitCodeProcess(process.get(), &code);
  return code == 0;
}
