// The installer build's plain decisions: path checks, configuration keys.
#include "core/buildplan.h"

#include <cstring>

#include "core/gzcformat.h"

namespace {
bool IsSep(char c) { return c == '\\' || c == '/'; }
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }
}  // namespace

BuildPathFault CheckBuildPaths(const BuildFields& f, bool (*exists)(void* ctx, const char* path), void* ctx) {
  if (f.folder.empty() || !exists(ctx, f.folder.c_str())) return BUILD_BAD_FOLDER;
  size_t slash = f.output.rfind('\\');
  if (slash == std::string::npos || !exists(ctx, f.output.substr(0, slash).c_str())) return BUILD_BAD_OUTPUT;
  if (!f.licence.empty() && !exists(ctx, f.licence.c_str())) return BUILD_BAD_LICENCE;
  // The copy goes into the cfg folder under the licence's own name: never elsewhere, nor over the
  // folder's own files.
  if (!f.licence.empty() && !PlainCfgName(LicenceCopyName(f.licence))) return BUILD_LICENCE_NAME;
  if (!f.info.empty() && !exists(ctx, f.info.c_str())) return BUILD_BAD_INFO;
  std::string rel;
  // Key "3" must name a file of the program.
  if (!f.info.empty() && !InfoRelative(f.info, f.folder, &rel)) return BUILD_INFO_OUTSIDE;
  return BUILD_PATHS_OK;
}

const StrDef& BuildPathMessage(BuildPathFault fault) {
  return fault == BUILD_INFO_OUTSIDE ? S_INFO_OUTSIDE : fault == BUILD_LICENCE_NAME ? S_LICENCE_NAME : S_BAD_PATH;
}

std::string LicenceCopyName(const std::string& licence) {
  size_t sep = licence.find_last_of("\\/");
  return sep == std::string::npos ? licence : licence.substr(sep + 1);
}

bool PlainCfgName(const std::string& name) {
  if (!GzcSafeListLine(name.data(), name.size()) || name.find_first_of("\\/") != std::string::npos) return false;
  if (name.back() == '.' || name.back() == ' ') return false;
  static const char* const kOwn[] = {kInitFile, kLnkFile, kRegFile, kUninstFile, "Project.ini"};
  for (const char* own : kOwn) {
    size_t n = std::strlen(own);
    bool same = name.size() == n;
    for (size_t i = 0; same && i < n; ++i) same = Lower(name[i]) == Lower(own[i]);
    if (same) return false;
  }
  return true;
}

std::string NoTrailingSlash(std::string s) {
  if (!s.empty() && s.back() == '\\') s.pop_back();
  return s;
}

bool InfoRelative(const std::string& info, const std::string& folder, std::string* rel) {
  std::string dir = NoTrailingSlash(folder);
  size_t n = dir.size();
  if (n == 0 || info.size() <= n) return false;
  for (size_t i = 0; i < n; ++i) {
    if (IsSep(info[i]) && IsSep(dir[i])) continue;
    if (Lower(info[i]) != Lower(dir[i])) return false;
  }
  // C:\Prog is not the folder of C:\Program\x; a folder given with two separators ends with one.
  size_t cut = IsSep(dir[n - 1]) ? n : IsSep(info[n]) ? n + 1 : 0;
  if (cut == 0 || cut >= info.size()) return false;
  // No way back out of the folder: a "." or ".." component is outside too.
  for (size_t from = cut, end; from <= info.size(); from = end + 1) {
    end = from;
    while (end < info.size() && !IsSep(info[end])) ++end;
    std::string part = info.substr(from, end - from);
    if (part == "." || part == "..") return false;
  }
  *rel = info.substr(cut);
  return true;
}

BuildConfig PlanBuildConfig(const BuildFields& f) {
  BuildConfig c;
  c.name = f.name.substr(0, kProgramNameMax - 1);
  if (!f.licence.empty()) c.licenceName = LicenceCopyName(f.licence);
  std::string rel;
  if (f.info.empty()) c.dropInfo = true;
  else if (InfoRelative(f.info, f.folder, &rel)) c.info = rel;
  return c;
}

bool OldLicenceRemovable(const char* name) { return PlainCfgName(name); }

bool ApplyBuildConfig(const BuildConfig& plan, const BuildConfigIo& io) {
  bool ok = io.write(io.ctx, kCfgKeyName, plan.name.c_str());
  if (!plan.licenceName.empty()) {
    ok = io.write(io.ctx, kCfgKeyLicence, plan.licenceName.c_str()) && ok;
    if (PlainCfgName(plan.licenceName)) io.copyLicence(io.ctx, plan.licenceName);  // CheckBuildPaths refused it
  } else {
    std::string old = io.oldLicence(io.ctx);
    if (OldLicenceRemovable(old.c_str())) io.remove(io.ctx, old);
    ok = io.write(io.ctx, kCfgKeyLicence, nullptr) && ok;
  }
  if (!plan.info.empty()) ok = io.write(io.ctx, kCfgKeyInfo, plan.info.c_str()) && ok;
  else if (plan.dropInfo) ok = io.write(io.ctx, kCfgKeyInfo, nullptr) && ok;
  return ok;
}

const StrDef* RefusedFileMessage(GzcNameFault why) {
  switch (why) {
    case GZC_NAME_OK: return nullptr;
    case GZC_NAME_TOO_LONG: return &S_NAME_TOO_LONG;
    case GZC_NAME_FORBIDDEN: return &S_NAME_FORBIDDEN;
    case GZC_NAME_NOT_UTF8: return &S_NAME_NOT_UTF8;
    case GZC_NAME_CASE: return &S_NAME_CASE;
    case GZC_NAME_HUGE: return &S_FILE_TOO_LARGE;
  }
  return nullptr;
}
