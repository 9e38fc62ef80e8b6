# The gumbo HTML parser as the target qoinfo_gumbo, with QOINFO_HAVE_GUMBO
# telling whether there is one. Linux: Debian's library, found by pkg-config
# (required). Windows: a static library compiled from the sources that
# scripts/third-party copies from Debian's source package; when apt could not
# deliver them, the Windows builds go without an HTML parser.
if(WIN32)
  set(QOINFO_THIRD_PARTY_DIR ${PROJECT_SOURCE_DIR}/build/third_party
      CACHE PATH "Where scripts/third-party puts the sources it prepares")
  set(qoinfo_gumbo_dir ${QOINFO_THIRD_PARTY_DIR}/gumbo)
  # Sources that appear (or go) later re-run the configuration.
  if(EXISTS ${QOINFO_THIRD_PARTY_DIR})
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
                 ${QOINFO_THIRD_PARTY_DIR})
  endif()
  if(EXISTS ${qoinfo_gumbo_dir}/parser.c)
    file(GLOB qoinfo_gumbo_sources CONFIGURE_DEPENDS ${qoinfo_gumbo_dir}/*.c)
    add_library(qoinfo_gumbo STATIC ${qoinfo_gumbo_sources})
    target_include_directories(qoinfo_gumbo SYSTEM PUBLIC ${qoinfo_gumbo_dir})
    # Not our code: its warnings are gumbo's business.
    target_compile_options(qoinfo_gumbo PRIVATE -w)
    set(QOINFO_HAVE_GUMBO ON)
  else()
    message(STATUS "gumbo sources missing from ${qoinfo_gumbo_dir}: "
            "building without an HTML parser (see scripts/third-party)")
    set(QOINFO_HAVE_GUMBO OFF)
  endif()
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(GUMBO REQUIRED IMPORTED_TARGET gumbo)
  add_library(qoinfo_gumbo INTERFACE)
  target_link_libraries(qoinfo_gumbo INTERFACE PkgConfig::GUMBO)
  set(QOINFO_HAVE_GUMBO ON)
endif()
