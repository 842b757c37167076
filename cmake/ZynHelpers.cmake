# Build flags and one-line declarations shared by every target of the project.

function(zyn_apply_build_flags)
  add_compile_options(-Wall -Wextra -Werror)
  if(ZYN_SANITIZE STREQUAL "address")
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                        -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
  elseif(ZYN_SANITIZE STREQUAL "thread")
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
  elseif(NOT ZYN_SANITIZE STREQUAL "")
    message(FATAL_ERROR "ZYN_SANITIZE must be empty, 'address' or 'thread'")
  endif()
  if(ZYN_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
      message(FATAL_ERROR "ZYN_FUZZ needs clang")
    endif()
    # Every library gives the fuzzer its coverage; only the fuzz targets link its driver.
    add_compile_options(-fsanitize=fuzzer-no-link)
  endif()
  if(ZYN_THREAD_SAFETY)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
      message(FATAL_ERROR "ZYN_THREAD_SAFETY needs clang")
    endif()
    add_compile_options(-Wthread-safety)
  endif()
endfunction()

# The layers that are built, lowest first (cmake/ZynWindows.cmake names those ported so far).
set(ZYN_BUILT_LAYERS platform support tasks engine execution automation)

# The layers, lowest first; every test carries the CTest label of the one layer it tests, so that
# `ctest -L <layer>` runs what guards that layer (scripts/mutants.py relies on it).
set(ZYN_LAYERS platform support tasks engine execution automation apps)

# zyn_add_test(<name> SOURCES <files...> [LIBS <targets...>]
#              (LABEL <layer> | SUITE_LABELS <suite> <layer> [<suite> <layer>...]))
# One test program, run by CTest test by test, with the project's test main. A program whose
# suites test different layers names the layer of each suite instead of one for all.
function(zyn_add_test name)
  cmake_parse_arguments(ARG "" "LABEL" "SOURCES;LIBS;SUITE_LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} zyn_test_support GTest::gtest GTest::gmock)
  if(ARG_LABEL)
    zyn_discover_tests(${name} "*" ${ARG_LABEL})
    return()
  endif()
  if(NOT ARG_SUITE_LABELS)
    message(FATAL_ERROR "zyn_add_test(${name}) needs LABEL or SUITE_LABELS")
  endif()
  while(ARG_SUITE_LABELS)
    list(POP_FRONT ARG_SUITE_LABELS suite layer)
    zyn_discover_tests(${name} "${suite}.*" ${layer})
  endwhile()
endfunction()

# The tests of <target> that <filter> selects, labelled <layer>.
function(zyn_discover_tests target filter layer)
  zyn_check_layer(${layer})
  gtest_discover_tests(${target} TEST_FILTER ${filter} DISCOVERY_TIMEOUT 60
                       PROPERTIES TIMEOUT 300 LABELS ${layer})
endfunction()

# zyn_label_test(<test> <layer>): the label of a test declared with add_test.
function(zyn_label_test test layer)
  zyn_check_layer(${layer})
  set_tests_properties(${test} PROPERTIES LABELS ${layer})
endfunction()

function(zyn_check_layer layer)
  if(NOT layer IN_LIST ZYN_LAYERS)
    message(FATAL_ERROR "'${layer}' is not a layer (${ZYN_LAYERS})")
  endif()
endfunction()

# zyn_posix_only(<reason> <files...>): sources of the current folder that are built on Linux
# only: stand-ins for services Windows has itself, and tests that need what Wine cannot give.
# The reason is listed by the Windows test run (tests-not-under-wine.txt in the build folder).
function(zyn_posix_only reason)
  foreach(file ${ARGN})
    set_property(GLOBAL APPEND PROPERTY ZYN_POSIX_ONLY ${CMAKE_CURRENT_SOURCE_DIR}/${file})
    if(file MATCHES "_test\\.cpp$")
      file(RELATIVE_PATH shown ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/${file})
      set_property(GLOBAL APPEND PROPERTY ZYN_NOT_UNDER_WINE "${shown}: ${reason}")
    endif()
  endforeach()
endfunction()

# The sources of this platform among `files`: on Windows X_win32.cpp takes the place of X.cpp
# and the files named by zyn_posix_only go; elsewhere the *_win32.cpp files go.
function(zyn_select_sources out)
  set(selected)
  get_property(posix_only GLOBAL PROPERTY ZYN_POSIX_ONLY)
  foreach(file ${ARGN})
    if(NOT IS_ABSOLUTE ${file})
      set(file ${CMAKE_CURRENT_SOURCE_DIR}/${file})
    endif()
    string(REGEX REPLACE "(_test)?\\.cpp$" "" stem ${file})
    set(suffix "")
    if(file MATCHES "_test\\.cpp$")
      set(suffix _test)
    endif()
    if(WIN32)
      if(file IN_LIST posix_only OR EXISTS ${stem}_win32${suffix}.cpp)
        continue()
      endif()
    elseif(file MATCHES "_win32(_test)?\\.cpp$")
      continue()
    endif()
    list(APPEND selected ${file})
  endforeach()
  set(${out} ${selected} PARENT_SCOPE)
endfunction()

# zyn_add_layer(<layer> [SHARED] [DEPENDS <targets...>] [SYSTEM_LIBS <libs...>])
# A layer is every .cpp of src/<layer> except the *_test.cpp files, which form the layer's
# test program <layer>_tests, labelled <layer>; zyn_select_sources picks this platform's.
function(zyn_add_layer layer)
  cmake_parse_arguments(ARG "SHARED" "" "DEPENDS;SYSTEM_LIBS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  if(tests)
    list(REMOVE_ITEM sources ${tests})
  endif()
  zyn_select_sources(sources ${sources})
  zyn_select_sources(tests ${tests})
  if(ARG_SHARED)
    add_library(zyn_${layer} SHARED ${sources})
  else()
    add_library(zyn_${layer} STATIC ${sources})
  endif()
  target_include_directories(zyn_${layer} PUBLIC ${PROJECT_SOURCE_DIR}/src
                                                 ${PROJECT_SOURCE_DIR}/include)
  target_link_libraries(zyn_${layer} PUBLIC ${ARG_DEPENDS} PRIVATE ${ARG_SYSTEM_LIBS})
  if(tests)
    zyn_add_test(${layer}_tests SOURCES ${tests} LIBS zyn_${layer} LABEL ${layer})
  endif()
endfunction()

# Writes the reasons recorded by zyn_posix_only for the tests that are not built here.
function(zyn_list_tests_not_under_wine file)
  get_property(lines GLOBAL PROPERTY ZYN_NOT_UNDER_WINE)
  list(JOIN lines "\n" text)
  file(WRITE ${file} "${text}\n")
endfunction()
