# Cross-building the Qt-free programs for 64-bit Windows with Debian's mingw-w64 (posix threads:
# std::thread and std::mutex come from winpthreads). The C++ runtime, winpthreads and everything
# else are linked statically, so each .exe runs alone. Tests run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# GCC 12 at -O3 warns of overlapping copies inside std::string that cannot happen (GCC bug 105329).
set(CMAKE_CXX_FLAGS_INIT "-Wno-restrict")
# Windows 10 and later: the Winsock poll and the console calls the programs use; gmtime_r; printf
# as on Linux ("-nan", %lld).
add_compile_definitions(_WIN32_WINNT=0x0A00 WIN32_LEAN_AND_MEAN NOMINMAX _POSIX_THREAD_SAFE_FUNCTIONS
                        __USE_MINGW_ANSI_STDIO=1)
find_program(VC_WINE NAMES wine64 wine PATHS /usr/lib/wine)
if(VC_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VC_WINE})
endif()
