# zstd as the target qoinfo_zstd (the history compresses page texts with
# it). Linux: Debian's library, found by pkg-config. Windows: a static
# library compiled from the library sources that scripts/third-party copies
# from Debian's source package: one-shot compression and decompression only
# (no dictionary builder, no legacy formats, no assembly, no threads).
if(WIN32)
  set(QOINFO_THIRD_PARTY_DIR ${PROJECT_SOURCE_DIR}/build/third_party
      CACHE PATH "Where scripts/third-party puts the sources it prepares")
  set(qoinfo_zstd_dir ${QOINFO_THIRD_PARTY_DIR}/zstd)
  if(NOT EXISTS ${qoinfo_zstd_dir}/zstd.h)
    message(FATAL_ERROR
      "zstd's sources are missing from ${qoinfo_zstd_dir}: "
      "run scripts/third-party (scripts/build does it for the Windows presets)")
  endif()
  file(GLOB qoinfo_zstd_sources
    ${qoinfo_zstd_dir}/common/*.c
    ${qoinfo_zstd_dir}/compress/*.c
    ${qoinfo_zstd_dir}/decompress/*.c)
  add_library(qoinfo_zstd STATIC ${qoinfo_zstd_sources})
  target_include_directories(qoinfo_zstd SYSTEM PUBLIC ${qoinfo_zstd_dir})
  target_compile_definitions(qoinfo_zstd PRIVATE
    ZSTD_DISABLE_ASM ZSTD_MULTITHREAD=0 ZSTD_LEGACY_SUPPORT=0)
  # Not our code: its warnings are zstd's business.
  target_compile_options(qoinfo_zstd PRIVATE -w)
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(ZSTD REQUIRED IMPORTED_TARGET libzstd)
  add_library(qoinfo_zstd INTERFACE)
  target_link_libraries(qoinfo_zstd INTERFACE PkgConfig::ZSTD)
endif()
