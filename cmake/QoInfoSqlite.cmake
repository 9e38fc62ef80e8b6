# SQLite as the target qoinfo_sqlite. Linux: Debian's library. Windows: a
# static library compiled from the amalgamation that scripts/third-party
# makes from Debian's source package (nothing is fetched here).
if(WIN32)
  set(QOINFO_THIRD_PARTY_DIR ${PROJECT_SOURCE_DIR}/build/third_party
      CACHE PATH "Where scripts/third-party puts the sources it prepares")
  set(qoinfo_sqlite_dir ${QOINFO_THIRD_PARTY_DIR}/sqlite3)
  if(NOT EXISTS ${qoinfo_sqlite_dir}/sqlite3.c)
    message(FATAL_ERROR
      "SQLite's amalgamation is missing from ${qoinfo_sqlite_dir}: "
      "run scripts/third-party (scripts/build does it for the Windows presets)")
  endif()
  add_library(qoinfo_sqlite STATIC ${qoinfo_sqlite_dir}/sqlite3.c)
  target_include_directories(qoinfo_sqlite SYSTEM PUBLIC ${qoinfo_sqlite_dir})
  target_compile_definitions(qoinfo_sqlite PRIVATE
    SQLITE_THREADSAFE=1
    SQLITE_DQS=0
    SQLITE_OMIT_LOAD_EXTENSION
    SQLITE_DEFAULT_MEMSTATUS=0)
  # Not our code: its warnings are SQLite's business.
  target_compile_options(qoinfo_sqlite PRIVATE -w)
else()
  find_package(SQLite3 REQUIRED)
  add_library(qoinfo_sqlite INTERFACE)
  target_link_libraries(qoinfo_sqlite INTERFACE SQLite::SQLite3)
endif()
