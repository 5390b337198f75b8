// Fuzz target: arbitrary bytes as the solid entries of an archive whose header, table and list
// hold (so that every input reaches the solid reader), for the unpacker in both of its ways (checked
// first, and in one pass), the lister and the verifier. Besides the sanitizers it checks that a
// failed unpack left the destination as it was and that nothing appeared outside it.
#include <zlib.h>

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

void PutLE(std::string* b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b->push_back(static_cast<char>(v >> (8 * i)));
}

std::string Gzip(const std::string& data) {
  z_stream z{};
  deflateInit2(&z, 6, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, data.size()) + 32, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(&out[0]);
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

// The first byte: how many files (1 to 4) and the destination's folder mode; the entries of all
// but the last file take 8 bytes each of the rest, the last file's entry the remainder.
std::string Archive(const uint8_t* data, size_t size) {
  const uint32_t files = 1 + data[0] % 4;
  std::string list;
  for (uint32_t i = 0; i < files; ++i) list += (i % 2 ? "d\\f" : "f") + std::to_string(i) + "\r\n";
  const std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
  std::vector<std::string> entries{Gzip(list)};
  for (uint32_t i = 0; i + 1 < files; ++i) entries.push_back(rest.substr(std::min<size_t>(rest.size(), 8 * i), 8));
  entries.push_back(rest.substr(std::min<size_t>(rest.size(), 8 * (files - 1))));
  const uint32_t n = files + 1;
  std::string a = "GZC";
  uint64_t sum = 0;
  for (unsigned char c : list) sum += c;
  PutLE(&a, static_cast<uint32_t>(sum % 4294967295u));
  PutLE(&a, GZC_ARCHIVE_LZMA << GZC_ARCHIVE_KIND_SHIFT);
  PutLE(&a, n);
  uint32_t off = 19 + 4 * n;
  for (const std::string& e : entries) {
    PutLE(&a, off);
    off += static_cast<uint32_t>(e.size());
  }
  PutLE(&a, off);
  for (const std::string& e : entries) a += e;
  return a;
}

using fuzzplace::Place;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static Place p("gzclzmafuzz");
  const std::string a = Archive(data, size);
  std::ofstream(p.archive, std::ios::binary).write(a.data(), static_cast<std::streamsize>(a.size()));
  std::string dest = p.dest.string(), gzTmp = p.gzTmp.string(), archive = p.archive.string();
  FILE* f = std::fopen(archive.c_str(), "rb");
  if (!f) std::abort();
  GzcSource src{nullptr, f, a.size(), 0};
  GzcStatus unpacked = GZC_OK;
  for (bool onePass : {false, true}) {
    std::rewind(f);
    GzcUnpackJob job{dest.c_str(), gzTmp.c_str(), data[0] % 8 < 4, nullptr, nullptr, onePass, 1 << 24};
    GzcStatus s = GzcUnpack(job, src);
    if (!onePass) unpacked = s;
    if (s != GZC_OK && !p.DestAsBefore()) std::abort();
    if (!p.NothingOutside()) std::abort();
    p.ResetDest();
  }
  std::rewind(f);
  std::vector<GzcEntry> entries;
  GzcStatus listed = GzcList(src, gzTmp.c_str(), &entries);
  std::rewind(f);
  GzcStatus verified = GzcVerify(src, gzTmp.c_str());
  std::fclose(f);
  if (verified == GZC_OK && listed != GZC_OK) std::abort();
  if (verified == GZC_OK && unpacked != GZC_OK && unpacked != GZC_ERR_TARGET) std::abort();
  return 0;
}
