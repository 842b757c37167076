# The Windows build (cmake/mingw-w64-x86_64.cmake): GoogleTest from Debian's sources built with
# the cross compiler, programs and libraries linked statically so that they need no DLL but the
# system's, and the layers ported to Windows so far.

set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# (it names its targets GTest::gtest and GTest::gmock itself)

# Windows' own headers: wide entry points, no min and max macros, the Vista-era calls.
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
add_link_options(-static)

set(ZYN_BUILT_LAYERS platform support tasks engine execution automation)
