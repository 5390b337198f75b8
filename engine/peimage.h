// Where a Windows executable's own image ends in its file, from its headers.
#pragma once

#include <cstddef>
#include <cstdint>

// Bytes of the file's start needed to read every header: DOS header, PE headers, section table.
constexpr size_t PE_HEAD_MAX = 4096;

// Length of the image described by the headers at `head` (the first n bytes of the file): the end
// of the section whose raw data ends last. 0 when the bytes are not the headers of a PE image.
uint64_t PeImageEnd(const unsigned char* head, size_t n);
