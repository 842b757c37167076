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

# The type library: widl reads the system's interface definitions (oaidl.idl) from Wine's
# development files and the standard type library it imports (stdole2.tlb) from Wine's own.
enable_language(RC)
find_path(ZYN_SYSTEM_IDL_DIR oaidl.idl PATHS /usr/include/wine/wine/windows REQUIRED
          NO_CMAKE_FIND_ROOT_PATH)
find_path(ZYN_SYSTEM_TLB_DIR stdole2.tlb PATHS /usr/lib/x86_64-linux-gnu/wine/x86_64-windows
          REQUIRED NO_CMAKE_FIND_ROOT_PATH)

# zyn_embed_type_library(<target> <idl>): the type library of <idl>, compiled by widl and
# embedded in <target> as resource TYPELIB 1, where registration looks for it.
function(zyn_embed_type_library target idl)
  get_filename_component(name ${idl} NAME_WE)
  set(tlb ${CMAKE_CURRENT_BINARY_DIR}/${name}.tlb)
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${name}.typelib.rc)
  add_custom_command(OUTPUT ${tlb}
                     COMMAND ${ZYN_WIDL} -t -I ${ZYN_SYSTEM_IDL_DIR} -L ${ZYN_SYSTEM_TLB_DIR}
                             -o ${tlb} ${idl}
                     DEPENDS ${idl} VERBATIM)
  file(WRITE ${rc} "1 TYPELIB \"${tlb}\"\n")
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS ${tlb})
  target_sources(${target} PRIVATE ${rc})
endfunction()
