// Test helpers for the entry list suites: a temporary folder with the three list files' paths, raw
// file access and a raw look at a file's keys that bypasses the quote stripping of the readers.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "core/listfiles.h"
#include "core/listprofile.h"
#include "core/profile.h"

namespace entriestest {

namespace fs = std::filesystem;

struct TempDir {
  fs::path root;
  std::string lnk, init, reg;
  TempDir() {
    std::string tmpl = (fs::temp_directory_path() / "entriestest-XXXXXX").string();
    root = mkdtemp(tmpl.data());
    lnk = (root / kLnkFile).string();
    init = (root / kInitFile).string();
    reg = (root / kRegFile).string();
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(root, ec);
  }
  std::string path(const char* name) const { return (root / name).string(); }
};

inline void WriteFile(const std::string& path, const std::string& data) {
  std::ofstream(path, std::ios::binary).write(data.data(), static_cast<std::streamsize>(data.size()));
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A value through the same seam the operations use ("<missing>" when absent).
inline std::string Get(const std::string& file, const char* section, const char* key, size_t size = 300) {
  std::string buf(size, '\0');
  ListProfileGet(section, key, "<missing>", buf.data(), buf.size(), file.c_str());
  return buf.c_str();
}

inline std::string Get(const std::string& file, const char* section, unsigned number) {
  return Get(file, section, std::to_string(number).c_str());
}

// A key as it stands in the file, quotes and all; false when absent. Found by a scan of its own:
// the section header line, then "key=" lines up to the next header.
inline bool Raw(const std::string& file, const std::string& section, const std::string& key, std::string* value) {
  std::ifstream in(file, std::ios::binary);
  std::string line;
  bool inside = false;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line[0] == '[') {
      inside = line == "[" + section + "]";
      continue;
    }
    if (inside && line.compare(0, key.size() + 1, key + "=") == 0) {
      *value = line.substr(key.size() + 1);
      return true;
    }
  }
  return false;
}

inline bool HasKey(const std::string& file, const std::string& section, unsigned number) {
  std::string v;
  return Raw(file, section, std::to_string(number), &v);
}

}  // namespace entriestest
