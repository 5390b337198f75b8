// The installer's language data: header, sets and texts (no Win32 here).
#include "engine/langdata.h"

#include <cstdint>
#include <cstring>

namespace {
const char kMagic[] = "PRLANG ";
constexpr size_t kMagicLen = sizeof kMagic - 1;
// Longest body accepted: the texts of a few languages, with room to spare.
constexpr size_t kBodyMax = 1 << 20;

struct Line {
  const char* text;
  size_t len;
};

// Splits the body into lines without their line ends.
std::vector<Line> Lines(const char* body, size_t len) {
  std::vector<Line> out;
  size_t start = 0;
  while (start < len) {
    const void* lf = std::memchr(body + start, '\n', len - start);
    size_t end = lf ? static_cast<size_t>(static_cast<const char*>(lf) - body) : len;
    size_t stop = (end > start && body[end - 1] == '\r') ? end - 1 : end;
    out.push_back({body + start, stop - start});
    start = lf ? end + 1 : len;
  }
  return out;
}

const char* Body(const char* data, size_t len, size_t* bodyLen) {
  size_t total = LangDataLength(data, len);
  if (total == 0) return nullptr;
  const char* crlf = static_cast<const char*>(std::memchr(data, '\n', len));
  *bodyLen = total - static_cast<size_t>(crlf + 1 - data);
  return crlf + 1;
}

std::string Unescape(const char* s, size_t n) {
  std::string out;
  out.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    if (s[i] == '\\' && i + 1 < n && (s[i + 1] == 'n' || s[i + 1] == '\\')) {
      out += s[i + 1] == 'n' ? "\r\n" : "\\";
      ++i;
    } else {
      out += s[i];
    }
  }
  return out;
}
}  // namespace

size_t LangDataLength(const char* data, size_t avail) {
  if (avail < kMagicLen + 3 || std::memcmp(data, kMagic, kMagicLen) != 0) return 0;
  size_t i = kMagicLen;
  uint64_t n = 0;
  size_t digits = 0;
  while (i < avail && data[i] >= '0' && data[i] <= '9' && digits < 8) {
    n = n * 10 + static_cast<unsigned>(data[i] - '0');
    ++i;
    ++digits;
  }
  if (digits == 0 || n > kBodyMax) return 0;
  if (i + 2 > avail || data[i] != '\r' || data[i + 1] != '\n') return 0;
  i += 2;
  if (n > avail - i) return 0;
  return i + static_cast<size_t>(n);
}

std::vector<std::string> LangSets(const char* data, size_t len) {
  std::vector<std::string> sets;
  size_t bodyLen = 0;
  const char* body = Body(data, len, &bodyLen);
  if (!body) return sets;
  for (const Line& l : Lines(body, bodyLen))
    if (l.len > 1 && l.text[0] == '@') sets.emplace_back(l.text + 1, l.len - 1);
  return sets;
}

bool LangLoad(const char* data, size_t len, const char* code, size_t count, std::vector<std::string>* texts) {
  texts->clear();
  size_t bodyLen = 0;
  const char* body = Body(data, len, &bodyLen);
  if (!body) return false;
  std::vector<std::string> first(count), chosen(count);
  std::vector<bool> inChosen(count, false);
  int set = -1;          // index of the current set
  bool current = false;  // the current set is the chosen one
  bool sawChosen = false;
  for (const Line& l : Lines(body, bodyLen)) {
    if (l.len == 0 || l.text[0] == '#') continue;
    if (l.text[0] == '@') {
      ++set;
      std::string name(l.text + 1, l.len - 1);
      current = code && name == code;
      sawChosen = sawChosen || current;
      continue;
    }
    if (set < 0) return false;  // a text before any set
    size_t i = 0, id = 0;
    while (i < l.len && l.text[i] >= '0' && l.text[i] <= '9' && id < count) id = id * 10 + (l.text[i++] - '0');
    if (i == 0 || i >= l.len || l.text[i] != '=') return false;
    if (id == 0 || id >= count) continue;  // a text this engine does not know
    std::string text = Unescape(l.text + i + 1, l.len - i - 1);
    if (set == 0) first[id] = text;
    if (current) {
      chosen[id] = std::move(text);
      inChosen[id] = true;
    }
  }
  if (set < 0) return false;
  if (!sawChosen) {
    *texts = std::move(first);
    return true;
  }
  for (size_t id = 1; id < count; ++id)
    if (!inChosen[id]) chosen[id] = first[id];
  *texts = std::move(chosen);
  return true;
}

std::string LangFind(const std::vector<std::string>& sets, const std::string& asked) {
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; };
  for (const std::string& set : sets) {
    bool same = set.size() == asked.size();
    for (size_t i = 0; same && i < set.size(); ++i) same = lower(set[i]) == lower(asked[i]);
    if (same) return set;
  }
  return "";
}

const char* LangForUi(unsigned short langId) {
  // Primary language and region numbers as winnt.h has them (LANG_*, SUBLANG_*); region 0: any.
  static const struct {
    unsigned short primary, region;
    char code[6];
  } kUi[] = {
      {0x15, 0, "pl"}, {0x09, 0, "en"}, {0x07, 0, "de"}, {0x0c, 0, "fr"}, {0x0a, 0, "es"},
      {0x10, 0, "it"}, {0x16, 0x01, "pt-BR"}, {0x13, 0, "nl"}, {0x05, 0, "cs"}, {0x0e, 0, "hu"},
      {0x22, 0, "uk"}, {0x19, 0, "ru"}, {0x1f, 0, "tr"}, {0x11, 0, "ja"},
      {0x04, 0x02, "zh-CN"}, {0x04, 0x04, "zh-CN"},  // People's Republic, Singapore
  };
  const unsigned primary = langId & 0x3ff, region = langId >> 10;
  for (const auto& u : kUi)
    if (u.primary == primary && (u.region == 0 || u.region == region)) return u.code;
  return "en";
}

std::wstring LangFormat(const std::wstring& pattern, const std::vector<std::wstring>& args) {
  std::wstring out;
  size_t next = 0;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '%' && i + 1 < pattern.size()) {
      if (pattern[i + 1] == 's') {
        if (next < args.size()) out += args[next];
        ++next;
        ++i;
        continue;
      }
      if (pattern[i + 1] == '%') {
        out += L'%';
        ++i;
        continue;
      }
    }
    out += pattern[i];
  }
  return out;
}
