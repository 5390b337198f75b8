// The uninstall log: writing and reading its lines (no Win32 here).
#include "engine/unlog.h"

#include <cstring>

#include "core/gzcformat.h"

namespace {
const char kHeader[] = "PRLOG 2";
const char kHeaderCp1250[] = "PRLOG 1";
const char kTags[] = "PGFDTSMKVXU";
// Tags with a second field.
bool TwoFields(char tag) { return tag == 'V'; }

bool Clean(const std::string& s) {
  for (char c : s)
    if (c == '\t' || c == '\r' || c == '\n' || c == 0) return false;
  return true;
}
}  // namespace

bool LogReachesOut(char tag) { return tag && std::strchr("KVTX", tag); }

std::string LogHeader() { return std::string(kHeader) + "\r\n"; }

bool LogLine(char tag, const std::string& a, const std::string& b, std::string* out) {
  if (!std::strchr(kTags, tag) || !tag || !Clean(a) || !Clean(b)) return false;
  out->append(1, tag).append("\t").append(a);
  if (TwoFields(tag)) out->append("\t").append(b);
  out->append("\r\n");
  return true;
}

bool LogParse(const std::string& text, std::vector<LogItem>* items) {
  items->clear();
  std::vector<LogItem> got;
  size_t pos = 0;
  bool header = false, cp1250 = false;
  while (pos < text.size()) {
    size_t lf = text.find('\n', pos);
    size_t end = lf == std::string::npos ? text.size() : lf;
    size_t stop = (end > pos && text[end - 1] == '\r') ? end - 1 : end;
    std::string line = text.substr(pos, stop - pos);
    pos = lf == std::string::npos ? text.size() : lf + 1;
    if (!header) {
      cp1250 = line == kHeaderCp1250;
      if (line != kHeader && !cp1250) return false;
      header = true;
      continue;
    }
    if (line.empty()) continue;
    if (line.size() < 2 || !std::strchr(kTags, line[0]) || line[1] != '\t') return false;
    if (cp1250) line = GzcCp1250ToUtf8(line.data(), line.size());
    LogItem item;
    item.tag = line[0];
    std::string rest = line.substr(2);
    size_t tab = rest.find('\t');
    if (TwoFields(item.tag)) {
      if (tab == std::string::npos) return false;
      item.a = rest.substr(0, tab);
      item.b = rest.substr(tab + 1);
      if (item.b.find('\t') != std::string::npos) return false;
    } else {
      if (tab != std::string::npos) return false;
      item.a = rest;
    }
    if (item.a.empty() && item.tag != 'P') return false;
    got.push_back(std::move(item));
  }
  if (!header) return false;
  *items = std::move(got);
  return true;
}

std::string SafeName(const std::string& name) {
  std::string out;
  for (char c : name) {
    unsigned char u = (unsigned char)c;
    if (u >= 0x20 && !strchr("\\/:*?\"<>|", c)) out += c;
  }
  while (!out.empty() && (out.back() == '.' || out.back() == ' ')) out.pop_back();
  while (!out.empty() && out.front() == ' ') out.erase(0, 1);
  if (out.empty() || !GzcSafeListLine(out.data(), out.size(), true)) out = "Program";
  return out;
}
