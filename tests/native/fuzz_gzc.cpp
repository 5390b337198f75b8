// Fuzz target: arbitrary bytes as an archive for the unpacker, the lister and the verifier. Besides
// the sanitizers it checks after every input that a failed unpack left the destination as it was
// and that nothing appeared outside it.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/gzcformat.h"
#include "tests/native/fuzz_place.h"

namespace fs = std::filesystem;

namespace {

using fuzzplace::Place;

Place& place() {
  static Place p("gzcfuzz");
  return p;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Place& p = place();
  {
    std::ofstream out(p.archive, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  std::string dest = p.dest.string(), gzTmp = p.gzTmp.string(), archive = p.archive.string();
  FILE* f = std::fopen(archive.c_str(), "rb");
  if (!f) std::abort();
  GzcSource src{nullptr, f, size, 0};
  GzcUnpackJob job{dest.c_str(), gzTmp.c_str(), size % 2 == 0, nullptr, nullptr, false, 0};
  GzcStatus unpacked = GzcUnpack(job, src);
  if (unpacked != GZC_OK && !p.DestAsBefore()) std::abort();
  if (!p.NothingOutside()) std::abort();

  std::rewind(f);
  std::vector<GzcEntry> entries;
  GzcStatus listed = GzcList(src, gzTmp.c_str(), &entries);
  std::rewind(f);
  GzcStatus verified = GzcVerify(src, gzTmp.c_str());
  // Read once, each member checked as it is written: a failure leaves nothing behind, and nothing
  // that the full check refuses is taken.
  p.ResetDest();
  std::rewind(f);
  job.verified = true;
  GzcStatus onePass = GzcUnpack(job, src);
  if (onePass != GZC_OK && !p.DestAsBefore()) std::abort();
  if (!p.NothingOutside() || (onePass == GZC_OK && verified != GZC_OK)) std::abort();
  std::fclose(f);
  // A verified archive lists, and unpacks unless its paths meet this destination badly (joined too
  // long, a file where a folder is needed, a folder that is not created).
  if (verified == GZC_OK && listed != GZC_OK) std::abort();
  if (verified == GZC_OK && unpacked != GZC_OK && unpacked != GZC_ERR_PATH && unpacked != GZC_ERR_TARGET)
    std::abort();
  p.ResetDest();
  return 0;
}
