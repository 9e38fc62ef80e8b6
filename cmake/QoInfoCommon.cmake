# Compiler settings shared by every target of the project.

add_compile_options(-Wall -Wextra -Werror)

if(NOT WIN32)
  # Full RELRO: every symbol bound at start, the relocations then read-only,
  # as Debian links the programs it ships.
  add_link_options(-Wl,-z,relro -Wl,-z,now)
endif()

if(QOINFO_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

if(QOINFO_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

if(WIN32)
  # A self-contained executable that needs
  # no MinGW runtime DLLs next to it.
  add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX)
  add_link_options(-static -static-libgcc -static-libstdc++)
  # Boost is header-only here; the include folder holds only a link to the
  # system's Boost headers so that no glibc header leaks into the build.
  set(QOINFO_BOOST_SHIM ${CMAKE_BINARY_DIR}/boost-include)
  file(MAKE_DIRECTORY ${QOINFO_BOOST_SHIM})
  file(CREATE_LINK /usr/include/boost ${QOINFO_BOOST_SHIM}/boost SYMBOLIC)
  add_library(qoinfo_boost INTERFACE)
  target_include_directories(qoinfo_boost SYSTEM INTERFACE ${QOINFO_BOOST_SHIM})
else()
  find_package(Boost 1.81 REQUIRED)
  add_library(qoinfo_boost INTERFACE)
  target_link_libraries(qoinfo_boost INTERFACE Boost::headers)
endif()
