// The fuzz targets' scratch place: a destination holding one file, the archive and the member file
// beside it, all in a temporary folder of the process's own.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace fuzzplace {
namespace fs = std::filesystem;

struct Place {
  fs::path root, dest, archive, gzTmp;
  explicit Place(const char* prefix) {
    std::string tmpl = (fs::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
    if (!mkdtemp(tmpl.data())) std::abort();
    root = tmpl;
    dest = root / "dest";
    archive = root / "in.gzc";
    gzTmp = root / "gz.tmp";
    fs::create_directories(dest);
    ResetDest();
  }
  ~Place() {
    std::error_code ec;
    fs::remove_all(root, ec);
  }
  void ResetDest() {
    std::error_code ec;
    fs::remove_all(dest, ec);
    fs::create_directories(dest);
    std::ofstream(dest / "keep", std::ios::binary) << "keep";
  }
  // The destination holds only what was there before: "keep" (unless the archive named it, in
  // which case the cleanup removed it), and no folder.
  bool DestAsBefore() const {
    for (auto& e : fs::recursive_directory_iterator(dest))
      if (e.path().filename() != "keep" || !e.is_regular_file()) return false;
    return true;
  }
  bool NothingOutside() const {
    for (auto& e : fs::directory_iterator(root)) {
      fs::path p = e.path();
      if (p != dest && p != archive && p != gzTmp) return false;
    }
    return true;
  }
};

}  // namespace fuzzplace
