# The LZMA codec: the LZMA SDK's public-domain C sources as Debian's lzma-dev installs them, compiled
# here by every toolchain (as zlib is taken from the system), never copied into the tree.
# lzma_enc (LzmaEnc.c, LzFind.c) packs, lzma_dec (LzmaDec.c) reads; single-threaded (_7ZIP_ST), so
# that the same input gives the same bytes on every platform. The headers are found after the
# tree's own (-idirafter), as the SDK's folder holds generic names.
set(LZMA_SDK_DIR /usr/include/lzma CACHE PATH "LZMA SDK sources (Debian package lzma-dev)")
foreach(f LzmaEnc.c LzFind.c LzmaDec.c LzmaDec.h LzmaEnc.h Types.h)
  if(NOT EXISTS ${LZMA_SDK_DIR}/${f})
    message(FATAL_ERROR "${LZMA_SDK_DIR}/${f} is missing: install the package lzma-dev (scripts/setup)")
  endif()
endforeach()
set(LZMA_C_FLAGS -D_7ZIP_ST -O2 -w)
if(WIN32)
  list(APPEND LZMA_C_FLAGS -DWIN32_LEAN_AND_MEAN)
endif()
add_library(lzma_dec STATIC ${LZMA_SDK_DIR}/LzmaDec.c)
add_library(lzma_enc STATIC ${LZMA_SDK_DIR}/LzmaEnc.c ${LZMA_SDK_DIR}/LzFind.c)
foreach(t lzma_dec lzma_enc)
  target_compile_options(${t} PRIVATE ${LZMA_C_FLAGS})
  target_compile_options(${t} INTERFACE -idirafter ${LZMA_SDK_DIR} -D_7ZIP_ST)
endforeach()
