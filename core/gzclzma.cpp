// The solid LZMA kind of archive: its per-file records and the decoding of its one stream, through
// the LZMA SDK's decoder (packing is in gzclzmapack.cpp).
#include "core/gzclzma.h"

// A build without the codec (GZC_NO_LZMA) refuses the kind when it reads the table.
#ifndef GZC_NO_LZMA

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "core/gzcscratch.h"

extern "C" {
#include <LzmaDec.h>
}

namespace {

constexpr size_t kInSize = 64 * 1024;
// Most bytes one decoder call makes: the sink, and through it a cancel, is reached every few
// milliseconds however well the data compresses.
constexpr size_t kOutStep = 256 * 1024;

void* SdkAlloc(void*, size_t size) { return std::malloc(size); }
void SdkFree(void*, void* address) { std::free(address); }
ISzAlloc kSdkAlloc = {SdkAlloc, SdkFree};

// The decoder's state and buffers, freed on every way out.
struct Decoder {
  CLzmaDec dec;
  unsigned char* in = nullptr;
  Decoder() { LzmaDec_Construct(&dec); }
  ~Decoder() {
    LzmaDec_FreeProbs(&dec, &kSdkAlloc);
    std::free(dec.dic);
    std::free(in);
  }
};

}  // namespace

GzcSolid::~GzcSolid() { std::free(rec_); }

GzcStatus GzcSolid::Open(const GzcSource& src, const uint32_t* t, uint32_t n, uint64_t maxTotal) {
  const GzcFileOps* ops = OpsOr(src.files);
  files_ = n - 1;
  total_ = 0;
  if (files_ == 0) return GZC_OK;
  // Every entry but the last is one record; the last holds the stream's head, at least the five
  // bytes any stream starts with, and its record.
  for (uint32_t i = 1; i + 1 < n; ++i)
    if (t[i + 1] - t[i] != 8) return GZC_ERR_TABLE;
  if (t[n] - t[n - 1] < 8 + GZC_LZMA_HEAD + 5) return GZC_ERR_TABLE;
  std::free(rec_);
  rec_ = static_cast<uint32_t*>(std::malloc(8 * size_t(files_)));
  if (!rec_) return GZC_ERR_NO_MEMORY;

  unsigned char buf[4096];
  if (!ops->seek(ops->ctx, src.file, src.offset + t[1])) return GZC_ERR_READ;
  for (uint32_t i = 0; i + 1 < files_;) {
    const uint32_t k = std::min<uint32_t>(files_ - 1 - i, sizeof buf / 8);
    if (!ReadExact(ops, src.file, buf, 8 * size_t(k))) return GZC_ERR_TRUNCATED;
    for (uint32_t j = 0; j < k; ++j, ++i) {
      rec_[2 * i] = GetLE32(buf + 8 * j);
      rec_[2 * i + 1] = GetLE32(buf + 8 * j + 4);
    }
  }
  unsigned char head[GZC_LZMA_HEAD];
  if (!ReadExact(ops, src.file, head, sizeof head)) return GZC_ERR_TRUNCATED;
  if (!ops->seek(ops->ctx, src.file, src.offset + t[n] - 8) || !ReadExact(ops, src.file, buf, 8)) return GZC_ERR_TRUNCATED;
  rec_[2 * (files_ - 1)] = GetLE32(buf);
  rec_[2 * (files_ - 1) + 1] = GetLE32(buf + 4);

  CLzmaProps props;
  if (LzmaProps_Decode(&props, head, LZMA_PROPS_SIZE) != SZ_OK || props.dicSize > GZC_LZMA_DICT_MAX)
    return GZC_ERR_STREAM;
  std::memcpy(props_, head, LZMA_PROPS_SIZE);
  for (uint32_t i = 0; i < files_; ++i) total_ += Size(i);
  const uint64_t declared = uint64_t(GetLE32(head + 5)) | uint64_t(GetLE32(head + 9)) << 32;
  if (declared != total_) return GZC_ERR_STREAM;
  if (maxTotal && total_ > maxTotal) return GZC_ERR_TOO_LARGE;
  dataAt_ = src.offset + t[n - 1] + GZC_LZMA_HEAD;
  dataLen_ = t[n] - 8 - (t[n - 1] + GZC_LZMA_HEAD);
  return ops->seek(ops->ctx, src.file, dataAt_) ? GZC_OK : GZC_ERR_READ;
}

GzcStatus GzcSolid::Decode(const GzcSource& src, const Sink* sink) {
  if (files_ == 0) return GZC_OK;
  const GzcFileOps* ops = OpsOr(src.files);
  Decoder d;
  if (LzmaDec_AllocateProbs(&d.dec, props_, LZMA_PROPS_SIZE, &kSdkAlloc) != SZ_OK) return GZC_ERR_NO_MEMORY;
  // No distance reaches before the first byte, so a dictionary larger than the contents is never
  // needed: small archives decode in little memory (the SDK never takes less than 4 KiB).
  const size_t dicSize =
      static_cast<size_t>(std::max<uint64_t>(std::min<uint64_t>(d.dec.prop.dicSize, total_), 4096));
  d.dec.dic = static_cast<Byte*>(std::malloc(dicSize));
  d.in = static_cast<unsigned char*>(std::malloc(kInSize));
  if (!d.dec.dic || !d.in) return GZC_ERR_NO_MEMORY;
  d.dec.dicBufSize = dicSize;
  LzmaDec_Init(&d.dec);

  // The file being written: its index, bytes still to come and running CRC-32.
  uint32_t file = 0;
  uint32_t left = Size(0);
  uLong crc = ::crc32(0L, Z_NULL, 0);
  bool begun = false;
  // Begins the current file and completes every file that has no bytes left.
  auto settle = [&]() -> GzcStatus {
    for (;;) {
      if (!begun) {
        if (sink && !sink->begin(sink->ctx, file)) return GZC_ERR_TARGET;
        begun = true;
      }
      if (left) return GZC_OK;
      if (crc != Crc(file)) return GZC_ERR_FILE_CRC;
      if (sink && !sink->end(sink->ctx, file)) return GZC_ERR_TARGET;
      if (++file == files_) return GZC_OK;
      left = Size(file);
      crc = ::crc32(0L, Z_NULL, 0);
      begun = false;
    }
  };
  GzcStatus status = settle();
  uint64_t produced = 0, inLeft = dataLen_;
  size_t inPos = 0, inSize = 0;
  while (status == GZC_OK && produced < total_) {
    if (inPos == inSize && inLeft) {
      inSize = static_cast<size_t>(std::min<uint64_t>(inLeft, kInSize));
      if (!ReadExact(ops, src.file, d.in, inSize)) return GZC_ERR_TRUNCATED;
      inLeft -= inSize;
      inPos = 0;
    }
    if (d.dec.dicPos == d.dec.dicBufSize) d.dec.dicPos = 0;
    const size_t start = d.dec.dicPos;
    const size_t room =
        static_cast<size_t>(std::min<uint64_t>(std::min<uint64_t>(d.dec.dicBufSize - start, total_ - produced), kOutStep));
    SizeT used = inSize - inPos;
    ELzmaStatus how;
    if (LzmaDec_DecodeToDic(&d.dec, start + room, d.in + inPos, &used, LZMA_FINISH_ANY, &how) != SZ_OK)
      return GZC_ERR_STREAM;
    inPos += used;
    const unsigned char* out = d.dec.dic + start;
    size_t got = d.dec.dicPos - start;
    if (got == 0 && used == 0) return GZC_ERR_STREAM;  // ended early, or wants bytes that are not there
    produced += got;
    while (got && status == GZC_OK) {
      const size_t k = std::min<size_t>(std::min<size_t>(got, left), kInSize);
      crc32Block(out, k);
      crc = ::crc32(crc, out, static_cast<uInt>(k));
      if (sink && !sink->put(sink->ctx, out, k)) return GZC_ERR_TARGET;
      out += k;
      got -= k;
      left -= static_cast<uint32_t>(k);
      status = settle();
    }
  }
  if (status != GZC_OK) return status;
  // The stream ends with the last byte: nothing may follow it but its record.
  if (inPos == inSize && inLeft && inLeft <= kInSize) {
    inSize = static_cast<size_t>(inLeft);
    if (!ReadExact(ops, src.file, d.in, inSize)) return GZC_ERR_TRUNCATED;
    inLeft = 0;
    inPos = 0;
  }
  SizeT rest = inSize - inPos;
  ELzmaStatus how;
  if (inLeft || LzmaDec_DecodeToDic(&d.dec, d.dec.dicPos, d.in + inPos, &rest, LZMA_FINISH_END, &how) != SZ_OK ||
      rest != inSize - inPos || how != LZMA_STATUS_MAYBE_FINISHED_WITHOUT_MARK)
    return GZC_ERR_STREAM;
  return GZC_OK;
}

#endif  // GZC_NO_LZMA
