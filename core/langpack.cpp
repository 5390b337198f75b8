// The installer's packed language data: packing (the builds) and unpacking (the engine, gzc).
#include "core/langpack.h"

#include <zlib.h>

#include <cstdint>
#include <cstring>

std::string LangPack(const std::string& data) {
  std::string gz;
  z_stream z = {};
  if (deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY) != Z_OK) return gz;
  gz_header head = {};
  head.os = 255;  // unknown: zlib would name the system it was built for
  deflateSetHeader(&z, &head);
  gz.resize(deflateBound(&z, data.size()) + 32);
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(&gz[0]);
  z.avail_out = static_cast<uInt>(gz.size());
  const bool ok = deflate(&z, Z_FINISH) == Z_STREAM_END;
  gz.resize(ok ? z.total_out : 0);
  deflateEnd(&z);
  return ok ? kLangPackedMagic + std::to_string(gz.size()) + "\r\n" + gz : std::string();
}

size_t LangPackedLength(const char* data, size_t avail) {
  const size_t magic = sizeof kLangPackedMagic - 1;
  if (avail < magic || std::memcmp(data, kLangPackedMagic, magic) != 0) return 0;
  size_t i = magic, len = 0;
  for (; i < avail && i < magic + 8 && data[i] >= '0' && data[i] <= '9'; ++i) len = len * 10 + (data[i] - '0');
  if (i == magic || avail - i < 2 || data[i] != '\r' || data[i + 1] != '\n' || len > avail - i - 2) return 0;
  return i + 2 + len;
}

bool LangUnpack(const char* gz, size_t n, std::string* out) {
  if (n < 18) return false;  // no gzip member is shorter
  const unsigned char* t = reinterpret_cast<const unsigned char*>(gz + n - 4);
  // The trailer's length sizes the output; inflate proves it, and the CRC-32, at the member's end.
  const uint32_t size = t[0] | t[1] << 8 | t[2] << 16 | (uint32_t)t[3] << 24;
  if (size > kLangUnpackedMax) return false;
  out->resize(size);
  z_stream z = {};
  if (inflateInit2(&z, 16 + 15) != Z_OK) return false;
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(gz));
  z.avail_in = static_cast<uInt>(n);
  z.next_out = reinterpret_cast<Bytef*>(&(*out)[0]);
  z.avail_out = size;
  // One member, filling the input and the output exactly.
  const bool ok = inflate(&z, Z_FINISH) == Z_STREAM_END && z.avail_in == 0 && z.avail_out == 0;
  inflateEnd(&z);
  return ok;
}
