# Read by cpack at packaging time, after the build: the version the build
# computed (it changes with every commit, without cmake being run again), and
# the window libraries kxrender loads, as recommended packages.
file(STRINGS "${CPACK_KX_VERSION_FILE}" version LIMIT_COUNT 1)
set(CPACK_PACKAGE_VERSION "${version}")
set(CPACK_DEBIAN_PACKAGE_VERSION "${version}")

# dpkg-shlibdeps wants to stand in a source package: an empty debian/control.
set(work "${CPACK_TOPLEVEL_DIRECTORY}/window-libraries")
file(MAKE_DIRECTORY "${work}/debian")
file(WRITE "${work}/debian/control" "")
execute_process(COMMAND dpkg-shlibdeps -O "-e${CPACK_KX_WINDOW_LIBRARIES}" WORKING_DIRECTORY "${work}"
                OUTPUT_VARIABLE found RESULT_VARIABLE status ERROR_VARIABLE errors)
if(NOT status EQUAL 0 OR NOT found MATCHES "shlibs:Depends=([^\n]*)")
  message(FATAL_ERROR "dpkg-shlibdeps failed on ${CPACK_KX_WINDOW_LIBRARIES}: ${errors}")
endif()
# The C library is a dependency of the programs already.
string(REGEX REPLACE "(^|, )libc6( \\([^)]*\\))?" "" recommends "${CMAKE_MATCH_1}")
string(REGEX REPLACE "^, " "" recommends "${recommends}")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "${recommends}")
