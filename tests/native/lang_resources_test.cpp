// The shipped language files against the string table, string indices the code uses, the
// identifiers of res/resource.h against the templates of res/packrift.rc, and the include directions.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "lang/strings.h"

namespace fs = std::filesystem;

namespace {
const fs::path kRoot = PR_SOURCE_DIR;
const size_t kLookupText = 63;  // bytes a lookup keeps of a text

std::string Slurp(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

// Keys and values of section [lng], as the profile functions read them (blanks around trimmed).
std::map<std::string, std::string> LngSection(const std::string& text) {
  std::map<std::string, std::string> out;
  std::istringstream in(text);
  std::string line;
  bool inLng = false;
  auto trim = [](std::string s) {
    size_t a = s.find_first_not_of(" \t\r"), b = s.find_last_not_of(" \t\r");
    return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
  };
  while (std::getline(in, line)) {
    line = trim(line);
    if (!line.empty() && line[0] == '[') inLng = line == "[lng]";
    size_t eq = line.find('=');
    if (inLng && eq != std::string::npos) out.emplace(trim(line.substr(0, eq)), trim(line.substr(eq + 1)));
  }
  return out;
}

// Characters of a UTF-8 text: its bytes in code page 1250, where every Polish letter is one.
size_t Cp1250Length(const char* utf8) {
  size_t n = 0;
  for (const char* p = utf8; *p; ++p) n += ((unsigned char)*p & 0xC0) != 0x80;
  return n;
}

std::vector<fs::path> Files(const fs::path& dir, const std::set<std::string>& exts) {
  std::vector<fs::path> out;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    if (e.is_regular_file() && exts.count(e.path().extension().string())) out.push_back(e.path());
  return out;
}

TEST(StringTable, BuiltInTextsFitTheLookupAndIndicesAreUnique) {
  std::set<unsigned> seen;
  for (const StrDef& s : kAllStrings) {
    SCOPED_TRACE(s.id);
    EXPECT_TRUE(seen.insert(s.id).second) << "index listed twice";
    EXPECT_LE(Cp1250Length(s.text), kLookupText);
  }
}

TEST(StringTable, EveryShippedLanguageFileTranslatesEachIndexWithinTheLimit) {
  auto files = Files(kRoot / "lang" / "files", {".lng"});
  ASSERT_FALSE(files.empty());
  std::set<std::string> table;
  for (const StrDef& s : kAllStrings) table.insert(std::to_string(s.id));
  for (const fs::path& file : files) {
    SCOPED_TRACE(file.filename().string());
    auto lng = LngSection(Slurp(file));
    for (const std::string& id : table) EXPECT_TRUE(lng.count(id)) << "index " << id << " missing";
    for (const auto& kv : lng) {
      SCOPED_TRACE(kv.first);
      EXPECT_TRUE(table.count(kv.first)) << "not an index of the string table";
      EXPECT_LE(kv.second.size(), kLookupText);
      EXPECT_FALSE(kv.second.empty());
    }
  }
}

// Every index the code can show is in the table (and so in every language file): named ones are
// entries of kAllStrings, and no lookup passes a bare number.
TEST(StringTable, EveryIndexTheCodeUsesIsInTheTable) {
  std::map<std::string, unsigned> defined;
  std::string header = Slurp(kRoot / "lang" / "strings.h");
  std::regex def(R"(constexpr\s+StrDef\s+(S_\w+)\{(\d+),)");
  for (auto it = std::sregex_iterator(header.begin(), header.end(), def); it != std::sregex_iterator(); ++it)
    defined[(*it)[1]] = std::stoul((*it)[2]);
  std::set<unsigned> listed;
  for (const StrDef& s : kAllStrings) listed.insert(s.id);
  for (const auto& d : defined) EXPECT_TRUE(listed.count(d.second)) << d.first << " is not in kAllStrings";

  std::regex named(R"(\bS_[A-Z0-9_]+\b)");
  std::regex bare(R"((GetOwnLang|ShowMessage)\s*\(\s*\d+|PrintTxt\s*\([^;]*,\s*\d+\s*\))");
  std::regex system(R"(S_OK|S_FALSE|S_IS\w+|S_IF\w+)");  // COM results, POSIX file modes
  for (const char* dir : {"app", "entries", "build", "lang", "core", "win"}) {
    for (const fs::path& file : Files(kRoot / dir, {".cpp", ".h"})) {
      SCOPED_TRACE(file.string());
      std::string code = Slurp(file);
      for (auto it = std::sregex_iterator(code.begin(), code.end(), named); it != std::sregex_iterator(); ++it)
        if (!std::regex_match(it->str(), system)) EXPECT_TRUE(defined.count(it->str())) << it->str();
      std::smatch m;
      EXPECT_FALSE(std::regex_search(code, m, bare)) << "bare string index: " << m.str();
    }
  }
}

// Dependencies point one way. core/ (plain data) includes nothing above it but the plain string
// table; win/ (the Win32 layer) only core/; the engine and the two libraries only those two; the
// build reaches the program only through build/buildhooks.h. Folders form no cycle: app/, the main
// window whose dialogs in entries/ and lang/ use its records, stands on top of them all.
TEST(Sources, IncludesPointOneWay) {
  const std::string kStrings = "lang/strings.h";  // plain data: counts as a folder of its own
  const struct {
    const char* folder;
    const char* never;  // no file of the folder includes a header this matches
    const char* except; // a file the rule leaves alone; null: none
  } kRules[] = {{"core", R"((?!core/|lang/strings\.h")\w+/)", nullptr},
                {"win", R"((?!core/|win/)\w+/)", nullptr},
                {"engine", R"((?!core/|win/|engine/)\w+/)", nullptr},
                {"dlgkit", R"((?!core/|win/|dlgkit/)\w+/)", nullptr},
                {"adpane", R"((?!core/|win/|adpane/)\w+/)", nullptr},
                // The native build runs the build's one sequence.
                {"tools", R"((?!core/|win/|tools/|lang/strings\.h"|build/buildseq\.h")\w+/)", nullptr},
                {"build", "app/", nullptr},
                {"build", "entries/", nullptr},
                // The build reads its fields as a record: only the packing dialog needs its template.
                {"build", "res/", "kopiujMain.cpp"},
                {"lang", "build/", nullptr}};
  for (const auto& rule : kRules) {
    for (const fs::path& file : Files(kRoot / rule.folder, {".cpp", ".h"})) {
      if (rule.except && file.filename() == rule.except) continue;
      SCOPED_TRACE(file.string());
      std::string code = Slurp(file);
      std::smatch m;
      std::regex include(std::string(R"(#include\s+")") + rule.never + R"([^"]*")");
      EXPECT_FALSE(std::regex_search(code, m, include)) << m.str();
    }
  }

  std::map<std::string, std::set<std::string>> uses;  // folder -> folders its files include
  std::regex include(R"re(#include\s+"((\w+)/[^"]*)")re");
  for (const char* dir : {"core", "win", "engine", "dlgkit", "adpane", "build", "lang", "entries", "res", "tools"}) {
    for (const fs::path& file : Files(kRoot / dir, {".cpp", ".h"})) {
      std::string code = Slurp(file);
      std::string from = file.lexically_relative(kRoot).generic_string() == kStrings ? kStrings : dir;
      for (auto it = std::sregex_iterator(code.begin(), code.end(), include); it != std::sregex_iterator(); ++it) {
        std::string to = (*it)[1] == kStrings ? kStrings : (*it)[2].str();
        if (to != from && to != "app") uses[from].insert(to);
      }
    }
  }
  // Depth-first: a folder met again while its own includes are still open closes a cycle.
  std::map<std::string, int> state;  // 1: open, 2: done
  std::vector<std::string> path;
  std::function<void(const std::string&)> visit = [&](const std::string& folder) {
    state[folder] = 1;
    path.push_back(folder);
    for (const std::string& to : uses[folder]) {
      if (state[to] == 1) {
        std::string cycle;
        for (auto p = std::find(path.begin(), path.end(), to); p != path.end(); ++p) cycle += *p + " -> ";
        ADD_FAILURE() << "folder cycle: " << cycle << to;
      } else if (state[to] == 0) {
        visit(to);
      }
    }
    path.pop_back();
    state[folder] = 2;
  };
  for (const auto& u : uses)
    if (state[u.first] == 0) visit(u.first);
}

struct Define {
  std::string name;
  long value;
  long group;  // template of the group it stands in, -1 outside a dialog's group
};

std::vector<Define> ResourceHeader() {
  std::vector<Define> out;
  std::istringstream in(Slurp(kRoot / "res" / "resource.h"));
  std::regex groupLine(R"(^//.*\((\d+)\)\s*$)"), defineLine(R"(^#define\s+(\w+)\s+(-?\d+))");
  long group = -1;
  std::string line;
  std::smatch m;
  while (std::getline(in, line)) {
    if (std::regex_search(line, m, groupLine)) group = std::stol(m[1]);
    else if (line.rfind("//", 0) == 0) group = -1;
    else if (std::regex_search(line, m, defineLine)) out.push_back({m[1], std::stol(m[2]), group});
  }
  return out;
}

// Each template of the resource script: its name and the identifiers of its controls.
std::map<std::string, std::vector<std::string>> Templates(const std::string& rc) {
  std::map<std::string, std::vector<std::string>> out;
  std::regex head(R"(^(\w+)\s+DIALOGEX\b)");
  std::regex control(R"(^\s*(?:(?:[A-Z]+TEXT\s+"[^"]*"|[LRC]TEXT\s+PR_\w+)\s*,|EDITTEXT|COMBOBOX|LISTBOX|(?:AUTO)?(?:CHECKBOX|RADIOBUTTON)\s+"[^"]*"\s*,|(?:DEF)?PUSHBUTTON\s+"[^"]*"\s*,|CONTROL\s+(?:"[^"]*"|\w+)\s*,)\s*(\w+))");
  std::istringstream in(rc);
  std::string line, current;
  bool body = false;
  std::smatch m;
  while (std::getline(in, line)) {
    if (std::regex_search(line, m, head)) {
      current = m[1];
      out[current];
    } else if (!current.empty() && line.rfind("BEGIN", 0) == 0) {
      body = true;
    } else if (body && line.rfind("END", 0) == 0) {
      body = false;
      current.clear();
    } else if (body && std::regex_search(line, m, control)) {
      out[current].push_back(m[1]);
    }
  }
  return out;
}

TEST(Resources, HeaderIdentifiersAndScriptTemplatesAgree) {
  auto defines = ResourceHeader();
  std::map<std::string, Define> byName;
  for (const Define& d : defines) EXPECT_TRUE(byName.emplace(d.name, d).second) << d.name << " defined twice";
  std::string rc = Slurp(kRoot / "res" / "packrift.rc");
  auto templates = Templates(rc);
  ASSERT_FALSE(templates.empty());

  // Every identifier the script names is defined.
  std::regex ident(R"(\bID[A-Z]_\w+\b)");
  for (auto it = std::sregex_iterator(rc.begin(), rc.end(), ident); it != std::sregex_iterator(); ++it)
    EXPECT_TRUE(byName.count(it->str())) << it->str() << " used in packrift.rc, not in resource.h";

  // Every template is a dialog identifier; every dialog whose controls have a group has a
  // template; each group lists controls of its template only.
  std::set<long> groups;
  for (const Define& d : defines) groups.insert(d.group);
  for (const auto& t : templates) EXPECT_EQ(0u, t.first.rfind("IDD_", 0)) << t.first;
  for (const Define& d : defines)
    if (d.name.rfind("IDD_", 0) == 0 && groups.count(d.value)) EXPECT_TRUE(templates.count(d.name)) << d.name;
  for (const auto& t : templates) {
    SCOPED_TRACE(t.first);
    long templ = byName.count(t.first) ? byName[t.first].value : -2;
    std::set<std::string> controls(t.second.begin(), t.second.end());
    std::map<long, std::string> byValue;
    for (const std::string& c : controls) {
      ASSERT_TRUE(byName.count(c)) << c;
      const long kStaticIcon = 30;  // every template's icon shares it
      if (groups.count(templ) && byName[c].value != kStaticIcon)
        EXPECT_EQ(templ, byName[c].group) << c << " belongs to another dialog's group";
      auto ins = byValue.emplace(byName[c].value, c);
      EXPECT_TRUE(ins.second) << c << " and " << ins.first->second << " share a number";
    }
    for (const Define& d : defines)
      if (d.group == templ) EXPECT_TRUE(controls.count(d.name)) << d.name << " is in the group, not in the template";
  }
}
}  // namespace
