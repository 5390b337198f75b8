// The language data as an installer carries it: packed with deflate behind a header of its own, so
// that every installer pays a third of its size. The tool folder's Lang.dat stays as it is.
#pragma once

#include <cstddef>
#include <string>

// Layout: the header line "PRLANZ <n>" ending in CR LF, then n bytes: one gzip member whose
// contents are the tool folder's language data (its trailer holds their CRC-32 and length).
inline constexpr char kLangPackedMagic[] = "PRLANZ ";
// Most bytes the packed data may unpack to: the texts of a few languages, with room to spare.
constexpr size_t kLangUnpackedMax = 1u << 21;

// The packed form of `data`: the same bytes on every platform (zlib's best level, a gzip header
// without time, name or system).
std::string LangPack(const std::string& data);

// Length of the packed form that starts at `data` (header and member), or 0 when the `avail` bytes
// there do not begin with a whole header and as many bytes as it states.
size_t LangPackedLength(const char* data, size_t avail);

// Unpacks the gzip member that fills the `n` bytes at `gz` exactly (the packed form behind its
// header line); false when it is damaged (its deflate data, CRC-32 or length), or it unpacks to
// more than kLangUnpackedMax bytes.
bool LangUnpack(const char* gz, size_t n, std::string* out);
