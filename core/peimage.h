// Where a Windows executable's own image ends in its file, and where a signature's certificate
// table begins, from its headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Bytes of the file's start needed to read every header: DOS header, PE headers, section table.
constexpr size_t PE_HEAD_MAX = 4096;
// A certificate table starts on a multiple of this; signing pads the file with zeros up to it.
constexpr uint64_t PE_CERT_ALIGN = 8;

// Length of the image described by the headers at `head` (the first n bytes of the file): the end
// of the section whose raw data ends last. 0 when the bytes are not the headers of a PE image.
uint64_t PeImageEnd(const unsigned char* head, size_t n);

// End of the data a file of `fileSize` bytes carries behind its image: the start of the certificate
// table a signature appended (the security directory), or `fileSize` when there is none. 0 when the
// headers are not a PE image's, or the directory is damaged: a table that is not aligned, starts
// inside the image, or does not end exactly at the file's end.
uint64_t PeDataEnd(const unsigned char* head, size_t n, uint64_t fileSize);

// Where the resources of an image lie in its file: `at` (file offset) and `size` of the resource
// section's raw data, and `rva`, the address the image gives that data. False when the headers are
// not a PE image's or it has no resources inside the section that holds their directory.
bool PeResourceSpan(const unsigned char* head, size_t n, uint64_t* at, uint32_t* size, uint32_t* rva);

// What a version resource says, as an installation's registration shows it.
struct PeVersion {
  std::string version;    // the fixed part's product version, "1.2.3.4"
  std::string publisher;  // the string "CompanyName" of the first string table, UTF-8; may be empty
};
// Reads the first version resource from the resource data `rsrc` (n bytes, loaded at `rva`, as
// PeResourceSpan gives them). False when there is none or it is damaged: every offset, length and
// string is checked against the data, nothing is read outside it.
bool PeVersionInfo(const unsigned char* rsrc, size_t n, uint32_t rva, PeVersion* out);
