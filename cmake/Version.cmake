# One version for every program (kx::Version() of core/version.h, and the
# farm script's VERSION, with its package copied beside it), computed at
# every build by write-version.cmake: from git in a git checkout, else the
# project() VERSION. Its files are rewritten only when the version changes,
# so a new commit recompiles one source (version.cpp) and relinks the
# programs, with no cmake run by hand.
set(KX_VERSION_DIR ${CMAKE_BINARY_DIR}/version)
set(kx_write_version ${CMAKE_COMMAND} -DSOURCE_DIR=${CMAKE_SOURCE_DIR} -DOUT_DIR=${KX_VERSION_DIR}
    -DPROJECT_VERSION=${PROJECT_VERSION} -DFARM_IN=${CMAKE_SOURCE_DIR}/tools/kxrender-farm
    -DFARM_OUT=${CMAKE_BINARY_DIR}/kxrender-farm -DFARM_LIBDIR=${CMAKE_INSTALL_LIBDIR}
    -DFARM_PACKAGE=${CMAKE_SOURCE_DIR}/tools/farm/kxfarm -DFARM_PACKAGE_OUT=${CMAKE_BINARY_DIR}/farm
    -P ${CMAKE_SOURCE_DIR}/cmake/write-version.cmake)
# Once now, so that the files exist from the start.
execute_process(COMMAND ${kx_write_version})
add_custom_target(kx_version_files ALL COMMAND ${kx_write_version}
  BYPRODUCTS ${KX_VERSION_DIR}/version.cpp ${KX_VERSION_DIR}/version.txt ${CMAKE_BINARY_DIR}/kxrender-farm
  VERBATIM)
add_library(kx_version STATIC ${KX_VERSION_DIR}/version.cpp)
add_dependencies(kx_version kx_version_files)
target_include_directories(kx_version PUBLIC ${PROJECT_SOURCE_DIR}/src)
