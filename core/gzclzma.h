// Inside the archive module: the solid LZMA kind's stream, read and written through the LZMA SDK
// (not part of the module's interface; gzcformat.h describes the format).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/gzcformat.h"

// The per-file records and the stream's place in a solid archive, read and checked before any file
// is written.
class GzcSolid {
 public:
  GzcSolid() = default;
  ~GzcSolid();
  GzcSolid(const GzcSolid&) = delete;
  GzcSolid& operator=(const GzcSolid&) = delete;

  // Reads the records of entries 1..n-1 (t[0]..t[n] checked as GzcReadTable does, relative to
  // src.offset) and the stream's head, leaving the source at the first compressed byte. Refuses
  // entries of the wrong size, properties the SDK does not take, a dictionary over
  // GZC_LZMA_DICT_MAX, a declared size that is not the sum of the lengths, and (maxTotal != 0) a sum
  // over maxTotal.
  GzcStatus Open(const GzcSource& src, const uint32_t* t, uint32_t n, uint64_t maxTotal);
  uint32_t Files() const { return files_; }
  uint32_t Size(uint32_t i) const { return rec_[2 * i + 1]; }
  uint32_t Crc(uint32_t i) const { return rec_[2 * i]; }
  uint64_t Total() const { return total_; }

  // Where the decoded files go: begin(i) before the bytes of file i, put with each run of them (at
  // most 64 KiB),
  // end(i) after its last (after its CRC-32 was found right). False stops the decoding with
  // GZC_ERR_TARGET.
  struct Sink {
    bool (*begin)(void* ctx, uint32_t i);
    bool (*put)(void* ctx, const unsigned char* bytes, size_t n);
    bool (*end)(void* ctx, uint32_t i);
    void* ctx;
  };
  // Decodes the stream after Open, every byte into the running checksum (crc32Block) and the sink
  // (null: nowhere). The stream must end exactly at its entry's record with exactly Total() bytes.
  GzcStatus Decode(const GzcSource& src, const Sink* sink);

 private:
  uint32_t files_ = 0;
  uint32_t* rec_ = nullptr;  // CRC-32 and length of each file
  uint64_t total_ = 0;
  uint64_t dataAt_ = 0, dataLen_ = 0;  // the compressed data: offset in the file, length
  unsigned char props_[5] = {};
};

// Packs the files (full paths, in list order) as the solid entries 1..n-1 of the archive `arch`
// from offset `at` (the end of the list's member), filling t[1]..t[n]. Every file byte goes into the
// running checksum; the hooks are served as the gzip packing serves them. `level` 0-9.
struct GzcSolidPackResult {
  std::string unreadable;  // GZC_ERR_SOURCE: the file that could not be read whole
  std::string huge;        // GZC_ERR_TOO_LARGE: the file of 4 GiB or more
};
GzcStatus GzcSolidPack(const GzcFileOps* ops, void* arch, uint64_t at, const std::vector<std::string>& paths,
                       int level, const GzcHooks* hooks, uint32_t* t, GzcSolidPackResult* result);
