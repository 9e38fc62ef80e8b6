# libxml2's HTML parser as the target qoinfo_libxml2. Linux: Debian's library,
# found by pkg-config. Windows: a static library compiled here from the
# sources that scripts/third-party copies from Debian's source package, with
# our own configuration (cmake/libxml2/): the HTML parser and the tree, no
# iconv (UTF-8, UTF-16, ISO-8859-1..16 and ASCII are built in), no zlib, lzma,
# network, catalogs, XPath, schemas or output; threads through Win32.
if(WIN32)
  set(QOINFO_THIRD_PARTY_DIR ${PROJECT_SOURCE_DIR}/build/third_party
      CACHE PATH "Where scripts/third-party puts the sources it prepares")
  set(qoinfo_libxml2_dir ${QOINFO_THIRD_PARTY_DIR}/libxml2)
  if(NOT EXISTS ${qoinfo_libxml2_dir}/HTMLparser.c)
    message(FATAL_ERROR
      "libxml2's sources are missing from ${qoinfo_libxml2_dir}: "
      "run scripts/third-party (scripts/build does it for the Windows presets)")
  endif()

  # libxml/xmlversion.h says which modules exist; everything not listed is 0.
  file(READ ${qoinfo_libxml2_dir}/VERSION qoinfo_libxml2_version)
  string(STRIP "${qoinfo_libxml2_version}" VERSION)
  string(REPLACE "." ";" qoinfo_libxml2_parts ${VERSION})
  list(GET qoinfo_libxml2_parts 0 qoinfo_libxml2_major)
  list(GET qoinfo_libxml2_parts 1 qoinfo_libxml2_minor)
  list(GET qoinfo_libxml2_parts 2 qoinfo_libxml2_micro)
  math(EXPR LIBXML_VERSION_NUMBER
       "${qoinfo_libxml2_major} * 10000 + ${qoinfo_libxml2_minor} * 100 + ${qoinfo_libxml2_micro}")
  set(LIBXML_VERSION_EXTRA "")
  set(MODULE_EXTENSION ".dll")
  foreach(module IN ITEMS AUTOMATA C14N CATALOG DEBUG DOCB EXPR FTP HTTP ICONV
          ICU LEGACY LZMA MEM_DEBUG MODULES OUTPUT PATTERN PUSH READER REGEXPS
          RUN_DEBUG SAX1 SCHEMAS SCHEMATRON THREAD_ALLOC TRIO UNICODE VALID
          WRITER XINCLUDE XPATH XPTR ZLIB)
    set(WITH_${module} 0)
  endforeach()
  foreach(module IN ITEMS HTML TREE THREADS ISO8859X)
    set(WITH_${module} 1)
  endforeach()
  set(qoinfo_libxml2_generated ${CMAKE_BINARY_DIR}/libxml2)
  configure_file(${qoinfo_libxml2_dir}/include/libxml/xmlversion.h.in
                 ${qoinfo_libxml2_generated}/libxml/xmlversion.h @ONLY)

  # What the HTML parser and the tree need; the other modules are left out.
  set(qoinfo_libxml2_sources
    buf.c chvalid.c dict.c encoding.c entities.c error.c globals.c hash.c
    HTMLparser.c HTMLtree.c list.c parser.c parserInternals.c SAX2.c
    threads.c tree.c uri.c valid.c xmlIO.c xmlmemory.c xmlstring.c)
  list(TRANSFORM qoinfo_libxml2_sources PREPEND ${qoinfo_libxml2_dir}/)
  add_library(qoinfo_libxml2 STATIC ${qoinfo_libxml2_sources})
  # The generated xmlversion.h comes before the source tree's include folder.
  target_include_directories(qoinfo_libxml2 SYSTEM BEFORE PUBLIC
    ${qoinfo_libxml2_generated} ${qoinfo_libxml2_dir}/include)
  target_include_directories(qoinfo_libxml2 PRIVATE
    ${PROJECT_SOURCE_DIR}/cmake/libxml2 ${qoinfo_libxml2_dir})
  target_compile_definitions(qoinfo_libxml2 PUBLIC LIBXML_STATIC)
  target_compile_definitions(qoinfo_libxml2 PRIVATE HAVE_WIN32_THREADS _REENTRANT)
  # Not our code: its warnings are libxml2's business.
  target_compile_options(qoinfo_libxml2 PRIVATE -w)
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(LIBXML2 REQUIRED IMPORTED_TARGET libxml-2.0)
  add_library(qoinfo_libxml2 INTERFACE)
  target_link_libraries(qoinfo_libxml2 INTERFACE PkgConfig::LIBXML2)
endif()
