# Installing (cmake --install, make install PREFIX=...) and the Debian
# package (make package: CPack's DEB generator). The programs install their
# own targets in their folders; the manual pages are installed by man/.
install(PROGRAMS ${CMAKE_BINARY_DIR}/kxrender-farm DESTINATION ${CMAKE_INSTALL_BINDIR})
# Its package, where the installed script looks for it (<libdir>/kxrender/kxfarm).
install(DIRECTORY ${CMAKE_SOURCE_DIR}/tools/farm/kxfarm DESTINATION ${CMAKE_INSTALL_LIBDIR}/kxrender
        FILES_MATCHING PATTERN "*.py" PATTERN "__pycache__" EXCLUDE)

# kxrender loads the window libraries only when a window opens (display/
# window_library.cpp), so dpkg-shlibdeps cannot see them in it: this
# program, never installed, links the same functions, and the package
# recommends what dpkg-shlibdeps finds for it (cpack-project.cmake).
add_executable(kx_window_libraries ${CMAKE_CURRENT_LIST_DIR}/window-libraries.cpp)
target_include_directories(kx_window_libraries PRIVATE ${PROJECT_SOURCE_DIR}/src)
# libGL itself, as loaded (OpenGL::GL would be libOpenGL and libGLX); the C++
# runtime linked in, as in kxrender, so that only the C library is left.
target_link_libraries(kx_window_libraries PRIVATE GLUT::GLUT GL X11::X11)
target_link_options(kx_window_libraries PRIVATE -Wl,--no-as-needed -static-libstdc++ -static-libgcc)
set_target_properties(kx_window_libraries PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kxrender)
set(CPACK_PACKAGE_CONTACT "kxrender maintainers <maintainers@users.noreply.c-seed-0b235d02.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "console renderer for kx scene files")
set(CPACK_PACKAGE_DESCRIPTION "kxrender renders scenes of the kx format into PPM and PNG files or a
window, with a depth-buffer engine and a ray tracer. kxrender-import turns
models (OBJ, glTF, PLY, STL and more) into kx scene commands,
kxrender-assemble joins rendered regions into images, and kxrender-farm
renders a scene's frames and regions on a Slurm cluster.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
# The programs' dependencies are what dpkg-shlibdeps finds in them; the farm
# is a Python 3 script (and submits to Slurm, which only the machine that
# submits needs).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS python3)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS slurm-client)
# Read by cpack when it runs (after the build), for what the build decided.
set(CPACK_KX_VERSION_FILE ${KX_VERSION_DIR}/version.txt)
set(CPACK_KX_WINDOW_LIBRARIES ${CMAKE_BINARY_DIR}/kx_window_libraries)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/cpack-project.cmake)
include(CPack)
