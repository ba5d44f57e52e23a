# The LZMA SDK's C coders as Debian's lzma-dev ships them (sources beside the
# headers), built into the static library zm_lzma for every target.
include_guard(GLOBAL)

set(ZM_LZMA_SDK_DIR "/usr/include/lzma" CACHE PATH "Folder with the LZMA SDK's LzmaDec.c, LzmaEnc.c and LzFind.c")
foreach(file LzmaDec.c LzmaEnc.c LzFind.c LzmaDec.h LzmaEnc.h Types.h)
    if(NOT EXISTS "${ZM_LZMA_SDK_DIR}/${file}")
        message(FATAL_ERROR "LZMA SDK file ${ZM_LZMA_SDK_DIR}/${file} is missing: install lzma-dev (scripts/setup)")
    endif()
endforeach()

add_library(zm_lzma STATIC
    "${ZM_LZMA_SDK_DIR}/LzmaDec.c"
    "${ZM_LZMA_SDK_DIR}/LzmaEnc.c"
    "${ZM_LZMA_SDK_DIR}/LzFind.c")
# Single-threaded encoder: no LzFindMt, and output that depends on the input alone.
target_compile_definitions(zm_lzma PRIVATE _7ZIP_ST)
# The SDK is kept as shipped: its own warnings are not ours to fix.
target_compile_options(zm_lzma PRIVATE -w)

# Users see only the SDK's coder headers, copied into a folder of their own,
# because the SDK's folder also holds liblzma's unrelated headers.
set(zm_lzma_include "${CMAKE_BINARY_DIR}/lzma_sdk")
foreach(header LzmaDec.h LzmaEnc.h Types.h)
    configure_file("${ZM_LZMA_SDK_DIR}/${header}" "${zm_lzma_include}/${header}" COPYONLY)
endforeach()
target_include_directories(zm_lzma PUBLIC "${zm_lzma_include}")
