# The version of every program, written at every build (cmake -P, from the
# kx_version_files target of Version.cmake) into files that change only when
# the version does:
#   OUT_DIR/version.cpp   kx::Version() (core/version.h) of the C++ programs
#   OUT_DIR/version.txt   the version alone, for the package
#   FARM_OUT              FARM_IN with its VERSION and LIBDIR lines filled in
#   FARM_PACKAGE_OUT      a copy of the farm's package (FARM_PACKAGE), which
#                         FARM_OUT finds beside it
#
# Where SOURCE_DIR is a git checkout the version comes from git, in a form
# that is also a Debian version and sorts as the history goes:
#   0.1.0                   the commit tagged v0.1.0 (the project() VERSION)
#   0.1.0+git3.g1a2b3c4     3 commits after that tag
#   0.1.0~git42.g1a2b3c4    no tag v0.1.0 in the history yet (42 commits in
#                           all): work towards 0.1.0, which sorts before it
# with ".dirty" added when tracked files differ from the commit. Elsewhere
# (a source tree without git) it is the project() VERSION.

function(write_if_changed path content)
  if(EXISTS "${path}")
    file(READ "${path}" old)
    if(old STREQUAL content)
      return()
    endif()
  endif()
  file(WRITE "${path}" "${content}")
endfunction()

set(version "${PROJECT_VERSION}")
find_program(GIT git)
if(GIT)
  execute_process(COMMAND "${GIT}" -C "${SOURCE_DIR}" rev-parse --show-toplevel
                  OUTPUT_VARIABLE top RESULT_VARIABLE status OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(status EQUAL 0)
    file(REAL_PATH "${top}" top)
    file(REAL_PATH "${SOURCE_DIR}" source)
  endif()
  # Only the source's own repository counts, not one it happens to sit in.
  if(status EQUAL 0 AND top STREQUAL source)
    execute_process(COMMAND "${GIT}" -C "${SOURCE_DIR}" describe --tags --long --match "v${PROJECT_VERSION}"
                    OUTPUT_VARIABLE described RESULT_VARIABLE tagged OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    execute_process(COMMAND "${GIT}" -C "${SOURCE_DIR}" rev-parse --short HEAD
                    OUTPUT_VARIABLE hash RESULT_VARIABLE status OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(tagged EQUAL 0 AND described MATCHES "-([0-9]+)-g([0-9a-f]+)$")
      if(CMAKE_MATCH_1 EQUAL 0)
        set(version "${PROJECT_VERSION}")
      else()
        set(version "${PROJECT_VERSION}+git${CMAKE_MATCH_1}.g${CMAKE_MATCH_2}")
      endif()
    elseif(status EQUAL 0)
      execute_process(COMMAND "${GIT}" -C "${SOURCE_DIR}" rev-list --count HEAD
                      OUTPUT_VARIABLE count OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
      set(version "${PROJECT_VERSION}~git${count}.g${hash}")
    endif()
    # No optional locks: a build never holds the index while someone commits.
    execute_process(COMMAND "${GIT}" --no-optional-locks -C "${SOURCE_DIR}" status --porcelain
                            --untracked-files=no
                    OUTPUT_VARIABLE changes RESULT_VARIABLE status ERROR_QUIET)
    if(status EQUAL 0 AND NOT changes STREQUAL "")
      set(version "${version}.dirty")
    endif()
  endif()
endif()

file(MAKE_DIRECTORY "${OUT_DIR}")
write_if_changed("${OUT_DIR}/version.txt" "${version}\n")
write_if_changed("${OUT_DIR}/version.cpp" "// Written at every build by cmake/write-version.cmake.
#include \"core/version.h\"

namespace kx {

const char* Version() { return \"${version}\"; }

}  // namespace kx
")

file(READ "${FARM_IN}" farm)
string(REGEX REPLACE "\nVERSION = \"[^\"\n]*\"\n" "\nVERSION = \"${version}\"\n" farm "${farm}")
string(REGEX REPLACE "\nLIBDIR = \"[^\"\n]*\"\n" "\nLIBDIR = \"${FARM_LIBDIR}\"\n" farm "${farm}")
write_if_changed("${FARM_OUT}" "${farm}")
file(CHMOD "${FARM_OUT}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                     WORLD_READ WORLD_EXECUTE)
file(GLOB farm_modules "${FARM_PACKAGE}/*.py")
file(MAKE_DIRECTORY "${FARM_PACKAGE_OUT}/kxfarm")
foreach(module IN LISTS farm_modules)
  get_filename_component(module_name "${module}" NAME)
  file(READ "${module}" content)
  write_if_changed("${FARM_PACKAGE_OUT}/kxfarm/${module_name}" "${content}")
endforeach()
