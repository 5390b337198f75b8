// Private-profile files as Wine's profile functions rewrite them.
#include "tools/native/wineprofile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "tools/native/winpaths.h"

namespace {

const char kBom[] = "\xEF\xBB\xBF";

struct Key {
  std::string name;
  bool hasValue = false;
  std::string value;
};

struct Section {
  std::string name;  // "" for the lines before the first section header (written without one)
  std::vector<Key> keys;
};

struct Profile {
  bool utf8 = false;
  std::vector<Section> sections;
};

// Wine's blanks: the white space of Unicode that code page 1250 has, and ^Z.
bool IsBlank(unsigned char c, bool utf8) {
  return c == ' ' || (c >= '\t' && c <= '\r') || c == 0x1A || (!utf8 && c == 0xA0);
}

char Fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Fold(a[i]) != Fold(b[i])) return false;
  return true;
}

std::string Trim(const std::string& s, bool utf8) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(static_cast<unsigned char>(s[b]), utf8)) ++b;
  while (e > b && IsBlank(static_cast<unsigned char>(s[e - 1]), utf8)) --e;
  return s.substr(b, e - b);
}

Profile Load(const std::string& file) {
  Profile p;
  std::string text = file;
  if (text.compare(0, 3, kBom) == 0) {
    p.utf8 = true;
    text.erase(0, 3);
  }
  p.sections.push_back(Section());
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = pos;
    while (end < text.size() && text[end] != '\n' && text[end] != '\r') ++end;
    std::string line = Trim(text.substr(pos, end - pos), p.utf8);
    pos = end;
    while (pos < text.size() && (text[pos] == '\n' || text[pos] == '\r')) ++pos;
    if (line.empty()) continue;
    if (line[0] == '[') {
      size_t close = line.rfind(']');
      if (close != std::string::npos) {  // the name runs to the last ']'
        Section s;
        s.name = Trim(line.substr(1, close - 1), p.utf8);
        p.sections.push_back(s);
        continue;
      }
    }
    Key k;
    size_t eq = line.find('=');
    if (eq == std::string::npos) {
      k.name = line;
    } else {
      k.name = Trim(line.substr(0, eq), p.utf8);
      k.hasValue = true;
      k.value = Trim(line.substr(eq + 1), p.utf8);
    }
    p.sections.back().keys.push_back(k);
  }
  return p;
}

std::string Save(const Profile& p) {
  std::string out = p.utf8 ? kBom : "";
  for (const Section& s : p.sections) {
    if (!s.name.empty()) out += "[" + s.name + "]\r\n";
    for (const Key& k : s.keys) out += k.hasValue ? k.name + "=" + k.value + "\r\n" : k.name + "\r\n";
  }
  return out;
}

// The first section of that name; only it is searched for the key.
Section* FindSection(Profile& p, const std::string& name) {
  for (Section& s : p.sections)
    if (SameName(s.name, name)) return &s;
  return nullptr;
}

Key* FindKey(Section* s, const std::string& name) {
  if (!s) return nullptr;
  for (Key& k : s->keys)
    if (SameName(k.name, name)) return &k;
  return nullptr;
}

// A text given by the program, in the file's encoding.
std::string In(const Profile& p, const char* text) { return p.utf8 ? Cp1250ToUtf8(text) : text; }

bool ReadWhole(const std::string& path, std::string* text, bool* missing) {
  text->clear();
  *missing = false;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    *missing = errno == ENOENT;
    return *missing;
  }
  char buf[16384];
  size_t got;
  while ((got = std::fread(buf, 1, sizeof buf, f)) > 0) text->append(buf, got);
  bool ok = !std::ferror(f);
  std::fclose(f);
  return ok;
}

}  // namespace

bool WineProfileWrite(std::string* text, const char* section, const char* key, const char* value) {
  Profile p = Load(*text);
  if (!section || !key) return false;
  std::string sec = Trim(In(p, section), p.utf8), name = Trim(In(p, key), p.utf8);
  if (!value) {  // every section of that name is searched for the key to delete
    for (Section& s : p.sections) {
      if (!SameName(s.name, In(p, section))) continue;
      for (size_t i = 0; i < s.keys.size(); ++i) {
        if (!SameName(s.keys[i].name, In(p, key))) continue;
        s.keys.erase(s.keys.begin() + i);
        *text = Save(p);
        return true;
      }
    }
    return false;
  }
  std::string v = In(p, value);
  size_t lead = 0;
  while (lead < v.size() && IsBlank(static_cast<unsigned char>(v[lead]), p.utf8)) ++lead;
  v.erase(0, lead);
  Section* s = FindSection(p, sec);
  if (!s) {
    p.sections.push_back(Section());
    s = &p.sections.back();
    s->name = sec;
  }
  Key* k = FindKey(s, name);
  if (!k) {
    s->keys.push_back(Key());
    k = &s->keys.back();
    k->name = name;
  } else if (k->hasValue && k->value == v) {
    return false;
  }
  k->hasValue = true;
  k->value = v;
  *text = Save(p);
  return true;
}

bool WineProfileWriteFile(const std::string& path, const char* section, const char* key, const char* value) {
  std::string text;
  bool missing;
  if (!ReadWhole(path, &text, &missing)) return false;
  if (missing && !value) return true;
  if (!WineProfileWrite(&text, section, key, value)) return true;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  return std::fclose(f) == 0 && ok;
}
