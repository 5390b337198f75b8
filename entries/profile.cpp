// Private-profile (INI) files without Win32: parsing, lookup, in-place editing and file access.
#include "entries/profile.h"
#include "build/alloccheck.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

const char kNewLine[] = "\r\n";
const char kByteOrderMark[] = "\xEF\xBB\xBF";

bool IsBlank(unsigned char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

unsigned char Fold(unsigned char c) { return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c; }

struct Span {
  size_t begin = 0, end = 0;
  size_t size() const { return end - begin; }
};

// A name or value: blanks trimmed at both ends, cut at a NUL byte.
Span Token(const char* s, size_t begin, size_t end) {
  const void* nul = std::memchr(s + begin, '\0', end - begin);
  if (nul) end = static_cast<const char*>(nul) - s;
  while (begin < end && IsBlank(s[begin])) ++begin;
  while (end > begin && IsBlank(s[end - 1])) --end;
  return {begin, end};
}

bool SameName(const char* s, Span name, const char* want, size_t wantLen) {
  if (name.size() != wantLen) return false;
  for (size_t i = 0; i < wantLen; ++i)
    if (Fold(s[name.begin + i]) != Fold(want[i])) return false;
  return true;
}

enum LineKind { LINE_BLANK, LINE_SECTION, LINE_KEY };

struct Line {
  LineKind kind = LINE_BLANK;
  size_t begin = 0;     // first byte of the line
  size_t end = 0;       // end of its text, before CR LF / LF
  size_t next = 0;      // first byte of the following line
  Span name;            // section or key name
  bool hasValue = false;
  Span value;
};

// Reads the line that starts at pos (pos < text size).
Line ReadLine(const std::string& text, size_t pos) {
  const char* s = text.data();
  Line line;
  line.begin = pos;
  // A line ends at CR LF, LF or a lone CR, as the platform reads it.
  size_t e = pos;
  while (e < text.size() && s[e] != '\n' && s[e] != '\r') ++e;
  line.end = e;
  line.next = e;
  if (e < text.size()) line.next += (s[e] == '\r' && e + 1 < text.size() && s[e + 1] == '\n') ? 2 : 1;

  size_t p = pos;
  if (p == 0 && text.size() >= 3 && std::memcmp(s, kByteOrderMark, 3) == 0) p = line.begin = 3;
  while (p < line.end && IsBlank(s[p])) ++p;
  if (p == line.end) return line;

  if (s[p] == '[') {
    size_t close = line.end;
    while (close > p + 1 && s[close - 1] != ']') --close;
    if (close > p + 1) {  // s[close - 1] is the last ']'
      line.kind = LINE_SECTION;
      line.name = Token(s, p + 1, close - 1);
      return line;
    }
  }
  line.kind = LINE_KEY;
  const void* eq = std::memchr(s + p, '=', line.end - p);
  if (eq) {
    size_t at = static_cast<const char*>(eq) - s;
    line.name = Token(s, p, at);
    line.hasValue = true;
    line.value = Token(s, at + 1, line.end);
  } else {
    line.name = Token(s, p, line.end);
  }
  return line;
}

// Where a section and a key stand in a text.
struct Place {
  bool section = false;   // the section exists (the nameless one before the first header always does)
  size_t sectionBegin = 0;  // its header line (the text's start for the nameless section)
  size_t sectionEnd = 0;    // the next header line or the end of the text
  size_t insertAt = 0;      // after the section's last non-blank line
  bool key = false;
  Line keyLine;
};

// Trims an argument name the way names in the file are trimmed.
Span ArgName(const char* name) { return Token(name, 0, std::strlen(name)); }

// How names are matched: reading and setting trim the names asked for; deleting takes them as they
// are, as the platform does.
enum Match { MATCH_TRIMMED, MATCH_EXACT };

// Finds the first section named `section` and, when key is given, its first key named `key`.
Place Locate(const std::string& text, const char* section, const char* key, Match match) {
  bool exact = match == MATCH_EXACT;
  Span sec = exact ? Span{0, std::strlen(section)} : ArgName(section);
  Span k = !key ? Span{} : exact ? Span{0, std::strlen(key)} : ArgName(key);
  const char* s = text.data();
  Place place;
  bool inside = sec.size() == 0;  // the nameless section starts the text, after a byte order mark
  if (inside) {
    place.section = true;
    if (text.size() >= 3 && std::memcmp(s, kByteOrderMark, 3) == 0) place.sectionBegin = place.insertAt = 3;
  }
  size_t pos = 0;
  while (pos < text.size()) {
    Line line = ReadLine(text, pos);
    if (line.kind == LINE_SECTION) {
      if (inside) {
        place.sectionEnd = line.begin;
        return place;
      }
      if (sec.size() && SameName(s, line.name, section + sec.begin, sec.size())) {
        inside = true;
        place.section = true;
        place.sectionBegin = line.begin;
        place.insertAt = line.next;
      }
    } else if (inside && line.kind == LINE_KEY) {
      place.insertAt = line.next;
      if (key && !place.key && SameName(s, line.name, key + k.begin, k.size())) {
        place.key = true;
        place.keyLine = line;
      }
    }
    pos = line.next;
  }
  place.sectionEnd = text.size();
  return place;
}

// Copies text into out (size > 0), cut to size - 1 characters. Returns the count copied.
size_t CopyCut(const std::string& text, char* out, size_t size) {
  size_t n = text.size() < size - 1 ? text.size() : size - 1;
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
  return n;
}

bool ReadWhole(const char* path, std::string* text) {
  text->clear();
  FILE* f = std::fopen(path, "rb");
  if (!f) return false;
  char buf[16384];
  size_t got;
  bool ok = true;
  ALLOC_TRY {
    while ((got = std::fread(buf, 1, sizeof buf, f)) > 0) text->append(buf, got);
  } ALLOC_CATCH {
    ok = false;
  }
  if (std::ferror(f)) ok = false;
  std::fclose(f);
  return ok;
}

bool WriteWhole(const char* path, const std::string& text) {
  FILE* f = std::fopen(path, "wb");
  if (!f) return false;
  bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  if (std::fclose(f) != 0) ok = false;
  return ok;
}

// Reads a value as the platform does: the key's value, or the default when there is none; one pair
// of enclosing quotes stripped.
std::string ReadValue(const char* section, const char* key, const char* def, const char* path) {
  if (section && key && path) {
    std::string text;
    if (ReadWhole(path, &text)) {
      std::string value;
      if (ProfileTextFind(text, section, key, &value)) return ProfileStripQuotes(value);
    }
  }
  std::string d = def ? def : "";
  while (!d.empty() && IsBlank(d.back())) d.pop_back();
  return ProfileStripQuotes(d);
}

}  // namespace

std::string ProfileStripQuotes(const std::string& value) {
  if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
    return value.substr(1, value.size() - 2);
  return value;
}

std::string ProfileQuoted(const std::string& value) {
  bool changes = !value.empty() && (IsBlank(value.front()) || IsBlank(value.back()) || ProfileStripQuotes(value) != value);
  return changes ? "\"" + value + "\"" : value;
}

int ProfileParseInt(const char* text) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  while (*p && *p <= ' ') ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  unsigned base = 10;
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) base = 16, p += 2;
  else if (p[0] == '0' && (p[1] == 'o' || p[1] == 'O')) base = 8, p += 2;
  else if (p[0] == '0' && (p[1] == 'b' || p[1] == 'B')) base = 2, p += 2;
  uint32_t result = 0;
  for (;; ++p) {
    unsigned digit;
    if (*p >= '0' && *p <= '9') digit = *p - '0';
    else if (*p >= 'a' && *p <= 'f') digit = *p - 'a' + 10;
    else if (*p >= 'A' && *p <= 'F') digit = *p - 'A' + 10;
    else break;
    if (digit >= base) break;
    result = result * base + digit;  // wraps modulo 2^32 as the platform's does
  }
  if (negative) result = 0u - result;
  return static_cast<int>(result);
}

bool ProfileTextFind(const std::string& text, const char* section, const char* key, std::string* value) {
  if (!section || !key) return false;
  Place place = Locate(text, section, key, MATCH_TRIMMED);
  if (!place.key || !place.keyLine.hasValue) return false;
  value->assign(text, place.keyLine.value.begin, place.keyLine.value.size());
  return true;
}

bool ProfileTextWrite(std::string* text, const char* section, const char* key, const char* value) {
  if (!section) return false;
  Place place = Locate(*text, section, key, !key || !value ? MATCH_EXACT : MATCH_TRIMMED);
  if (!key) {  // delete the section
    if (!place.section) return false;
    if (place.sectionEnd == place.sectionBegin) return false;
    text->erase(place.sectionBegin, place.sectionEnd - place.sectionBegin);
    return true;
  }
  if (!value) {  // delete the key
    if (!place.key) return false;
    text->erase(place.keyLine.begin, place.keyLine.next - place.keyLine.begin);
    return true;
  }
  size_t valueLen = std::strlen(value);
  if (place.key) {
    const Line& line = place.keyLine;
    std::string replacement;
    replacement.reserve(line.name.size() + 1 + valueLen);
    replacement.append(*text, line.name.begin, line.name.size()).append("=").append(value, valueLen);
    if (text->compare(line.begin, line.end - line.begin, replacement) == 0) return false;
    text->replace(line.begin, line.end - line.begin, replacement);
    return true;
  }
  Span k = ArgName(key);
  std::string entry;
  if (!place.section) {
    Span sec = ArgName(section);
    entry.append("[").append(section + sec.begin, sec.size()).append("]").append(kNewLine);
    place.insertAt = text->size();
  }
  entry.append(key + k.begin, k.size()).append("=").append(value, valueLen).append(kNewLine);
  // Only the last line of a text can lack its line end.
  char before = place.insertAt > 0 ? (*text)[place.insertAt - 1] : '\n';
  if (place.insertAt == text->size() && before != '\n' && before != '\r' &&
      !(place.insertAt == 3 && text->compare(0, 3, kByteOrderMark) == 0))
    entry.insert(0, kNewLine);
  text->insert(place.insertAt, entry);
  return true;
}

size_t ProfileGetString(const char* section, const char* key, const char* def, char* out, size_t size,
                        const char* path) {
  if (!out || size == 0) return 0;
  ALLOC_TRY {
    return CopyCut(ReadValue(section, key, def, path), out, size);
  } ALLOC_CATCH {
    out[0] = '\0';
    return 0;
  }
}

int ProfileGetInt(const char* section, const char* key, int def, const char* path) {
  char buf[32];  // the platform reads an integer's text into a short buffer too
  if (ProfileGetString(section, key, "", buf, sizeof buf, path) == 0) return def;
  return ProfileParseInt(buf);
}

bool ProfileWriteString(const char* section, const char* key, const char* value, const char* path) {
  if (!section || !path) return false;
  ALLOC_TRY {
    std::string text;
    if (!ReadWhole(path, &text)) {
      FILE* probe = std::fopen(path, "rb");
      if (probe) {  // there but unreadable: don't overwrite it
        std::fclose(probe);
        return false;
      }
      if (!key || !value) return true;  // nothing to delete in a file that isn't there
      text.clear();
    }
    if (!ProfileTextWrite(&text, section, key, value)) return true;
    return WriteWhole(path, text);
  } ALLOC_CATCH {
    return false;
  }
}
