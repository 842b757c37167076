# Cross build for 64-bit Windows with Debian's mingw-w64 (the posix thread model, for
# std::thread). What is built runs here through Wine (cmake/wine-run.sh).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZYN_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZYN_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZYN_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${ZYN_MINGW_PREFIX}-windres)
set(ZYN_WIDL ${ZYN_MINGW_PREFIX}-widl)

set(CMAKE_FIND_ROOT_PATH /usr/${ZYN_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
