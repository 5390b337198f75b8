// Registry entries as text: key split, binary and DWORD forms, the quote rule (no Win32 here).
#include "core/regvalue.h"

#include <cstring>

#include "core/gzcformat.h"

namespace {
bool SameIgnoringCase(const char* a, const char* b, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

const struct {
  RegRoot root;
  const char* name;
} kRoots[] = {
    {REG_ROOT_HKCU, "HKEY_CURRENT_USER"},
    {REG_ROOT_HKLM, "HKEY_LOCAL_MACHINE"},
    {REG_ROOT_HKCR, "HKEY_CLASSES_ROOT"},
    {REG_ROOT_HKU, "HKEY_USERS"},
};
const char* const kTypeNames[REG_T_COUNT] = {"REG_BINARY", "REG_DWORD", "REG_EXPAND_SZ", "REG_SZ"};
}  // namespace

const char* RegRootName(RegRoot root) {
  for (const auto& r : kRoots)
    if (r.root == root) return r.name;
  return "";
}

const char* RegTypeName(RegType type) {
  return type >= REG_T_BINARY && type < REG_T_COUNT ? kTypeNames[type] : "";
}

RegRoot RegKeyRoot(const char* key) {
  for (const auto& r : kRoots) {
    size_t n = std::strlen(r.name);
    if (std::strncmp(key, r.name, n) == 0 && key[n] == '\\') return r.root;
  }
  return REG_ROOT_NONE;
}

bool RegSplitKey(const std::string& full, RegRoot* root, std::string* subkey) {
  for (const auto& r : kRoots) {
    size_t n = std::strlen(r.name);
    if (full.size() <= n + 1 || full[n] != '\\' || !SameIgnoringCase(full.data(), r.name, n)) continue;
    std::string rest = full.substr(n + 1);
    if (rest.size() >= 255) return false;  // the system's longest key name
    size_t start = 0;
    for (size_t i = 0; i <= rest.size(); ++i) {
      if (i < rest.size() && static_cast<unsigned char>(rest[i]) < 0x20) return false;
      if (i == rest.size() || rest[i] == '\\') {
        if (i == start) return false;  // empty component, leading or doubled separator
        start = i + 1;
      }
    }
    *root = r.root;
    *subkey = rest;
    return true;
  }
  return false;
}

bool RegParseBinary(const std::string& text, std::vector<unsigned char>* out) {
  std::vector<unsigned char> bytes;
  size_t i = 0;
  while (i < text.size()) {
    char c = text[i];
    if (IsBlank(c) || c == ',' || c == '-') {
      ++i;
      continue;
    }
    if (i + 1 >= text.size()) return false;
    int hi = HexDigit(c), lo = HexDigit(text[i + 1]);
    if (hi < 0 || lo < 0) return false;
    bytes.push_back(static_cast<unsigned char>(hi * 16 + lo));
    i += 2;
  }
  *out = std::move(bytes);
  return true;
}

bool RegParseDword(const std::string& text, uint32_t* out) {
  size_t i = 0, end = text.size();
  while (i < end && IsBlank(text[i])) ++i;
  while (end > i && IsBlank(text[end - 1])) --end;
  if (i == end) return false;
  uint64_t v = 0;
  for (; i < end; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    v = v * 10 + static_cast<unsigned>(text[i] - '0');
    if (v > 0xFFFFFFFFu) return false;
  }
  *out = static_cast<uint32_t>(v);
  return true;
}

bool RegValueData(RegType type, const std::string& text, std::string* data) {
  switch (type) {
    case REG_T_BINARY: {
      std::vector<unsigned char> bytes;
      if (!RegParseBinary(text, &bytes)) return false;
      data->assign(bytes.begin(), bytes.end());
      return true;
    }
    case REG_T_DWORD: {
      uint32_t v;
      if (!RegParseDword(text, &v)) return false;
      const unsigned char le[4] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                                   static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
      data->assign(le, le + 4);
      return true;
    }
    case REG_T_EXPAND:
    case REG_T_STRING:
      data->assign(text.c_str(), text.size() + 1);
      return true;
    default: return false;
  }
}

bool RegRelativeValue(const std::string& text) { return GzcSafeListLine(text.data(), text.size()); }

std::string RegRestoreQuotes(const std::string& value, bool line) {
  return line ? "\"" + value + "\"" : value;
}
