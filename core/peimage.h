// Where a Windows executable's own image ends in its file, and where a signature's certificate
// table begins, from its headers.
#pragma once

#include <cstddef>
#include <cstdint>

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
