# Copies the browser extension's folder to where the programs find it and
# writes the project's version into the copy's manifest.json, so that the
# number is set once, in the top CMakeLists.txt. Run as a script:
#   cmake -DSOURCE=DIR -DDESTINATION=DIR -DVERSION=X.Y.Z -P CopyExtension.cmake
foreach(name SOURCE DESTINATION VERSION)
  if(NOT ${name})
    message(FATAL_ERROR "CopyExtension.cmake needs -D${name}=...")
  endif()
endforeach()

file(COPY "${SOURCE}/" DESTINATION "${DESTINATION}")

# The manifest keeps its own layout: only the value of its top-level
# "version" changes ("manifest_version" and "strict_min_version" have
# other names, so the pattern cannot match them).
set(manifest "${DESTINATION}/manifest.json")
file(READ "${SOURCE}/manifest.json" text)
string(REGEX REPLACE "\"version\"[ \t]*:[ \t]*\"[^\"]*\""
  "\"version\": \"${VERSION}\"" stamped "${text}")
string(JSON written ERROR_VARIABLE error GET "${stamped}" version)
if(error OR NOT written STREQUAL VERSION)
  message(FATAL_ERROR "${SOURCE}/manifest.json: its \"version\" could not be set "
    "to ${VERSION} (${error})")
endif()
file(WRITE "${manifest}" "${stamped}")
