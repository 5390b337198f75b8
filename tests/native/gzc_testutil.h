// Test helpers for the GZC suites: temporary folders, files, and a minimal GZC writer and reader of
// their own (zlib's deflate/inflate and the LZMA SDK's one-call coder directly), independent of the
// module under test.
#pragma once

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "core/gzcformat.h"

extern "C" {
#include <LzmaDec.h>
#include <LzmaEnc.h>
}

namespace gzctest {

namespace fs = std::filesystem;
using Bytes = std::string;

// A fresh folder per test; `scratch` holds gz.tmp and list.txt, `outside` is a sentinel sibling
// that nothing may ever touch.
struct TempDir {
  fs::path root;
  TempDir() {
    std::string tmpl = (fs::temp_directory_path() / "gzctest-XXXXXX").string();
    root = mkdtemp(tmpl.data());
    fs::create_directories(root / "scratch");
    fs::create_directories(root / "outside");
    WriteFile(root / "outside" / "sentinel", "keep");
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(root, ec);
  }
  static void WriteFile(const fs::path& p, const Bytes& data) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary).write(data.data(), static_cast<std::streamsize>(data.size()));
  }
  std::string gzTmp() const { return (root / "scratch" / "gz.tmp").string(); }
  std::string listFile() const { return (root / "scratch" / "list.txt").string(); }
};

inline Bytes ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Every regular file below a folder: relative path ('/') -> content.
inline std::map<std::string, Bytes> Snapshot(const fs::path& dir) {
  std::map<std::string, Bytes> out;
  if (!fs::exists(dir)) return out;
  for (auto& e : fs::recursive_directory_iterator(dir))
    if (e.is_regular_file()) out[fs::relative(e.path(), dir).string()] = ReadFile(e.path());
  return out;
}

inline Bytes Pseudo(size_t n, uint32_t seed) {
  Bytes b(n, '\0');
  for (size_t i = 0; i < n; ++i) {
    seed = seed * 1103515245u + 12345u;
    b[i] = static_cast<char>(seed >> 16);
  }
  return b;
}

inline uint32_t LE(const Bytes& b, size_t at) {
  auto u = [&](size_t i) { return uint32_t(static_cast<unsigned char>(b[at + i])); };
  return u(0) | u(1) << 8 | u(2) << 16 | u(3) << 24;
}

inline void PutLE(Bytes* b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b->push_back(static_cast<char>(v >> (8 * i)));
}

// One gzip member of `data` (deflate with a gzip wrapper, not the gz* file calls).
inline Bytes Gzip(const Bytes& data, int level = 6) {
  z_stream z{};
  EXPECT_EQ(deflateInit2(&z, level, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY), Z_OK);
  Bytes out(deflateBound(&z, data.size()) + 32, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

// Inflates one complete gzip member; fails the test on bad data.
inline Bytes Gunzip(const Bytes& member) {
  z_stream z{};
  EXPECT_EQ(inflateInit2(&z, 15 + 16), Z_OK);
  Bytes out;
  char buf[65536];
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(member.data()));
  z.avail_in = static_cast<uInt>(member.size());
  int rc;
  do {
    z.next_out = reinterpret_cast<Bytef*>(buf);
    z.avail_out = sizeof buf;
    rc = inflate(&z, Z_NO_FLUSH);
    out.append(buf, sizeof buf - z.avail_out);
  } while (rc == Z_OK);
  EXPECT_EQ(rc, Z_STREAM_END);
  EXPECT_EQ(z.avail_in, 0u) << "bytes after the member";
  inflateEnd(&z);
  return out;
}

inline uint32_t Sum(const std::vector<Bytes>& parts) {
  uint64_t s = 0;
  for (const Bytes& p : parts)
    for (unsigned char c : p) s = (s + c) % 4294967295u;
  return static_cast<uint32_t>(s);
}

// An archive of the members as given (entry 0 is the list) with the given checksum.
inline Bytes ArchiveOfMembers(const std::vector<Bytes>& members, uint32_t checksum) {
  const uint32_t n = static_cast<uint32_t>(members.size());
  Bytes a = "GZC";
  PutLE(&a, checksum);
  PutLE(&a, 0);
  PutLE(&a, n);
  uint32_t off = 19 + 4 * n;
  for (auto& m : members) {
    PutLE(&a, off);
    off += static_cast<uint32_t>(m.size());
  }
  PutLE(&a, off);
  for (auto& m : members) a += m;
  return a;
}

// Minimal writer: the list text and the files' contents as given, one gzip member each.
inline Bytes BuildRaw(const Bytes& listText, const std::vector<Bytes>& contents) {
  std::vector<Bytes> plain{listText};
  plain.insert(plain.end(), contents.begin(), contents.end());
  std::vector<Bytes> members;
  for (auto& p : plain) members.push_back(Gzip(p));
  return ArchiveOfMembers(members, Sum(plain));
}

inline void* SdkAlloc(void*, size_t n) { return std::malloc(n); }
inline void SdkFree(void*, void* p) { std::free(p); }
inline ISzAlloc kSdkAlloc = {SdkAlloc, SdkFree};

inline uint32_t Crc(const Bytes& b) {
  return static_cast<uint32_t>(crc32(0L, reinterpret_cast<const Bytef*>(b.data()), static_cast<uInt>(b.size())));
}

// The solid kind: files as (list line, content) in one LZMA stream with a 64 KiB dictionary.
inline Bytes BuildSolid(const std::vector<std::pair<Bytes, Bytes>>& files) {
  Bytes list, all;
  std::vector<Bytes> plain(1);
  for (auto& f : files) {
    list += f.first + "\r\n";
    all += f.second;
    plain.push_back(f.second);
  }
  plain[0] = list;
  std::vector<Bytes> members{Gzip(list)};
  for (size_t i = 0; i < files.size(); ++i) {
    Bytes rec;
    if (i + 1 == files.size()) {
      CLzmaEncProps props;
      LzmaEncProps_Init(&props);
      props.dictSize = 1 << 16;
      Bytes stream(all.size() + all.size() / 2 + 1024, '\0');
      SizeT len = stream.size(), propsLen = LZMA_PROPS_SIZE;
      unsigned char head[LZMA_PROPS_SIZE];
      EXPECT_EQ(LzmaEncode(reinterpret_cast<Byte*>(&stream[0]), &len, reinterpret_cast<const Byte*>(all.data()),
                           all.size(), &props, head, &propsLen, 0, nullptr, &kSdkAlloc, &kSdkAlloc),
                SZ_OK);
      rec.assign(reinterpret_cast<char*>(head), LZMA_PROPS_SIZE);
      PutLE(&rec, static_cast<uint32_t>(all.size()));
      PutLE(&rec, 0);
      rec += stream.substr(0, len);
    }
    PutLE(&rec, Crc(files[i].second));
    PutLE(&rec, static_cast<uint32_t>(files[i].second.size()));
    members.push_back(rec);
  }
  Bytes a = ArchiveOfMembers(members, Sum(plain));
  a[8] = static_cast<char>(GZC_ARCHIVE_LZMA);
  return a;
}

// Files as (list line, content), in list order.
inline Bytes BuildArchive(const std::vector<std::pair<Bytes, Bytes>>& files) {
  Bytes list;
  std::vector<Bytes> contents;
  for (auto& f : files) {
    list += f.first + "\r\n";
    contents.push_back(f.second);
  }
  return BuildRaw(list, contents);
}

struct Parsed {
  uint32_t checksum = 0, n = 0, flags = 0;
  std::vector<uint32_t> t;
  std::vector<Bytes> lines;
  std::vector<Bytes> contents;  // contents[i] = inflated entry i + 1
};

// Minimal reader: checks the layout rules as it goes.
inline Parsed ParseArchive(const Bytes& a) {
  Parsed p;
  EXPECT_EQ(a.substr(0, 3), "GZC");
  p.checksum = LE(a, 3);
  p.flags = LE(a, 7);
  const uint32_t kind = p.flags >> GZC_ARCHIVE_KIND_SHIFT;
  EXPECT_EQ(p.flags & ~GZC_FLAG_UTF8 & ~(GZC_ARCHIVE_LZMA << GZC_ARCHIVE_KIND_SHIFT), 0u);
  p.n = LE(a, 11);
  for (uint32_t i = 0; i <= p.n; ++i) p.t.push_back(LE(a, 15 + 4 * i));
  EXPECT_EQ(p.t[0], 19 + 4 * p.n);
  EXPECT_EQ(p.t[p.n], a.size());
  std::vector<Bytes> plain;
  if (kind == GZC_ARCHIVE_LZMA) {
    plain.push_back(Gunzip(a.substr(p.t[0], p.t[1] - p.t[0])));
    const uint32_t last = p.n - 1;
    Bytes all;
    if (p.n > 1) {
      const uint32_t at = p.t[last];
      all.resize(LE(a, at + 5));
      EXPECT_EQ(LE(a, at + 9), 0u);
      SizeT outLen = all.size(), inLen = p.t[p.n] - 8 - at - GZC_LZMA_HEAD;
      ELzmaStatus st;
      EXPECT_EQ(LzmaDecode(reinterpret_cast<Byte*>(&all[0]), &outLen, reinterpret_cast<const Byte*>(&a[at + GZC_LZMA_HEAD]),
                           &inLen, reinterpret_cast<const Byte*>(&a[at]), LZMA_PROPS_SIZE, LZMA_FINISH_END, &st, &kSdkAlloc),
                SZ_OK);
      EXPECT_EQ(inLen, p.t[p.n] - 8 - at - GZC_LZMA_HEAD) << "nothing after the stream";
      EXPECT_EQ(outLen, all.size());
    }
    size_t from = 0;
    for (uint32_t i = 1; i < p.n; ++i) {
      EXPECT_TRUE(i == last || p.t[i + 1] - p.t[i] == 8) << "a record alone";
      const uint32_t size = LE(a, p.t[i + 1] - 4);
      plain.push_back(all.substr(from, size));
      from += size;
      EXPECT_EQ(LE(a, p.t[i + 1] - 8), Crc(plain.back()));
    }
    EXPECT_EQ(from, all.size());
  }
  for (uint32_t i = 0; kind == GZC_ARCHIVE_GZIP && i < p.n; ++i) {
    Bytes member = a.substr(p.t[i], p.t[i + 1] - p.t[i]);
    plain.push_back(Gunzip(member));
    EXPECT_EQ(LE(member, member.size() - 4), plain.back().size());
  }
  Bytes& list = plain[0];
  for (size_t at = 0; at < list.size();) {
    size_t end = list.find("\r\n", at);
    EXPECT_NE(end, Bytes::npos) << "every line ends with CR LF";
    if (end == Bytes::npos) break;
    p.lines.push_back(list.substr(at, end - at));
    at = end + 2;
  }
  EXPECT_EQ(p.lines.size(), p.n - 1);
  p.contents.assign(plain.begin() + 1, plain.end());
  EXPECT_EQ(Sum(plain), p.checksum);
  return p;
}

// Running the module on files.
inline GzcStatus Pack(const TempDir& d, const fs::path& folder, const fs::path& archive,
                      const GzcHooks* hooks = nullptr, const char* mode = "wb6", GzcPackResult* res = nullptr,
                      unsigned threads = 0, bool utf8 = false, uint32_t kind = GZC_ARCHIVE_GZIP) {
  std::string f = folder.string(), a = archive.string(), g = d.gzTmp(), l = d.listFile();
  GzcPackJob job{f.c_str(), a.c_str(), g.c_str(), l.c_str(), mode, nullptr, hooks, threads, utf8, nullptr, nullptr};
  job.kind = kind;
  return GzcPack(job, res);
}

inline GzcStatus UnpackBytes(const TempDir& d, const Bytes& archive, const fs::path& dest, bool createFolders = true,
                             const GzcFileOps* files = nullptr, bool utf8 = false, uint64_t maxTotal = 0,
                             bool verified = false) {
  fs::path file = d.root / "scratch" / "in.gzc";
  TempDir::WriteFile(file, archive);
  fs::create_directories(dest);
  FILE* f = std::fopen(file.string().c_str(), "rb");
  std::string destStr = dest.string(), g = d.gzTmp();
  GzcUnpackJob job{destStr.c_str(), g.c_str(), createFolders, files, nullptr, verified, maxTotal};
  GzcSource src{nullptr, f, archive.size(), 0, utf8};
  GzcStatus s = GzcUnpack(job, src);
  std::fclose(f);
  return s;
}

inline GzcStatus VerifyBytes(const TempDir& d, const Bytes& archive, std::vector<GzcEntry>* entries = nullptr,
                             bool utf8 = false) {
  fs::path file = d.root / "scratch" / "in.gzc";
  TempDir::WriteFile(file, archive);
  FILE* f = std::fopen(file.string().c_str(), "rb");
  GzcSource src{nullptr, f, archive.size(), 0, utf8};
  GzcStatus s = entries ? GzcList(src, d.gzTmp().c_str(), entries) : GzcVerify(src, d.gzTmp().c_str());
  std::fclose(f);
  return s;
}

}  // namespace gzctest
